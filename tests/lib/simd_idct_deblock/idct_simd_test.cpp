// The SSSE3 inverse transforms give the samples of the portable kernels of their slots, and the
// DC-only, single- and pair-coefficient shortcuts those of the full transforms.
#include "idct.h"
#include "simd_check.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

namespace {

struct IdctSlot {
    const char *name;
    idct_size size;
    int n;
};

const IdctSlot kIdctSlots[] = {
    {"idct8x8_8bit", IDCT_8X8, 8},
    {"idct4x4_8bit", IDCT_4X4, 4},
};

void PrintTo(const IdctSlot &slot, std::ostream *os) { *os << slot.name; }

struct Pair {
    idct_fn portable;
    idct_fn ssse3;
};

Pair kernels_of(idct_size size)
{
    idct_init(0);
    const idct_fn portable = idct_funcs[size][0];
    idct_init(kSsse3);
    const idct_fn ssse3 = idct_funcs[size][0];
    idct_init(cpu_detect());
    return {portable, ssse3};
}

enum class Coefs { sparse, dense, full_range, extremes, dc_only, near_16bit_bounds, large_dc };
const char *const kCoefNames[] = {"sparse", "dense", "full 32-bit", "planted extremes", "dc only",
                                  "near the 16-bit bounds", "large dc"};
constexpr int kCoefKinds = 7;

void fill_coefficients(int32_t *c, int count, Coefs kind, Rng &rng)
{
    std::memset(c, 0, sizeof(int32_t) * size_t(count));
    switch (kind) {
    case Coefs::sparse:
        for (int i = 0; i < count; ++i)
            if (rng.chance(25)) {
                const int64_t bound = int64_t(1) << rng.range(0, 12);
                c[i] = int32_t(rng.range(-bound, bound));
            }
        break;
    case Coefs::dense:
        for (int i = 0; i < count; ++i)
            c[i] = int32_t(rng.range(-(1 << 22), 1 << 22));
        break;
    case Coefs::full_range:
        for (int i = 0; i < count; ++i)
            c[i] = int32_t(rng.range(INT32_MIN, INT32_MAX));
        break;
    case Coefs::extremes: {
        const std::vector<int32_t> planted = {INT32_MAX, INT32_MIN, INT32_MAX - 7, INT32_MIN + 9, 1 << 30,
                                              -(1 << 30), 0x10000, -0x10000};
        for (int i = 0; i < count; ++i)
            c[i] = int32_t(rng.range(-64, 64));
        for (int k = rng.range(1, 4); k > 0; --k)
            c[rng.range(0, count - 1)] = rng.pick(planted);
        break;
    }
    case Coefs::dc_only:
        c[0] = int32_t(rng.range(-300, 300));
        break;
    case Coefs::near_16bit_bounds: {
        // Magnitudes around the limits where a kernel may switch between 16- and 32-bit sums,
        // on the inputs and (through large low frequencies) on the horizontal pass.
        const int64_t limits[] = {511, 512, 538, 4095, 4096, 4297, 32767, 32768};
        const int64_t limit = rng.pick(std::vector<int64_t>(std::begin(limits), std::end(limits)));
        if (rng.chance(50)) {
            // Signs of a pair of basis functions: the sums of both passes reach their bound.
            static const int8_t signs8[8][8] = {
                {1, 1, 1, 1, 1, 1, 1, 1},     {1, 1, 1, -1, -1, -1, -1, -1}, {1, 1, -1, -1, -1, 1, 1, 1},
                {1, 1, -1, -1, 1, 1, -1, -1}, {1, -1, -1, 1, 1, -1, -1, 1},  {1, -1, -1, 1, -1, -1, 1, -1},
                {1, -1, 1, 1, -1, 1, -1, 1},  {1, -1, 1, -1, 1, -1, 1, -1}};
            static const int8_t signs4[4][4] = {{1, 1, 1, 1}, {1, 1, -1, -1}, {1, -1, -1, 1}, {1, -1, 1, -1}};
            const int n = count == 64 ? 8 : 4;
            const int x = int(rng.range(0, n - 1)), y = int(rng.range(0, n - 1));
            const int negate = rng.chance(50) ? -1 : 1;
            for (int u = 0; u < n; ++u)
                for (int v = 0; v < n; ++v) {
                    const int sign = negate * (n == 8 ? signs8[x][u] * signs8[y][v] : signs4[x][u] * signs4[y][v]);
                    c[n * u + v] = int32_t(sign > 0 ? rng.range(limit - 2, limit) : -rng.range(limit - 1, limit + 1));
                }
            break;
        }
        const int density = int(rng.range(10, 100));
        for (int i = 0; i < count; ++i)
            if (rng.chance(density))
                c[i] = int32_t(rng.chance(50) ? rng.range(limit - 2, limit + 1) : rng.range(-limit - 1, limit));
        break;
    }
    case Coefs::large_dc: {
        // An 8x8 DC beyond 4095 whose horizontal pass (the DC alone gives its own value for
        // vertical frequency 0) lands around the 16-bit bound, where a rounding term added
        // there would wrap; the other coefficients are small or, at vertical frequency 0, zero.
        const std::vector<int32_t> planted = {4096, 9000, 32637, 32638, 32639, 32640, 32641, 32766, 32767,
                                              -4097, -32640, -32641, -32642, -32767, -32768};
        const bool column0_clear = rng.chance(50);
        for (int i = 1; i < count; ++i)
            if (!(column0_clear && i % 8 == 0) && rng.chance(30))
                c[i] = int32_t(rng.range(-40, 40));
        c[0] = rng.pick(planted);
        break;
    }
    }
}

void fill_prediction(BandedPlane &plane, int n, Rng &rng)
{
    const int style = int(rng.range(0, 5));
    if (style >= 3)
        return;   // keep the random bytes
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x)
            plane.origin()[y * plane.stride + x] =
                style == 0 ? 0 : style == 1 ? 255 : ((x + y) & 1 ? 255 : 0);
}

