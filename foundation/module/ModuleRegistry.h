#pragma once
// The registry of one component module and its four entry points. Every module compiles
// ModuleRegistry.cpp in (through brevix_add_module), so each module has a registry of its
// own; the library exports nothing but the entry points.
//
// A module lists what it contains in ONE table of ModuleEntry lines and hands it to
// RegisterModuleContents from a single static initialiser. The table's order is the order
// in which services are created, so it never depends on the static initialisation order
// of several source files.

#include <cstddef>
#include <vector>

#include <foundation/HostContext.h>

#define BREVIX_MODULE_EXPORT extern "C" __attribute__((visibility("default")))

BREVIX_MODULE_EXPORT void CheckModule();
BREVIX_MODULE_EXPORT void InitModule(HostContext* context);
BREVIX_MODULE_EXPORT bool LoadImplObjects(HostContext* context, const char* argument);
BREVIX_MODULE_EXPORT void ClearModule(void* argument);

namespace Foundation {

class ModuleRegistry {
public:
    // Creates one service and registers it with the host.
    using Loader = void (*)(HostContext* context, const char* argument);
    using InitHook = void (*)(HostContext* context);
    using ClearHook = void (*)(void* argument);
    // Runs when the host raises "ImplComPreRelease", after the services' own handlers and
    // before the host lets the services go.
    using ReleaseHook = void (*)(void* argument);

    // The module's registry, made on first use, freed with the library's static objects.
    static ModuleRegistry& Instance();

    // Each appends and answers true.
    bool AddLoader(Loader loader);
    bool AddInitHook(InitHook hook);
    bool AddClearHook(ClearHook hook);
    bool AddReleaseHook(ReleaseHook hook);

    // Run in registration order. A hook or loader that throws is skipped; nothing leaves
    // the module.
    void RunInitHooks(HostContext* context) const;
    void RunLoaders(HostContext* context, const char* argument) const;
    void RunClearHooks(void* argument) const;
    void RunReleaseHooks() const;

    // Connects RunReleaseHooks to the host's "ImplComPreRelease" (last, so that it runs
    // after the handlers the loaders connected); the disconnect lets go of it through the
    // same context.
    void ConnectReleaseHooks(HostContext* context);
    void DisconnectReleaseHooks();

    std::size_t LoaderCount() const { return m_loaders.size(); }

private:
    ModuleRegistry() = default;

    std::vector<Loader> m_loaders;
    std::vector<InitHook> m_initHooks;
    std::vector<ClearHook> m_clearHooks;
    std::vector<ReleaseHook> m_releaseHooks;
    HostContext* m_releaseContext = nullptr;
};

// One line of a module's contents table.
struct ModuleEntry {
    enum class Kind { Loader, InitHook, ClearHook, ReleaseHook, AtLoad };

    Kind kind;
    ModuleRegistry::Loader loader;
    ModuleRegistry::InitHook initHook;
    ModuleRegistry::ClearHook clearHook;  // also the release hook
    void (*atLoad)();  // runs while the library loads (registrations into other registries)

    static constexpr ModuleEntry Service(ModuleRegistry::Loader f) { return {Kind::Loader, f, nullptr, nullptr, nullptr}; }
    static constexpr ModuleEntry Init(ModuleRegistry::InitHook f) { return {Kind::InitHook, nullptr, f, nullptr, nullptr}; }
    static constexpr ModuleEntry Clear(ModuleRegistry::ClearHook f) { return {Kind::ClearHook, nullptr, nullptr, f, nullptr}; }
    static constexpr ModuleEntry Release(ModuleRegistry::ReleaseHook f)
    {
        return {Kind::ReleaseHook, nullptr, nullptr, f, nullptr};
    }
    static constexpr ModuleEntry AtLoad(void (*f)()) { return {Kind::AtLoad, nullptr, nullptr, nullptr, f}; }
};

// Walks the table in order: loaders and hooks are appended to the registry, AtLoad lines
// run at once. Answers true.
bool RegisterModuleContents(const ModuleEntry* entries, std::size_t count);

template <std::size_t N>
bool RegisterModuleContents(const ModuleEntry (&entries)[N])
{
    return RegisterModuleContents(entries, N);
}

}  // namespace Foundation
