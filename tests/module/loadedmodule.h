#pragma once
// A test that drives the built libTolvane.so through its four entry points with the
// in-memory host. Each test loads the library afresh and unloads it at the end.

#include <memory>

#include <gtest/gtest.h>

#include <QLibrary>

#include <foundation/HostContext.h>

#include "TestHost.h"
#include "messagecapture.h"

class LoadedModuleTest : public ::testing::Test {
protected:
    using CheckModuleFn = void (*)();
    using InitModuleFn = void (*)(HostContext*);
    using LoadImplObjectsFn = bool (*)(HostContext*, const char*);
    using ClearModuleFn = void (*)(void*);

    void SetUp() override
    {
        m_host = std::make_unique<testsupport::TestHost>();
        m_library.setFileName(QStringLiteral(TOLVANE_LIBRARY_PATH));
        ASSERT_TRUE(m_library.load()) << m_library.errorString().toStdString();
        checkModule = reinterpret_cast<CheckModuleFn>(m_library.resolve("CheckModule"));
        initModule = reinterpret_cast<InitModuleFn>(m_library.resolve("InitModule"));
        loadImplObjects = reinterpret_cast<LoadImplObjectsFn>(m_library.resolve("LoadImplObjects"));
        clearModule = reinterpret_cast<ClearModuleFn>(m_library.resolve("ClearModule"));
        ASSERT_TRUE(checkModule && initModule && loadImplObjects && clearModule);
    }

    // The host's shut-down order: method tables, services, ClearModule, task worker, unload.
    void TearDown() override
    {
        if (m_host) {
            m_host->ClearMethods();
            m_host->ClearObjects();
            if (clearModule) {
                clearModule(m_host->Context());
            }
            m_host->StopWorker();
            m_host.reset();
        }
        if (m_library.isLoaded()) {
            m_library.unload();
        }
    }

    testsupport::TestHost& Host() { return *m_host; }
    HostContext* Context() { return m_host->Context(); }

    // InitModule and LoadImplObjects as the host runs them.
    void LoadModule()
    {
        initModule(Context());
        ASSERT_TRUE(loadImplObjects(Context(), ""));
    }

    MessageCapture messages;
    CheckModuleFn checkModule = nullptr;
    InitModuleFn initModule = nullptr;
    LoadImplObjectsFn loadImplObjects = nullptr;
    ClearModuleFn clearModule = nullptr;

private:
    std::unique_ptr<testsupport::TestHost> m_host;
    QLibrary m_library;
};
