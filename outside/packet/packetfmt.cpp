#include "packetfmt.h"

#include <algorithm>
#include <cstring>

namespace packetfmt {

namespace {

void Put16(uint8_t *p, uint16_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
void Put32(uint8_t *p, uint32_t v) { for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i)); }
void Put64(uint8_t *p, uint64_t v) { for (int i = 0; i < 8; ++i) p[i] = uint8_t(v >> (8 * i)); }
uint16_t Get16(const uint8_t *p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t *p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
uint64_t Get64(const uint8_t *p) { return uint64_t(Get32(p)) | (uint64_t(Get32(p + 4)) << 32); }

struct CrcTable {
    uint32_t v[256];
    CrcTable()
    {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            v[i] = c;
        }
    }
};

void WriteHeader(uint8_t *h, const PacketInfo &info, uint32_t length, uint32_t payloadCrc)
{
    std::memcpy(h, kMagic, 4);
    h[4] = kVersion;
    h[5] = info.kind;
    h[6] = info.encoding;
    h[7] = info.key ? kFlagKey : 0;
    Put16(h + 8, info.width);
    Put16(h + 10, info.height);
    h[12] = info.kind == kAudio ? info.channels : info.frameRate;
    h[13] = 0;
    Put16(h + 14, info.sampleRate);
    Put32(h + 16, info.sequence);
    Put64(h + 20, uint64_t(info.timestampMs));
    Put32(h + 28, length);
    Put32(h + 32, payloadCrc);
    Put32(h + 36, Crc32(h, 36));
}

}  // namespace

