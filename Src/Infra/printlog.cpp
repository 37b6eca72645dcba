#include "Infra/printlog.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <unistd.h>

namespace Tarvo {
namespace Infra {

namespace {

struct LevelStyle
{
    const char* name;
    const char* colour; // ANSI escape for a terminal
};

// Index = level - 1.
const LevelStyle kLevels[] = {
    {"fatal ", "\033[35m"}, // red + blue
    {"error ", "\033[31m"}, // red
    {"warn ", "\033[33m"},  // red + green
    {"info ", "\033[32m"},  // green
    {"trace ", "\033[37m"}, // grey
};

const char kColourReset[] = "\033[0m";

std::atomic<bool> g_lineStart{true};

const char* orEmpty(const char* text)
{
    return text ? text : "";
}

const char* baseName(const char* path)
{
    const char* name = orEmpty(path);
    for (const char* p = name; *p; ++p) {
        if (*p == '/' || *p == '\\')
            name = p + 1;
    }
    return name;
}

bool colourOutput()
{
    static const bool terminal = ::isatty(STDOUT_FILENO) == 1;
    return terminal;
}

} // namespace

int PrintLog::logv(int level, const char* module, const char* file, const char* /*function*/,
                   int line, const char* version, const char* format, va_list args)
{
    if (level == kDebug)
        level = kTrace;
    if (level < kFatal)
        level = kFatal;
    if (level > kThreshold)
        return 0;

    const LevelStyle& style = kLevels[level - 1];
    const bool colour = colourOutput();
    const int usable = kBufferSize - 1;
    char buffer[kBufferSize];
    int length = 0;

    if (g_lineStart.load()) {
        if (colour) {
            std::fflush(stdout);
            std::fputs(style.colour, stdout);
        }
        std::time_t now = std::time(nullptr);
        std::tm local {};
        localtime_r(&now, &local);
        const char* ver = orEmpty(version);
        const bool showVersion = *ver && std::strcmp(ver, "Unknown") != 0;
        // Module, then ":" + version + " " or one blank.
        int n = std::snprintf(buffer, sizeof buffer, "[%02d:%02d:%02d %s%s%s%s %d %s:%d]",
                              local.tm_hour, local.tm_min, local.tm_sec, style.name,
                              orEmpty(module), showVersion ? ":" : "", showVersion ? ver : "",
                              static_cast<int>(::gettid()), baseName(file), line);
        length = n < 0 ? 0 : (n > usable ? usable : n);
    }

    if (length < usable && format) {
        int n = std::vsnprintf(buffer + length, sizeof buffer - length, format, args);
        if (n > 0)
            length += n > usable - length ? usable - length : n;
    }
    buffer[length] = '\0';

    const bool lineEnds = length == usable || (length > 0 && buffer[length - 1] == '\n');
    g_lineStart.store(lineEnds);

    std::fwrite(buffer, 1, static_cast<size_t>(length), stdout);
    if (lineEnds) {
        if (colour)
            std::fputs(kColourReset, stdout);
        std::fflush(stdout);
    }
    return length;
}

int PrintLog::log(int level, const char* module, const char* file, const char* function, int line,
                  const char* version, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int n = logv(level, module, file, function, line, version, format, args);
    va_end(args);
    return n;
}

int PrintLog::message(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int n = logv(kInfo, "Unknown", "Unknown", "", 0, "", format, args);
    va_end(args);
    return n;
}

} // namespace Infra
} // namespace Tarvo
