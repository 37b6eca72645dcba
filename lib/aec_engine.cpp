#include "aec_engine.h"

#include <cstring>

namespace {

inline uint32_t next_bit(aec_decoder *d)
{
    if (--d->bit_pos < 0) {
        d->cur_byte = d->byte_pos < d->length ? d->data[d->byte_pos] : 0xFFu;
        ++d->byte_pos;
        d->bit_pos = 7;
    }
    return (d->cur_byte >> d->bit_pos) & 1u;
}

// Offset renormalisation: leading zeros into the exponent, 8 bits after the first 1 as mantissa.
inline void renorm_offset(aec_decoder *d)
{
    d->value_s = 0;
    while (d->value_t < 256) {
        d->value_t = (d->value_t << 1) | next_bit(d);
        ++d->value_s;
    }
    d->value_t &= 255;
}

// One decision with the LPS range rlps (1..255): 1 when the LPS was decoded.
inline int decide(aec_decoder *d, uint32_t rlps)
{
    const uint32_t s_flag = d->t1 < rlps ? 1 : 0;
    const uint32_t s2 = d->s1 + s_flag;
    const uint32_t t2 = d->t1 - rlps + 256 * s_flag;
    if (s2 < d->value_s || (s2 == d->value_s && d->value_t < t2)) {
        d->s1 = s2;
        d->t1 = t2;
        return 0;
    }
    uint32_t t_rlps = rlps + (s_flag ? d->t1 : 0);
    if (s2 == d->value_s)
        d->value_t -= t2;
    else
        d->value_t = ((d->value_t << 1) | next_bit(d)) - t2 + 256;
    while (t_rlps < 256) {
        t_rlps <<= 1;
        d->value_t = (d->value_t << 1) | next_bit(d);
    }
    d->t1 = t_rlps & 255;
    d->s1 = 0;
    renorm_offset(d);
    return 1;
}

inline uint32_t cwr_of(const aec_ctx *c) { return c->cycno <= 1 ? 3 : c->cycno == 2 ? 4 : 5; }

inline void adapt(aec_ctx *c, int bin, uint32_t cwr)
{
    if (bin == c->mps) {
        if (c->cycno == 0)
            c->cycno = 1;
        c->lgpmps = static_cast<uint16_t>(c->lgpmps - (c->lgpmps >> cwr) - (c->lgpmps >> (cwr + 2)));
        return;
    }
    c->cycno = static_cast<uint8_t>((c->cycno < 2 ? c->cycno : 2) + 1);
    uint32_t lg = c->lgpmps + (cwr == 3 ? 197u : cwr == 4 ? 95u : 46u);
    if (lg >= 1024) {
        lg = 2047 - lg;
        c->mps = static_cast<uint8_t>(1 - c->mps);
    }
    c->lgpmps = static_cast<uint16_t>(lg);
}

inline bool out_of_data(aec_decoder *d)
{
    if (d->byte_pos < d->length)
        return false;
    d->exhausted = 1;
    return true;
}

} // namespace

void aec_engine_start(aec_decoder *d, const uint8_t *data, int64_t length)
{
    d->data = data;
    d->length = length > 0 ? length : 0;
    d->exhausted = 0;
    d->last_qp_delta = 0;
    std::memset(d->contexts, 0, sizeof d->contexts);
    for (aec_ctx &c : d->contexts)
        c.lgpmps = AEC_LG_HALF;
    d->byte_pos = 0;
    d->bit_pos = 0;
    // The first byte whole, then the top bit of the second.
    uint32_t v = 0;
    for (int i = 0; i < 9; ++i)
        v = (v << 1) | next_bit(d);
    d->value_t = v;
    renorm_offset(d);
    d->s1 = 0;
    d->t1 = 255;
}

int aec_decode_bin(aec_decoder *d, aec_ctx *c)
{
    if (out_of_data(d))
        return 0;
    const uint32_t cwr = cwr_of(c);
    const int lps = decide(d, c->lgpmps >> 2);
    const int bin = lps ? 1 - c->mps : c->mps;
    adapt(c, bin, cwr);
    return bin;
}

int aec_decode_bin2(aec_decoder *d, aec_ctx *a, aec_ctx *b)
{
    if (out_of_data(d))
        return 0;
    int mps;
    uint32_t lg;
    if (a->mps == b->mps) {
        mps = a->mps;
        lg = (static_cast<uint32_t>(a->lgpmps) + b->lgpmps) >> 1;
    } else if (a->lgpmps < b->lgpmps) {
        mps = a->mps;
        lg = 1023 - ((static_cast<uint32_t>(b->lgpmps) - a->lgpmps) >> 1);
    } else {
        mps = b->mps;
        lg = 1023 - ((static_cast<uint32_t>(a->lgpmps) - b->lgpmps) >> 1);
    }
    const uint32_t cwr_a = cwr_of(a), cwr_b = cwr_of(b);
    const int bin = decide(d, lg >> 2) ? 1 - mps : mps;
    adapt(a, bin, cwr_a);
    adapt(b, bin, cwr_b);
    return bin;
}

int aec_decode_bypass(aec_decoder *d)
{
    if (out_of_data(d))
        return 0;
    return decide(d, 255);
}

int aec_decode_terminate(aec_decoder *d)
{
    int bin = 0;
    if (!out_of_data(d))
        bin = decide(d, 1);
    if (bin)
        return 1;
    if (d->byte_pos > d->length)
        return 1;
    if (d->byte_pos == d->length)
        return d->bit_pos == 0 ? 1 : 0;
    return 0;
}
