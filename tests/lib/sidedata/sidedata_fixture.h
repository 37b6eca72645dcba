// Shared fixture of the side-data tests: one decoder instance fed like a host feeds it, with
// a slice decoder that logs what reaches it (payload and header) and takes every macroblock
// as decoded.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "decoder_ctx.h"
#include "mb_address.h"
#include "nal_walk.h"
#include "slice_header.h"
#include "svacdec.h"
#include "svacwriter/svac_writer.h"

namespace sidedata_test {

using Bytes = std::vector<uint8_t>;

// What one slice handed to the slice decoder.
struct SliceSeen {
    Bytes payload;
    int32_t bits;
    int32_t frame_num, slice_type, first_mb, qp;
    bool operator==(const SliceSeen &o) const
    {
        return payload == o.payload && bits == o.bits && frame_num == o.frame_num &&
               slice_type == o.slice_type && first_mb == o.first_mb && qp == o.qp;
    }
};

inline std::vector<SliceSeen> *slice_log = nullptr;

inline int32_t logging_slice(decoder_ctx *ctx)
{
    SliceSeen seen;
    seen.bits = ctx->bs.length;
    seen.payload.assign(ctx->bs.base, ctx->bs.base + (ctx->bs.length + 7) / 8);
    const int result = parse_slice_header(ctx);
    seen.frame_num = ctx->frame_num;
    seen.slice_type = ctx->slice_type;
    seen.first_mb = ctx->first_mb_in_slice;
    seen.qp = ctx->slice_qp;
    if (slice_log)
        slice_log->push_back(seen);
    if (result < 0)
        return result;
    layer_ctx &layer = ctx->layer[ctx->cur_layer];
    ctx->pic_type = ctx->slice_type == 2 ? 1 : ctx->slice_type == 0 ? 2 : 3;
    layer.poc_cur = (2 * ctx->frame_num) & 511;
    while (mb_advance(ctx)) {
    }
    if (ctx->pic_type == 3 || layer.picture_done != 1)
        return layer.picture_done ? 0 : 1;
    frame_unref(&layer.ref1);
    layer.ref1 = layer.ref0;
    layer.ref0 = layer.cur;
    layer.cur = nullptr;
    layer.poc_ref1 = layer.poc_ref0;
    layer.poc_ref0 = layer.poc_cur;
    ctx->slice_count = 0;
    return 0;
}

// The record inside guard bytes that catch writes past its end.
struct GuardedRecord {
    extension_data_record rec;
    uint8_t guard[1024];
};

class Decoder {
public:
    Decoder()
    {
        ZQ_SVAC_Dec_Init(0);
        handle_ = ZQ_SVAC_Dec_Open();
        ctx = static_cast<decoder_ctx *>(handle_);
        saved_ = nal_slice_decoder;
        nal_slice_decoder = logging_slice;
        slice_log = &slices;
        std::memset(&record, 0xAB, sizeof record);
    }
    ~Decoder()
    {
        slice_log = nullptr;
        nal_slice_decoder = saved_;
        ZQ_SVAC_Dec_Close(handle_);
    }
    Decoder(const Decoder &) = delete;
    Decoder &operator=(const Decoder &) = delete;

    void set_key(const Bytes &key)
    {
        ZQ_SVAC_Set_Key(handle_, key.data(), static_cast<uint32_t>(key.size()));
    }

    // Feeds a buffer like a host: again with the rest after every partial return. Returns
    // the first negative code, else 0.
    int32_t feed(const Bytes &s, bool with_record = true)
    {
        size_t off = 0;
        while (off < s.size()) {
            decode_input in{s.data() + off, static_cast<int32_t>(s.size() - off), 0};
            const int32_t r = ZQ_SVAC_Dec_Decode(handle_, &in, with_record ? &record.rec : nullptr);
            drain();
            if (r < 0)
                return r;
            if (r == 0)
                break;
            off += static_cast<size_t>(r);
        }
        return 0;
    }

    void drain()
    {
        output_frame_rec rec;
        while (ZQ_SVACDEC_ZQ_SVAC_get_output_frame(handle_, &rec) == 0) {
            ++pictures;
            ZQ_SVACDEC_ZQ_SVAC_release_output_frame(handle_, &rec);
        }
    }

    const uint8_t *bytes() const { return record.rec.bytes; }
    int32_t word(int32_t off) const
    {
        int32_t v;
        std::memcpy(&v, record.rec.bytes + off, 4);
        return v;
    }
    uint16_t half(int32_t off) const
    {
        uint16_t v;
        std::memcpy(&v, record.rec.bytes + off, 2);
        return v;
    }
    Bytes range(int32_t off, int32_t n) const { return Bytes(bytes() + off, bytes() + off + n); }

    decoder_ctx *ctx = nullptr;
    GuardedRecord record;
    std::vector<SliceSeen> slices;
    int pictures = 0;

private:
    void *handle_ = nullptr;
    int32_t (*saved_)(decoder_ctx *) = nullptr;
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

// Every byte of [from, to) still holds the fill pattern.
inline bool untouched(const uint8_t *p, int32_t from, int32_t to)
{
    for (int32_t i = from; i < to; ++i)
        if (p[i] != 0xAB)
            return false;
    return true;
}

inline Bytes counting(size_t n, uint8_t first)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = static_cast<uint8_t>(first + i);
    return b;
}

template <size_t N>
std::array<uint8_t, N> counting_array(uint8_t first)
{
    std::array<uint8_t, N> a;
    for (size_t i = 0; i < N; ++i)
        a[i] = static_cast<uint8_t>(first + i);
    return a;
}

} // namespace sidedata_test