class IdctSimd : public ::testing::TestWithParam<IdctSlot> {};

TEST_P(IdctSimd, MatchesPortableKernel)
{
    if (!cpu_has_ssse3())
        GTEST_SKIP() << "the processor lacks SSSE3";
    const IdctSlot &slot = GetParam();
    const Pair k = kernels_of(slot.size);
    if (k.portable == k.ssse3)
        GTEST_SKIP() << "no SSSE3 kernel in this slot";

    const uint32_t seed = test_seed();
    SCOPED_TRACE("seed " + std::to_string(seed));
    Rng rng(seed);
    const int count = slot.n * slot.n;
    alignas(16) int32_t block[64];
    alignas(16) int32_t ref_block[64];
    alignas(16) int32_t simd_block[64];
    const int stride_extras[] = {0, 1, 3, 8, 13, 40};
    int failures = 0;
    for (int round = 0; round < test_rounds(4000) && failures < 5; ++round) {
        const Coefs kind = Coefs(round % kCoefKinds);
        fill_coefficients(block, count, kind, rng);
        const int extra = stride_extras[(round / kCoefKinds) % 6];
        const int align = int(rng.range(0, 15));
        BandedPlane ref(slot.n, slot.n, extra, align, rng);
        fill_prediction(ref, slot.n, rng);
        BandedPlane simd = ref;
        std::memcpy(ref_block, block, sizeof block);
        std::memcpy(simd_block, block, sizeof block);

        k.portable(ref.origin(), ref_block, ref.stride);
        k.ssse3(simd.origin(), simd_block, simd.stride);

        const std::string diff = ref.first_difference(simd);
        if (!diff.empty()) {
            ++failures;
            ADD_FAILURE() << slot.name << ", " << kCoefNames[int(kind)] << " coefficients, stride "
                          << simd.stride << ", alignment " << align << ", round " << round << ": " << diff;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Slots, IdctSimd, ::testing::ValuesIn(kIdctSlots),
                         [](const ::testing::TestParamInfo<IdctSlot> &info) { return std::string(info.param.name); });

// A block with its DC coefficient alone: idct_dc_add, with the portable and the SSSE3 constant
// adds, gives the samples of the full portable transform, at every bit depth, for small and
// wrapping DC values.
class IdctDcOnly : public ::testing::TestWithParam<uint32_t> {};

TEST_P(IdctDcOnly, MatchesFullTransform)
{
    if (GetParam() && !cpu_has_ssse3())
        GTEST_SKIP() << "the processor lacks SSSE3";
    const uint32_t seed = test_seed();
    SCOPED_TRACE("seed " + std::to_string(seed));
    Rng rng(seed);
    idct_init(0);
    const idct_fn full[IDCT_SIZES][IDCT_ROWS] = {
        {idct_funcs[0][0], idct_funcs[0][1], idct_funcs[0][2]},
        {idct_funcs[1][0], idct_funcs[1][1], idct_funcs[1][2]}};
    idct_init(GetParam());
    // Rounding edges of both sizes, and values whose scaled sums wrap.
    const std::vector<int32_t> planted = {0,         1,         -1,        31,          32,
                                          -32,       96,        127,       128,         -128,
                                          4096,      -4096,     INT32_MAX, INT32_MIN,   INT32_MAX / 8 + 1,
                                          1 << 28,   INT32_MIN / 16 - 3,   -(1 << 29) - 5};
    int failures = 0;
    for (int round = 0; round < test_rounds(3000) && failures < 5; ++round) {
        const bool small = round & 1;
        const int n = small ? 4 : 8, depth = 8 + (round / 2) % 3, max = (1 << depth) - 1;
        const int32_t dc = round % 4 < 2 ? rng.pick(planted) : int32_t(rng.range(-(1 << 22), 1 << 22));
        const int bytes = depth > 8 ? 2 : 1, stride = 24 * bytes;
        std::vector<uint8_t> full_samples(size_t(stride) * n), shortcut;
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x) {
                const int v = round % 3 == 0 ? (x + y) % 2 * max : int(rng.range(0, max));
                if (bytes == 2) {
                    const uint16_t w = uint16_t(v);
                    std::memcpy(&full_samples[size_t(y * stride + 2 * x)], &w, 2);
                } else {
                    full_samples[size_t(y * stride + x)] = uint8_t(v);
                }
            }
        shortcut = full_samples;
        alignas(16) int32_t block[64] = {};
        block[0] = dc;
        full[small ? IDCT_4X4 : IDCT_8X8][depth - 8](full_samples.data(), block, stride);
        idct_dc_add(shortcut.data(), dc, stride, small, depth);
        if (full_samples != shortcut) {
            ++failures;
            ADD_FAILURE() << (small ? "4x4" : "8x8") << ", " << depth << " bits, dc " << dc;
        }
    }
    idct_init(cpu_detect());
}

// An 8x8 block with one or two nonzero coefficients anywhere (two of them in one column now
// and then): the single- and pair-coefficient kernels, portable and SSSE3, give the samples
// of the full portable transform at every bit depth, around the SSSE3 kernels' 16-bit limits
// and for wrapping values.
class IdctFew : public ::testing::TestWithParam<uint32_t> {};

TEST_P(IdctFew, MatchesFullTransform)
{
    if (GetParam() && !cpu_has_ssse3())
        GTEST_SKIP() << "the processor lacks SSSE3";
    const uint32_t seed = test_seed();
    SCOPED_TRACE("seed " + std::to_string(seed));
    Rng rng(seed);
    idct_init(0);
    const idct_fn full[IDCT_ROWS] = {idct_funcs[IDCT_8X8][0], idct_funcs[IDCT_8X8][1], idct_funcs[IDCT_8X8][2]};
    idct_init(GetParam());
    const std::vector<int32_t> planted = {1,       -1,      10922,          -10922,    10923,     -10923,
                                          21845,   -21845,  21846,          -21846,    32767,     -32768,
                                          4096,    -4097,   INT32_MAX,      INT32_MIN, 1 << 29,   -(1 << 28) - 3,
                                          357913942, -357913942};
    int failures = 0;
    for (int round = 0; round < test_rounds(6000) && failures < 5; ++round) {
        const int depth = 8 + round % 3, max = (1 << depth) - 1;
        const bool pair = round % 2;
        const int i0 = int(rng.range(0, 63));
        int i1 = i0;
        while (pair && i1 == i0)
            i1 = rng.chance(30) ? int(rng.range(0, 7)) * 8 + (i0 & 7) : int(rng.range(0, 63));
        auto value = [&] {
            return rng.chance(50) ? rng.pick(planted) : int32_t(rng.range(-(1 << 15), 1 << 15));
        };
        const int bytes = depth > 8 ? 2 : 1, stride = 24 * bytes;
        std::vector<uint8_t> full_samples(size_t(stride) * 8);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                const int v = round % 5 == 0 ? (x + y) % 2 * max : int(rng.range(0, max));
                if (bytes == 2) {
                    const uint16_t w = uint16_t(v);
                    std::memcpy(&full_samples[size_t(y * stride + 2 * x)], &w, 2);
                } else {
                    full_samples[size_t(y * stride + x)] = uint8_t(v);
                }
            }
        std::vector<uint8_t> few_samples = full_samples;
        alignas(16) int32_t block[64] = {};
        const int32_t c0 = value(), c1 = pair ? value() : 0;
        block[i0] = c0;
        block[i1] += c1;
        alignas(16) int32_t few_block[64];
        std::memcpy(few_block, block, sizeof block);
        full[depth - 8](full_samples.data(), block, stride);
        if (pair)
            idct8x8_pair_funcs[depth - 8](few_samples.data(), few_block, i0, i1, stride);
        else
            idct8x8_single_funcs[depth - 8](few_samples.data(), few_block, i0, stride);
        if (full_samples != few_samples) {
            ++failures;
            ADD_FAILURE() << depth << " bits, coefficient " << c0 << " at " << i0
                          << (pair ? ", " + std::to_string(c1) + " at " + std::to_string(i1) : "");
        }
    }
    idct_init(cpu_detect());
}

INSTANTIATE_TEST_SUITE_P(Kernels, IdctFew, ::testing::Values(0u, kSsse3),
                         [](const ::testing::TestParamInfo<uint32_t> &info) {
                             return std::string(info.param ? "ssse3" : "portable");
                         });

INSTANTIATE_TEST_SUITE_P(Kernels, IdctDcOnly, ::testing::Values(0u, kSsse3),
                         [](const ::testing::TestParamInfo<uint32_t> &info) {
                             return std::string(info.param ? "ssse3" : "portable");
                         });

} // namespace
