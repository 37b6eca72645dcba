#pragma once
// The demo device's SVAC pictures as a window shows them: a stream file's generation
// parameters read back from its packets, and the digest of a reconstructed picture in RGB32
// (FNV-1a 64 over its rows, the digest the test window modules and probes give).

#include <QString>

#include <string>

#include "streams.h"

// The demo device's SVAC stream file as generation parameters; false for another file.
bool ParamsOf(const QString& file, demodevice::StreamParams* params);

// Digest of a reconstructed picture after the conversion to RGB32.
std::string RgbHash(const svacenc::Yuv& yuv);

// Digest of the encoder's reconstruction of the stream's picture number frame; empty when
// there is no such picture.
std::string FrameHash(const demodevice::StreamParams& params, int frame);
