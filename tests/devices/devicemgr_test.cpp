// The device manager as the page and the other services reach it through the host: its
// published login methods, its registry entry and "deviceLoginoutSignal".

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <foundation/HostCalls.h>
#include <foundation/JsonRead.h>
#include <foundation/TypeNames.h>

#include <tolvane/IDeviceMgr.h>

#include "devicemgr.h"
#include "quillnetstandin.h"

namespace {

using devtest::QuillnetStandIn;
using Tolvane::IDevice;
using Tolvane::IDeviceMgr;

// What "deviceLoginoutSignal" carried, with whether the device was still logged in then.
struct LoginoutSeen {
    IDeviceMgr* manager = nullptr;
    std::vector<long> handles;
    std::vector<bool> loggedIn;
    std::vector<size_t> journalLength;

    void OnLoginout(long handle)
    {
        handles.push_back(handle);
        IDevice* device = manager ? manager->GetDevice() : nullptr;
        loggedIn.push_back(device != nullptr && device->IsLogin());
        journalLength.push_back(QuillnetStandIn::Journal().size());
    }
};

class DeviceManager : public devtest::ScriptedSdkTest {
protected:
    void SetUp() override
    {
        devtest::ScriptedSdkTest::SetUp();
        Tolvane::CDeviceMgr::CreateSvrObject(Context(), "");
        m_manager = Host().QueryService<IDeviceMgr>(Foundation::TypeName::IDeviceMgr);
        ASSERT_TRUE(m_manager);
        seen.manager = m_manager.get();
        ASSERT_TRUE(Foundation::ConnectHostSignal(Context(), "deviceLoginoutSignal", Handler()));
        QuillnetStandIn::ClearJournal();
    }
    void TearDown() override
    {
        m_manager.reset();
        devtest::ScriptedSdkTest::TearDown();
    }

    fastdelegate::FastDelegate<void(long)> Handler() { return {&seen, &LoginoutSeen::OnLoginout}; }
    IDeviceMgr& Manager() { return *m_manager; }
    void ReleaseManager() { m_manager.reset(); }

    // The reply's "result", or the reply text itself when it is not a reply.
    Json::Value Result(const std::string& method, const std::string& params)
    {
        const std::string reply = Host().CallMethod(method, params);
        Json::Value root;
        if (!Foundation::JsonParse(reply, root) || !root.isObject()) {
            return Json::Value(reply);
        }
        return Foundation::JsonMember(root, "result");
    }

    LoginoutSeen seen;

private:
    Foundation::CSharedPtr<IDeviceMgr> m_manager;
};

const char kLogin[] = R"({"ip": "10.0.0.1", "port": 37777, "userName": "admin", "password": "pw", "loginSpacCap": 2})";

TEST_F(DeviceManager, PublishesItsMethodsAndOneDevice)
{
    for (const char* name : {"LoginDevice", "LoginDeviceEx", "LogoutDevice", "SetCGISessionID", "QueryDeviceSystemInfo"}) {
        EXPECT_EQ(Host().OverloadCount(name), 1) << name;
    }
    EXPECT_TRUE(Host().HasSignal("deviceLoginoutSignal"));
    ASSERT_NE(Manager().GetDevice(), nullptr);
    EXPECT_EQ(Manager().GetDevice(12345), Manager().GetDevice());
    EXPECT_EQ(Result("SetCGISessionID", R"({"ID": 77})"), Json::Value(true));
}

TEST_F(DeviceManager, LoginMakesTheDeviceCurrentWithoutTheLoginoutSignal)
{
    EXPECT_EQ(Manager().GetCurrentDevice(), nullptr);
    EXPECT_EQ(Result("LoginDevice", kLogin), Json::Value(0));
    EXPECT_EQ(Manager().GetCurrentDevice(), Manager().GetDevice());
    EXPECT_TRUE(seen.handles.empty());

    const std::vector<Json::Value> calls = QuillnetStandIn::CallsOf("CLIENT_LoginEx2");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0]["args"][1].asInt(), 37777);
    EXPECT_EQ(calls[0]["args"][4].asInt(), 2);
    EXPECT_EQ(calls[0]["args"][5].asInt(), 0);
}

