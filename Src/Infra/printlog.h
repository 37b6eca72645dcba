#pragma once

// The infrastructure's own leveled log. Each call prints one bracketed prefix
// (time of day, level, module, version, thread id, file:line) and the formatted
// text to standard output; a text without a trailing newline is continued by the
// next call without a new prefix. Levels above the threshold are dropped.

#include <cstdarg>

namespace Tarvo {
namespace Infra {

class PrintLog
{
public:
    enum Level
    {
        kFatal = 1,
        kError = 2,
        kWarn = 3,
        kInfo = 4,
        kTrace = 5,
        kDebug = 6,
    };

    static constexpr int kThreshold = kInfo;
    static constexpr int kBufferSize = 8192;

    // Returns the number of bytes produced, 0 when the message is dropped.
    static int log(int level, const char* module, const char* file, const char* function,
                   int line, const char* version, const char* format, ...)
        __attribute__((format(printf, 7, 8)));
    static int logv(int level, const char* module, const char* file, const char* function,
                    int line, const char* version, const char* format, va_list args)
        __attribute__((format(printf, 7, 0)));

    // Info level, module and file "Unknown", line 0, no version.
    static int message(const char* format, ...) __attribute__((format(printf, 1, 2)));
};

} // namespace Infra
} // namespace Tarvo
