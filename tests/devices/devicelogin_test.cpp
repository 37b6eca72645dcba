// Login, logout and the login queries of the device object, against scripted outcomes of the
// device library.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <foundation/JsonRead.h>

#include "quillnetdev.h"
#include "quillnetstandin.h"

namespace {

using devtest::QuillnetStandIn;
using Tolvane::CQuillnetDev;

class DeviceLogin : public devtest::ScriptedSdkTest {
protected:
    void SetUp() override
    {
        devtest::ScriptedSdkTest::SetUp();
        m_device = std::make_unique<CQuillnetDev>(Context(), "");
        QuillnetStandIn::ClearJournal();
    }
    void TearDown() override
    {
        m_device.reset();
        devtest::ScriptedSdkTest::TearDown();
    }

    CQuillnetDev& Device() { return *m_device; }
    int Login(const char* password = "pw", int capType = 0)
    {
        return m_device->LoginDevice("10.0.0.1", 37777, 0, "admin", password, capType, 0);
    }

private:
    std::unique_ptr<CQuillnetDev> m_device;
};

TEST_F(DeviceLogin, OutcomesAndTheirErrorCodes)
{
    struct Case {
        const char* outcome;
        int expected;
        bool loggedIn;
    };
    const Case cases[] = {
        {R"({})", 0, true},
        {R"({"error": 1, "lockLeft": 3})", 103, false},
        {R"({"error": 1, "lockLeft": 0})", 1, false},
        {R"({"error": 5, "lockedSeconds": 30})", 1030, false},
        {R"({"error": 5, "lockedSeconds": -1})", 5, false},
        {R"({"error": 5, "lockedSeconds": 0})", 5, false},
        {R"({"error": 2, "lockLeft": 3, "lockedSeconds": 30})", 2, false},
        // No handle and no reason: still a failure.
        {R"({"result": 0})", -1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.outcome);
        QuillnetStandIn::Script("CLIENT_LoginEx2", c.outcome);
        EXPECT_EQ(Login(), c.expected);
        EXPECT_EQ(Device().IsLogin(), c.loggedIn);
        EXPECT_EQ(Device().GetLoginHandle() != 0, c.loggedIn);
        ASSERT_TRUE(Device().LogoutDevice());
    }
}

TEST_F(DeviceLogin, PassesItsArgumentsAndPrefersTheAlternativePort)
{
    struct Case {
        uint16_t port;
        uint16_t altPort;
        int expectedPort;
    };
    for (const Case& c : {Case{37777, 0, 37777}, Case{37777, 8000, 8000}}) {
        QuillnetStandIn::ClearJournal();
        ASSERT_EQ(Device().LoginDevice("10.0.0.1", c.port, c.altPort, "admin", "pw", 2, 9), 0);
        const std::vector<Json::Value> calls = QuillnetStandIn::CallsOf("CLIENT_LoginEx2");
        ASSERT_EQ(calls.size(), 1u);
        const Json::Value& args = calls[0]["args"];
        EXPECT_EQ(args[0].asString(), "10.0.0.1");
        EXPECT_EQ(args[1].asInt(), c.expectedPort);
        EXPECT_EQ(args[2].asString(), "admin");
        EXPECT_EQ(args[3].asString(), "pw");
        EXPECT_EQ(args[4].asInt(), 2);
        EXPECT_EQ(args[5].asInt(), 9);  // the capability parameter, passed by address
        EXPECT_NE(args[6].asUInt64(), 0u);
        EXPECT_NE(args[7].asUInt64(), 0u);
        EXPECT_EQ(Device().GetProtocol(), 2);
        EXPECT_EQ(Device().GetDeviceIP(), "10.0.0.1");
        ASSERT_TRUE(Device().LogoutDevice());
    }
}

TEST_F(DeviceLogin, SameCredentialsKeepTheLoginOthersReplaceIt)
{
    ASSERT_EQ(Login("pw"), 0);
    const long first = Device().GetLoginHandle();
    EXPECT_EQ(Login("pw"), 0);
    EXPECT_EQ(Device().GetLoginHandle(), first);
    EXPECT_EQ(QuillnetStandIn::CallNames(), std::vector<std::string>{"CLIENT_LoginEx2"});

    // Another password: the old login ends first.
    QuillnetStandIn::ClearJournal();
    ASSERT_EQ(Login("other"), 0);
    EXPECT_EQ(QuillnetStandIn::CallNames(), (std::vector<std::string>{"CLIENT_Logout", "CLIENT_LoginEx2"}));
    EXPECT_EQ(QuillnetStandIn::CallsOf("CLIENT_Logout")[0]["args"][0].asInt64(), first);
    EXPECT_NE(Device().GetLoginHandle(), first);
    EXPECT_TRUE(Device().IsLogin());
}

TEST_F(DeviceLogin, FailedLoginKeepsTheNewCredentialsButStaysLoggedOut)
{
    QuillnetStandIn::Script("CLIENT_LoginEx2", R"({"error": 1, "lockLeft": 2})");
    ASSERT_EQ(Device().LoginDevice("10.0.0.7", 37777, 0, "admin", "bad", 3, 0), 102);
    EXPECT_FALSE(Device().IsLogin());
    EXPECT_EQ(Device().GetDeviceIP(), "10.0.0.7");
    EXPECT_EQ(Device().GetProtocol(), 3);

    // Not logged in, so the same credentials are tried again.
    QuillnetStandIn::ClearJournal();
    EXPECT_EQ(Device().LoginDevice("10.0.0.7", 37777, 0, "admin", "bad", 3, 0), 0);
    EXPECT_EQ(QuillnetStandIn::CallsOf("CLIENT_LoginEx2").size(), 1u);
}

TEST_F(DeviceLogin, LogoutEndsTheSessionWhateverTheLibrarySays)
{
    // Logged out: true, and the library is not asked.
    EXPECT_TRUE(Device().LogoutDevice());
    EXPECT_TRUE(QuillnetStandIn::Journal().empty());

    struct Case {
        const char* outcome;
        bool expected;
    };
    for (const Case& c : {Case{R"({})", true}, Case{R"({"result": 0})", false}}) {
        SCOPED_TRACE(c.outcome);
        ASSERT_EQ(Login(), 0);
        const long handle = Device().GetLoginHandle();
        QuillnetStandIn::ClearJournal();
        QuillnetStandIn::Script("CLIENT_Logout", c.outcome);
        EXPECT_EQ(Device().LogoutDevice(), c.expected);
        const std::vector<Json::Value> calls = QuillnetStandIn::CallsOf("CLIENT_Logout");
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0]["args"][0].asInt64(), handle);
        EXPECT_FALSE(Device().IsLogin());
        EXPECT_EQ(Device().GetLoginHandle(), 0);
        EXPECT_EQ(Device().GetProtocol(), 0);
        EXPECT_EQ(Device().GetDeviceIP(), "");
    }
}

TEST_F(DeviceLogin, SystemInfoReadsTheSecondaryAnalysisAbility)
{
    ASSERT_EQ(Login(), 0);
    QuillnetStandIn::ClearJournal();
    QuillnetStandIn::Script("CLIENT_QuerySystemInfo", R"({"secondaryAnalyse": 3})");
    Json::Value expected;
    ASSERT_TRUE(Foundation::JsonParse(R"({"nane": "deviceAbility", "params": {"secondaryAnalyse": 3}})", expected));
    EXPECT_EQ(Device().QuerySystemInfo(), expected);
    const std::vector<Json::Value> calls = QuillnetStandIn::CallsOf("CLIENT_QuerySystemInfo");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0]["args"][0].asInt64(), Device().GetLoginHandle());
    EXPECT_EQ(calls[0]["args"][1].asInt(), 26);
    EXPECT_EQ(calls[0]["args"][3].asInt(), 2048);
}

}  // namespace
