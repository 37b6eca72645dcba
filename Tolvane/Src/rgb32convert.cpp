#include "rgb32convert.h"

#include "playlibrary.h"

namespace Tolvane {

namespace {

constexpr int32_t kScaleQuality = 30;

}  // namespace

CRGB32Convert::CRGB32Convert(HostContext* context) : m_context(context) {}

CRGB32Convert::~CRGB32Convert()
{
    Close();
}

void CRGB32Convert::Close()
{
    if (m_handle != nullptr) {
        SCALE_CALL(m_context, SCALE_close, m_handle);
        m_handle = nullptr;
    }
    m_width = 0;
    m_height = 0;
}

bool CRGB32Convert::Convert(const Source& source, uint8_t* destination, int32_t* outWidth, int32_t* outHeight)
{
    if (destination == nullptr || source.width <= 0 || source.height <= 0) {
        return false;
    }
    if (m_handle == nullptr || source.width != m_width || source.height != m_height) {
        Close();
        SCALE_PARAMS params{};
        params.srcWidth = source.width;
        params.srcHeight = source.height;
        params.srcStride = source.lineSize[0];
        params.dstWidth = source.width;
        params.dstHeight = source.height;
        params.dstStride = source.width;
        params.dstBits = SCALE_BITS_RGB32;
        params.srcFormat = SCALE_FMT_I420;
        params.flags = kScaleQuality;
        params.reserved = 0;
        m_handle = SCALE_CALL(m_context, SCALE_open, &params);
        if (m_handle == nullptr) {
            return false;
        }
        m_width = source.width;
        m_height = source.height;
    }

    SCALE_PLANES from{};
    SCALE_PLANES to{};
    for (int i = 0; i < 3; ++i) {
        from.plane[i] = source.plane[i];
        from.lineSize[i] = source.lineSize[i];
    }
    to.plane[0] = destination;
    to.lineSize[0] = source.width;
    // 0 is the scaler's success, so a missing function must not be taken for one.
    auto* start = Foundation::ResolveHostFunction<std::remove_pointer_t<decltype(&SCALE_start)>>(
        m_context, PlayLibrary::kScaleModule, "SCALE_start");
    if (start == nullptr || start(m_handle, &from, &to) != 0) {
        return false;
    }
    if (outWidth != nullptr) {
        *outWidth = source.width;
    }
    if (outHeight != nullptr) {
        *outHeight = source.height;
    }
    return true;
}

}  // namespace Tolvane
