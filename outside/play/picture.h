// Decoded pictures: 8-bit planar 4:2:0, and the decoders of the uncompressed and test payloads.
#ifndef OUTSIDE_PLAY_PICTURE_H
#define OUTSIDE_PLAY_PICTURE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace play {

constexpr int kMaxPictureSide = 4096;

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> data;  // Y, then U, then V, each plane tightly packed

    // Allocates the planes; false for a size outside 1..kMaxPictureSide.
    bool Allocate(int w, int h);
    int Stride(int plane) const { return plane == 0 ? width : (width + 1) / 2; }
    int Rows(int plane) const { return plane == 0 ? height : (height + 1) / 2; }
    uint8_t *Plane(int plane);
    const uint8_t *Plane(int plane) const;
};

using PicturePtr = std::shared_ptr<const Picture>;

// An uncompressed I420 payload of exactly w x h x 3 / 2 bytes.
PicturePtr DecodeI420(const uint8_t *payload, size_t length, int width, int height);

// The moving test picture of a test-picture payload, its frame number and time burnt in.
PicturePtr DrawTestPicture(const uint8_t *payload, size_t length);

}  // namespace play

#endif