TEST_F(DeviceManager, LoginErrorsComeBackAsNumbers)
{
    QuillnetStandIn::Script("CLIENT_LoginEx2", R"({"error": 1, "lockLeft": 4})");
    EXPECT_EQ(Result("LoginDevice", kLogin), Json::Value(104));
    EXPECT_EQ(Manager().GetCurrentDevice(), nullptr);
}

TEST_F(DeviceManager, CapabilityParameterComesFromAnIntegerCapParamOnly)
{
    struct Case {
        const char* paramEx;
        int expected;
    };
    const Case cases[] = {
        {R"({"capParam": 7})", 7},    {R"({"capParam": -3})", -3}, {R"({"capParam": "7"})", 0},
        {R"({"capParam": 7.5})", 0},  {R"({"other": 1})", 0},      {"5", 0},
        {"null", 0},                  {R"([7])", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.paramEx);
        Json::Value params;
        ASSERT_TRUE(Foundation::JsonParse(kLogin, params));
        Json::Value paramEx;
        ASSERT_TRUE(Foundation::JsonParse(c.paramEx, paramEx));
        params["paramEx"] = paramEx;
        QuillnetStandIn::ClearJournal();
        EXPECT_EQ(Result("LoginDeviceEx", Foundation::JsonFastText(params)), Json::Value(0));
        const std::vector<Json::Value> calls = QuillnetStandIn::CallsOf("CLIENT_LoginEx2");
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0]["args"][5].asInt(), c.expected);
        ASSERT_TRUE(Manager().GetDevice()->LogoutDevice());
    }
}

TEST_F(DeviceManager, BadParametersAreNotAnsweredAndReachNoDevice)
{
    const char* bad[] = {
        R"({"ip": 5, "port": 37777, "userName": "admin", "password": "pw", "loginSpacCap": 0})",
        R"({"ip": "10.0.0.1", "port": "37777", "userName": "admin", "password": "pw", "loginSpacCap": 0})",
        R"({"ip": "10.0.0.1", "port": 37777, "userName": "admin", "password": "pw"})",
        R"({"ip": "10.0.0.1", "port": 37777, "userName": "admin", "password": null, "loginSpacCap": 0})",
    };
    for (const char* params : bad) {
        SCOPED_TRACE(params);
        const Json::Value result = Result("LoginDevice", params);
        EXPECT_TRUE(result.isString() && result.asString().rfind("Method not exist:", 0) == 0) << result;
    }
    EXPECT_TRUE(QuillnetStandIn::CallsOf("CLIENT_LoginEx2").empty());
}

TEST_F(DeviceManager, LogoutRaisesTheLoginoutSignalBeforeLoggingOut)
{
    // Logged out: the signal still carries handle 0.
    EXPECT_EQ(Result("LogoutDevice", "null"), Json::Value(true));
    ASSERT_EQ(seen.handles, std::vector<long>{0});

    ASSERT_EQ(Result("LoginDevice", kLogin), Json::Value(0));
    const long handle = Manager().GetDevice()->GetLoginHandle();
    ASSERT_NE(handle, 0);
    EXPECT_EQ(Result("LogoutDevice", "null"), Json::Value(true));
    ASSERT_EQ(seen.handles, (std::vector<long>{0, handle}));
    EXPECT_TRUE(seen.loggedIn[1]);
    EXPECT_EQ(Manager().GetCurrentDevice(), nullptr);
    EXPECT_EQ(QuillnetStandIn::CallsOf("CLIENT_Logout").size(), 1u);
}

