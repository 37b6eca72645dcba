#pragma once
// The device library stand-in libQuillnet.so, loaded by path, its CLIENT_ functions put into
// a test host's resolve table under module "Quillnet", and its QNSIM_ controls in scripted
// journal mode: scripted outcomes, the journal of calls, callbacks fired on its own thread.

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <json/value.h>

#include "TestHost.h"
#include "quillnet.h"

namespace devtest {

// Every CLIENT_ function of the library.
const std::vector<std::string>& ClientFunctionNames();

class QuillnetStandIn {
public:
    // Loads the library once per process; false with a reason when it cannot.
    static bool Load(std::string* error);

    // Puts every CLIENT_ function into the host's resolve table.
    static void FillResolveTable(testsupport::TestHost& host);
    // Reset, scripted mode, journal on and empty.
    static void StartScripted();

    static void ClearJournal();
    // Every call since the last clear: [{"call", "args"}, ...].
    static Json::Value Journal();
    // The names of the journal's calls, in order.
    static std::vector<std::string> CallNames();
    // The journal entries of one function.
    static std::vector<Json::Value> CallsOf(const std::string& function);
    // Queues the outcome of the next call of the function; the outcome is JSON text.
    static void Script(const char* function, const char* outcome);

    static int FireDisconnect(long login, const char* ip, int port);
    static int FireReconnect(long login, const char* ip, int port);
};

// A test host whose resolve table holds the stand-in, which runs scripted with its journal on.
class ScriptedSdkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(QuillnetStandIn::Load(&error)) << error;
        m_host = std::make_unique<testsupport::TestHost>();
        QuillnetStandIn::FillResolveTable(*m_host);
        QuillnetStandIn::StartScripted();
    }
    void TearDown() override
    {
        if (m_host) {
            m_host->ClearMethods();
            m_host->ClearObjects();
            m_host.reset();
        }
    }

    testsupport::TestHost& Host() { return *m_host; }
    HostContext* Context() { return m_host->Context(); }

private:
    std::unique_ptr<testsupport::TestHost> m_host;
};

}  // namespace devtest
