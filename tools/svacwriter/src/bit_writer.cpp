#include "svacwriter/bit_writer.h"

#include <algorithm>
#include <utility>

namespace svacwriter {

namespace {

int bit_length(uint64_t x)
{
    int n = 0;
    while (x) {
        ++n;
        x >>= 1;
    }
    return n;
}

} // namespace

void BitWriter::fail(const std::string& message)
{
    if (error_.empty())
        error_ = message;
}

// Writes the low n bits of value (n 0..64), most significant first.
void BitWriter::put_raw(uint64_t value, int n)
{
    while (n > 0) {
        const int used = static_cast<int>(bit_count_ % 8);
        if (used == 0)
            buf_.push_back(0);
        const int room = 8 - used;
        const int take = std::min(room, n);
        const uint32_t chunk = static_cast<uint32_t>(value >> (n - take)) & ((1u << take) - 1);
        buf_.back() = static_cast<uint8_t>(buf_.back() | (chunk << (room - take)));
        n -= take;
        bit_count_ += static_cast<uint64_t>(take);
    }
}

void BitWriter::put_bits(uint32_t value, int n)
{
    if (n < 0 || n > 32) {
        fail("u(n) width " + std::to_string(n) + " outside 0..32");
        return;
    }
    if (n < 32 && (static_cast<uint64_t>(value) >> n) != 0) {
        fail("value " + std::to_string(value) + " does not fit u(" + std::to_string(n) + ")");
        return;
    }
    put_raw(value, n);
}

void BitWriter::put_bit(bool bit)
{
    put_raw(bit ? 1 : 0, 1);
}

// code_num + 1 written in len bits after len - 1 zeros; code_num <= 2^32.
void BitWriter::put_ue64(uint64_t code_num)
{
    const uint64_t x = code_num + 1;
    const int len = bit_length(x);
    put_raw(0, len - 1);
    put_raw(x, len);
}

void BitWriter::put_ue(uint32_t value)
{
    put_ue64(value);
}

void BitWriter::put_se(int32_t value)
{
    const int64_t v = value;
    const uint64_t code_num = v > 0 ? static_cast<uint64_t>(2 * v - 1) : static_cast<uint64_t>(-2 * v);
    put_ue64(code_num);
}

void BitWriter::put_ue_k(uint32_t value, int k)
{
    if (k < 0 || k > 31) {
        fail("Exp-Golomb order " + std::to_string(k) + " outside 0..31");
        return;
    }
    put_ue64(value >> k);
    put_raw(value & ((1u << k) - 1), k);
}

void BitWriter::put_trailing_bits()
{
    put_raw(1, 1);
    align_zero();
}

void BitWriter::align_zero()
{
    const int used = static_cast<int>(bit_count_ % 8);
    if (used)
        put_raw(0, 8 - used);
}

void BitWriter::put_bytes(const uint8_t* data, size_t size)
{
    if (size == 0)
        return;
    if (byte_aligned()) {
        buf_.insert(buf_.end(), data, data + size);
        bit_count_ += 8 * static_cast<uint64_t>(size);
        return;
    }
    for (size_t i = 0; i < size; ++i)
        put_raw(data[i], 8);
}

std::vector<uint8_t> BitWriter::take_bytes()
{
    std::vector<uint8_t> out = std::move(buf_);
    buf_.clear();
    bit_count_ = 0;
    return out;
}

} // namespace svacwriter
