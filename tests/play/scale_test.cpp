// The scaler module: hand-computed pixels of the BT.601 conversion, 8 and 10 bits, resizing.
#include "swscale.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

struct PixelCase {
    const char *name;
    int y, u, v;
    uint8_t r, g, b;
};

// Worked by hand from R = (298(Y-16) + 409(V-128) + 128) >> 8, G = (298(Y-16) - 100(U-128)
// - 208(V-128) + 128) >> 8, B = (298(Y-16) + 516(U-128) + 128) >> 8, clipped.
const PixelCase kPixels[] = {
    {"black", 16, 128, 128, 0, 0, 0},
    {"white", 235, 128, 128, 255, 255, 255},
    {"grey", 126, 128, 128, 128, 128, 128},
    {"red", 81, 90, 240, 255, 0, 0},
    {"green", 145, 54, 34, 0, 255, 1},
    {"blue", 41, 240, 110, 0, 0, 255},
    {"below black", 0, 128, 128, 0, 0, 0},
};

SCALE_PARAMS Params(int w, int h, int dw, int dh, int format)
{
    return SCALE_PARAMS{w, h, w, dw, dh, dw, SCALE_BITS_RGB32, format, 30, 0};
}

std::vector<uint8_t> Convert8(const PixelCase &c)
{
    std::vector<uint8_t> y(4, uint8_t(c.y)), u(1, uint8_t(c.u)), v(1, uint8_t(c.v));
    SCALE_PARAMS params = Params(2, 2, 2, 2, SCALE_FMT_I420);
    void *h = SCALE_open(&params);
    EXPECT_NE(h, nullptr);
    std::vector<uint8_t> out(16, 0xEE);
    SCALE_PLANES src{{y.data(), u.data(), v.data(), nullptr}, {2, 1, 1, 0}};
    SCALE_PLANES dst{{out.data(), nullptr, nullptr, nullptr}, {2, 0, 0, 0}};
    EXPECT_EQ(SCALE_start(h, &src, &dst), 0);
    SCALE_close(h);
    return out;
}

// Ten significant bits in 16-bit words; the two low bits must not change the result.
std::vector<uint8_t> Convert10(const PixelCase &c)
{
    auto word = [](int v8) { return uint16_t(v8 << 2 | 3); };
    std::vector<uint16_t> y(4, word(c.y)), u(1, word(c.u)), v(1, word(c.v));
    SCALE_PARAMS params = Params(2, 2, 2, 2, SCALE_FMT_I420_P10);
    void *h = SCALE_open(&params);
    EXPECT_NE(h, nullptr);
    std::vector<uint8_t> out(16, 0xEE);
    SCALE_PLANES src{{reinterpret_cast<uint8_t *>(y.data()), reinterpret_cast<uint8_t *>(u.data()),
                      reinterpret_cast<uint8_t *>(v.data()), nullptr},
                     {4, 2, 2, 0}};
    SCALE_PLANES dst{{out.data(), nullptr, nullptr, nullptr}, {2, 0, 0, 0}};
    EXPECT_EQ(SCALE_start(h, &src, &dst), 0);
    SCALE_close(h);
    return out;
}

TEST(Scale, PixelsInBothDepthsAreBgraInMemory)
{
    for (const PixelCase &c : kPixels) {
        SCOPED_TRACE(c.name);
        for (const auto &out : {Convert8(c), Convert10(c)}) {
            for (int px = 0; px < 4; ++px) {
                EXPECT_EQ(out[size_t(px) * 4 + 0], c.b);
                EXPECT_EQ(out[size_t(px) * 4 + 1], c.g);
                EXPECT_EQ(out[size_t(px) * 4 + 2], c.r);
                EXPECT_EQ(out[size_t(px) * 4 + 3], 255);
            }
        }
    }
}

