// Key the fuzz target gives the decoder: bits 2..3 of an input's first byte choose none,
// the first 8, 16 or all 32 bytes. The seed writer encrypts with the same bytes.
#pragma once
#include <cstdint>

inline constexpr uint8_t fuzz_key[32] = {0x2b, 0x7e, 0x15, 0x16, 0x28, 0xae, 0xd2, 0xa6, 0xab, 0xf7, 0x15,
                                         0x88, 0x09, 0xcf, 0x4f, 0x3c, 0x60, 0x3d, 0xeb, 0x10, 0x15, 0xca,
                                         0x71, 0xbe, 0x2b, 0x73, 0xae, 0xf0, 0x85, 0x7d, 0x77, 0x81};

inline constexpr uint32_t fuzz_key_size(uint8_t first_byte)
{
    return (first_byte >> 2 & 3) == 0 ? 0 : 4u << (first_byte >> 2 & 3);
}
