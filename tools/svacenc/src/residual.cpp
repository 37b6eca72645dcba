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

namespace {

int64_t ssd8(const uint8_t *a, int as, const uint8_t *b, int bs)
{
    int64_t s = 0;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const int d = int(a[y * as + x]) - int(b[y * bs + x]);
            s += d * d;
        }
    return s;
}

// Texture energy of an 8x8 block: the magnitudes of its Hadamard transform's AC
// coefficients, in orthonormal units.
double texture8(const uint8_t *a, int stride)
{
    int t[8][8];
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            t[y][x] = a[y * stride + x];
    for (int pass = 0; pass < 2; ++pass) {
        for (int y = 0; y < 8; ++y)
            for (int h = 1; h < 8; h <<= 1)
                for (int x = 0; x < 8; ++x)
                    if (!(x & h)) {
                        const int u = t[y][x], v = t[y][x + h];
                        t[y][x] = u + v;
                        t[y][x + h] = u - v;
                    }
        for (int y = 0; y < 8; ++y)
            for (int x = y + 1; x < 8; ++x)
                std::swap(t[y][x], t[x][y]);
    }
    int sum = -std::abs(t[0][0]);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            sum += std::abs(t[y][x]);
    return sum / 8.0;
}

} // namespace

double Encoder::State::block_error(int plane, const uint8_t *s, const uint8_t *r, int r_stride) const
{
    const int stride = src.stride(plane);
    double e = double(ssd8(s, stride, r, r_stride));
    if (plane == 0 && cfg.psy > 0)
        e += cfg.psy * sad_lambda * std::abs(texture8(s, stride) - texture8(r, r_stride));
    return e;
}

double Encoder::State::prediction_error(int mx, int my) const
{
    double e = 0;
    for (int b = 0; b < 4; ++b) {
        const int x = 16 * mx + 8 * (b & 1), y = 16 * my + 8 * (b >> 1);
        e += block_error(0, src.at(0, x, y), cur.at(0, x, y), cur.w);
    }
    for (int p = 1; p <= 2; ++p)
        e += block_error(p, src.at(p, 8 * mx, 8 * my), cur.at(p, 8 * mx, 8 * my), cur.w / 2);
    return e;
}

int Encoder::State::rd_residual(int mx, int my, double lambda, int16_t levels[6][64], double *error) const
{
    const int qp = pic_qp, cqp = chroma_qp_table[qp];
    int cbp = 0;
    *error = 0;
    for (int b = 0; b < 6; ++b) {
        const int p = b < 4 ? 0 : b - 3;
        const int x = p ? 8 * mx : 16 * mx + 8 * (b & 1), y = p ? 8 * my : 16 * my + 8 * (b >> 1);
        const uint8_t *s = src.at(p, x, y), *pred = cur.at(p, x, y);
        const int stride = cur.stride(p), q = p ? cqp : qp;
        const double before = block_error(p, s, pred, stride);
        double after = before;
        if (k::quantise8x8(s, stride, pred, stride, q, cfg.inter_rounding, levels[b])) {
            uint8_t rec[64];
            for (int r = 0; r < 8; ++r)
                std::memcpy(rec + 8 * r, pred + r * stride, 8);
            k::reconstruct8x8(levels[b], q, rec, 8);
            after = block_error(p, s, rec, 8);
            BitWriter w;
            write_coef_block(w, p ? VlcTableSet::kChroma : VlcTableSet::kInterLuma, vlc_pairs(levels[b], 64), false);
            if (before - after > lambda * double(w.bit_count()))
                cbp |= b < 4 ? 1 << b : 16 << (b - 4);
            else
                after = before;
        }
        *error += after;
    }
    return cbp;
}

} // namespace svacenc
