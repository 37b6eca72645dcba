// The encoder's streams through the decoder library's exported interface: every decoded
// picture equals the encoder's reconstruction, sample for sample, in both entropy modes and
// with each coding tool on and off.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "svacdec.h"
#include "svacenc/encoder.h"

namespace {

using svacenc::Coded;
using svacenc::Config;
using svacenc::Encoder;
using svacenc::Entropy;
using svacenc::Yuv;

// Moving content with edges, gradients, texture and a patch of noise, so that intra modes,
// vectors, skipped macroblocks and residuals all occur.
Yuv scene(int w, int h, int frame)
{
    Yuv p;
    p.allocate(w, h);
    uint32_t noise = 12345u + uint32_t(frame) * 7919u;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int v = 40 + (x * 3 + y * 2) % 120;
            const int sx = x - 3 * frame, sy = y - frame;
            if (sx > w / 4 && sx < w / 2 && sy > h / 4 && sy < h / 2)
                v = 220 - ((sx ^ sy) & 15) * 4;
            if (x > w - w / 5 && y > h - h / 5) {
                noise = noise * 1103515245u + 12345u;
                v = int(noise >> 24);
            }
            p.plane(0)[size_t(y) * w + x] = uint8_t(v);
        }
    for (int c = 1; c <= 2; ++c)
        for (int y = 0; y < h / 2; ++y)
            for (int x = 0; x < w / 2; ++x)
                p.plane(c)[size_t(y) * (w / 2) + x] =
                    uint8_t(128 + 50 * std::sin(0.07 * x * c + 0.05 * y + (x > w / 4 ? 0.2 * frame : 0)));
    return p;
}

struct Decoded {
    int width = 0, height = 0;
    std::vector<uint8_t> data;   // tight I420
};

class Decoder {
public:
    Decoder()
    {
        ZQ_SVAC_Dec_Init(ZQ_SVAC_Dec_GetCPUCaps());
        handle_ = ZQ_SVAC_Dec_Open();
    }
    ~Decoder() { ZQ_SVAC_Dec_Close(handle_); }
    void set_key(const std::vector<uint8_t> &key) { ZQ_SVAC_Set_Key(handle_, key.data(), uint32_t(key.size())); }

    // Feeds one picture's units; the first negative result, or 0.
    int32_t feed(const std::vector<uint8_t> &bytes)
    {
        size_t offset = 0;
        while (offset < bytes.size()) {
            const decode_input in{bytes.data() + offset, int32_t(bytes.size() - offset), 0};
            const int32_t used = ZQ_SVAC_Dec_Decode(handle_, &in, &ext_);
            take();
            if (used < 0)
                return used;
            if (used == 0)
                break;
            offset += size_t(used);
        }
        return 0;
    }
    std::vector<Decoded> frames;

private:
    void take()
    {
        output_frame_rec rec{};
        while (ZQ_SVACDEC_ZQ_SVAC_get_output_frame(handle_, &rec) == 0) {
            Decoded d;
            d.width = rec.width;
            d.height = rec.height;
            for (int p = 0; p < 3; ++p) {
                const int w = p ? rec.width / 2 : rec.width, h = p ? rec.height / 2 : rec.height;
                for (int y = 0; y < h; ++y)
                    d.data.insert(d.data.end(), rec.plane[p] + size_t(y) * rec.stride[p],
                                  rec.plane[p] + size_t(y) * rec.stride[p] + w);
            }
            frames.push_back(std::move(d));
            ZQ_SVACDEC_ZQ_SVAC_release_output_frame(handle_, &rec);
            rec = output_frame_rec{};
        }
    }
    void *handle_ = nullptr;
    extension_data_record ext_{};
};

// First differing sample as text, or empty.
std::string first_difference(const Decoded &d, const Yuv &r)
{
    if (d.width != r.width || d.height != r.height)
        return "size " + std::to_string(d.width) + "x" + std::to_string(d.height) + " against " +
               std::to_string(r.width) + "x" + std::to_string(r.height);
    for (size_t i = 0; i < r.data.size(); ++i)
        if (d.data[i] != r.data[i])
            return "sample " + std::to_string(i) + ": " + std::to_string(d.data[i]) + " against " +
                   std::to_string(r.data[i]);
    return {};
}

struct Encoded {
    std::vector<Coded> coded;
    std::vector<Yuv> recon;
};

