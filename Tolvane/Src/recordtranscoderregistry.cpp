#include "recordtranscoderregistry.h"

namespace Tolvane {

RecordTranscoderRegistry& RecordTranscoderRegistry::Instance()
{
    static RecordTranscoderRegistry registry;
    return registry;
}

bool RecordTranscoderRegistry::Register(const std::string& type, RecordTranscoderFactory factory)
{
    RecordTranscoderRegistry& registry = Instance();
    std::lock_guard<std::mutex> guard(registry.m_lock);
    registry.m_factories.erase(type);
    return registry.m_factories.emplace(type, factory).second;
}

IRecordTranscoder* RecordTranscoderRegistry::Create(const std::string& type, HostContext* context)
{
    RecordTranscoderFactory factory = nullptr;
    {
        RecordTranscoderRegistry& registry = Instance();
        std::lock_guard<std::mutex> guard(registry.m_lock);
        auto found = registry.m_factories.find(type);
        if (found != registry.m_factories.end()) {
            factory = found->second;
        }
    }
    return factory ? factory(context) : nullptr;
}

}  // namespace Tolvane
