// Shared fixture of the front-end tests: one decoder instance fed with writer-made streams the
// way a host feeds it, with a slice decoder that takes every macroblock as decoded.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "decoder_ctx.h"
#include "mb_address.h"
#include "nal_walk.h"
#include "slice_header.h"
#include "svacdec.h"
#include "svacwriter/svac_writer.h"

namespace frontend_test {

using Bytes = std::vector<uint8_t>;

// Macroblocks visited by the slices, with the neighbours available to each.
struct Visit {
    int32_t addr;
    int32_t avail;
    bool operator==(const Visit &o) const { return addr == o.addr && avail == o.avail; }
};
inline std::vector<Visit> *visit_log = nullptr;

// Slices without macroblock data: header, then every macroblock of the slice's region through
// the addressing walk, then the reference rotation of a finished I or P picture.
inline int32_t headers_only_slice(decoder_ctx *ctx)
{
    const int result = parse_slice_header(ctx);
    if (result < 0)
        return result;
    layer_ctx &layer = ctx->layer[ctx->cur_layer];
    ctx->pic_type = ctx->slice_type == 2 ? 1 : ctx->slice_type == 0 ? 2 : 3;
    layer.poc_cur = (2 * ctx->frame_num) & 511;
    do {
        if (visit_log)
            visit_log->push_back({layer.cur_mb_addr, layer.mb_avail});
    } while (mb_advance(ctx));
    if (ctx->pic_type == 3 || layer.picture_done != 1)
        return layer.picture_done ? 0 : 1;
    frame_unref(&layer.ref1);
    layer.ref1 = layer.ref0;
    layer.ref0 = layer.cur;
    layer.cur = nullptr;
    layer.poc_ref1 = layer.poc_ref0;
    layer.poc_ref0 = layer.poc_cur;
    if (ctx->cur_sps->roi_flag)
        layer.roi_regions_left = ctx->cur_pps->num_roi;
    ctx->slice_count = 0;
    return 0;
}

struct Output {
    int32_t layer;
    int32_t poc;
    int32_t width, height;
    bool operator==(const Output &o) const
    {
        return layer == o.layer && poc == o.poc && width == o.width && height == o.height;
    }
};

inline std::ostream &operator<<(std::ostream &os, const Output &o)
{
    return os << "{layer " << o.layer << " poc " << o.poc << " " << o.width << "x" << o.height << "}";
}

class Decoder {
public:
    Decoder()
    {
        ZQ_SVAC_Dec_Init(0);
        handle_ = ZQ_SVAC_Dec_Open();
        ctx = static_cast<decoder_ctx *>(handle_);
        saved_ = nal_slice_decoder;
        nal_slice_decoder = headers_only_slice;
    }
    ~Decoder()
    {
        nal_slice_decoder = saved_;
        ZQ_SVAC_Dec_Close(handle_);
    }
    Decoder(const Decoder &) = delete;
    Decoder &operator=(const Decoder &) = delete;

    int32_t decode(const uint8_t *data, int32_t size, int32_t mask = 0)
    {
        decode_input in{data, size, mask};
        const int32_t r = ZQ_SVAC_Dec_Decode(handle_, &in, &ext_);
        drain();
        return r;
    }
    int32_t decode(const Bytes &s, int32_t mask = 0)
    {
        return decode(s.data(), static_cast<int32_t>(s.size()), mask);
    }

    // Feeds a buffer like a host: again with the rest after every partial return. Returns
    // the first negative code, else 0; calls counts the decode calls.
    int32_t feed(const Bytes &s, int32_t mask = 0, int *calls = nullptr)
    {
        size_t off = 0;
        while (off < s.size()) {
            const int32_t r = decode(s.data() + off, static_cast<int32_t>(s.size() - off), mask);
            if (calls)
                ++*calls;
            if (r < 0)
                return r;
            if (r == 0)
                break;
            off += static_cast<size_t>(r);
        }
        return 0;
    }

    void finish(int32_t layer)
    {
        while (ZQ_SVAC_Get_LastFrame(handle_, layer) == 1)
            drain();
    }

    void drain()
    {
        output_frame_rec rec;
        while (ZQ_SVACDEC_ZQ_SVAC_get_output_frame(handle_, &rec) == 0) {
            outputs.push_back({rec.layer, ctx->layer[rec.layer].poc_last_out, rec.width, rec.height});
            ZQ_SVACDEC_ZQ_SVAC_release_output_frame(handle_, &rec);
        }
    }

    decoder_ctx *ctx = nullptr;
    std::vector<Output> outputs;

private:
    void *handle_ = nullptr;
    int32_t (*saved_)(decoder_ctx *) = nullptr;
    extension_data_record ext_{};
};

// Stdout of a call, for the diagnostics the decoder prints.
template <typename F>
std::string printed(F &&f)
{
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    f();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

inline svacwriter::SliceHeader slice(uint32_t frame_num, uint32_t type = svacwriter::kSliceI,
                                     uint32_t first_mb = 0)
{
    svacwriter::SliceHeader sh;
    sh.frame_num = frame_num;
    sh.slice_type = type;
    sh.first_mb_in_slice = first_mb;
    return sh;
}

} // namespace frontend_test
