#include "loginit.h"

#include <foundation/HostCalls.h>
#include <foundation/TypeNames.h>

#include "logfacade.h"

namespace Tolvane {

CLogInit::CLogInit(HostContext* context, const char* /*argument*/) : m_context(context)
{
    static const char* const kSetLogLevelNames[] = {"module", "level"};
    m_methods.push_back(Foundation::MakeComMethod(this, &CLogInit::GetLogInfo, true));
    Foundation::RegisterHostMethod(m_context, "GetLogInfo", m_methods.back());
    m_methods.push_back(Foundation::MakeComMethod(this, &CLogInit::SetLogLevel, kSetLogLevelNames, true));
    Foundation::RegisterHostMethod(m_context, "SetLogLevel", m_methods.back());
}

CLogInit::~CLogInit()
{
    for (Foundation::IComInterface* method : m_methods) {
        delete method;
    }
}

void CLogInit::CreateSvrObject(HostContext* context, const char* argument)
{
    TOLVANE_TRACE("Tolvane", "Tolvane::CreateSvrObject", "CreateSvrObject");
    Foundation::CreateSvrObject<CLogInit>(context, argument, Foundation::TypeName::CLogInit);
}

std::string CLogInit::GetLogInfo()
{
    Foundation::LogLevelTable* list = ModuleLogger();
    if (list == nullptr) {
        return "null";
    }
    return ModuleLogLevelsToJson(list);
}

bool CLogInit::SetLogLevel(const char* module, int level)
{
    Foundation::LogLevelTable* list = ModuleLogger();
    if (list == nullptr) {
        return false;
    }
    SetModuleLogLevel(list, module, level);
    return true;
}

}  // namespace Tolvane
