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
    // Drops every queued outcome.
    static void ClearScript();

    static int FireDisconnect(long login, const char* ip, int port);
    static int FireReconnect(long login, const char* ip, int port);
    // Callbacks of a handle, run on a thread of the stand-in; -1 when it has no such callback.
    static int FireData(long handle, const void* buffer, uint32_t size);
    static int FireRealData(long real, const void* buffer, uint32_t size);
    static int FirePosition(long handle, uint32_t total, int32_t done);
    static int FireConfigChange(long attach, const char* name, const char* json);
    static int FireTransmit(long attach, const char* text, const void* binary, uint32_t binaryLength);
    static int FireTalk(long talk, const void* buffer, uint32_t size, int flag);
    static int FireVK(long attach, const void* data, uint32_t length);

    // Reset, simulated devices of the folder, journal on and empty.
    static void StartSimulated(const char* devicesFolder);
    // Streams still open or callbacks still running.
    static int ActiveStreams();
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
