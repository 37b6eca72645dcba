#include "modulemanager.h"

#include <QCoreApplication>
#include <QLibrary>

#include <algorithm>

namespace {

using InitModuleFn = void (*)(HostContext*);
using LoadImplObjectsFn = bool (*)(HostContext*, const char*);
using ClearModuleFn = void (*)(void*);

}  // namespace

ModuleManager* ModuleManager::Instance()
{
    static ModuleManager manager;
    return &manager;
}

ModuleManager::ModuleManager() = default;

ModuleManager::~ModuleManager()
{
    // QLibrary's destructor leaves the library mapped.
}

const std::vector<std::string>& ModuleManager::LoadOrder()
{
    static const std::vector<std::string> order{
        "Vantrel", "Tolvane", "Sorquin", "swscale", "Hadrune", "play", "Quillnet"};
    return order;
}

const std::vector<std::string>& ModuleManager::WalkOrder()
{
    static const std::vector<std::string> order{
        "Vantrel", "Hadrune", "Tolvane", "Sorquin", "Quillnet", "play", "swscale"};
    return order;
}

void ModuleManager::SetModuleFolder(const QString& folder)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_folder = folder;
}

QString ModuleManager::ModuleFolder() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_folder.isEmpty() ? QCoreApplication::applicationDirPath() : m_folder;
}

std::unique_ptr<QLibrary> ModuleManager::OpenLibrary(const std::string& name) const
{
    if (name.empty() || name.find('/') != std::string::npos)
        return nullptr;
    const QString folder = m_folder.isEmpty() ? QCoreApplication::applicationDirPath() : m_folder;
    auto library = std::make_unique<QLibrary>(
        folder + QStringLiteral("/lib") + QString::fromStdString(name) + QStringLiteral(".so"));
    if (!library->load())
        return nullptr;
    return library;
}

bool ModuleManager::LoadAll()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_loaded)
        return false;
    m_loaded = true;
    for (const std::string& name : LoadOrder()) {
        if (m_modules.count(name) != 0)
            continue;  // already loaded on demand
        if (auto library = OpenLibrary(name))
            m_modules.emplace(name, std::move(library));
    }
    return true;
}

ModuleManager::Recorded ModuleManager::RecordedInWalkOrder() const
{
    Recorded recorded;
    for (const std::string& name : WalkOrder()) {
        const auto it = m_modules.find(name);
        if (it != m_modules.end())
            recorded.emplace_back(it->first, it->second.get());
    }
    // Modules outside the list (loaded on demand) come last, by name.
    for (const auto& [name, library] : m_modules) {
        const auto& walk = WalkOrder();
        if (std::find(walk.begin(), walk.end(), name) == walk.end())
            recorded.emplace_back(name, library.get());
    }
    return recorded;
}

std::vector<std::string> ModuleManager::LoadedModules() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::string> names;
    for (const auto& entry : RecordedInWalkOrder())
        names.push_back(entry.first);
    return names;
}

bool ModuleManager::InitAll(HostContext* context)
{
    Recorded recorded;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_initialised)
            return false;
        m_initialised = true;
        m_context = context != nullptr ? *context : HostContext{};
        recorded = RecordedInWalkOrder();
    }
    for (const auto& entry : recorded) {
        if (auto init = reinterpret_cast<InitModuleFn>(entry.second->resolve("InitModule"))) {
            try {
                init(context);
            } catch (...) {
            }
        }
    }
    return true;
}

bool ModuleManager::LoadImplObjectsAll(HostContext* context, const char* word)
{
    Recorded recorded;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        recorded = RecordedInWalkOrder();
    }
    for (const auto& entry : recorded) {
        auto load = reinterpret_cast<LoadImplObjectsFn>(entry.second->resolve("LoadImplObjects"));
        if (load != nullptr) {
            try {
                load(context, word != nullptr ? word : "");
            } catch (...) {
            }
        }
    }
    return true;
}

bool ModuleManager::ClearAll(const std::function<void()>& beforeUnload)
{
    Recorded recorded;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        recorded = RecordedInWalkOrder();
    }
    for (const auto& entry : recorded) {
        if (auto clear = reinterpret_cast<ClearModuleFn>(entry.second->resolve("ClearModule"))) {
            try {
                clear(&m_context);
            } catch (...) {
            }
        }
    }
    // Whatever the modules left behind (queued tasks, say) goes before their code does.
    if (beforeUnload)
        beforeUnload();

    std::map<std::string, std::unique_ptr<QLibrary>> modules;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        modules.swap(m_modules);
        m_loaded = false;
        m_initialised = false;
    }
    for (const auto& entry : recorded) {
        const auto it = modules.find(entry.first);
        if (it != modules.end())
            it->second->unload();
    }
    // Codec plug-ins of the player library are not forced out on this platform:
    // the player loads none, and unmapping another loader's library is unsafe.
    return true;
}

void* ModuleManager::LoadModule(const char* module, const char* function)
{
    if (module == nullptr || function == nullptr)
        return nullptr;
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_modules.find(module);
    if (it == m_modules.end()) {
        auto library = OpenLibrary(module);
        if (!library)
            return nullptr;
        it = m_modules.emplace(module, std::move(library)).first;
    }
    return reinterpret_cast<void*>(it->second->resolve(function));
}

Foundation::LogLevelTable* ModuleManager::GetLogLevelTable(const char* /*sink*/)
{
    static Foundation::LogLevelTable* const table = new Foundation::LogLevelTable();
    return table;
}
