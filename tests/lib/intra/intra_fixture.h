// Decoding harness of the intra tests: feeds a stream the way a host does and keeps a copy of
// every output picture, per layer, in output order.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "picture_model.h"
#include "svacdec.h"

namespace intra_test {

struct Decoded {
    std::vector<intra_model::Picture> pictures[2];
    int32_t result = 0;
};

// Decodes the whole stream on an open instance, which ends drained; the library is initialised.
inline Decoded decode_on(void *h, const std::vector<uint8_t> &stream)
{
    Decoded out;
    std::vector<uint8_t> ext(1 << 16);
    auto drain = [&] {
        output_frame_rec rec;
        while (ZQ_SVACDEC_ZQ_SVAC_get_output_frame(h, &rec) == 0) {
            intra_model::Picture pic;
            pic.allocate(rec.width, rec.height, static_cast<uint32_t>(rec.chroma_format), rec.bit_depth);
            for (int p = 0; p < pic.planes; ++p)
                for (int32_t y = 0; y < pic.height[p]; ++y)
                    std::memcpy(pic.at(p, 0, y), rec.plane[p] + static_cast<int64_t>(y) * rec.stride[p],
                                static_cast<size_t>(pic.stride[p]));
            out.pictures[rec.layer & 1].push_back(std::move(pic));
            ZQ_SVACDEC_ZQ_SVAC_release_output_frame(h, &rec);
        }
    };
    size_t off = 0;
    while (off < stream.size()) {
        decode_input in{stream.data() + off, static_cast<int32_t>(stream.size() - off), 0};
        const int32_t r = ZQ_SVAC_Dec_Decode(h, &in, reinterpret_cast<extension_data_record *>(ext.data()));
        drain();
        if (r < 0) {
            out.result = r;
            break;
        }
        if (r == 0)
            break;
        off += static_cast<size_t>(r);
    }
    for (int layer = 0; layer < 2; ++layer)
        while (ZQ_SVAC_Get_LastFrame(h, layer) == 1)
            drain();
    return out;
}

inline Decoded decode_all(const std::vector<uint8_t> &stream, uint32_t cpu_flags = 0)
{
    ZQ_SVAC_Dec_Init(cpu_flags);
    void *h = ZQ_SVAC_Dec_Open();
    Decoded out = decode_on(h, stream);
    ZQ_SVAC_Dec_Close(h);
    return out;
}

// First differing sample, for a readable failure; empty when equal.
inline std::string first_difference(const intra_model::Picture &want, const intra_model::Picture &got)
{
    if (want.planes != got.planes || want.width[0] != got.width[0] || want.height[0] != got.height[0])
        return "geometry differs";
    for (int p = 0; p < want.planes; ++p)
        for (int32_t y = 0; y < want.height[p]; ++y)
            for (int32_t x = 0; x < want.width[p]; ++x)
                if (want.get(p, x, y) != got.get(p, x, y))
                    return "plane " + std::to_string(p) + " at (" + std::to_string(x) + ", " + std::to_string(y) +
                           "): model " + std::to_string(want.get(p, x, y)) + ", decoder " +
                           std::to_string(got.get(p, x, y));
    return {};
}

template <typename F>
std::string printed(F &&f)
{
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    f();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

} // namespace intra_test