Encoded encode(const Config &config, int count)
{
    Encoded run;
    Encoder encoder(config);
    EXPECT_TRUE(encoder.ok()) << encoder.error();
    for (int f = 0; f < count && encoder.ok(); ++f) {
        Coded coded;
        EXPECT_TRUE(encoder.encode(scene(config.width, config.height, f), &coded)) << encoder.error();
        run.coded.push_back(std::move(coded));
        run.recon.push_back(encoder.reconstruction());
    }
    return run;
}

// Coding tools of a case: loop filter, sub-sample vectors, I_4X4, intra in P pictures,
// P_16X8 and P_8X16, P_8X8; the inter rounding offset (higher: fewer skipped macroblocks).
// Modes by cost (with the texture weight and the lambda scale).
struct Tools {
    bool filter = true, subsample = true, intra4x4 = true, intra_in_p = true, partitions = true;
    bool partitions8x8 = false;
    float inter_rounding = 1.0f / 6;
    bool rd_modes = false;
    float psy = 0, lambda_scale = 1, split_margin = 0;
};
// Every tool, and residuals that skip less.
constexpr Tools kHard{true, true, true, true, true, true, 0.4f};
// Every tool, modes by cost: plain, and as the benchmark's hard set (texture kept, bits
// weighed lightly).
constexpr Tools kCost{true, true, true, true, true, true, 1.0f / 6, true};
constexpr Tools kCostHard{true, true, true, true, true, true, 0.45f, true, 4, 0.1f, 1};
constexpr Tools kAll{};
// Without the loop filter the encoder's reconstruction is its own (the decoder makes it
// otherwise): the other tools' predictions are checked on their own.
constexpr Tools kUnfiltered{false, true, true, true, true};
constexpr Tools kNone{false, false, false, false, false};

struct Case {
    const char *name;
    int width, height, gop, qp, pictures;
    Entropy entropy;
    Tools tools = kAll;
};

void PrintTo(const Case &c, std::ostream *os) { *os << c.name; }

double psnr(const Yuv &a, const Yuv &b)
{
    double sum = 0;
    for (size_t i = 0; i < a.data.size(); ++i) {
        const double d = double(a.data[i]) - double(b.data[i]);
        sum += d * d;
    }
    const double mse = sum / double(a.data.size());
    return mse > 0 ? 10 * std::log10(255.0 * 255.0 / mse) : 99;
}

class EncoderMatchesDecoder : public ::testing::TestWithParam<Case> {};

