#pragma once

#include <foundation/HostContext.h>

#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

class QLibrary;

// Loads the component modules, drives their entry points and resolves
// functions of loaded modules for the other modules. Module NAME is the file
// "lib" NAME ".so" in the module folder (the application folder by default).
// Safe to call from several threads; the entry points run without its lock.
class ModuleManager
{
public:
    // The process-wide manager, created on first use.
    static ModuleManager* Instance();

    ModuleManager();
    // Libraries still recorded are left mapped.
    ~ModuleManager();

    ModuleManager(const ModuleManager&) = delete;
    ModuleManager& operator=(const ModuleManager&) = delete;

    void SetModuleFolder(const QString& folder);
    QString ModuleFolder() const;

    // Loads every module of the load list that loads; the others are skipped
    // silently. False, doing nothing, when already loaded and not cleared since.
    bool LoadAll();
    // Once until ClearAll: keeps a copy of the context, then calls every
    // module's "InitModule" with the caller's pointer, in walk order.
    bool InitAll(HostContext* context);
    // Calls every module's "LoadImplObjects" with context and word, in walk order.
    bool LoadImplObjectsAll(HostContext* context, const char* word);
    // Calls every module's "ClearModule" with the kept copy of the context, in
    // walk order; then beforeUnload; then unloads and forgets every module and
    // resets the once-flags.
    bool ClearAll(const std::function<void()>& beforeUnload = {});

    // The address of the exported function of module, loading and recording
    // the module first when it is not recorded; null when either is missing.
    void* LoadModule(const char* module, const char* function);

    // The process-wide log-level record, made on first use and never freed;
    // the sink is ignored.
    Foundation::LogLevelTable* GetLogLevelTable(const char* sink);

    // Names of the recorded modules, in walk order.
    std::vector<std::string> LoadedModules() const;

    static const std::vector<std::string>& LoadOrder();
    static const std::vector<std::string>& WalkOrder();

private:
    using Recorded = std::vector<std::pair<std::string, QLibrary*>>;

    Recorded RecordedInWalkOrder() const;
    std::unique_ptr<QLibrary> OpenLibrary(const std::string& name) const;

    mutable std::mutex m_mutex;
    std::map<std::string, std::unique_ptr<QLibrary>> m_modules;
    HostContext m_context{};
    bool m_loaded = false;
    bool m_initialised = false;
    QString m_folder;
};
