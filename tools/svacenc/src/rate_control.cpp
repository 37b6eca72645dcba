// Rate control: the QP of each picture, and how each coded picture moves it.
#include "encoder_state.h"

namespace svacenc {

int Encoder::State::picture_qp(bool key) const
{
    if (cfg.target_bits <= 0)
        return std::min(std::max(cfg.qp, 0), 55);
    return std::min(std::max(key ? key_qp : qp, cfg.min_qp), cfg.max_qp);
}

// Rate control: each picture type has its QP and its share of a group's bits, the key
// picture's share from the ratio of key to P-picture bits seen so far; each QP moves
// towards its share by half the logarithmic error, corrected by the debt of the stream.
void Encoder::State::account(bool key, size_t bytes)
{
    if (cfg.target_bits <= 0)
        return;
    const double bits = double(bytes) * 8;
    const double target = cfg.target_bits;
    debt += int64_t(bits - target);
    if (key)
        key_bits = bits;
    else
        p_bits = p_bits > 0 ? 0.8 * p_bits + 0.2 * bits : bits;
    const double ratio = key_bits > 0 && p_bits > 0 ? std::min(std::max(key_bits / p_bits, 1.0), 40.0) : 8.0;
    const int gop = std::min(cfg.gop, 250);
    const double group = target * gop;
    const double share = key ? group * ratio / (ratio + gop - 1) : group / (ratio + gop - 1);
    const double correction = std::min(std::max(1.0 - double(debt) / (2 * group), 0.5), 1.5);
    const double error = std::log2(bits / std::max(1.0, share * correction));
    const int step = int(std::lround(std::min(std::max(3.5 * error, -4.0), 4.0)));
    int &picture_type_qp = key ? key_qp : qp;
    picture_type_qp = std::min(std::max(picture_type_qp + step, cfg.min_qp), cfg.max_qp);
    if (debt > 4 * int64_t(group))
        debt = 4 * int64_t(group);
    if (debt < -4 * int64_t(group))
        debt = -4 * int64_t(group);
}

} // namespace svacenc