TEST_P(EncoderMatchesDecoder, EveryPictureEqualsTheReconstruction)
{
    const Case &c = GetParam();
    Config config;
    config.width = c.width;
    config.height = c.height;
    config.gop = c.gop;
    config.qp = c.qp;
    config.entropy = c.entropy;
    config.loop_filter = c.tools.filter;
    config.subsample = c.tools.subsample;
    config.intra4x4 = c.tools.intra4x4;
    config.intra_in_p = c.tools.intra_in_p;
    config.partitions = c.tools.partitions;
    config.partitions8x8 = c.tools.partitions8x8;
    config.inter_rounding = c.tools.inter_rounding;
    config.rd_modes = c.tools.rd_modes;
    config.psy = c.tools.psy;
    config.lambda_scale = c.tools.lambda_scale;
    config.split_margin = c.tools.split_margin;
    const Encoded run = encode(config, c.pictures);
    ASSERT_EQ(run.coded.size(), size_t(c.pictures));

    int skipped = 0, key = 0, intra4x4 = 0, intra_in_p = 0, fractional = 0, partitioned = 0, partitioned8x8 = 0;
    for (const Coded &coded : run.coded) {
        skipped += coded.skipped;
        key += coded.key;
        intra4x4 += coded.intra4x4;
        intra_in_p += coded.key ? 0 : coded.intra4x4 + coded.intra8x8;
        fractional += coded.fractional;
        partitioned += coded.partitioned;
        partitioned8x8 += coded.partitioned8x8;
    }
    EXPECT_EQ(key, (c.pictures + c.gop - 1) / c.gop);
    if (c.gop > 1 && c.qp > 20) {
        EXPECT_GT(skipped, 0) << "the static part of the scene is skipped";
    }
    // The tools that are on are used, so that the comparison below covers them.
    struct Use {
        const char *tool;
        bool on, expected;
        int count;
    };
    const Use uses[] = {{"I_4X4", c.tools.intra4x4, c.qp < 40, intra4x4},
                        {"intra in P", c.tools.intra_in_p, c.gop > 1 && c.qp < 40, intra_in_p},
                        {"sub-sample vectors", c.tools.subsample, c.gop > 1 && c.qp < 40, fractional},
                        {"P_16X8 and P_8X16", c.tools.partitions, c.gop > 1 && c.qp < 40, partitioned},
                        {"P_8X8", c.tools.partitions8x8, c.gop > 1 && c.qp < 40, partitioned8x8}};
    for (const Use &u : uses) {
        if (!u.on) {
            EXPECT_EQ(u.count, 0) << u.tool;
        } else if (u.expected) {
            EXPECT_GT(u.count, 0) << u.tool;
        }
    }
    // A prediction that differs from the decoder's shows in the filtered streams (whose
    // reconstruction the decoder makes) as drift from the source.
    for (size_t i = 0; i < run.recon.size(); ++i)
        EXPECT_GT(psnr(run.recon[i], scene(c.width, c.height, int(i))), c.qp < 40 ? 30.0 : 15.0) << "picture " << i;

    Decoder decoder;
    for (size_t i = 0; i < run.coded.size(); ++i)
        ASSERT_EQ(decoder.feed(run.coded[i].stream), 0) << "picture " << i;
    ASSERT_EQ(decoder.frames.size(), run.recon.size());
    for (size_t i = 0; i < run.recon.size(); ++i)
        EXPECT_EQ(first_difference(decoder.frames[i], run.recon[i]), "") << "picture " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Streams, EncoderMatchesDecoder,
    ::testing::Values(Case{"IntraOnlyVlc", 80, 64, 1, 28, 3, Entropy::kVlc},
                      Case{"IntraOnlyArithmetic", 80, 64, 1, 28, 3, Entropy::kArithmetic},
                      Case{"GopVlc", 96, 80, 4, 30, 9, Entropy::kVlc},
                      Case{"GopArithmetic", 96, 80, 4, 30, 9, Entropy::kArithmetic},
                      Case{"UnfilteredVlc", 96, 80, 4, 30, 9, Entropy::kVlc, kUnfiltered},
                      Case{"UnfilteredArithmetic", 96, 80, 4, 30, 9, Entropy::kArithmetic, kUnfiltered},
                      Case{"HardVlc", 96, 80, 4, 24, 9, Entropy::kVlc, kHard},
                      Case{"HardArithmetic", 96, 80, 4, 24, 9, Entropy::kArithmetic, kHard},
                      Case{"CostVlc", 96, 80, 4, 24, 9, Entropy::kVlc, kCost},
                      Case{"CostArithmetic", 96, 80, 4, 24, 9, Entropy::kArithmetic, kCost},
                      Case{"CostHardVlc", 96, 80, 4, 20, 9, Entropy::kVlc, kCostHard},
                      Case{"CostHardArithmetic", 96, 80, 4, 20, 9, Entropy::kArithmetic, kCostHard},
                      Case{"CostUnfilteredVlc", 96, 80, 4, 24, 9, Entropy::kVlc,
                           Tools{false, true, true, true, true, true, 1.0f / 6, true, 4}},
                      Case{"NoToolsVlc", 96, 80, 4, 30, 9, Entropy::kVlc, kNone},
                      Case{"NoToolsArithmetic", 96, 80, 4, 30, 9, Entropy::kArithmetic, kNone},
                      Case{"FilterOnlyVlc", 96, 80, 4, 30, 9, Entropy::kVlc, Tools{true, false, false, false, false}},
                      // Partitions searched in whole samples only.
                      Case{"WholeSamplePartitionsArithmetic", 96, 80, 4, 30, 9, Entropy::kArithmetic,
                           Tools{false, false, false, false, true}},
                      // Large levels and escapes at QP 0, nearly nothing at QP 51.
                      Case{"FineQpVlc", 64, 48, 3, 0, 4, Entropy::kVlc},
                      Case{"FineQpArithmetic", 64, 48, 3, 0, 4, Entropy::kArithmetic},
                      Case{"CoarseQpVlc", 64, 48, 3, 51, 4, Entropy::kVlc},
                      // A height the decoder crops (736 coded rows shown as 720).
                      Case{"CroppedHeight", 1280, 720, 2, 34, 2, Entropy::kVlc}),
    [](const ::testing::TestParamInfo<Case> &info) { return std::string(info.param.name); });

// Smooth texture without repeats nearby, so that a search finds the true displacement.
int texture_at(int x, int y)
{
    return int(128 + 60 * std::sin(0.37 * x + 0.11 * y) * std::cos(0.23 * y - 0.05 * x) +
               30 * std::sin(0.013 * x * y + 0.2 * x));
}

