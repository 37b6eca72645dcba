// Table text of the writer's residual coder and coded-block-pattern maps (internal).
#ifndef SVACWRITER_VLC_CODE_TABLES_H
#define SVACWRITER_VLC_CODE_TABLES_H

#include <cstdint>

namespace svacwriter {
namespace detail {

struct RowText {
    int order;
    int threshold;          // -1: no limit
    int max_advance;
    const char* ref_levels;
    int eob_code;
    const char* entries;    // "level:advance ..."
};

// Rows of set 0 (intra luma), 1 (inter luma) or 2 (chroma).
const RowText* rows_of(int set, int* count);

extern const uint8_t kIntraCbp420[64];
extern const uint8_t kIntraCbp4bit[16];

} // namespace detail
} // namespace svacwriter

#endif
