// Minimal reading side for the writer tests: a plain bit reader and a NAL
// unit splitter, kept independent of the decoder library.
#ifndef TESTS_LIB_WRITER_TEST_READER_H
#define TESTS_LIB_WRITER_TEST_READER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace writer_test {

// Reads bits one at a time, most significant first; past the end it yields
// zeros and sets overrun().
class BitReader {
public:
    explicit BitReader(std::vector<uint8_t> bytes, int64_t bit_length = -1)
        : bytes_(std::move(bytes)),
          length_(bit_length < 0 ? static_cast<int64_t>(bytes_.size()) * 8 : bit_length)
    {
    }

    uint32_t bit()
    {
        if (pos_ >= length_) {
            overrun_ = true;
            ++pos_;
            return 0;
        }
        const uint32_t b = (bytes_[static_cast<size_t>(pos_ / 8)] >> (7 - pos_ % 8)) & 1;
        ++pos_;
        return b;
    }
    uint64_t u(int n)
    {
        uint64_t v = 0;
        for (int i = 0; i < n; ++i)
            v = (v << 1) | bit();
        return v;
    }
    bool flag() { return bit() != 0; }
    uint64_t ue()
    {
        int zeros = 0;
        while (bit() == 0) {
            if (++zeros > 40 || overrun_)
                return ~uint64_t(0);
        }
        return ((uint64_t(1) << zeros) | u(zeros)) - 1;
    }
    int64_t se()
    {
        const uint64_t k = ue();
        return (k & 1) ? static_cast<int64_t>((k + 1) / 2) : -static_cast<int64_t>(k / 2);
    }
    uint64_t ue_k(int k) { return (ue() << k) | u(k); }

    int64_t pos() const { return pos_; }
    int64_t length() const { return length_; }
    bool overrun() const { return overrun_; }

private:
    std::vector<uint8_t> bytes_;
    int64_t length_;
    int64_t pos_ = 0;
    bool overrun_ = false;
};

// One unit found in a stream.
struct ParsedUnit {
    size_t prefix_offset = 0;       // offset of the 00 00 01 bytes
    uint8_t header = 0;
    uint32_t nal_type = 0;
    bool authentication = false;
    uint8_t authentication_byte = 0;
    std::vector<uint8_t> payload;   // 00 00 03 replaced by 00 00, zero bytes at the end dropped
    int64_t bit_length = -1;        // bits in front of the stop bit; -1 for an empty payload
};

// Splits at every 00 00 01. A payload runs to the next 00 00 00, 00 00 01 or
// 00 00 02, or the end of the stream; 00 00 03 inside it stands for 00 00.
inline std::vector<ParsedUnit> split_units(const std::vector<uint8_t>& s)
{
    std::vector<ParsedUnit> units;
    size_t i = 0;
    const size_t n = s.size();
    auto zero_pair = [&](size_t j) { return j + 2 < n && s[j] == 0 && s[j + 1] == 0; };
    while (i + 3 < n) {
        if (!(zero_pair(i) && s[i + 2] == 1)) {
            ++i;
            continue;
        }
        ParsedUnit u;
        u.prefix_offset = i;
        u.header = s[i + 3];
        u.nal_type = (u.header >> 2) & 0xF;
        u.authentication = (u.header & 1) != 0;
        size_t j = i + 4;
        if (u.authentication && j < n)
            u.authentication_byte = s[j++];
        while (j < n) {
            if (zero_pair(j) && s[j + 2] == 3) {
                u.payload.push_back(0);
                u.payload.push_back(0);
                j += 3;
            } else if (zero_pair(j) && s[j + 2] < 3) {
                break;
            } else {
                u.payload.push_back(s[j++]);
            }
        }
        while (!u.payload.empty() && u.payload.back() == 0)
            u.payload.pop_back();
        if (!u.payload.empty()) {
            int k = 1;
            while (!((u.payload.back() >> (k - 1)) & 1))
                ++k;
            u.bit_length = 8 * static_cast<int64_t>(u.payload.size()) - k;
        }
        units.push_back(std::move(u));
        i = j;
    }
    return units;
}

// The first n bits of a writer's bytes as a string of 0 and 1.
inline std::string bit_string(const std::vector<uint8_t>& bytes, uint64_t n)
{
    std::string s;
    for (uint64_t i = 0; i < n; ++i)
        s += ((bytes[i / 8] >> (7 - i % 8)) & 1) ? '1' : '0';
    return s;
}

} // namespace writer_test

#endif
