// Stream packet format shared by the device SDK stand-in, the player stand-in and the tools.
//
// A stream is a run of packets; each packet is a 40-byte header followed by its payload:
//
//   offset size  field
//   0      4     magic "QVPK"
//   4      1     version (1)
//   5      1     kind: 1 video, 2 audio
//   6      1     encoding (Encoding below)
//   7      1     flags: bit 0 key frame
//   8      2     picture width  (video) / 0
//   10     2     picture height (video) / 0
//   12     1     frame rate (video) / channel count (audio)
//   13     1     reserved, 0
//   14     2     sample rate in Hz (audio) / 0
//   16     4     sequence number
//   20     8     timestamp: milliseconds since 1970-01-01 00:00:00 of the device's local
//                date and time, read as a plain calendar value (no time zone)
//   28     4     payload length
//   32     4     CRC-32 of the payload
//   36     4     CRC-32 of bytes 0-35
//
// All numbers are little-endian. The two checksums make the stream self-delimiting and
// resynchronisable: a reader that meets garbage or a cut packet skips forward to the next
// header that checks out.
#ifndef OUTSIDE_PACKET_PACKETFMT_H
#define OUTSIDE_PACKET_PACKETFMT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace packetfmt {

constexpr uint8_t kMagic[4] = {'Q', 'V', 'P', 'K'};
constexpr uint8_t kVersion = 1;
constexpr size_t kHeaderSize = 40;
constexpr uint32_t kMaxPayload = 4u * 1024u * 1024u;

enum Kind : uint8_t { kVideo = 1, kAudio = 2 };

enum Encoding : uint8_t {
    kEncSvac = 11,       // SVAC elementary stream data
    kEncI420 = 0x40,     // uncompressed I420 picture, at most 352x288
    kEncTestPic = 0x41,  // compact test-picture description (TestPicture below)
    kEncPcm16 = 0x60,    // audio: signed 16-bit little-endian PCM
};

enum Flags : uint8_t { kFlagKey = 0x01 };

constexpr int kI420MaxWidth = 352;
constexpr int kI420MaxHeight = 288;

struct PacketInfo {
    uint8_t kind = kVideo;
    uint8_t encoding = kEncTestPic;
    bool key = false;
    uint16_t width = 0;
    uint16_t height = 0;
    uint8_t frameRate = 0;     // video
    uint8_t channels = 0;      // audio
    uint16_t sampleRate = 0;   // audio
    uint32_t sequence = 0;
    int64_t timestampMs = 0;
};

struct Packet {
    PacketInfo info;
    std::vector<uint8_t> payload;
    std::vector<uint8_t> bytes;   // the whole encoded packet, header included
};

// Appends one encoded packet to out. Fails (returns false, out unchanged) when the payload is
// longer than kMaxPayload, or an I420 picture is larger than allowed or of the wrong length.
bool AppendPacket(const PacketInfo &info, const void *payload, size_t length, std::vector<uint8_t> &out);

// Parses a header at p (at least kHeaderSize bytes). False when the magic, version, header
// checksum or payload length limit does not hold. payloadCrc receives the stored payload CRC.
bool ParseHeader(const uint8_t *p, PacketInfo &info, uint32_t &payloadLength, uint32_t &payloadCrc);

// Rewrites the timestamp and sequence number of an encoded packet in place (checksums
// follow). A test-picture payload gets the same time and the sequence as its frame number.
bool RetimePacket(uint8_t *packet, size_t length, int64_t timestampMs, uint32_t sequence);

uint32_t Crc32(const void *data, size_t length, uint32_t crc = 0);

// Incremental reader: feed any slices, take whole packets out. Bytes that cannot start a valid
// packet are skipped and counted.
class Reader {
public:
    void Feed(const void *data, size_t length);
    // Takes the next complete, valid packet. False when none is complete yet.
    bool Next(Packet &packet);
    // End of input: drops an incomplete trailing packet; returns the number of bytes dropped.
    size_t Flush();
    void Reset();
    size_t Buffered() const { return m_buffer.size() - m_start; }
    uint64_t SkippedBytes() const { return m_skipped; }

private:
    void Compact();

    std::vector<uint8_t> m_buffer;
    size_t m_start = 0;
    uint64_t m_skipped = 0;
};

// Splits a whole buffer into packets (a convenience over Reader).
std::vector<Packet> ParseAll(const void *data, size_t length, uint64_t *skipped = nullptr);

// Compact test-picture payload: 19 bytes, "TP", version, frame number, time, width, height.
struct TestPicture {
    uint32_t frameNumber = 0;
    int64_t timestampMs = 0;
    uint16_t width = 0;
    uint16_t height = 0;
};
constexpr size_t kTestPictureSize = 19;
std::vector<uint8_t> EncodeTestPicture(const TestPicture &picture);
bool DecodeTestPicture(const void *payload, size_t length, TestPicture &picture);

// Calendar functions for the plain local-time timestamps.
struct CivilTime {
    int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0, millisecond = 0;
};
int64_t CivilToMs(const CivilTime &t);
CivilTime MsToCivil(int64_t ms);
// "yyyy-MM-dd hh:mm:ss"; false when the text does not hold a valid date and time.
bool ParseTimeText(const std::string &text, int64_t &ms);
std::string FormatTimeText(int64_t ms);
// The machine's current local time as such a timestamp.
int64_t LocalNowMs();

}  // namespace packetfmt

#endif
