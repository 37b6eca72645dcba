// The scaler's conversion through the system scaling library: within 3 levels per channel of
// the portable BT.601 conversion, rows and padding honoured, and the module still the one
// loaded by its full path, not the system library of the same base name.
#include "scale_core.h"
#include "swscale.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kTolerance = 3;   // levels per channel against the portable conversion

struct Planes {
    std::vector<uint8_t> data[3];
    scalecore::YuvPicture picture;
};

// Random samples in every plane, rows padded by 40 bytes of a fixed value.
Planes RandomPicture(int width, int height, int depth, uint32_t seed)
{
    std::mt19937 rng(seed);
    Planes p;
    const int bytes = depth > 8 ? 2 : 1;
    for (int i = 0; i < 3; ++i) {
        const int w = i == 0 ? width : (width + 1) / 2, h = i == 0 ? height : (height + 1) / 2;
        const int stride = w * bytes + 40;
        p.data[i].assign(size_t(stride) * size_t(h), 0x5A);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uint32_t v = rng() % (1u << depth);
                uint8_t *s = p.data[i].data() + size_t(y) * size_t(stride) + size_t(x) * size_t(bytes);
                s[0] = uint8_t(v);
                if (bytes == 2)
                    s[1] = uint8_t(v >> 8);
            }
        p.picture.plane[i] = p.data[i].data();
        p.picture.stride[i] = stride;
    }
    p.picture.width = width;
    p.picture.height = height;
    p.picture.bitDepth = depth;
    return p;
}

TEST(ScaleLibrary, WithinToleranceOfThePortableConversion)
{
    struct Case {
        int width, height, depth;
    };
    const Case cases[] = {{16, 2, 8}, {64, 34, 8}, {176, 144, 8}, {352, 288, 10}, {1280, 16, 8}, {48, 8, 10}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " " + std::to_string(c.depth) + "-bit");
        const Planes in = RandomPicture(c.width, c.height, c.depth, uint32_t(c.width * 7 + c.height));
        // Destination rows of 5 extra pixels that must stay as they are.
        const size_t stride = size_t(c.width + 5) * 4;
        std::vector<uint8_t> want(stride * size_t(c.height), 0xEE), got(want);
        ASSERT_TRUE(scalecore::ToRgb32Portable(in.picture, want.data(), c.width, c.height, stride));
        scalecore::Converter converter;
        ASSERT_TRUE(converter.Run(in.picture, got.data(), c.width, c.height, stride));
        int worst = 0;
        double sum = 0;
        for (int y = 0; y < c.height; ++y) {
            const uint8_t *w = want.data() + size_t(y) * stride, *g = got.data() + size_t(y) * stride;
            for (int x = 0; x < c.width * 4; ++x) {
                const int d = std::abs(int(w[x]) - int(g[x]));
                worst = std::max(worst, d);
                sum += d;
            }
            for (size_t x = size_t(c.width) * 4; x < stride; ++x)
                ASSERT_EQ(g[x], 0xEE) << "row " << y << " written past its end";
        }
        EXPECT_LE(worst, kTolerance);
        EXPECT_LT(sum / (double(c.width) * c.height * 4), 1.5) << "mean difference per channel";
        // The same converter again at another size, then back.
        std::vector<uint8_t> small(16 * 4 * 2);
        const Planes other = RandomPicture(16, 2, c.depth, 5);
        EXPECT_TRUE(converter.Run(other.picture, small.data(), 16, 2, 16 * 4));
        std::vector<uint8_t> again(want.size(), 0xEE);
        ASSERT_TRUE(converter.Run(in.picture, again.data(), c.width, c.height, stride));
        EXPECT_EQ(again, got);
    }
}

// Resizing, odd heights and widths the library cannot serve without writing past a row stay exact.
TEST(ScaleLibrary, OtherGeometriesKeepThePortableResult)
{
    struct Case {
        int width, height, dstWidth, dstHeight;
    };
    const Case cases[] = {{2, 2, 2, 2}, {12, 4, 12, 4}, {18, 6, 18, 6}, {64, 33, 64, 33}, {32, 8, 48, 12}, {64, 16, 16, 4}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        const Planes in = RandomPicture(c.width, c.height, 8, 3);
        const size_t stride = size_t(c.dstWidth) * 4;
        std::vector<uint8_t> want(stride * size_t(c.dstHeight)), got(want.size());
        ASSERT_TRUE(scalecore::ToRgb32Portable(in.picture, want.data(), c.dstWidth, c.dstHeight, stride));
        ASSERT_TRUE(scalecore::ToRgb32(in.picture, got.data(), c.dstWidth, c.dstHeight, stride));
        EXPECT_EQ(got, want);
    }
}

// The module loaded by its full path is this project's scaler; the system library it uses is
// another object, reached through the module's versioned dependency.
TEST(ScaleLibrary, ModuleByFullPathIsTheStandIn)
{
    void *module = dlopen(SWSCALE_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    void *open = dlsym(module, "SCALE_open");
    ASSERT_NE(open, nullptr);
    Dl_info info{};
    ASSERT_NE(dladdr(open, &info), 0);
    char moduleReal[PATH_MAX], openReal[PATH_MAX];
    ASSERT_NE(realpath(SWSCALE_MODULE_PATH, moduleReal), nullptr);
    ASSERT_NE(realpath(info.dli_fname, openReal), nullptr);
    EXPECT_STREQ(openReal, moduleReal);

    void *system = dlsym(module, "sws_getContext");
    ASSERT_NE(system, nullptr);
    ASSERT_NE(dladdr(system, &info), 0);
    EXPECT_NE(std::string(info.dli_fname).find("libswscale.so.6"), std::string::npos) << info.dli_fname;

    // A conversion through the module's entry points.
    auto openFn = reinterpret_cast<SCALE_open_fn>(open);
    auto startFn = reinterpret_cast<SCALE_start_fn>(dlsym(module, "SCALE_start"));
    auto closeFn = reinterpret_cast<SCALE_close_fn>(dlsym(module, "SCALE_close"));
    ASSERT_TRUE(startFn && closeFn);
    SCALE_PARAMS params{32, 2, 32, 32, 2, 32, SCALE_BITS_RGB32, SCALE_FMT_I420, 0, 0};
    void *h = openFn(&params);
    ASSERT_NE(h, nullptr);
    std::vector<uint8_t> y(64, 235), u(16, 128), v(16, 128), out(32 * 2 * 4);
    SCALE_PLANES src{{y.data(), u.data(), v.data(), nullptr}, {32, 16, 16, 0}};
    SCALE_PLANES dst{{out.data(), nullptr, nullptr, nullptr}, {32, 0, 0, 0}};
    EXPECT_EQ(startFn(h, &src, &dst), 0);
    closeFn(h);
    for (size_t i = 0; i < out.size(); ++i)
        EXPECT_GE(out[i], 255 - kTolerance) << i;
    dlclose(module);
}

}  // namespace
