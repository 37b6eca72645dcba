#include "ModuleRegistry.h"

#include <atomic>

#include <QtGlobal>

namespace Foundation {

namespace {

// Set by the first InitModule; later calls do nothing.
std::atomic<bool> g_initialised{false};

}  // namespace

ModuleRegistry& ModuleRegistry::Instance()
{
    static ModuleRegistry registry;
    return registry;
}

bool ModuleRegistry::AddLoader(Loader loader)
{
    m_loaders.push_back(loader);
    return true;
}

bool ModuleRegistry::AddInitHook(InitHook hook)
{
    m_initHooks.push_back(hook);
    return true;
}

bool ModuleRegistry::AddClearHook(ClearHook hook)
{
    m_clearHooks.push_back(hook);
    return true;
}

bool ModuleRegistry::AddReleaseHook(ReleaseHook hook)
{
    m_releaseHooks.push_back(hook);
    return true;
}

void ModuleRegistry::RunReleaseHooks() const
{
    for (ReleaseHook hook : m_releaseHooks) {
        if (hook == nullptr) {
            continue;
        }
        try {
            hook(nullptr);
        } catch (...) {
            qWarning("ImplComPreRelease: a release hook failed");
        }
    }
}

void ModuleRegistry::ConnectReleaseHooks(HostContext* context)
{
    if (m_releaseHooks.empty() || context == nullptr || context->ConnectSignal.empty()) {
        return;
    }
    Any handler(fastdelegate::FastDelegate<void()>(this, &ModuleRegistry::RunReleaseHooks));
    if (context->ConnectSignal("ImplComPreRelease", &handler)) {
        m_releaseContext = context;
    }
}

void ModuleRegistry::DisconnectReleaseHooks()
{
    HostContext* context = m_releaseContext;
    m_releaseContext = nullptr;
    if (context == nullptr || context->DisconnectSignal.empty()) {
        return;
    }
    Any handler(fastdelegate::FastDelegate<void()>(this, &ModuleRegistry::RunReleaseHooks));
    context->DisconnectSignal("ImplComPreRelease", &handler);
}

void ModuleRegistry::RunInitHooks(HostContext* context) const
{
    for (InitHook hook : m_initHooks) {
        if (hook == nullptr) {
            continue;
        }
        try {
            hook(context);
        } catch (...) {
            qWarning("InitModule: an init hook failed");
        }
    }
}

void ModuleRegistry::RunLoaders(HostContext* context, const char* argument) const
{
    for (Loader loader : m_loaders) {
        if (loader == nullptr) {
            continue;
        }
        try {
            loader(context, argument);
        } catch (...) {
            qWarning("LoadImplObjects: a service could not be created");
        }
    }
}

void ModuleRegistry::RunClearHooks(void* argument) const
{
    for (ClearHook hook : m_clearHooks) {
        if (hook == nullptr) {
            continue;
        }
        try {
            hook(argument);
        } catch (...) {
            qWarning("ClearModule: a clear hook failed");
        }
    }
}

bool RegisterModuleContents(const ModuleEntry* entries, std::size_t count)
{
    ModuleRegistry& registry = ModuleRegistry::Instance();
    for (std::size_t i = 0; i < count; ++i) {
        const ModuleEntry& entry = entries[i];
        switch (entry.kind) {
        case ModuleEntry::Kind::Loader:
            registry.AddLoader(entry.loader);
            break;
        case ModuleEntry::Kind::InitHook:
            registry.AddInitHook(entry.initHook);
            break;
        case ModuleEntry::Kind::ClearHook:
            registry.AddClearHook(entry.clearHook);
            break;
        case ModuleEntry::Kind::ReleaseHook:
            registry.AddReleaseHook(entry.clearHook);
            break;
        case ModuleEntry::Kind::AtLoad:
            if (entry.atLoad != nullptr) {
                try {
                    entry.atLoad();
                } catch (...) {
                    qWarning("module load: a registration failed");
                }
            }
            break;
        }
    }
    return true;
}

}  // namespace Foundation

void CheckModule()
{
}

void InitModule(HostContext* context)
{
    if (Foundation::g_initialised.exchange(true)) {
        return;
    }
    Foundation::ModuleRegistry::Instance().RunInitHooks(context);
}

bool LoadImplObjects(HostContext* context, const char* argument)
{
    Foundation::ModuleRegistry::Instance().RunLoaders(context, argument);
    Foundation::ModuleRegistry::Instance().ConnectReleaseHooks(context);
    return true;
}

void ClearModule(void* argument)
{
    Foundation::ModuleRegistry::Instance().DisconnectReleaseHooks();
    Foundation::ModuleRegistry::Instance().RunClearHooks(argument);
}
