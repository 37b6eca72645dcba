#include "swscale.h"

#include "scale_core.h"

#include <new>

#define SCALE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr int32_t kMaxSide = 16384;

struct Scaler {
    SCALE_PARAMS params;
    scalecore::Converter converter;
};

bool ValidSide(int32_t v) { return v > 0 && v <= kMaxSide; }

}  // namespace

SCALE_EXPORT void *SCALE_open(const SCALE_PARAMS *params)
{
    if (!params || !ValidSide(params->srcWidth) || !ValidSide(params->srcHeight) ||
        !ValidSide(params->dstWidth) || !ValidSide(params->dstHeight))
        return nullptr;
    if (params->dstBits != SCALE_BITS_RGB32)
        return nullptr;
    if (params->srcFormat != SCALE_FMT_I420 && params->srcFormat != SCALE_FMT_I420_P10)
        return nullptr;
    if (params->dstStride != 0 && params->dstStride < params->dstWidth)
        return nullptr;
    Scaler *scaler = new (std::nothrow) Scaler;
    if (scaler)
        scaler->params = *params;
    return scaler;
}

SCALE_EXPORT int32_t SCALE_start(void *handle, const SCALE_PLANES *src, const SCALE_PLANES *dst)
{
    if (!handle || !src || !dst || !dst->plane[0])
        return -1;
    Scaler *scaler = static_cast<Scaler *>(handle);
    const SCALE_PARAMS &p = scaler->params;
    scalecore::YuvPicture in;
    for (int i = 0; i < 3; ++i) {
        in.plane[i] = src->plane[i];
        in.stride[i] = src->lineSize[i];
    }
    in.width = p.srcWidth;
    in.height = p.srcHeight;
    in.bitDepth = p.srcFormat == SCALE_FMT_I420_P10 ? 10 : 8;
    const int32_t linePixels = dst->lineSize[0] > 0 ? dst->lineSize[0] : p.dstWidth;
    if (linePixels < p.dstWidth)
        return -1;
    uint8_t *out = const_cast<uint8_t *>(dst->plane[0]);
    return scaler->converter.Run(in, out, p.dstWidth, p.dstHeight, size_t(linePixels) * 4) ? 0 : -1;
}

SCALE_EXPORT void SCALE_close(void *handle)
{
    delete static_cast<Scaler *>(handle);
}