// Picture `frame` of a texture whose bands move apart: rows (or columns) of 8 samples,
// alternately displaced by +shift and -shift samples a picture, or all by +shift.
enum class Bands { kRows, kColumns, kNone };
Yuv moving_bands(int w, int h, int frame, Bands bands, int shift)
{
    Yuv p;
    p.allocate(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int band = bands == Bands::kRows ? y / 8 : bands == Bands::kColumns ? x / 8 : 0;
            const int d = (band & 1 ? -shift : shift) * frame;
            // Rows move sideways, columns up and down.
            const int v = bands == Bands::kColumns ? texture_at(x, y - d) : texture_at(x - d, y);
            p.plane(0)[size_t(y) * w + x] = uint8_t(v);
        }
    std::fill(p.data.begin() + w * h, p.data.end(), uint8_t(128));
    return p;
}

// A 64x64 encoder at quantiser qp that decides modes by cost, 8x8 partitions allowed.
Config modes_by_cost(int qp)
{
    Config config;
    config.width = 64;
    config.height = 64;
    config.gop = 8;
    config.qp = qp;
    config.rd_modes = true;
    config.partitions8x8 = true;
    return config;
}

TEST(EncoderModesByCost, SplitsWhereTheHalvesOfAMacroblockMoveApart)
{
    // Shape that most coded inter macroblocks take; whole: fewer than half are split (the pan
    // splits only where new content enters at the picture's edge).
    enum class Shape { kWhole, k16x8, k8x16 };
    struct Split {
        const char *name;
        Bands bands;
        int shift;   // samples a picture
        Shape most;
    };
    const Split cases[] = {{"rows apart", Bands::kRows, 2, Shape::k16x8},
                           {"columns apart", Bands::kColumns, 3, Shape::k8x16},
                           {"one pan", Bands::kNone, 2, Shape::kWhole}};
    for (const Split &c : cases)
        for (Entropy entropy : {Entropy::kVlc, Entropy::kArithmetic}) {
            Config config = modes_by_cost(24);
            config.entropy = entropy;
            Encoder encoder(config);
            Decoder decoder;
            int inter = 0, split = 0, by_shape[3] = {};
            for (int f = 0; f < 4; ++f) {
                Coded coded;
                ASSERT_TRUE(encoder.encode(moving_bands(64, 64, f, c.bands, c.shift), &coded)) << encoder.error();
                inter += coded.inter;
                split += coded.partitioned;
                by_shape[0] += coded.partitioned16x8;
                by_shape[1] += coded.partitioned - coded.partitioned16x8 - coded.partitioned8x8;
                by_shape[2] += coded.partitioned8x8;
                ASSERT_EQ(decoder.feed(coded.stream), 0) << c.name;
                ASSERT_EQ(decoder.frames.size(), size_t(f + 1)) << c.name;
                EXPECT_EQ(first_difference(decoder.frames.back(), encoder.reconstruction()), "")
                    << c.name << ", picture " << f;
            }
            ASSERT_GT(inter, 0) << c.name;
            const std::string counts = std::string(c.name) + ": " + std::to_string(by_shape[0]) + " P_16X8, " +
                                       std::to_string(by_shape[1]) + " P_8X16, " + std::to_string(by_shape[2]) +
                                       " P_8X8 of " + std::to_string(inter);
            if (c.most == Shape::kWhole) {
                EXPECT_LT(2 * split, inter) << counts;
            } else {
                EXPECT_GT(2 * by_shape[c.most == Shape::k16x8 ? 0 : 1], inter) << counts;
            }
        }
}

// A flat picture with fresh noise in every picture: nothing moves, only grain changes.
Yuv noisy_flat(int w, int h, int frame)
{
    Yuv p;
    p.allocate(w, h);
    uint32_t state = 977u + 7919u * uint32_t(frame);
    for (size_t i = 0; i < size_t(w) * h; ++i) {
        state = state * 1103515245u + 12345u;
        p.data[i] = uint8_t(100 + int(state >> 29) - 4);
    }
    std::fill(p.data.begin() + w * h, p.data.end(), uint8_t(128));
    return p;
}

