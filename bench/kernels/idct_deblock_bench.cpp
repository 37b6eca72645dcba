// Prints nanoseconds per call of the portable and the SSSE3 kernel of every 8-bit slot of each
// family (inverse transforms, deblocking, luma MC at all 16 positions, chroma MC at all widths,
// intra prediction in every mode), and their ratio; "-" where the slot keeps its portable
// kernel. Usage: pravenna_kernels_bench [rounds (default 2000)]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "cpu.h"
#include "deblock.h"
#include "idct.h"
#include "kernel_timing.h"

namespace {

using kbench::kBatch;
using kbench::report;
using kbench::time_per_call;

void bench_idct(int rounds, std::mt19937 &rng)
{
    struct Size {
        const char *name;
        idct_size size;
        int n;
    };
    for (const Size &s : {Size{"idct8x8_8bit", IDCT_8X8, 8}, Size{"idct4x4_8bit", IDCT_4X4, 4}}) {
        idct_init(0);
        const idct_fn portable = idct_funcs[s.size][0];
        idct_init(0x80);
        const idct_fn ssse3 = idct_funcs[s.size][0];
        // Realistic magnitudes: a few non-zero dequantised coefficients per block.
        std::vector<int32_t> pristine(size_t(kBatch) * 64);
        std::uniform_int_distribution<int> value(-2000, 2000), chance(0, 5);
        for (int32_t &c : pristine)
            c = chance(rng) == 0 ? value(rng) : 0;
        alignas(16) static int32_t blocks[kBatch * 64];
        std::vector<uint8_t> picture(size_t(kBatch) * 8 * 8, 128);
        const int stride = kBatch * 8;
        auto reset = [&] { std::memcpy(blocks, pristine.data(), sizeof blocks); };
        auto run = [&](idct_fn fn) {
            return [&, fn] {
                for (int b = 0; b < kBatch; ++b)
                    fn(picture.data() + b * 8, blocks + b * 64, stride);
            };
        };
        report(s.name, time_per_call(rounds, reset, run(portable)), time_per_call(rounds, reset, run(ssse3)));
    }

    // Blocks of one and of two coefficients at random positions.
    idct_init(0);
    const idct_single_fn single_portable = idct8x8_single_funcs[0];
    const idct_pair_fn pair_portable = idct8x8_pair_funcs[0];
    idct_init(0x80);
    const idct_single_fn single_ssse3 = idct8x8_single_funcs[0];
    const idct_pair_fn pair_ssse3 = idct8x8_pair_funcs[0];
    std::vector<int32_t> pristine(size_t(kBatch) * 64, 0);
    std::vector<int> first(kBatch), second(kBatch);
    std::uniform_int_distribution<int> value(-2000, 2000), position(0, 63);
    for (int b = 0; b < kBatch; ++b) {
        first[size_t(b)] = position(rng);
        do
            second[size_t(b)] = position(rng);
        while (second[size_t(b)] == first[size_t(b)]);
        pristine[size_t(b) * 64 + size_t(first[size_t(b)])] = value(rng);
        pristine[size_t(b) * 64 + size_t(second[size_t(b)])] = value(rng);
    }
    alignas(16) static int32_t blocks[kBatch * 64];
    std::vector<uint8_t> picture(size_t(kBatch) * 8 * 8, 128);
    const int stride = kBatch * 8;
    auto reset = [&] { std::memcpy(blocks, pristine.data(), sizeof blocks); };
    auto run_single = [&](idct_single_fn fn) {
        return [&, fn] {
            for (int b = 0; b < kBatch; ++b)
                fn(picture.data() + b * 8, blocks + b * 64, first[size_t(b)], stride);
        };
    };
    auto run_pair = [&](idct_pair_fn fn) {
        return [&, fn] {
            for (int b = 0; b < kBatch; ++b)
                fn(picture.data() + b * 8, blocks + b * 64, first[size_t(b)], second[size_t(b)], stride);
        };
    };
    report("idct8x8 one coef_8bit", time_per_call(rounds, reset, run_single(single_portable)),
           time_per_call(rounds, reset, run_single(single_ssse3)));
    report("idct8x8 two coefs_8bit", time_per_call(rounds, reset, run_pair(pair_portable)),
           time_per_call(rounds, reset, run_pair(pair_ssse3)));
}

void bench_deblock(int rounds, std::mt19937 &rng)
{
    struct Kind {
        const char *name;
        DeblockEdgeKind kind;
        bool vertical;
    };
    struct Strength {
        const char *name;
        uint8_t bs[2];
    };
    // Chroma: the pair rows below (the decoder filters both planes per call).
    const Kind kinds[] = {{"luma v", DEBLOCK_LUMA_V, true}, {"luma h", DEBLOCK_LUMA_H, false}};
    const Strength strengths[] = {
        {"skip (0,0)", {0, 0}}, {"half (2,0)", {2, 0}}, {"normal (2,2)", {2, 2}}, {"strong (3,3)", {3, 3}}};
    // Smooth picture with small steps, so that most lines pass the gate.
    const int stride = 32 * kBatch;
    std::vector<uint8_t> pristine(size_t(stride) * 32);
    std::uniform_int_distribution<int> noise(-3, 3);
    for (size_t i = 0; i < pristine.size(); ++i)
        pristine[i] = uint8_t(100 + (i % stride) / 8 % 2 * 6 + (i / stride) / 8 % 2 * 6 + noise(rng));
    // Steps across block edges above alpha: no line passes the gate, nothing is filtered.
    std::vector<uint8_t> steep(pristine.size());
    for (size_t i = 0; i < steep.size(); ++i)
        steep[i] = uint8_t(60 + (i % stride) / 8 % 2 * 50 + (i / stride) / 8 % 2 * 50 + noise(rng));
    std::vector<uint8_t> picture(pristine.size());
    const uint8_t clip[4] = {2, 2, 0, 0};
    for (const Kind &k : kinds) {
        deblock_init(0);
        const deblock_fn portable = deblock_funcs[k.kind][DEBLOCK_ROW_8BIT];
        deblock_init(0x80);
        const deblock_fn ssse3 = deblock_funcs[k.kind][DEBLOCK_ROW_8BIT];
        for (const Strength &s : strengths) {
            for (const std::vector<uint8_t> *source : {&pristine, &steep}) {
                if (source == &steep && s.bs[0] == 0)
                    continue;
                auto reset = [&] { std::memcpy(picture.data(), source->data(), picture.size()); };
                auto run = [&](deblock_fn fn) {
                    return [&, fn] {
                        // Edges between 8x8 blocks, away from the picture border.
                        for (int b = 0; b < kBatch; ++b) {
                            uint8_t *edge = picture.data() + 8 * stride + 32 * b + (k.vertical ? 8 : 0);
                            fn(edge, stride, 40, 10, clip, s.bs);
                        }
                    };
                };
                char name[64];
                std::snprintf(name, sizeof name, "deblock %s %s%s", k.name, s.name, source == &steep ? " steep" : "");
                report(name, time_per_call(rounds, reset, run(portable)), time_per_call(rounds, reset, run(ssse3)));
            }
        }
    }
    // Both chroma planes per call: the second plane lies 16 rows below the first.
    const struct {
        const char *name;
        DeblockPairKind kind;
        bool vertical;
    } pairs[] = {{"chroma pair v", DEBLOCK_CHROMA_PAIR_V, true}, {"chroma pair h", DEBLOCK_CHROMA_PAIR_H, false}};
    for (const auto &k : pairs) {
        deblock_init(0);
        const deblock_pair_fn portable = deblock_pair_funcs[k.kind][DEBLOCK_ROW_8BIT];
        deblock_init(0x80);
        const deblock_pair_fn ssse3 = deblock_pair_funcs[k.kind][DEBLOCK_ROW_8BIT];
        for (const Strength &s : strengths) {
            auto reset = [&] { std::memcpy(picture.data(), pristine.data(), picture.size()); };
            auto run = [&](deblock_pair_fn fn) {
                return [&, fn] {
                    for (int b = 0; b < kBatch; ++b) {
                        uint8_t *edge = picture.data() + 4 * stride + 32 * b + (k.vertical ? 8 : 0);
                        fn(edge, edge + 16 * stride, stride, 40, 10, clip, s.bs);
                    }
                };
            };
            char name[64];
            std::snprintf(name, sizeof name, "deblock %s %s", k.name, s.name);
            report(name, time_per_call(rounds, reset, run(portable)), time_per_call(rounds, reset, run(ssse3)));
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (!(cpu_detect() & 0x80)) {
        std::printf("the processor lacks SSSE3: nothing to compare\n");
        return 0;
    }
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
    std::mt19937 rng(7);
    std::printf("%-34s %9s %9s %8s\n", "slot (ns per call)", "portable", "ssse3", "ratio");
    bench_idct(rounds, rng);
    bench_deblock(rounds, rng);
    kbench::bench_mc(rounds, rng);
    kbench::bench_intra(rounds, rng);
    idct_init(cpu_detect());
    deblock_init(cpu_detect());
    return 0;
}
