// Prints pictures and macroblocks per second for a 1920x1088 4:2:0 intra stream in VLC mode.
// Usage: pravenna_decode_bench [pictures (default 30)] [rounds (default 3)] [cpu flags: auto|0]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "svacdec.h"
#include "svacwriter/mb_writer.h"
#include "svacwriter/svac_writer.h"

using namespace svacwriter;

namespace {

constexpr uint32_t kMbWidth = 120, kMbHeight = 68;

int pick(std::mt19937 &rng, int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }

CoefList coefs(std::mt19937 &rng, int n)
{
    CoefList list;
    int pos = -1;
    const int count = pick(rng, 0, n == 8 ? 10 : 5);
    std::vector<int> positions;
    for (int i = 0; i < count; ++i)
        positions.push_back(pick(rng, 0, n * n - 1));
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    for (int p : positions) {
        list.push_back({pick(rng, 0, 1) ? pick(rng, 1, 6) : -pick(rng, 1, 6), static_cast<uint32_t>(p - pos)});
        pos = p;
    }
    std::reverse(list.begin(), list.end());
    return list;
}

// A mode for block i that needs no missing neighbour and that the syntax can code.
int32_t mode_for(std::mt19937 &rng, int32_t pred, bool left_edge_missing, bool top_edge_missing)
{
    std::vector<int32_t> options;
    for (int32_t m : {pred, 0, 1, 2, 3, 4}) {
        const int32_t rem = m < pred ? m : m - 1;
        if (m != pred && (rem < 0 || rem > 3))
            continue;
        if (left_edge_missing && top_edge_missing && m != 2)
            continue;
        if (left_edge_missing && m != 0 && m != 2)
            continue;
        if (top_edge_missing && m != 1 && m != 2)
            continue;
        options.push_back(m);
    }
    return options[static_cast<size_t>(pick(rng, 0, static_cast<int>(options.size()) - 1))];
}

std::vector<uint8_t> make_stream(uint32_t pictures)
{
    std::mt19937 rng(2024);
    Sps sps;
    sps.mb_width = kMbWidth;
    sps.mb_height = kMbHeight;
    Pps pps;
    pps.pic_init_qp = 30;
    std::vector<NalUnit> units = {sps_unit(sps), pps_unit(pps, sps)};
    for (uint32_t f = 0; f < pictures; ++f) {
        SliceHeader sh;
        sh.frame_num = f & 255;
        sh.fixed_slice_qp = false;
        const uint32_t type = f == 0 ? kNalIdrBase : kNalSliceBase;
        BitWriter w;
        write_slice_header(w, sh, sps, pps, type);
        IntraModeMap map(kMbWidth, kMbHeight);
        MbLayerParams params;
        params.fixed_slice_qp = false;
        for (uint32_t y = 0; y < kMbHeight; ++y)
            for (uint32_t x = 0; x < kMbWidth; ++x) {
                IntraMb mb;
                mb.kind = pick(rng, 0, 3) == 0 ? IntraKind::k4x4 : IntraKind::k8x8;
                const bool is8 = mb.kind == IntraKind::k8x8;
                for (int i = 0; i < (is8 ? 4 : 16); ++i) {
                    const bool left_edge = is8 ? (i & 1) == 0 : (i & 5) == 0;
                    const bool top_edge = is8 ? i < 2 : (i & 10) == 0;
                    const int32_t pred = map.predict(x, y, x > 0, y > 0, mb.kind, mb.luma_modes, i);
                    mb.luma_modes[i] = mode_for(rng, pred, left_edge && x == 0, top_edge && y == 0);
                }
                mb.chroma_modes[0] = x == 0 && y == 0 ? 0 : x == 0 ? 4 : y == 0 ? 1 : pick(rng, 0, 6);
                mb.cbp = static_cast<uint32_t>(pick(rng, 0, 63));
                for (int k = 0; k < 4; ++k)
                    mb.cbp4x4[k] = static_cast<uint8_t>(pick(rng, 0, 15));
                mb.qp_delta = pick(rng, -1, 1);
                for (int i = 0; i < (is8 ? 4 : 16); ++i)
                    mb.luma[i] = coefs(rng, is8 ? 8 : 4);
                for (auto &c : mb.chroma)
                    c = coefs(rng, 8);
                write_intra_mb(w, mb, params, map, x, y, x > 0, y > 0);
            }
        if (!w.ok()) {
            std::fprintf(stderr, "writer: %s\n", w.error().c_str());
            return {};
        }
        units.push_back(finish_unit(nal_header(type), w));
    }
    return svacwriter::make_stream(units);
}

} // namespace

int main(int argc, char **argv)
{
    const uint32_t pictures = argc > 1 ? static_cast<uint32_t>(std::atoi(argv[1])) : 30;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    const bool portable = argc > 3 && std::string(argv[3]) == "0";
    const std::vector<uint8_t> stream = make_stream(pictures);
    if (stream.empty())
        return 1;
    const uint32_t flags = portable ? 0 : ZQ_SVAC_Dec_GetCPUCaps();
    ZQ_SVAC_Dec_Init(flags);
    std::printf("stream: %u pictures of 1920x1088 4:2:0 intra, %zu bytes (%.1f kB per picture), cpu flags 0x%x\n",
                pictures, stream.size(), stream.size() / 1024.0 / pictures, flags);
    std::vector<uint8_t> ext(SVAC_EXT_RECORD_SIZE);
    for (int round = 0; round < rounds; ++round) {
        void *h = ZQ_SVAC_Dec_Open();
        uint32_t out = 0;
        const auto start = std::chrono::steady_clock::now();
        size_t off = 0;
        output_frame_rec rec;
        while (off < stream.size()) {
            decode_input in{stream.data() + off, static_cast<int32_t>(stream.size() - off), 0};
            const int32_t r = ZQ_SVAC_Dec_Decode(h, &in, reinterpret_cast<extension_data_record *>(ext.data()));
            while (ZQ_SVACDEC_ZQ_SVAC_get_output_frame(h, &rec) == 0) {
                ++out;
                ZQ_SVACDEC_ZQ_SVAC_release_output_frame(h, &rec);
            }
            if (r <= 0) {
                if (r < 0)
                    std::fprintf(stderr, "decode error %d\n", r);
                break;
            }
            off += static_cast<size_t>(r);
        }
        while (ZQ_SVAC_Get_LastFrame(h, 0) == 1)
            while (ZQ_SVACDEC_ZQ_SVAC_get_output_frame(h, &rec) == 0) {
                ++out;
                ZQ_SVACDEC_ZQ_SVAC_release_output_frame(h, &rec);
            }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ZQ_SVAC_Dec_Close(h);
        std::printf("round %d: %u pictures in %.3f s: %.1f pictures/s, %.0f macroblocks/s\n", round + 1, out, seconds,
                    out / seconds, out * double(kMbWidth * kMbHeight) / seconds);
    }
    return 0;
}
