// Bit writer of the SVAC stream writer: the descriptors that headers and
// Exp-Golomb coded macroblock data use, most significant bit first.
#ifndef SVACWRITER_BIT_WRITER_H
#define SVACWRITER_BIT_WRITER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace svacwriter {

// Appends bits to a growing byte buffer. A partly filled last byte is kept
// zero in its unwritten low bits, so bytes() is always a valid prefix.
//
// Bad arguments (a width above 32, a value that does not fit its width) write
// nothing and mark the writer failed; the first message is kept in error().
// Later calls still write, so one check at the end of a unit is enough.
class BitWriter {
public:
    // u(n): the low n bits of value, n from 0 to 32 (0 writes nothing).
    // value must fit in n bits.
    void put_bits(uint32_t value, int n);
    // u(1).
    void put_bit(bool bit);
    // ue(v): unsigned Exp-Golomb code; every 32-bit value is representable
    // (values above 65534 use 16 or more leading zeros).
    void put_ue(uint32_t value);
    // se(v): signed Exp-Golomb code; k > 0 maps to code 2k - 1, k <= 0 to -2k.
    void put_se(int32_t value);
    // Exp-Golomb code of order k (0..31): ue(value >> k), then the low k bits.
    void put_ue_k(uint32_t value, int k);
    // Stop bit 1, then zero bits up to the next byte boundary.
    void put_trailing_bits();
    // Zero bits up to the next byte boundary (nothing when aligned).
    void align_zero();
    // Whole bytes; at an unaligned position they are written bit by bit.
    void put_bytes(const uint8_t* data, size_t size);

    bool byte_aligned() const { return bit_count_ % 8 == 0; }
    uint64_t bit_count() const { return bit_count_; }
    const std::vector<uint8_t>& bytes() const { return buf_; }
    std::vector<uint8_t> take_bytes();

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    // Records a failure found by a syntax writer (first one wins).
    void fail(const std::string& message);

private:
    void put_raw(uint64_t value, int n);
    void put_ue64(uint64_t code_num);

    std::vector<uint8_t> buf_;
    uint64_t bit_count_ = 0;
    std::string error_;
};

} // namespace svacwriter

#endif
