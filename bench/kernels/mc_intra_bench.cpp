// Luma and chroma motion compensation and intra prediction: portable against SSSE3, per slot.
#include <cstdint>
#include <cstring>

#include "ipred.h"
#include "kernel_timing.h"
#include "mc.h"

namespace kbench {

namespace {

void report_pair(const char *name, double portable, const void *p, const void *s, const std::function<double()> &simd)
{
    if (p == s)
        std::printf("%-34s %9.1f %9s %8s\n", name, portable, "-", "-");
    else
        report(name, portable, simd());
}

std::vector<uint8_t> random_plane(std::mt19937 &rng, size_t size)
{
    // Smooth with some detail: filters see realistic neighbouring samples.
    std::vector<uint8_t> plane(size);
    std::uniform_int_distribution<int> step(-6, 6);
    int v = 128;
    for (uint8_t &b : plane) {
        v = std::min(255, std::max(0, v + step(rng)));
        b = uint8_t(v);
    }
    return plane;
}

} // namespace

void bench_mc(int rounds, std::mt19937 &rng)
{
    const int stride = 16 * (kBatch + 2);
    const std::vector<uint8_t> ref = random_plane(rng, size_t(stride) * 40);
    std::vector<uint8_t> dst(size_t(stride) * 24);
    struct Tables {
        luma_mc_fn put[N_LUMA_MC_SIZES][N_LUMA_MC_POSITIONS], avg[N_LUMA_MC_SIZES][N_LUMA_MC_POSITIONS];
        chroma_mc_fn cput[N_CHROMA_MC_WIDTHS], cavg[N_CHROMA_MC_WIDTHS];
        chroma_mc_cbcr_fn bput[N_CHROMA_CBCR_WIDTHS], bavg[N_CHROMA_CBCR_WIDTHS];
    } t[2];
    for (int k = 0; k < 2; ++k) {
        mc_init(k ? 0x80 : 0);
        std::memcpy(t[k].put, luma_mc_put_funcs[MC_ROW_8BIT], sizeof t[k].put);
        std::memcpy(t[k].avg, luma_mc_avg_funcs[MC_ROW_8BIT], sizeof t[k].avg);
        std::memcpy(t[k].cput, chroma_mc_put_funcs[MC_ROW_8BIT], sizeof t[k].cput);
        std::memcpy(t[k].cavg, chroma_mc_avg_funcs[MC_ROW_8BIT], sizeof t[k].cavg);
        std::memcpy(t[k].bput, chroma_mc_cbcr_put_funcs[MC_ROW_8BIT], sizeof t[k].bput);
        std::memcpy(t[k].bavg, chroma_mc_cbcr_avg_funcs[MC_ROW_8BIT], sizeof t[k].bavg);
    }
    auto reset = [] {};
    const int sizes[N_LUMA_MC_SIZES] = {16, 8};
    for (int avg = 0; avg < 2; ++avg)
        for (int size = 0; size < N_LUMA_MC_SIZES; ++size)
            for (int pos = 0; pos < N_LUMA_MC_POSITIONS; ++pos) {
                auto run = [&](luma_mc_fn fn) {
                    return time_per_call(rounds, reset, [&, fn] {
                        for (int b = 0; b < kBatch; ++b)
                            fn(dst.data() + 4 * stride + 16 * b, ref.data() + 4 * stride + 16 * b + 5, stride);
                    });
                };
                const luma_mc_fn p = avg ? t[0].avg[size][pos] : t[0].put[size][pos];
                const luma_mc_fn s = avg ? t[1].avg[size][pos] : t[1].put[size][pos];
                char name[64];
                std::snprintf(name, sizeof name, "luma mc %s %dx%d dx%d dy%d", avg ? "avg" : "put", sizes[size],
                              sizes[size], pos & 3, pos >> 2);
                report_pair(name, run(p), reinterpret_cast<const void *>(p), reinterpret_cast<const void *>(s),
                            [&] { return run(s); });
            }
    std::uniform_int_distribution<int> frac(0, 7);
    int fx[kBatch], fy[kBatch];
    for (int b = 0; b < kBatch; ++b) {
        fx[b] = frac(rng);
        fy[b] = frac(rng);
    }
    const int widths[N_CHROMA_MC_WIDTHS] = {8, 4, 2, 1};
    for (int avg = 0; avg < 2; ++avg)
        for (int w = 0; w < N_CHROMA_MC_WIDTHS; ++w) {
            const int h = std::max(widths[w], 4);
            auto run = [&](chroma_mc_fn fn) {
                return time_per_call(rounds, reset, [&, fn] {
                    for (int b = 0; b < kBatch; ++b)
                        fn(dst.data() + 4 * stride + 16 * b, ref.data() + 4 * stride + 16 * b + 3, stride, h, fx[b],
                           fy[b]);
                });
            };
            const chroma_mc_fn p = avg ? t[0].cavg[w] : t[0].cput[w];
            const chroma_mc_fn s = avg ? t[1].cavg[w] : t[1].cput[w];
            char name[64];
            std::snprintf(name, sizeof name, "chroma mc %s %dx%d", avg ? "avg" : "put", widths[w], h);
            report_pair(name, run(p), reinterpret_cast<const void *>(p), reinterpret_cast<const void *>(s),
                        [&] { return run(s); });
        }
    // Both planes: the Cr block 20 rows below the Cb one.
    const int cbcr_widths[N_CHROMA_CBCR_WIDTHS] = {8, 4};
    for (int avg = 0; avg < 2; ++avg)
        for (int w = 0; w < N_CHROMA_CBCR_WIDTHS; ++w) {
            const int h = cbcr_widths[w];
            auto run = [&](chroma_mc_cbcr_fn fn) {
                return time_per_call(rounds, reset, [&, fn] {
                    for (int b = 0; b < kBatch; ++b) {
                        uint8_t *d = dst.data() + 2 * stride + 16 * b;
                        const uint8_t *r = ref.data() + 2 * stride + 16 * b + 3;
                        fn(d, d + 10 * stride, r, r + 20 * stride, stride, h, fx[b], fy[b]);
                    }
                });
            };
            const chroma_mc_cbcr_fn p = avg ? t[0].bavg[w] : t[0].bput[w];
            const chroma_mc_cbcr_fn s = avg ? t[1].bavg[w] : t[1].bput[w];
            char name[64];
            std::snprintf(name, sizeof name, "chroma mc cbcr %s %dx%d", avg ? "avg" : "put", cbcr_widths[w], h);
            report_pair(name, run(p), reinterpret_cast<const void *>(p), reinterpret_cast<const void *>(s),
                        [&] { return run(s); });
        }
    mc_init(0x80);
}

void bench_intra(int rounds, std::mt19937 &rng)
{
    const int stride = 8 * kBatch;
    std::vector<uint8_t> dst(size_t(stride) * 8);
    std::vector<uint8_t> edges = random_plane(rng, size_t(kBatch) * 128);
    struct Tables {
        intra_pred_fn p4[N_INTRA_LUMA_MODES], p8[N_INTRA_LUMA_MODES], pc[N_INTRA_CHROMA_MODES];
    } t[2];
    for (int k = 0; k < 2; ++k) {
        intra_pred_init(k ? 0x80 : 0);
        std::memcpy(t[k].p4, intra_pred4x4_funcs[INTRA_ROW_8BIT], sizeof t[k].p4);
        std::memcpy(t[k].p8, intra_pred8x8_funcs[INTRA_ROW_8BIT], sizeof t[k].p8);
        std::memcpy(t[k].pc, intra_pred_chroma_funcs[INTRA_ROW_8BIT], sizeof t[k].pc);
    }
    auto reset = [] {};
    static const char *const luma_names[N_INTRA_LUMA_MODES] = {"vert", "horz", "lp", "dnlf", "dnrh", "lplf", "lptp", "d128"};
    static const char *const chroma_names[N_INTRA_CHROMA_MODES] = {"lp", "hor", "ver", "plane", "lple", "lptp", "d128"};
    struct Family {
        const char *name;
        int n, modes;
        const intra_pred_fn *portable, *simd;
        const char *const *mode_names;
    };
    const Family families[] = {{"intra 4x4", 4, N_INTRA_LUMA_MODES, t[0].p4, t[1].p4, luma_names},
                               {"intra 8x8", 8, N_INTRA_LUMA_MODES, t[0].p8, t[1].p8, luma_names},
                               {"intra chroma", 8, N_INTRA_CHROMA_MODES, t[0].pc, t[1].pc, chroma_names}};
    for (const Family &f : families)
        for (int m = 0; m < f.modes; ++m) {
            auto run = [&](intra_pred_fn fn) {
                return time_per_call(rounds, reset, [&, fn] {
                    for (int b = 0; b < kBatch; ++b)
                        fn(dst.data() + 8 * b, edges.data() + 128 * b, edges.data() + 128 * b + 64, stride);
                });
            };
            char name[64];
            std::snprintf(name, sizeof name, "%s %s", f.name, f.mode_names[m]);
            report_pair(name, run(f.portable[m]), reinterpret_cast<const void *>(f.portable[m]),
                        reinterpret_cast<const void *>(f.simd[m]), [&] { return run(f.simd[m]); });
        }
    intra_pred_init(0x80);
}

} // namespace kbench
