// Picture files: 24-bit BMP written by hand, baseline JPEG through libjpeg.
#ifndef OUTSIDE_PLAY_SNAPSHOT_H
#define OUTSIDE_PLAY_SNAPSHOT_H

#include "picture.h"

#include <string>

namespace play {

// Writes the picture to a temporary file beside path and renames it over path.
bool WriteBmp(const std::string &path, const Picture &picture);
bool WriteJpeg(const std::string &path, const Picture &picture, int quality = 90);

// The picture as RGB32 (0xFFRRGGBB words), width * 4 bytes a line.
std::vector<uint8_t> ToRgb32(const Picture &picture);

}  // namespace play

#endif
