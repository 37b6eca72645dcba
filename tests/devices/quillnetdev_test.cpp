// The device object's set-up and clean-up of the device library, its connection signals and
// the library functions resolved through the host at each call.

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <foundation/HostCalls.h>
#include <foundation/JsonRead.h>

#include "quillnetdev.h"
#include "quillnetstandin.h"

namespace {

using devtest::QuillnetStandIn;
using Tolvane::CQuillnetDev;

uint64_t Address(const void* p)
{
    return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p));
}

Json::Value Parse(const char* text)
{
    Json::Value value;
    EXPECT_TRUE(Foundation::JsonParse(text, value)) << text;
    return value;
}

using DeviceSdkSetUp = devtest::ScriptedSdkTest;

TEST_F(DeviceSdkSetUp, ConstructionSetsTheLibraryUpInOrderWithItsValues)
{
    auto device = std::make_unique<CQuillnetDev>(Context(), "");
    const Json::Value journal = QuillnetStandIn::Journal();
    const std::vector<std::string> expected = {
        "CLIENT_Init",         "CLIENT_SetGDPREnable",      "CLIENT_SetNetworkParam",    "CLIENT_SetAutoReconnect",
        "CLIENT_SetDVRMessCallBack", "CLIENT_SetSubconnCallBack", "CLIENT_LogOpen",
    };
    ASSERT_EQ(QuillnetStandIn::CallNames(), expected);

    const uint64_t self = Address(device.get());
    for (int i : {0, 3, 4, 5}) {
        const Json::Value& args = journal[i]["args"];
        EXPECT_NE(args[0].asUInt64(), 0u) << expected[i] << ": callback";
        EXPECT_EQ(args[1].asUInt64(), self) << expected[i] << ": the device as user value";
    }
    EXPECT_EQ(journal[1]["args"], Parse("[1]"));
    EXPECT_EQ(journal[2]["args"][0], Parse(R"({"reserved0": 0, "connect_timeout_ms": 3000, "connect_tries": 2,
        "subconnect_spacing_ms": 0, "reserved16": 0, "output_buffer_size": 2097152, "info_timeout_ms": 5000,
        "search_timeout_ms": 8000, "subconnect_timeout_ms": 0, "detect_mode": 0, "picture_buffers": 32})"));
    EXPECT_EQ(journal[6]["args"][0], Parse(R"({"size": 292, "file": "", "print_enabled": 1})"));

    EXPECT_TRUE(Host().HasSignal("DeviceDisconnect"));
    EXPECT_TRUE(Host().HasSignal("DeviceHaveReConnect"));

    // Destruction: callbacks removed, then the clean-up; no logout.
    QuillnetStandIn::ClearJournal();
    device.reset();
    const Json::Value after = QuillnetStandIn::Journal();
    ASSERT_EQ(QuillnetStandIn::CallNames(),
              (std::vector<std::string>{"CLIENT_SetAutoReconnect", "CLIENT_SetDVRMessCallBack",
                                        "CLIENT_SetSubconnCallBack", "CLIENT_Cleanup"}));
    for (int i : {0, 1, 2}) {
        EXPECT_EQ(after[i]["args"], Parse("[0, 0]")) << i;
    }
}

TEST_F(DeviceSdkSetUp, WithoutResolvingNothingReachesTheLibraryAndLoginsFail)
{
    HostContext context = *Context();
    context.ResolveFunction.clear();
    CQuillnetDev device(&context, "");
    EXPECT_TRUE(Host().HasSignal("DeviceDisconnect"));
    EXPECT_TRUE(Host().HasSignal("DeviceHaveReConnect"));

    EXPECT_NE(device.LoginDevice("10.0.0.1", 37777, 0, "admin", "pw", 0, 0), 0);
    EXPECT_FALSE(device.IsLogin());
    EXPECT_EQ(device.GetLoginHandle(), 0);
    EXPECT_TRUE(device.LogoutDevice());
    EXPECT_EQ(device.QuerySystemInfo()["params"]["secondaryAnalyse"].asInt(), 0);
    EXPECT_TRUE(QuillnetStandIn::Journal().empty());
}