TEST(Scale, ChromaIsSharedByTwoByTwoBlocksAndStridesAreHonoured)
{
    // 4x2 picture, luma stride 8 (padding 0xFF), left chroma grey, right chroma red-ish.
    std::vector<uint8_t> y = {235, 235, 16, 16, 0xFF, 0xFF, 0xFF, 0xFF, 235, 235, 16, 16, 0xFF, 0xFF, 0xFF, 0xFF};
    std::vector<uint8_t> u = {128, 90}, v = {128, 240};
    SCALE_PARAMS params = Params(4, 2, 4, 2, SCALE_FMT_I420);
    void *h = SCALE_open(&params);
    ASSERT_NE(h, nullptr);
    // Destination lines of 6 pixels; the two extra pixels stay untouched.
    std::vector<uint8_t> out(6 * 2 * 4, 0xEE);
    SCALE_PLANES src{{y.data(), u.data(), v.data(), nullptr}, {8, 2, 2, 0}};
    SCALE_PLANES dst{{out.data(), nullptr, nullptr, nullptr}, {6, 0, 0, 0}};
    ASSERT_EQ(SCALE_start(h, &src, &dst), 0);
    SCALE_close(h);
    for (int row = 0; row < 2; ++row) {
        const uint8_t *line = out.data() + row * 24;
        EXPECT_EQ(line[2], 255);  // white: R of pixel 0
        EXPECT_EQ(line[4 + 1], 255);
        // Y 16 with red chroma: R = (409 * 112 + 128) >> 8 = 179, G and B clip to 0.
        EXPECT_EQ(line[8 + 2], 179);
        EXPECT_EQ(line[8 + 1], 0);
        EXPECT_EQ(line[16], 0xEE);
        EXPECT_EQ(line[23], 0xEE);
    }
}

TEST(Scale, ResizesToTheNearestSample)
{
    std::vector<uint8_t> y = {16, 235, 16, 235}, u = {128}, v = {128};
    SCALE_PARAMS params = Params(2, 2, 4, 4, SCALE_FMT_I420);
    void *h = SCALE_open(&params);
    ASSERT_NE(h, nullptr);
    std::vector<uint8_t> out(4 * 4 * 4, 0);
    SCALE_PLANES src{{y.data(), u.data(), v.data(), nullptr}, {2, 1, 1, 0}};
    SCALE_PLANES dst{{out.data(), nullptr, nullptr, nullptr}, {4, 0, 0, 0}};
    ASSERT_EQ(SCALE_start(h, &src, &dst), 0);
    SCALE_close(h);
    const uint8_t expected[4] = {0, 0, 255, 255};
    for (int row = 0; row < 4; ++row) {
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(out[size_t(row * 16 + x * 4)], expected[x]) << row << "," << x;
    }
}

TEST(Scale, RefusesWhatItCannotServe)
{
    struct Case {
        const char *name;
        SCALE_PARAMS params;
    };
    const Case cases[] = {
        {"zero width", {0, 2, 0, 2, 2, 2, 32, 0, 30, 0}},
        {"negative height", {2, -2, 2, 2, 2, 2, 32, 0, 30, 0}},
        {"24-bit output", {2, 2, 2, 2, 2, 2, 24, 0, 30, 0}},
        {"unknown source format", {2, 2, 2, 2, 2, 2, 32, 7, 30, 0}},
        {"destination line shorter than a row", {2, 2, 2, 4, 4, 3, 32, 0, 30, 0}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(SCALE_open(&c.params), nullptr) << c.name;
    EXPECT_EQ(SCALE_open(nullptr), nullptr);

    SCALE_PARAMS params = Params(2, 2, 2, 2, SCALE_FMT_I420);
    void *h = SCALE_open(&params);
    ASSERT_NE(h, nullptr);
    std::vector<uint8_t> y(4, 16), u(1, 128), v(1, 128), out(16);
    SCALE_PLANES src{{y.data(), u.data(), nullptr, nullptr}, {2, 1, 1, 0}};
    SCALE_PLANES dst{{out.data(), nullptr, nullptr, nullptr}, {2, 0, 0, 0}};
    EXPECT_LT(SCALE_start(h, &src, &dst), 0);  // a missing plane
    src.plane[2] = v.data();
    src.lineSize[0] = 1;
    EXPECT_LT(SCALE_start(h, &src, &dst), 0);  // a line shorter than the picture
    EXPECT_LT(SCALE_start(nullptr, &src, &dst), 0);
    SCALE_close(h);
    SCALE_close(nullptr);
}

}  // namespace
