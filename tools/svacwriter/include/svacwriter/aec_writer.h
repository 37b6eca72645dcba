// Arithmetic-mode encoder of the SVAC stream writer: the adaptive binary arithmetic code with
// logarithmic probabilities (AecEncoder) and the macroblock-layer syntax elements on top of it
// (AecSyntaxWriter). Slice data starts byte aligned after the slice header:
//
//   BitWriter w;
//   write_slice_header(w, sh, sps, pps, kNalIdrBase);
//   w.align_zero();
//   AecSyntaxWriter aec;
//   ... aec.mb_type_i(0); ...; aec.end_of_slice(last);
//   std::vector<uint8_t> data = aec.finish();   // after end_of_slice(true)
//   w.put_bytes(data.data(), data.size());
#ifndef SVACWRITER_AEC_WRITER_H
#define SVACWRITER_AEC_WRITER_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace svacwriter {

struct AecContext {
    uint8_t mps = 0;
    uint8_t cycno = 0;
    uint16_t lgpmps = 1023;
};

constexpr int kAecContexts = 332;

class AecEncoder {
public:
    // One bin with one context, with two contexts, with the fixed even estimate.
    void encode(int bin, AecContext& c);
    void encode2(int bin, AecContext& a, AecContext& b);
    void encode_bypass(int bin);
    // The end-of-slice decision; 1 must be the last bin of the slice.
    void encode_terminate(int bin);
    // The coded bytes. Fails (empty, error set) unless the last bin was a terminating 1.
    std::vector<uint8_t> finish();

    AecContext contexts[kAecContexts];
    const std::string& error() const { return error_; }

private:
    void code(int lps, uint32_t rlps);
    void add_at(uint32_t value, uint64_t lsb_index);

    std::vector<uint8_t> bits_;    // code value, most significant bit first, one bit per entry
    uint64_t unit_ = 9;            // bit index of the range's least significant bit
    uint32_t s1_ = 0, t1_ = 255;
    bool terminated_ = false;
    std::string error_;
};

// One (level, run) pair of a residual block, in coding order.
struct AecCoef {
    int32_t level;
    int32_t run;
};

// Neighbour context of the coded block pattern.
struct AecCbpNeighbours {
    bool left = false, top = false;
    int32_t left_cbp = 0, top_cbp = 0;
    uint32_t chroma_format = 1;
};

class AecSyntaxWriter {
public:
    void mb_skip_run(uint32_t run);
    // I picture type 0 (I_4X4) or 1 (I_8X8); larger values give longer strings.
    void mb_type_i(uint32_t type);
    // P picture value 0..5 as the Exp-Golomb mode carries it.
    void mb_type_p(uint32_t value);
    // B picture value 0..24; inc = the neighbour increment 0..2.
    void mb_type_b(uint32_t value, int inc);
    void end_of_slice(bool last);
    void base_pred_flag(uint32_t run);
    void mb_part_type(uint32_t value);
    void pred_mode_flag(bool flag);
    void intra_luma_pred_mode(uint32_t remainder);
    void intra_chroma_pred_mode(uint32_t mode, int inc);
    void ref_idx(uint32_t value, int inc, bool b_picture);
    // component 0 horizontal, 1 vertical; inc = the neighbour increment 0..2.
    void mvd(int32_t value, int component, int inc);
    void cbp(uint32_t cbp, const AecCbpNeighbours& nb);
    void mb_qp_delta(int32_t delta);
    // A macroblock without QP change.
    void clear_qp_delta() { last_qp_delta_ = 0; }
    // Residual block of 8x8 (small false) or 4x4 coefficients.
    void coefs(const std::vector<AecCoef>& pairs, bool luma, bool field, bool small);

    std::vector<uint8_t> finish() { return enc_.finish(); }
    AecEncoder& encoder() { return enc_; }

private:
    void bin(int b, int k) { enc_.encode(b, enc_.contexts[k]); }
    void unary(uint32_t zeros, int first, int next);

    AecEncoder enc_;
    int32_t last_qp_delta_ = 0;
};

} // namespace svacwriter

#endif
