#include "snapshot.h"

#include "scale_core.h"

#include <csetjmp>
#include <cstdio>
#include <unistd.h>

#include <jpeglib.h>

namespace play {

namespace {

std::string TempName(const std::string &path)
{
    return path + ".tmp" + std::to_string(getpid());
}

bool Commit(FILE *f, bool written, const std::string &temp, const std::string &path)
{
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed || std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

void Put16(uint8_t *p, uint16_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
void Put32(uint8_t *p, uint32_t v) { for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i)); }

struct JpegError {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

void OnJpegError(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<JpegError *>(info->err)->jump, 1);
}

}  // namespace

std::vector<uint8_t> ToRgb32(const Picture &picture)
{
    std::vector<uint8_t> rgb(size_t(picture.width) * picture.height * 4);
    scalecore::YuvPicture in;
    for (int i = 0; i < 3; ++i) {
        in.plane[i] = picture.Plane(i);
        in.stride[i] = picture.Stride(i);
    }
    in.width = picture.width;
    in.height = picture.height;
    if (!scalecore::ToRgb32(in, rgb.data(), picture.width, picture.height, size_t(picture.width) * 4))
        rgb.clear();
    return rgb;
}

bool WriteBmp(const std::string &path, const Picture &picture)
{
    const std::vector<uint8_t> rgb = ToRgb32(picture);
    if (rgb.empty())
        return false;
    const int w = picture.width, h = picture.height;
    const size_t rowBytes = (size_t(w) * 3 + 3) & ~size_t(3);
    const size_t imageBytes = rowBytes * size_t(h);
    uint8_t header[54] = {'B', 'M'};
    Put32(header + 2, uint32_t(54 + imageBytes));
    Put32(header + 10, 54);
    Put32(header + 14, 40);
    Put32(header + 18, uint32_t(w));
    Put32(header + 22, uint32_t(h));  // positive: rows stored bottom-up
    Put16(header + 26, 1);
    Put16(header + 28, 24);
    Put32(header + 34, uint32_t(imageBytes));
    Put32(header + 38, 2835);  // 72 dpi
    Put32(header + 42, 2835);

    const std::string temp = TempName(path);
    FILE *f = std::fopen(temp.c_str(), "wb");
    if (!f)
        return false;
    bool written = std::fwrite(header, 1, sizeof header, f) == sizeof header;
    std::vector<uint8_t> row(rowBytes, 0);
    for (int y = h - 1; written && y >= 0; --y) {
        const uint8_t *src = rgb.data() + size_t(y) * w * 4;
        for (int x = 0; x < w; ++x) {
            row[size_t(x) * 3 + 0] = src[x * 4 + 0];  // B
            row[size_t(x) * 3 + 1] = src[x * 4 + 1];  // G
            row[size_t(x) * 3 + 2] = src[x * 4 + 2];  // R
        }
        written = std::fwrite(row.data(), 1, rowBytes, f) == rowBytes;
    }
    return Commit(f, written, temp, path);
}

bool WriteJpeg(const std::string &path, const Picture &picture, int quality)
{
    const std::vector<uint8_t> rgb = ToRgb32(picture);
    if (rgb.empty())
        return false;
    const std::string temp = TempName(path);
    FILE *f = std::fopen(temp.c_str(), "wb");
    if (!f)
        return false;

    jpeg_compress_struct cinfo{};
    JpegError error{};
    cinfo.err = jpeg_std_error(&error.base);
    error.base.error_exit = OnJpegError;
    std::vector<uint8_t> line(size_t(picture.width) * 3);
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&cinfo);
        return Commit(f, false, temp, path);
    }
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, f);
    cinfo.image_width = JDIMENSION(picture.width);
    cinfo.image_height = JDIMENSION(picture.height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        const uint8_t *src = rgb.data() + size_t(cinfo.next_scanline) * picture.width * 4;
        for (int x = 0; x < picture.width; ++x) {
            line[size_t(x) * 3 + 0] = src[x * 4 + 2];
            line[size_t(x) * 3 + 1] = src[x * 4 + 1];
            line[size_t(x) * 3 + 2] = src[x * 4 + 0];
        }
        JSAMPROW rows[1] = {line.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return Commit(f, true, temp, path);
}

}  // namespace play
