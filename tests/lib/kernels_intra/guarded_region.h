// Sample access helpers for the guarded test buffers.
#pragma once

#include "../common/guarded_memory.h"

// Samples of 8-bit pictures are bytes, all others 16-bit words.
inline int sample_bytes(int bit_depth)
{
    return bit_depth > 8 ? 2 : 1;
}

inline void put_sample(uint8_t *p, int bit_depth, size_t index, int v)
{
    if (bit_depth > 8)
        reinterpret_cast<uint16_t *>(p)[index] = uint16_t(v);
    else
        p[index] = uint8_t(v);
}

inline int get_sample(const uint8_t *p, int bit_depth, size_t index)
{
    return bit_depth > 8 ? reinterpret_cast<const uint16_t *>(p)[index] : p[index];
}
