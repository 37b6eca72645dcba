#pragma once

// Failed-assertion reporting: one line on standard error, "custom_abort" on the
// print log, then abort().

namespace Tarvo {
namespace Infra {

struct AssertionReporter
{
    [[noreturn]] static void report(const char* expression, const char* function,
                                    const char* file, long line);
    [[noreturn]] static void report(const char* expression, const char* message,
                                    const char* function, const char* file, long line);
};

} // namespace Infra
} // namespace Tarvo