uint32_t Crc32(const void *data, size_t length, uint32_t crc)
{
    static const CrcTable table;
    const uint8_t *p = static_cast<const uint8_t *>(data);
    crc = ~crc;
    for (size_t i = 0; i < length; ++i)
        crc = table.v[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

bool AppendPacket(const PacketInfo &info, const void *payload, size_t length, std::vector<uint8_t> &out)
{
    if (length > kMaxPayload || (length && !payload))
        return false;
    if (info.kind == kVideo && info.encoding == kEncI420) {
        if (info.width == 0 || info.height == 0 || info.width > kI420MaxWidth ||
            info.height > kI420MaxHeight || (info.width | info.height) & 1)
            return false;
        if (length != size_t(info.width) * info.height * 3 / 2)
            return false;
    }
    uint8_t header[kHeaderSize];
    WriteHeader(header, info, uint32_t(length), Crc32(payload, length));
    out.insert(out.end(), header, header + kHeaderSize);
    const uint8_t *p = static_cast<const uint8_t *>(payload);
    out.insert(out.end(), p, p + length);
    return true;
}

bool ParseHeader(const uint8_t *p, PacketInfo &info, uint32_t &payloadLength, uint32_t &payloadCrc)
{
    if (std::memcmp(p, kMagic, 4) != 0 || p[4] != kVersion)
        return false;
    if (Crc32(p, 36) != Get32(p + 36))
        return false;
    payloadLength = Get32(p + 28);
    if (payloadLength > kMaxPayload)
        return false;
    info.kind = p[5];
    info.encoding = p[6];
    info.key = (p[7] & kFlagKey) != 0;
    info.width = Get16(p + 8);
    info.height = Get16(p + 10);
    info.frameRate = info.kind == kAudio ? 0 : p[12];
    info.channels = info.kind == kAudio ? p[12] : 0;
    info.sampleRate = Get16(p + 14);
    info.sequence = Get32(p + 16);
    info.timestampMs = int64_t(Get64(p + 20));
    payloadCrc = Get32(p + 32);
    return true;
}

bool RetimePacket(uint8_t *packet, size_t length, int64_t timestampMs, uint32_t sequence)
{
    PacketInfo info;
    uint32_t payloadLength = 0, payloadCrc = 0;
    if (length < kHeaderSize || !ParseHeader(packet, info, payloadLength, payloadCrc) ||
        length < kHeaderSize + payloadLength)
        return false;
    uint8_t *payload = packet + kHeaderSize;
    TestPicture picture;
    if (info.kind == kVideo && info.encoding == kEncTestPic &&
        DecodeTestPicture(payload, payloadLength, picture)) {
        picture.frameNumber = sequence;
        picture.timestampMs = timestampMs;
        std::vector<uint8_t> bytes = EncodeTestPicture(picture);
        std::memcpy(payload, bytes.data(), bytes.size());
        payloadCrc = Crc32(payload, payloadLength);
    }
    info.timestampMs = timestampMs;
    info.sequence = sequence;
    WriteHeader(packet, info, payloadLength, payloadCrc);
    return true;
}

void Reader::Feed(const void *data, size_t length)
{
    if (!length)
        return;
    Compact();
    const uint8_t *p = static_cast<const uint8_t *>(data);
    m_buffer.insert(m_buffer.end(), p, p + length);
}

bool Reader::Next(Packet &packet)
{
    for (;;) {
        const size_t avail = m_buffer.size() - m_start;
        if (avail < kHeaderSize) {
            // Drop leading bytes that cannot begin a packet; keep a possible partial header.
            while (m_start < m_buffer.size()) {
                const size_t n = std::min<size_t>(m_buffer.size() - m_start, 4);
                if (std::memcmp(m_buffer.data() + m_start, kMagic, n) == 0)
                    break;
                ++m_start;
                ++m_skipped;
            }
            return false;
        }
        const uint8_t *h = m_buffer.data() + m_start;
        PacketInfo info;
        uint32_t length = 0, crc = 0;
        if (!ParseHeader(h, info, length, crc)) {
            // Skip to the next possible magic.
            const uint8_t *found = static_cast<const uint8_t *>(
                std::memchr(h + 1, kMagic[0], avail - 1));
            const size_t step = found ? size_t(found - h) : avail;
            m_skipped += step;
            m_start += step;
            continue;
        }
        if (avail < kHeaderSize + length)
            return false;
        if (Crc32(h + kHeaderSize, length) != crc) {
            // A cut packet: its header promised bytes that belong to what follows.
            m_skipped += 1;
            m_start += 1;
            continue;
        }
        packet.info = info;
        packet.payload.assign(h + kHeaderSize, h + kHeaderSize + length);
        packet.bytes.assign(h, h + kHeaderSize + length);
        m_start += kHeaderSize + length;
        return true;
    }
}

size_t Reader::Flush()
{
    const size_t dropped = Buffered();
    m_skipped += dropped;
    Reset();
    return dropped;
}

void Reader::Reset()
{
    m_buffer.clear();
    m_start = 0;
}

void Reader::Compact()
{
    if (m_start == 0)
        return;
    if (m_start == m_buffer.size()) {
        m_buffer.clear();
    } else if (m_start > 65536 || m_start * 2 > m_buffer.size()) {
        m_buffer.erase(m_buffer.begin(), m_buffer.begin() + std::ptrdiff_t(m_start));
    } else {
        return;
    }
    m_start = 0;
}

std::vector<Packet> ParseAll(const void *data, size_t length, uint64_t *skipped)
{
    Reader reader;
    reader.Feed(data, length);
    std::vector<Packet> packets;
    Packet packet;
    while (reader.Next(packet))
        packets.push_back(packet);
    reader.Flush();
    if (skipped)
        *skipped = reader.SkippedBytes();
    return packets;
}

std::vector<uint8_t> EncodeTestPicture(const TestPicture &picture)
{
    std::vector<uint8_t> out(kTestPictureSize);
    out[0] = 'T';
    out[1] = 'P';
    out[2] = 1;
    Put32(&out[3], picture.frameNumber);
    Put64(&out[7], uint64_t(picture.timestampMs));
    Put16(&out[15], picture.width);
    Put16(&out[17], picture.height);
    return out;
}

bool DecodeTestPicture(const void *payload, size_t length, TestPicture &picture)
{
    const uint8_t *p = static_cast<const uint8_t *>(payload);
    if (!p || length < kTestPictureSize || p[0] != 'T' || p[1] != 'P' || p[2] != 1)
        return false;
    picture.frameNumber = Get32(p + 3);
    picture.timestampMs = int64_t(Get64(p + 7));
    picture.width = Get16(p + 15);
    picture.height = Get16(p + 17);
    return true;
}

}  // namespace packetfmt
