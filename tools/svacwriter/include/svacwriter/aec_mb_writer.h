// Macroblock layer of the SVAC stream writer in arithmetic (AEC) mode: the same macroblock
// values as the Exp-Golomb writers take, coded as bins with the contexts that follow from the
// macroblocks of the picture already written. One writer per slice:
//
//   BitWriter w;
//   write_slice_header(w, sh, sps, pps, nal_type);
//   w.align_zero();
//   AecSliceWriter s(picture, params, kind, single_ref);   // picture: shared by its slices
//   s.intra(addr, avail, mb, modes);  s.skip(addr, avail);  s.p(...);  s.b(...)
//   s.finish(w);                                           // end of slice, bytes appended
//
// What it cannot code fails the writer at finish(): a coded residual block without
// coefficients; a chroma mode above 3 (the arithmetic code has none); a base-layer predicted
// intra macroblock; a B block coded backward whose left neighbour is symmetric (that
// neighbour's derived vector difference, the context, depends on vector prediction).
#ifndef SVACWRITER_AEC_MB_WRITER_H
#define SVACWRITER_AEC_MB_WRITER_H

#include <cstdint>
#include <string>
#include <vector>

#include "svacwriter/aec_writer.h"
#include "svacwriter/bit_writer.h"
#include "svacwriter/mb_inter_writer.h"
#include "svacwriter/mb_writer.h"

namespace svacwriter {

enum class AecPictureKind { kI, kP, kB };

// What later macroblocks of the picture read of each macroblock.
class AecPictureState {
public:
    AecPictureState(uint32_t mb_width, uint32_t mb_height);

    struct Mb {
        int32_t type_code = 0;      // B pictures: the type value, 30 when skipped
        uint32_t cbp = 0;
        int32_t chroma_mode[2] = {};
        int32_t ref[4] = {-1, -1, -1, -1};      // list 0 reference index per 8x8 block
        int32_t mvd[2][4][2] = {};              // per list, 8x8 block, component
        int dir[4] = {-1, -1, -1, -1};          // B: 0 forward, 1 backward, 2 symmetric, -1 direct
    };
    Mb& at(uint32_t addr) { return mbs_[addr]; }
    uint32_t width() const { return width_; }

private:
    uint32_t width_;
    std::vector<Mb> mbs_;
};

class AecSliceWriter {
public:
    AecSliceWriter(AecPictureState& picture, const MbLayerParams& params, AecPictureKind kind, bool single_ref);

    // avail: 1 left, 2 top (the other bits are not read).
    bool intra(uint32_t addr, int32_t avail, const IntraMb& mb, IntraModeMap& modes);
    bool skip(uint32_t addr, int32_t avail);
    bool p(uint32_t addr, int32_t avail, const PMb& mb);
    bool b(uint32_t addr, int32_t avail, const BMb& mb);
    // Ends the slice after its last macroblock and appends the coded bytes (w must be aligned).
    bool finish(BitWriter& w);

private:
    using Mb = AecPictureState::Mb;
    // Ends the previous macroblock's bins and moves to macroblock addr with neighbours avail.
    void next_mb(uint32_t addr, int32_t avail);
    const Mb* left() const;
    const Mb* top() const;
    void cbp(uint32_t value);
    bool residual(const CoefList& pairs, bool luma, bool small);
    void qp(uint32_t cbp, int32_t delta);
    // Vector difference at block `block` of list `list`, with the context of its left neighbour.
    void mvd(const int32_t value[2], int list, int block, const Mb& cur, bool b_picture);
    // Pattern, QP change and residual blocks of a P or B macroblock; the pattern kept in cur.
    bool inter_residual(uint32_t pattern, int32_t qp_delta, const CoefList luma[4], const CoefList chroma[4],
                        Mb& cur);

    AecPictureState& pic_;
    MbLayerParams params_;
    AecPictureKind kind_;
    bool single_ref_;
    AecSyntaxWriter aec_;
    uint32_t addr_ = 0;
    int32_t avail_ = 0;
    bool started_ = false;
    std::string error_;
};

} // namespace svacwriter

#endif
