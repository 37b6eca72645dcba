// Inter mode decision by rate-distortion cost: each candidate (skipped, P_16X16, the
// partitionings) is predicted, quantised and reconstructed, and costs its squared error plus
// lambda x its bits.
#include "encoder_state.h"

namespace svacenc {

double Encoder::State::rd_lambda() const
{
    // The customary weight for a quantiser step, about 0.135 step squared per bit, scaled.
    const double step = k::quant_step(pic_qp);
    return cfg.lambda_scale * 0.135 * step * step;
}

PMb Encoder::State::p_syntax(const Motion &m, int cbp, const int16_t levels[6][64])
{
    PMb mb;
    mb.kind = m.kind;
    for (int i = 0; i < m.parts(); ++i) {
        mb.mvd[i][0] = m.mv[i].x - m.pred[i].x;
        mb.mvd[i][1] = m.mv[i].y - m.pred[i].y;
    }
    mb.cbp = uint32_t(cbp);
    for (int b = 0; b < 4; ++b)
        if (cbp & (1 << b))
            mb.luma[b] = vlc_pairs(levels[b], 64);
    for (int p = 0; p < 2; ++p)
        if (cbp & (16 << p))
            mb.chroma[p] = vlc_pairs(levels[4 + p], 64);
    return mb;
}

int Encoder::State::mb_bits(const Motion &m, int cbp, const int16_t levels[6][64])
{
    BitWriter w;
    PLayerParams params;
    params.single_ref = true;
    write_skip_run(w, 0);
    write_p_mb(w, p_syntax(m, cbp, levels), params);
    return int(w.bit_count());
}

double Encoder::State::decide_inter(int mx, int my, Mv pred, Motion *motion, int *cbp, int16_t levels[6][64])
{
    const double lam = rd_lambda();
    int16_t trial[6][64];
    Motion at_pred;
    at_pred.mv[0] = at_pred.pred[0] = pred;
    predict_inter(mx, my, pred);
    // Skipped: one bit of the skip run, no residual. A coded macroblock takes at least a type,
    // a vector difference and a pattern besides the run.
    double best = prediction_error(mx, my) + lam;
    *motion = at_pred;
    *cbp = 0;
    if (best <= 5 * lam)
        return best;
    // Costs the candidate whose prediction is in cur.
    auto consider = [&](const Motion &m) {
        double error;
        const int c = rd_residual(mx, my, lam, trial, &error);
        const double cost = error + lam * mb_bits(m, c, trial);
        if (cost < best) {
            best = cost;
            *motion = m;
            *cbp = c;
            std::memcpy(levels, trial, sizeof trial);
        }
    };
    consider(at_pred);
    // P_16X16 at the searched vector, and each partitioning whose motion cost comes near
    // P_16X16's (cfg.split_margin).
    const Mv mv = search(mx, my, pred);
    Motion whole;
    whole.mv[0] = mv;
    whole.pred[0] = pred;
    if (mv != pred) {
        predict_inter(mx, my, mv);
        consider(whole);
    }
    const int whole_cost = sad_at(mx, my, mv) + lambda() * whole.bits();
    for (PKind kind = PKind::k16x16; next_shape(&kind);) {
        int cost;
        const Motion split = search_shape(mx, my, kind, mv, &cost);
        if (cost < whole_cost * (1 + double(cfg.split_margin))) {
            predict_split(mx, my, split);
            consider(split);
        }
    }
    if (motion->kind != PKind::k16x16)
        predict_split(mx, my, *motion);
    else
        predict_inter(mx, my, motion->mv[0]);
    return best;
}

double Encoder::State::intra_rd_cost(int mx, int my, const IntraMb &mb) const
{
    const bool is8 = mb.kind == IntraKind::k8x8;
    const int blocks = is8 ? 4 : 16;
    // Type and pattern, two bits a luma mode and one for chroma.
    int bits = 6 + 2 * blocks + 1;
    for (int b = 0; b < blocks; ++b) {
        if (mb.luma[b].empty())
            continue;
        BitWriter w;
        write_coef_block(w, VlcTableSet::kIntraLuma, mb.luma[b], !is8);
        bits += int(w.bit_count());
    }
    for (int p = 0; p < 2; ++p)
        if (mb.cbp & (16 << p)) {
            BitWriter w;
            write_coef_block(w, VlcTableSet::kChroma, mb.chroma[p], false);
            bits += int(w.bit_count());
        }
    return prediction_error(mx, my) + rd_lambda() * bits;
}

} // namespace svacenc
