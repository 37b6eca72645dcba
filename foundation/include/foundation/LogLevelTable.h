#pragma once
// The host's process-wide list of log levels per module name, shared by every module.
// The host owns the record and hands out a pointer to it; the modules' loggers read and
// extend the list. Levels: 1 trace, 2 info, 3 warn.

#include <cstdint>
#include <mutex>

namespace Foundation {

struct LogLevelNode {
    char* name;          // NUL-terminated copy, allocated with strdup, freed with free
    int32_t level;
    LogLevelNode* next;  // null at the end
};

struct LogLevelTable {
    LogLevelNode* head = nullptr;
    // Serialises every read and change of the list: log calls come from many threads.
    std::mutex lock;
};

}  // namespace Foundation
