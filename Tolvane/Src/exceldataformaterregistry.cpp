#include "exceldataformaterregistry.h"

namespace Tolvane {

namespace {

struct FormaterRegistry {
    std::mutex lock;
    std::map<std::string, ExcelDataFormaterFactory> factories;
};

// Made on first use, freed with the module's static objects.
FormaterRegistry& Registry()
{
    static FormaterRegistry registry;
    return registry;
}

}  // namespace

bool RegisterExcelDataFormater(const std::string& key, ExcelDataFormaterFactory factory)
{
    FormaterRegistry& registry = Registry();
    std::lock_guard<std::mutex> guard(registry.lock);
    registry.factories[key] = factory;
    return true;
}

IExcelDataFormater* CreateExcelDataFormater(const std::string& key, const Json::Value& parameters,
                                            const std::string& saveFolder, const std::string& fileName,
                                            const Json::Value& channelNames)
{
    ExcelDataFormaterFactory factory = nullptr;
    {
        FormaterRegistry& registry = Registry();
        std::lock_guard<std::mutex> guard(registry.lock);
        auto found = registry.factories.find(key);
        if (found != registry.factories.end()) {
            factory = found->second;
        }
    }
    return factory ? factory(parameters, saveFolder, fileName, channelNames) : nullptr;
}

}  // namespace Tolvane
