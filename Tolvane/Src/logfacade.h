#pragma once
// The module-wide logger: three levels (1 trace, 2 info, 3 warn) and a threshold per
// module name, kept in the host's process-wide log-level list. Lines go to qDebug.

#include <sstream>
#include <string>

#include <foundation/HostContext.h>
#include <foundation/LogLevelTable.h>

namespace Tolvane {

// Operations on the host's list. Each takes the list's lock for its whole work.
void SetModuleLogLevel(Foundation::LogLevelTable* list, const char* name, int level);
// Adds `name` with level 3 when it is missing.
int GetModuleLogLevel(Foundation::LogLevelTable* list, const char* name);
// A styled JSON array of {"level", "name"}, head first; the text of null for an empty list.
std::string ModuleLogLevelsToJson(Foundation::LogLevelTable* list);

// The list the logger writes through; null until the set-up found one.
Foundation::LogLevelTable* ModuleLogger();
void SetModuleLogger(Foundation::LogLevelTable* list);

// The module's init hook: takes the host's "console" list and sets level 3 for the
// module names the services log under.
void SetUpModuleLogger(HostContext* context);

class LogFacade {
public:
    static void trace(const std::string& module, const std::string& message, const char* file, int line,
                      const char* function);
    static void info(const std::string& module, const std::string& message, const char* file, int line,
                     const char* function);
    static void warn(const std::string& module, const std::string& message, const char* file, int line,
                     const char* function);
    static bool _checkLevel(const std::string& module, int level);
};

}  // namespace Tolvane

// Logging with the calling place: the function name is given explicitly, qualified, since
// the compiler's own name is not. `streamed` is anything an output string stream takes.
#define TOLVANE_LOG_AT(level, module, function, streamed)                                          \
    do {                                                                                           \
        std::ostringstream tolvaneLogText_;                                                        \
        tolvaneLogText_ << streamed;                                                               \
        ::Tolvane::LogFacade::level(module, tolvaneLogText_.str(), __FILE__, __LINE__, function); \
    } while (0)

#define TOLVANE_TRACE(module, function, streamed) TOLVANE_LOG_AT(trace, module, function, streamed)
#define TOLVANE_INFO(module, function, streamed) TOLVANE_LOG_AT(info, module, function, streamed)
#define TOLVANE_WARN(module, function, streamed) TOLVANE_LOG_AT(warn, module, function, streamed)
