// Arithmetic-mode syntax elements: each value as its bin string, each bin with the context an
// encoder chooses from the neighbours it has already coded.
#include <algorithm>
#include <cstdlib>

#include "svacwriter/aec_writer.h"

namespace svacwriter {

namespace {

constexpr int kSkip = 0, kMbType = 2, kMbTypeB = 7, kBasePred = 17, kPartType = 19, kPredModeFlag = 22,
              kLumaMode = 23, kChromaMode = 26, kRefIdx = 30, kMvdX = 36, kMvdY = 42, kCbpLuma = 48,
              kCbpChroma = 52, kCbpChroma2 = 56, kQpDelta = 60;

} // namespace

// zeros 0 bins then a 1: the first with context first, the rest with next.
void AecSyntaxWriter::unary(uint32_t zeros, int first, int next)
{
    for (uint32_t i = 0; i <= zeros; ++i)
        bin(i == zeros, i == 0 ? first : next);
}

void AecSyntaxWriter::mb_skip_run(uint32_t run) { unary(run, kSkip, kSkip + 1); }

void AecSyntaxWriter::mb_type_i(uint32_t type)
{
    bin(0, kMbType);
    for (uint32_t n = 1; n <= type + 1; ++n)
        bin(n == type + 1, kMbType + static_cast<int>(std::min<uint32_t>(n, 4)));
}

void AecSyntaxWriter::mb_type_p(uint32_t value)
{
    // Values 0..5 in the order of their strings: 5 is the shortest (a single 1).
    const uint32_t zeros = value == 5 ? 0 : value + 1;
    bin(zeros == 0, kMbType);
    for (uint32_t n = 1; n <= zeros; ++n)
        bin(n == zeros, kMbType + static_cast<int>(std::min<uint32_t>(n, 4)));
}

void AecSyntaxWriter::mb_type_b(uint32_t value, int inc)
{
    bin(value != 0, kMbTypeB + inc);
    if (value == 0)
        return;
    bin(value == 1, kMbTypeB + 3);
    for (uint32_t v = 2; v <= value; ++v)
        bin(v == value, 11 + static_cast<int>(std::min<uint32_t>(v - 2, 5)));
}

void AecSyntaxWriter::end_of_slice(bool last) { enc_.encode_terminate(last ? 1 : 0); }

void AecSyntaxWriter::base_pred_flag(uint32_t run) { unary(run, kBasePred, kBasePred + 1); }

void AecSyntaxWriter::mb_part_type(uint32_t value)
{
    const int b0 = (value >> 1) & 1;
    bin(b0, kPartType);
    bin(value & 1, kPartType + 1 + b0);
}

void AecSyntaxWriter::pred_mode_flag(bool flag) { bin(flag ? 1 : 0, kPredModeFlag); }

void AecSyntaxWriter::intra_luma_pred_mode(uint32_t remainder)
{
    // 1, 01, 001, 000 carry 1, 2, 3, 0.
    const int zeros = remainder == 0 ? 3 : static_cast<int>(remainder) - 1;
    for (int k = 0; k <= zeros && k < 3; ++k)
        bin(k == zeros, kLumaMode + k);
}

void AecSyntaxWriter::intra_chroma_pred_mode(uint32_t mode, int inc)
{
    bin(mode != 0, kChromaMode + inc);
    if (mode == 0)
        return;
    bin(mode != 1, kChromaMode + 3);
    if (mode != 1)
        bin(mode == 3, kChromaMode + 3);
}

void AecSyntaxWriter::ref_idx(uint32_t value, int inc, bool b_picture)
{
    bin(value == 0, kRefIdx + inc);
    if (value == 0 || b_picture)
        return;
    bin(value == 1, kRefIdx + 4);
    for (uint32_t v = 2; v <= value; ++v)
        bin(v == value, kRefIdx + 5);
}

void AecSyntaxWriter::mvd(int32_t value, int component, int inc)
{
    const int base = component ? kMvdY : kMvdX;
    const uint32_t m = static_cast<uint32_t>(std::abs(value));
    bin(m != 0, base + inc);
    if (m == 0)
        return;
    bin(m >= 9, base + 3);
    if (m < 9) {
        // m - 1 zeros, closed by a 1 unless all seven bins are zeros.
        for (uint32_t n = 0; n < 7 && n <= m - 1; ++n)
            bin(n == m - 1, base + (n == 0 ? 4 : 5));
    } else {
        uint32_t rest = m - 9;
        int k = 3;
        while (rest >= (1u << k)) {
            enc_.encode_bypass(1);
            rest -= 1u << k;
            ++k;
        }
        enc_.encode_bypass(0);
        for (int i = k - 1; i >= 0; --i)
            enc_.encode_bypass((rest >> i) & 1);
    }
    enc_.encode_bypass(value < 0 ? 1 : 0);
}

void AecSyntaxWriter::cbp(uint32_t cbp, const AecCbpNeighbours& nb)
{
    auto coded = [](int32_t pattern, int block) { return (pattern >> block) & 1; };
    for (int k = 0; k < 4; ++k) {
        const int x = k & 1, y = k >> 1;
        const int a = x ? !coded(cbp, k - 1) : (nb.left && !coded(nb.left_cbp, k + 1));
        const int b = y ? !coded(cbp, k - 2) : (nb.top && !coded(nb.top_cbp, k + 2));
        bin(coded(cbp, k), kCbpLuma + a + 2 * b);
    }
    const uint32_t chroma = cbp & ~15u;
    int a = 0, b = 0;
    if (nb.chroma_format == 1) {
        a = nb.left && nb.left_cbp > 15;
        b = nb.top && nb.top_cbp > 15;
    }
    bin(chroma != 0, kCbpChroma + a + 2 * b);
    if (chroma) {
        a = nb.left && (nb.left_cbp & ~15) == 32;
        b = nb.top && (nb.top_cbp & ~15) == 32;
        bin(chroma == 48, kCbpChroma + a + 2 * b);
        if (chroma != 48)
            bin(chroma == 32, kCbpChroma2 + a + 2 * b);
    }
    if (cbp == 0)
        last_qp_delta_ = 0;
}

void AecSyntaxWriter::mb_qp_delta(int32_t delta)
{
    const uint32_t k = delta > 0 ? 2u * static_cast<uint32_t>(delta) - 1 : 2u * static_cast<uint32_t>(-delta);
    bin(k != 0, kQpDelta + (last_qp_delta_ != 0 ? 1 : 0));
    if (k != 0) {
        bin(k != 1, kQpDelta + 2);
        if (k >= 2) {
            for (uint32_t i = 2; i < k; ++i)
                bin(1, kQpDelta + 3);
            bin(0, kQpDelta + 3);
        }
    }
    last_qp_delta_ = delta;
}

void AecSyntaxWriter::coefs(const std::vector<AecCoef>& pairs, bool luma, bool field, bool small)
{
    static const int kSetBase[2][2] = {{64, 131}, {198, 265}};
    static const int32_t kThreshold[5] = {0, 1, 2, 4, 3000};
    const int set = kSetBase[field ? 1 : 0][luma ? 0 : 1];
    const size_t max_pairs = small ? 17 : 65;
    const int last_pos = small ? 15 : 63;
    int state = 0, pos = 0;
    for (size_t n = 0; n < pairs.size() && n < max_pairs; ++n) {
        const int g = set + 7 * state;
        const uint32_t m = static_cast<uint32_t>(std::abs(pairs[n].level));
        bin(m == 1, g + 1);
        for (uint32_t i = 2; i <= m; ++i)
            bin(i == m, g + 2);
        enc_.encode_bypass(pairs[n].level < 0 ? 1 : 0);
        const int i = m == 1 ? 0 : 2;
        const uint32_t run = static_cast<uint32_t>(pairs[n].run);
        bin(run == 0, g + 3 + i);
        for (uint32_t r = 1; r <= run; ++r)
            bin(r == run, g + 4 + i);
        if (static_cast<int32_t>(m) > kThreshold[state])
            state = m == 1 ? 1 : m == 2 ? 2 : m <= 4 ? 3 : 4;
        pos = std::min(pos + static_cast<int>(run) + 1, last_pos);
        if (n + 1 == max_pairs)
            break;
        const bool last = n + 1 == pairs.size();
        enc_.encode2(last ? 1 : 0, enc_.contexts[set + 7 * state], enc_.contexts[set + 35 + (pos >> 1)]);
    }
}

} // namespace svacwriter