TEST_F(DeviceManager, ALoginOfOtherCredentialsEndsTheOpenSessionForItsUsers)
{
    ASSERT_EQ(Result("LoginDevice", kLogin), Json::Value(0));
    const long handle = Manager().GetDevice()->GetLoginHandle();
    // The same credentials again: the session stays, nobody is told.
    ASSERT_EQ(Result("LoginDevice", kLogin), Json::Value(0));
    EXPECT_TRUE(seen.handles.empty());

    // Other credentials that fail: the old session ended all the same.
    QuillnetStandIn::Script("CLIENT_LoginEx2", R"({"error": 1, "lockLeft": 4})");
    const char other[] = R"({"ip": "10.0.0.1", "port": 37777, "userName": "guest", "password": "x", "loginSpacCap": 2})";
    EXPECT_EQ(Result("LoginDevice", other), Json::Value(104));
    EXPECT_EQ(seen.handles, std::vector<long>{handle});
    EXPECT_EQ(Manager().GetCurrentDevice(), nullptr);
}

TEST_F(DeviceManager, ReleaseSignalsLogsOutThenCleansUp)
{
    ASSERT_EQ(Result("LoginDevice", kLogin), Json::Value(0));
    const long handle = Manager().GetDevice()->GetLoginHandle();
    QuillnetStandIn::ClearJournal();
    seen.manager = nullptr;
    ReleaseManager();
    Host().ClearMethods();
    Host().ClearObjects();

    ASSERT_EQ(seen.handles, std::vector<long>{handle});
    EXPECT_EQ(seen.journalLength[0], 0u);  // raised before anything reached the library
    const std::vector<std::string> calls = QuillnetStandIn::CallNames();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front(), "CLIENT_Logout");
    EXPECT_EQ(calls.back(), "CLIENT_Cleanup");
}

TEST_F(DeviceManager, ReleaseTakesItsAndTheDevicesSignalsOffTheHost)
{
    // A service released later disconnects from these by name: it must find nothing dead.
    const char* const names[] = {"deviceLoginoutSignal", "DeviceDisconnect", "DeviceHaveReConnect"};
    for (const char* name : names) {
        ASSERT_TRUE(Host().HasSignal(name)) << name;
    }
    seen.manager = nullptr;
    ReleaseManager();
    Host().ClearMethods();
    Host().ClearObjects();
    for (const char* name : names) {
        EXPECT_EQ(Host().SignalCount(name), 0) << name;
    }
}

TEST_F(DeviceManager, SystemInfoOfTheDevice)
{
    ASSERT_EQ(Result("LoginDevice", kLogin), Json::Value(0));
    QuillnetStandIn::Script("CLIENT_QuerySystemInfo", R"({"secondaryAnalyse": 1})");
    Json::Value expected;
    ASSERT_TRUE(Foundation::JsonParse(R"({"nane": "deviceAbility", "params": {"secondaryAnalyse": 1}})", expected));
    EXPECT_EQ(Result("QueryDeviceSystemInfo", "null"), expected);
}

// A factory that cannot make a device.
class NoDeviceFactory : public Tolvane::IDeviceFactory {
public:
    Tolvane::IDevice* CreateDevice(HostContext*, const char*) override { return nullptr; }
};

TEST_F(DeviceManager, WithoutADeviceLoginAnswersMinusOne)
{
    HostContext quiet = *Context();  // publishes nothing beside the manager under test
    quiet.RegisterMethod.clear();
    quiet.AddSignal.clear();
    Tolvane::CDeviceMgr manager(&quiet, "",
                                Foundation::CSharedPtr<Tolvane::IDeviceFactory>(new NoDeviceFactory()));
    EXPECT_EQ(manager.GetDevice(), nullptr);
    EXPECT_EQ(manager.LoginDevice("10.0.0.1", 37777, "admin", "pw", 0), -1);
    EXPECT_TRUE(manager.LogoutDevice());
    EXPECT_EQ(manager.GetCurrentDevice(), nullptr);
    EXPECT_TRUE(manager.QueryDeviceSystemInfo().isNull());
}

}  // namespace
