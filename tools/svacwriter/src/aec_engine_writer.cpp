// The encoding side of the logarithmic arithmetic code. The range is kept as the decoder keeps
// it (exponent s1, mantissa t1 of 256 + t1 units); the code value is an exact binary fraction,
// so a carry may run back through every bit already placed.
#include "svacwriter/aec_writer.h"

namespace svacwriter {

namespace {

uint32_t cwr_of(const AecContext& c) { return c.cycno <= 1 ? 3 : c.cycno == 2 ? 4 : 5; }

void update(AecContext& c, int bin, uint32_t cwr)
{
    if (bin == c.mps) {
        if (c.cycno == 0)
            c.cycno = 1;
        c.lgpmps = static_cast<uint16_t>(c.lgpmps - (c.lgpmps >> cwr) - (c.lgpmps >> (cwr + 2)));
        return;
    }
    c.cycno = static_cast<uint8_t>((c.cycno < 2 ? c.cycno : 2) + 1);
    uint32_t lg = c.lgpmps + (cwr == 3 ? 197u : cwr == 4 ? 95u : 46u);
    if (lg >= 1024) {
        lg = 2047 - lg;
        c.mps = static_cast<uint8_t>(1 - c.mps);
    }
    c.lgpmps = static_cast<uint16_t>(lg);
}

} // namespace

// Adds value with its least significant bit at index lsb_index (weight 2^-lsb_index).
void AecEncoder::add_at(uint32_t value, uint64_t lsb_index)
{
    if (bits_.size() < lsb_index)
        bits_.resize(lsb_index, 0);
    uint32_t carry = 0;
    for (uint64_t i = lsb_index; i >= 1 && (value || carry); --i) {
        const uint32_t sum = bits_[i - 1] + (value & 1) + carry;
        bits_[i - 1] = static_cast<uint8_t>(sum & 1);
        carry = sum >> 1;
        value >>= 1;
    }
    if (carry)
        error_ = "arithmetic code value overflowed";
}

// Lower sub-interval for the MPS, upper for the LPS.
void AecEncoder::code(int lps, uint32_t rlps)
{
    if (terminated_) {
        error_ = "bin after the end of the slice";
        return;
    }
    const uint32_t s_flag = t1_ < rlps ? 1 : 0;
    const uint32_t s2 = s1_ + s_flag;
    const uint32_t t2 = t1_ - rlps + 256 * s_flag;
    if (!lps) {
        s1_ = s2;
        t1_ = t2;
        return;
    }
    add_at(256 + t2, unit_ + s2);
    uint32_t range = rlps + (s_flag ? t1_ : 0);
    uint64_t shift = s2;
    while (range < 256) {
        range <<= 1;
        ++shift;
    }
    unit_ += shift;
    t1_ = range & 255;
    s1_ = 0;
}

void AecEncoder::encode(int bin, AecContext& c)
{
    const uint32_t cwr = cwr_of(c);
    code(bin != c.mps, c.lgpmps >> 2);
    update(c, bin, cwr);
}

void AecEncoder::encode2(int bin, AecContext& a, AecContext& b)
{
    int mps;
    uint32_t lg;
    if (a.mps == b.mps) {
        mps = a.mps;
        lg = (uint32_t(a.lgpmps) + b.lgpmps) >> 1;
    } else if (a.lgpmps < b.lgpmps) {
        mps = a.mps;
        lg = 1023 - ((uint32_t(b.lgpmps) - a.lgpmps) >> 1);
    } else {
        mps = b.mps;
        lg = 1023 - ((uint32_t(a.lgpmps) - b.lgpmps) >> 1);
    }
    const uint32_t cwr_a = cwr_of(a), cwr_b = cwr_of(b);
    code(bin != mps, lg >> 2);
    update(a, bin, cwr_a);
    update(b, bin, cwr_b);
}

void AecEncoder::encode_bypass(int bin) { code(bin != 0, 255); }

void AecEncoder::encode_terminate(int bin)
{
    code(bin != 0, 1);
    if (bin)
        terminated_ = true;
}

std::vector<uint8_t> AecEncoder::finish()
{
    if (!terminated_ && error_.empty())
        error_ = "slice data not terminated";
    if (!error_.empty())
        return {};
    // Any value of the final range [low, low + 256 units) ends the code; all-ones keeps the
    // decoder's look-ahead inside the data until the last decision.
    add_at(255, unit_);
    std::vector<uint8_t> out((bits_.size() + 7) / 8, 0);
    for (size_t i = 0; i < bits_.size(); ++i)
        if (bits_[i])
            out[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
    return out;
}

} // namespace svacwriter
