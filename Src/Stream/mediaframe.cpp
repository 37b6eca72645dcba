#include "Stream/mediaframe.h"

#include <cstring>

namespace Tarvo {
namespace Stream {

CMediaFrame::CMediaFrame(const Memory::CPacket& source, uint32_t offset, uint32_t length)
    : CPacket(source, offset, length, kHeaderSize)
{
    uint8_t* header = getExtra();
    if (!header)
        return;
    std::memset(header, 0, kHeaderSize);
    header[1] = 1;
    header[2] = 1;
    for (int i = 0; i < 4; ++i)
        header[kLengthOffset + i] = static_cast<uint8_t>(length >> (8 * i));
}

CMediaFrame::~CMediaFrame() = default;

} // namespace Stream
} // namespace Tarvo