TEST(EncoderModesByCost, TextureWeightAndLightBitsCodeTheGrainThatSquaredErrorSkips)
{
    struct Run {
        float psy, lambda_scale;
        int skipped = 0;
        size_t bytes = 0;
    };
    Run runs[] = {{0, 1}, {8, 1}, {0, 0.1f}};
    for (Run &r : runs) {
        Config config = modes_by_cost(20);
        config.psy = r.psy;
        config.lambda_scale = r.lambda_scale;
        Encoder encoder(config);
        Decoder decoder;
        for (int f = 0; f < 4; ++f) {
            Coded coded;
            ASSERT_TRUE(encoder.encode(noisy_flat(64, 64, f), &coded)) << encoder.error();
            r.skipped += coded.skipped;
            r.bytes += coded.stream.size();
            ASSERT_EQ(decoder.feed(coded.stream), 0);
            ASSERT_EQ(decoder.frames.size(), size_t(f + 1));
            EXPECT_EQ(first_difference(decoder.frames.back(), encoder.reconstruction()), "") << "picture " << f;
        }
    }
    // Squared error alone skips much of it; the texture weight, or bits weighed lightly, code
    // more of it.
    EXPECT_GT(runs[0].skipped, 12) << "of 48";
    EXPECT_LT(2 * runs[1].skipped, runs[0].skipped) << "texture weight";
    EXPECT_LT(2 * runs[2].skipped, runs[0].skipped) << "lambda scale";
    EXPECT_GT(runs[1].bytes, runs[0].bytes);
    EXPECT_GT(runs[2].bytes, runs[0].bytes);
}

TEST(EncoderRateControl, HoldsTheTargetOverTheStream)
{
    Config config;
    config.width = 176;
    config.height = 144;
    config.gop = 10;
    config.qp = 10;   // far too fine for the target at first
    for (int target : {8000, 30000}) {
        config.target_bits = target;
        const Encoded run = encode(config, 60);
        uint64_t bits = 0;
        for (size_t i = 20; i < run.coded.size(); ++i)
            bits += run.coded[i].stream.size() * 8;
        const double average = double(bits) / double(run.coded.size() - 20);
        EXPECT_GT(average, 0.6 * target) << target;
        EXPECT_LT(average, 1.4 * target) << target;
    }
}

TEST(EncoderEncryption, DecodesWithTheKeyAndNotWithout)
{
    Config config;
    config.width = 64;
    config.height = 48;
    config.gop = 3;
    config.cipher = 2;
    config.key = std::vector<uint8_t>(16, 0x5A);
    config.key[3] = 7;
    const Encoded run = encode(config, 5);

    Decoder keyed;
    keyed.set_key(config.key);
    for (const Coded &coded : run.coded)
        ASSERT_EQ(keyed.feed(coded.stream), 0);
    ASSERT_EQ(keyed.frames.size(), run.recon.size());
    for (size_t i = 0; i < run.recon.size(); ++i)
        EXPECT_EQ(first_difference(keyed.frames[i], run.recon[i]), "") << "picture " << i;

    Decoder keyless;
    EXPECT_EQ(keyless.feed(run.coded[0].stream), SVAC_ERR_NOKEY);
    for (size_t i = 1; i < run.coded.size(); ++i)
        keyless.feed(run.coded[i].stream);
    EXPECT_TRUE(keyless.frames.empty());
}

TEST(EncoderConfig, RefusesWhatItCannotEncode)
{
    struct Bad {
        int width, height, gop;
        uint32_t cipher;
        size_t key_size;
    };
    const Bad bad[] = {{70, 64, 4, 0, 0},     {64, 50, 4, 0, 0},   {1920, 1000, 4, 0, 0}, {0, 0, 4, 0, 0},
                       {64, 64, 0, 0, 0},     {64, 64, 4, 2, 10},  {64, 64, 4, 1, 16},    {64, 64, 4, 3, 16}};
    for (const Bad &b : bad) {
        Config config;
        config.width = b.width;
        config.height = b.height;
        config.gop = b.gop;
        config.cipher = b.cipher;
        config.key.assign(b.key_size, 1);
        Encoder encoder(config);
        EXPECT_FALSE(encoder.ok()) << b.width << "x" << b.height;
        EXPECT_FALSE(encoder.error().empty());
        Coded coded;
        EXPECT_FALSE(encoder.encode(scene(64, 64, 0), &coded));
    }
    Config config;
    config.width = 64;
    config.height = 64;
    Encoder encoder(config);
    Coded coded;
    EXPECT_FALSE(encoder.encode(scene(64, 48, 0), &coded)) << "a picture of another size";
    EXPECT_TRUE(encoder.encode(scene(64, 64, 0), &coded)) << "the encoder goes on after a refused picture";
}

} // namespace
