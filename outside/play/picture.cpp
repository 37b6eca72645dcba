#include "picture.h"

#include "font.h"
#include "packetfmt.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace play {

bool Picture::Allocate(int w, int h)
{
    if (w <= 0 || h <= 0 || w > kMaxPictureSide || h > kMaxPictureSide)
        return false;
    width = w;
    height = h;
    const size_t luma = size_t(w) * h;
    const size_t chroma = size_t((w + 1) / 2) * ((h + 1) / 2);
    data.assign(luma + 2 * chroma, 0);
    return true;
}

uint8_t *Picture::Plane(int plane)
{
    return const_cast<uint8_t *>(static_cast<const Picture *>(this)->Plane(plane));
}

const uint8_t *Picture::Plane(int plane) const
{
    const size_t luma = size_t(width) * height;
    const size_t chroma = size_t(Stride(1)) * Rows(1);
    return data.data() + (plane == 0 ? 0 : plane == 1 ? luma : luma + chroma);
}

PicturePtr DecodeI420(const uint8_t *payload, size_t length, int width, int height)
{
    auto picture = std::make_shared<Picture>();
    if (!payload || (width | height) & 1 || !picture->Allocate(width, height) ||
        length != picture->data.size())
        return nullptr;
    std::memcpy(picture->data.data(), payload, length);
    return picture;
}

namespace {

struct Colour {
    uint8_t y, u, v;
};

// Eight bars: white, yellow, cyan, green, magenta, red, blue, black (75 % levels).
constexpr Colour kBars[8] = {
    {180, 128, 128}, {162, 44, 142}, {131, 156, 44}, {112, 72, 58},
    {84, 184, 198}, {65, 100, 212}, {35, 212, 114}, {16, 128, 128},
};

void FillRect(Picture &p, int x0, int y0, int x1, int y1, Colour c)
{
    x0 = std::max(0, x0);
    y0 = std::max(0, y0);
    x1 = std::min(p.width, x1);
    y1 = std::min(p.height, y1);
    for (int y = y0; y < y1; ++y)
        std::memset(p.Plane(0) + size_t(y) * p.Stride(0) + x0, c.y, size_t(std::max(0, x1 - x0)));
    for (int y = y0 / 2; y < (y1 + 1) / 2; ++y) {
        const int cx0 = x0 / 2, cx1 = (x1 + 1) / 2;
        if (cx1 <= cx0)
            continue;
        std::memset(p.Plane(1) + size_t(y) * p.Stride(1) + cx0, c.u, size_t(cx1 - cx0));
        std::memset(p.Plane(2) + size_t(y) * p.Stride(2) + cx0, c.v, size_t(cx1 - cx0));
    }
}

// Text in the built-in font, each font pixel a scale x scale block.
void DrawText(Picture &p, int x, int y, const char *text, int scale, Colour ink, Colour paper)
{
    const int len = int(std::strlen(text));
    FillRect(p, x - scale, y - scale, x + len * (kGlyphWidth + 1) * scale + scale,
             y + (kGlyphHeight + 1) * scale, paper);
    for (int i = 0; i < len; ++i) {
        const uint8_t *rows = Glyph(text[i]);
        for (int gy = 0; gy < kGlyphHeight; ++gy) {
            for (int gx = 0; gx < kGlyphWidth; ++gx) {
                if (rows[gy] & (0x10 >> gx)) {
                    const int px = x + (i * (kGlyphWidth + 1) + gx) * scale;
                    const int py = y + gy * scale;
                    FillRect(p, px, py, px + scale, py + scale, ink);
                }
            }
        }
    }
}

}  // namespace

PicturePtr DrawTestPicture(const uint8_t *payload, size_t length)
{
    packetfmt::TestPicture tp;
    if (!packetfmt::DecodeTestPicture(payload, length, tp))
        return nullptr;
    auto picture = std::make_shared<Picture>();
    if (!picture->Allocate(tp.width, tp.height))
        return nullptr;
    Picture &p = *picture;
    const int w = p.width, h = p.height;
    for (int b = 0; b < 8; ++b)
        FillRect(p, b * w / 8, 0, (b + 1) * w / 8, h, kBars[b]);

    // A square that crosses the picture once every 4 seconds at 25 frames per second.
    const int side = std::max(4, std::min(w, h) / 6);
    const int span = std::max(1, w - side);
    const int phase = int(tp.frameNumber * 4 % uint32_t(2 * span));
    const int x = phase < span ? phase : 2 * span - phase;
    FillRect(p, x, h - side - h / 10, x + side, h - h / 10, {235, 128, 128});

    const packetfmt::CivilTime t = packetfmt::MsToCivil(tp.timestampMs);
    char date[32], time[32], frame[32];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", t.year, t.month, t.day);
    std::snprintf(time, sizeof time, "%02d:%02d:%02d.%03d", t.hour, t.minute, t.second, t.millisecond);
    std::snprintf(frame, sizeof frame, "%u", tp.frameNumber);
    const int scale = std::max(1, h / 96);
    const int line = (kGlyphHeight + 3) * scale;
    const Colour ink{235, 128, 128}, paper{16, 128, 128};
    DrawText(p, 2 * scale, 2 * scale, date, scale, ink, paper);
    DrawText(p, 2 * scale, 2 * scale + line, time, scale, ink, paper);
    DrawText(p, 2 * scale, 2 * scale + 2 * line, frame, scale, ink, paper);
    return picture;
}

}  // namespace play
