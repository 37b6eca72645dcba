#pragma once
// The service that lets the page read and change the log levels of every module:
// "GetLogInfo" and "SetLogLevel".

#include <string>
#include <vector>

#include <foundation/ComMethod.h>
#include <foundation/HostContext.h>

namespace Tolvane {

class CLogInit {
public:
    CLogInit(HostContext* context, const char* argument);
    ~CLogInit();
    CLogInit(const CLogInit&) = delete;
    CLogInit& operator=(const CLogInit&) = delete;

    // Creates the service and registers it as "class Tolvane::CLogInit".
    static void CreateSvrObject(HostContext* context, const char* argument);

    // The levels as styled JSON text; "null" while the module has no logger.
    std::string GetLogInfo();
    // False while the module has no logger. No range check on the level.
    bool SetLogLevel(const char* module, int level);

private:
    HostContext* m_context;
    std::vector<Foundation::IComInterface*> m_methods;  // published, owned
};

}  // namespace Tolvane
