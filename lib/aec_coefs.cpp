// Arithmetic-mode residual blocks: (level, run) pairs with state-driven contexts, then the same
// dequantisation and inverse transform as the Exp-Golomb mode.
#include "aec.h"
#include "decoder_ctx.h"
#include "vlc_residual.h"

namespace {

constexpr int COEF_SET_SIZE = 67;
constexpr int COEF_POS_CONTEXTS = 35;   // first position context of a set
const int coef_set_base[2][2] = {{64, 131}, {198, 265}};   // [field][chroma]
const int32_t state_threshold[5] = {0, 1, 2, 4, 3000};

int next_state(int32_t magnitude) { return magnitude == 1 ? 1 : magnitude == 2 ? 2 : magnitude <= 4 ? 3 : 4; }

int read_block(decoder_ctx *ctx, int32_t qp, uint8_t *dst, int32_t stride, int is_luma, bool small)
{
    aec_decoder *d = &ctx->aec;
    mb_work &mb = ctx->mb;
    aec_ctx *set = d->contexts + coef_set_base[ctx->pic_structure != -1 ? 1 : 0][is_luma ? 0 : 1];
    static_assert(COEF_POS_CONTEXTS + 32 == COEF_SET_SIZE, "position contexts fill the set");
    const int max_pairs = small ? 17 : 65;
    const int last_pos = small ? 15 : 63;
    int state = 0, count = 0, pos = 0;
    for (;;) {
        aec_ctx *g = set + 7 * state;
        int32_t magnitude = 1;
        if (!aec_decode_bin(d, g + 1)) {
            magnitude = 2;
            while (!aec_decode_bin(d, g + 2) && !d->exhausted)
                ++magnitude;
        }
        const int negative = aec_decode_bypass(d);
        const int i = magnitude == 1 ? 0 : 2;
        int32_t run = 0;
        if (!aec_decode_bin(d, g + 3 + i)) {
            run = 1;
            while (!aec_decode_bin(d, g + 4 + i) && !d->exhausted)
                ++run;
        }
        const int32_t level = negative ? -magnitude : magnitude;
        mb.pairs[count] = (static_cast<uint32_t>(level) << 16) | (static_cast<uint32_t>(run + 1) & 0xFFFF);
        if (magnitude > state_threshold[state])
            state = next_state(magnitude);
        ++count;
        pos = pos + run + 1 < last_pos ? pos + run + 1 : last_pos;
        if (count == max_pairs)
            break;
        if (aec_decode_bin2(d, set + 7 * state, set + COEF_POS_CONTEXTS + (pos >> 1)))
            break;
    }
    residual_block_add(ctx, qp, count, dst, stride, small);
    return 0;
}

} // namespace

int aec_read_coefs(decoder_ctx *ctx, int32_t qp, uint8_t *dst, int32_t stride, int is_luma)
{
    return read_block(ctx, qp, dst, stride, is_luma, false);
}

int aec_read_coefs2(decoder_ctx *ctx, int32_t qp, uint8_t *dst, int32_t stride, int is_luma)
{
    return read_block(ctx, qp, dst, stride, is_luma, true);
}
