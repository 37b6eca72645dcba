#pragma once
// A component module loaded by path and driven through its entry points with the in-memory
// host, unloaded in the host's shut-down order.

#include <memory>
#include <string>

#include <QLibrary>

#include <foundation/HostContext.h>

#include "TestHost.h"

class LoadedModule {
public:
    explicit LoadedModule(const char* path) : m_host(std::make_unique<testsupport::TestHost>())
    {
        m_library.setFileName(QString::fromUtf8(path));
        if (!m_library.load()) {
            m_error = m_library.errorString().toStdString();
            return;
        }
        m_init = reinterpret_cast<void (*)(HostContext*)>(m_library.resolve("InitModule"));
        m_load = reinterpret_cast<bool (*)(HostContext*, const char*)>(m_library.resolve("LoadImplObjects"));
        m_clear = reinterpret_cast<void (*)(void*)>(m_library.resolve("ClearModule"));
        if (m_init == nullptr || m_load == nullptr || m_clear == nullptr) {
            m_error = "entry points missing";
        }
    }

    ~LoadedModule() { Unload(); }

    const std::string& Error() const { return m_error; }

    bool Load()
    {
        if (!m_error.empty()) {
            return false;
        }
        m_init(m_host->Context());
        return m_load(m_host->Context(), "");
    }

    // Method tables, registered objects, ClearModule, task worker, unload.
    void Unload()
    {
        if (m_host == nullptr) {
            return;
        }
        m_host->ClearMethods();
        m_host->ClearObjects();
        if (m_clear != nullptr) {
            m_clear(m_host->Context());
        }
        m_host->StopWorker();
        m_host.reset();
        if (m_library.isLoaded()) {
            m_library.unload();
        }
    }

    void Clear()
    {
        if (m_clear != nullptr) {
            m_clear(m_host->Context());
        }
    }

    testsupport::TestHost& Host() { return *m_host; }
    HostContext* Context() { return m_host->Context(); }

private:
    std::unique_ptr<testsupport::TestHost> m_host;
    QLibrary m_library;
    std::string m_error;
    void (*m_init)(HostContext*) = nullptr;
    bool (*m_load)(HostContext*, const char*) = nullptr;
    void (*m_clear)(void*) = nullptr;
};
