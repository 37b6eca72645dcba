// Inter residuals: quantised levels of a predicted macroblock and their reconstruction.
#include "encoder_state.h"

namespace svacenc {

void Encoder::State::save_mb(int mx, int my, MbSamples *m) const
{
    for (int y = 0; y < 16; ++y)
        std::memcpy(m->y + 16 * y, cur.at(0, 16 * mx, 16 * my + y), 16);
    for (int p = 1; p <= 2; ++p)
        for (int y = 0; y < 8; ++y)
            std::memcpy(m->c[p - 1] + 8 * y, cur.at(p, 8 * mx, 8 * my + y), 8);
}

void Encoder::State::restore_mb(int mx, int my, const MbSamples &m)
{
    for (int y = 0; y < 16; ++y)
        std::memcpy(cur.at(0, 16 * mx, 16 * my + y), m.y + 16 * y, 16);
    for (int p = 1; p <= 2; ++p)
        for (int y = 0; y < 8; ++y)
            std::memcpy(cur.at(p, 8 * mx, 8 * my + y), m.c[p - 1] + 8 * y, 8);
}

int Encoder::State::inter_residual(int mx, int my, int16_t levels[6][64])
{
    const int qp = pic_qp, cqp = chroma_qp_table[qp];
    int cbp = 0;
    for (int b = 0; b < 4; ++b) {
        const int bx = 16 * mx + 8 * (b & 1), by = 16 * my + 8 * (b >> 1);
        uint8_t *dst = cur.at(0, bx, by);
        if (k::quantise8x8(src.at(0, bx, by), src.w, dst, cur.w, qp, cfg.inter_rounding, levels[b]))
            cbp |= 1 << b;
    }
    for (int p = 0; p < 2; ++p) {
        uint8_t *dst = cur.at(1 + p, 8 * mx, 8 * my);
        if (k::quantise8x8(src.at(1 + p, 8 * mx, 8 * my), src.w / 2, dst, cur.w / 2, cqp, cfg.inter_rounding, levels[4 + p]))
            cbp |= 16 << p;
    }
    return cbp;
}

void Encoder::State::apply_residual(int mx, int my, int cbp, int16_t levels[6][64])
{
    const int qp = pic_qp, cqp = chroma_qp_table[qp];
    for (int b = 0; b < 4; ++b)
        if (cbp & (1 << b))
            k::reconstruct8x8(levels[b], qp, cur.at(0, 16 * mx + 8 * (b & 1), 16 * my + 8 * (b >> 1)), cur.w);
    for (int p = 0; p < 2; ++p)
        if (cbp & (16 << p))
            k::reconstruct8x8(levels[4 + p], cqp, cur.at(1 + p, 8 * mx, 8 * my), cur.w / 2);
}

} // namespace svacenc
