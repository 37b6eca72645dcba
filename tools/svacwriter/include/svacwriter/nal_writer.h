// NAL unit packing of the SVAC stream writer: start codes, the one-byte unit
// header, emulation prevention, and streams made of units.
#ifndef SVACWRITER_NAL_WRITER_H
#define SVACWRITER_NAL_WRITER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "svacwriter/bit_writer.h"

namespace svacwriter {

// NAL unit types (4 bits of the unit header).
enum NalType : uint32_t {
    kNalSliceBase = 1,   // slice of the base layer
    kNalIdrBase = 2,     // IDR slice of the base layer
    kNalSliceEnh = 3,    // slice of the enhancement layer
    kNalIdrEnh = 4,      // IDR slice of the enhancement layer
    kNalExtension = 5,   // surveillance extension unit
    kNalSps = 7,         // sequence parameter set
    kNalPps = 8,         // picture parameter set
    kNalSecurity = 9,    // security parameter set
};

enum class StartCode {
    kThreeByte,  // 00 00 01
    kFourByte,   // 00 00 00 01
};

// Header byte: bit 7 forbidden_bit, bit 6 ref_flag, bits 5..2 nal_type,
// bit 1 encryption_flag, bit 0 authentication_flag. With the authentication
// flag one more byte follows the header, unescaped.
struct NalHeader {
    uint32_t nal_type = 0;          // 0..15
    bool ref_flag = true;
    bool encryption_flag = false;
    bool authentication_flag = false;
    uint8_t authentication_byte = 0;
    bool forbidden_bit = false;
};

// One unit before packing. The payload is the unescaped byte sequence that a
// reader sees after the header, trailing bits included.
struct NalUnit {
    NalHeader header;
    std::vector<uint8_t> payload;
    StartCode start_code = StartCode::kFourByte;
    std::string error;              // non-empty: the unit could not be built
};

uint8_t nal_header_byte(const NalHeader& header);

// Emulation prevention: after two zero bytes, a byte 00, 01, 02 or 03 gets an
// 03 in front of it. Zero bytes at the very end stay as they are: nothing of
// the payload follows them, and a reader drops them with the trailing bits.
std::vector<uint8_t> escape_payload(const uint8_t* data, size_t size);

// Unit from a writer holding the unit's syntax (trailing bits not yet written):
// writes the trailing bits and moves the bytes out. A failed writer gives a
// unit carrying its error.
NalUnit finish_unit(const NalHeader& header, BitWriter& body,
                    StartCode start_code = StartCode::kFourByte);
// Header for a unit of the given type with the default flags.
NalHeader nal_header(uint32_t nal_type);

// Start code, header, authentication byte, escaped payload. Returns false and
// leaves stream unchanged for a unit with an error or a nal_type above 15.
bool append_unit(std::vector<uint8_t>& stream, const NalUnit& unit);

// Units in order into one stream. offsets, when given, receives the offset of
// each unit's start code. Any bad unit gives an empty stream and false.
bool concat_units(const std::vector<NalUnit>& units, std::vector<uint8_t>* stream,
                  std::vector<size_t>* offsets = nullptr);
// Convenience: the stream, or an empty vector when a unit is bad.
std::vector<uint8_t> make_stream(const std::vector<NalUnit>& units);

} // namespace svacwriter

#endif
