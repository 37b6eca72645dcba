#include "Infra/assertionreporter.h"

#include "Infra/printlog.h"

#include <cstdio>
#include <cstdlib>

namespace Tarvo {
namespace Infra {

namespace {

const char* orEmpty(const char* text)
{
    return text ? text : "";
}

[[noreturn]] void customAbort()
{
    PrintLog::message("custom_abort");
    std::fflush(stdout);
    std::abort();
}

} // namespace

void AssertionReporter::report(const char* expression, const char* function, const char* file,
                               long line)
{
    std::fprintf(stderr, "***** Internal Program Error - assertion (%s) failed in %s: %s(%ld)\n",
                 orEmpty(expression), orEmpty(function), orEmpty(file), line);
    customAbort();
}

void AssertionReporter::report(const char* expression, const char* message, const char* function,
                               const char* file, long line)
{
    std::fprintf(stderr,
                 "***** Internal Program Error - assertion (%s) failed in %s: %s(%ld): %s\n",
                 orEmpty(expression), orEmpty(function), orEmpty(file), line, orEmpty(message));
    customAbort();
}

} // namespace Infra
} // namespace Tarvo