TEST_F(DeviceSdkSetUp, WithoutAddSignalTheDeviceStillWorks)
{
    HostContext context = *Context();
    context.AddSignal.clear();
    CQuillnetDev device(&context, "");
    EXPECT_FALSE(Host().HasSignal("DeviceDisconnect"));
    EXPECT_EQ(device.LoginDevice("10.0.0.1", 37777, 0, "admin", "pw", 0, 0), 0);
    EXPECT_TRUE(device.IsLogin());
}

TEST_F(DeviceSdkSetUp, ReservedSlotsAnswerNothingAndStayAwayFromTheLibrary)
{
    CQuillnetDev device(Context(), "");
    QuillnetStandIn::ClearJournal();
    EXPECT_EQ(device.Reserved14(1, 2, 3, 4, 5, 6, 7), 0);
    EXPECT_EQ(device.Reserved15(1, 2, 3, 4, 5, 6, 7, 8), 0);
    EXPECT_EQ(device.Reserved16(1, 2, 3), 0);
    EXPECT_EQ(device.Reserved17(1, 2, 3, 4, 5), 0);
    EXPECT_EQ(device.Reserved19(1, 2, 3, 4, 5, 6), 0);
    EXPECT_EQ(device.Reserved26(9), "");
    EXPECT_FALSE(device.Reserved27(1, 2));
    EXPECT_TRUE(QuillnetStandIn::Journal().empty());
}

TEST_F(DeviceSdkSetUp, EachCallResolvesItsFunctionAnew)
{
    CQuillnetDev device(Context(), "");
    const int before = Host().ResolveCount();
    ASSERT_EQ(device.LoginDevice("10.0.0.1", 37777, 0, "admin", "pw", 0, 0), 0);
    EXPECT_EQ(Host().ResolveCount(), before + 1);
    ASSERT_TRUE(device.LogoutDevice());

    // A function that goes away between two calls fails the next one.
    Host().SetFunction("Quillnet", "CLIENT_LoginEx2", nullptr);
    QuillnetStandIn::ClearJournal();
    EXPECT_NE(device.LoginDevice("10.0.0.1", 37777, 0, "admin", "pw", 0, 0), 0);
    EXPECT_FALSE(device.IsLogin());
    EXPECT_TRUE(QuillnetStandIn::CallsOf("CLIENT_LoginEx2").empty());
}

struct Seen {
    std::atomic<int> calls{0};
    long handle = 0;
    std::string ip;
    long port = 0;
    std::thread::id thread;

    void OnSignal(long h, const char* address, long p)
    {
        handle = h;
        ip = address ? address : "";
        port = p;
        thread = std::this_thread::get_id();
        ++calls;
    }
};

TEST_F(DeviceSdkSetUp, ConnectionReportsAreEmittedOnTheLibraryThread)
{
    CQuillnetDev device(Context(), "");
    struct Case {
        const char* signal;
        int (*fire)(long, const char*, int);
    };
    for (const Case& c : {Case{"DeviceDisconnect", &QuillnetStandIn::FireDisconnect},
                          Case{"DeviceHaveReConnect", &QuillnetStandIn::FireReconnect}}) {
        SCOPED_TRACE(c.signal);
        Seen seen;
        const fastdelegate::FastDelegate<void(long, const char*, long)> handler(&seen, &Seen::OnSignal);
        ASSERT_TRUE(Foundation::ConnectHostSignal(Context(), c.signal, handler));
        ASSERT_EQ(c.fire(42, "10.0.0.9", 37777), 0);
        EXPECT_EQ(seen.calls.load(), 1);
        EXPECT_EQ(seen.handle, 42);
        EXPECT_EQ(seen.ip, "10.0.0.9");
        EXPECT_EQ(seen.port, 37777);
        EXPECT_NE(seen.thread, std::this_thread::get_id());
        ASSERT_TRUE(Foundation::DisconnectHostSignal(Context(), c.signal, handler));
    }
}

}  // namespace
