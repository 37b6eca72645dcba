#pragma once
// Converts decoded 8-bit 4:2:0 pictures to RGB32 through the outside scaler. The scaler
// handle is opened for one picture size and reopened only when the size changes.

#include <cstdint>

#include <foundation/HostContext.h>

namespace Tolvane {

class CRGB32Convert {
public:
    struct Source {
        const uint8_t* plane[3] = {nullptr, nullptr, nullptr};
        int32_t lineSize[3] = {0, 0, 0};
        int32_t width = 0;  // plane 0
        int32_t height = 0;
    };

    explicit CRGB32Convert(HostContext* context);
    ~CRGB32Convert();
    CRGB32Convert(const CRGB32Convert&) = delete;
    CRGB32Convert& operator=(const CRGB32Convert&) = delete;

    // Writes width x height RGB32 pixels (stride width x 4) into destination; on success
    // the output size is set and the answer is true.
    bool Convert(const Source& source, uint8_t* destination, int32_t* outWidth, int32_t* outHeight);
    // Closes an open scaler handle.
    void Close();

private:
    HostContext* m_context;
    void* m_handle = nullptr;
    int32_t m_width = 0;
    int32_t m_height = 0;
};

}  // namespace Tolvane
