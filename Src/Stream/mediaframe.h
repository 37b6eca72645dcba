#pragma once

// A media frame: a packet viewing a range of another packet, with a 128-byte
// frame header as its extra area. The header is zero except bytes 1 and 2
// (both 1) and the frame length as 32-bit little-endian at byte 24.

#include "Memory/packet.h"

#include <cstdint>

namespace Tarvo {
namespace Stream {

class CMediaFrame : public Memory::CPacket
{
public:
    static constexpr uint8_t kHeaderSize = 128;
    static constexpr int kLengthOffset = 24;

    // An invalid range gives a frame without header and data.
    CMediaFrame(const Memory::CPacket& source, uint32_t offset, uint32_t length);
    ~CMediaFrame() override;
};

} // namespace Stream
} // namespace Tarvo
