#include <cstddef>
#include <string>

#include <gtest/gtest.h>

#include <TestHost.h>
#include <foundation/HostCalls.h>
#include <foundation/TypeNames.h>

using Foundation::CSharedPtr;

namespace {

struct IService {
    virtual ~IService() = default;
    virtual int Answer() = 0;
};

int g_created = 0;
int g_released = 0;

struct Service : IService {
    Service(HostContext* context, const char*) : m_context(context) { ++g_created; }
    int Answer() override { return 42; }
    HostContext* m_context;
};

void ReleaseService(IService* service)
{
    ++g_released;
    delete service;
}

int Add3(int a, long b, const char* c)
{
    return a + static_cast<int>(b) + static_cast<int>(std::string(c).size());
}

class HostCallsTest : public ::testing::Test {
protected:
    void SetUp() override { g_created = g_released = 0; }
};

}  // namespace

TEST(HostContextTest, SixteenSlotsThenTheFlagWord)
{
    using Slot = HostContext::Slot<void()>;
    EXPECT_EQ(offsetof(HostContext, ResolveFunction), 8 * sizeof(Slot));
    EXPECT_EQ(offsetof(HostContext, SendToWeb), 13 * sizeof(Slot));
    EXPECT_EQ(offsetof(HostContext, flags), 16 * sizeof(Slot));
    HostContext context;
    context.flags = 0xABCD0000u;
    context.SetCompatibilityFlag(1);
    EXPECT_EQ(context.CompatibilityFlag(), 1);
    EXPECT_EQ(context.flags, 0xABCD0001u);
}

TEST_F(HostCallsTest, EveryCallIsSkippedWhenItsSlotIsAbsent)
{
    HostContext empty;
    for (HostContext* context : {&empty, static_cast<HostContext*>(nullptr)}) {
        SCOPED_TRACE(context ? "empty slots" : "no context");
        EXPECT_TRUE(Foundation::QueryHostObject(context, Foundation::TypeName::IFileOperation).empty());
        EXPECT_FALSE(Foundation::QueryHostService<IService>(context, "class IService"));
        EXPECT_FALSE(Foundation::ConnectHostSignal(context, "ImplComLoaded", fastdelegate::FastDelegate0<>()));
        EXPECT_FALSE(Foundation::AddHostSignal(context, "x", nullptr));
        EXPECT_FALSE(Foundation::RegisterHostMethod(context, "m", nullptr));
        EXPECT_FALSE(Foundation::PostHostTask(context, 1, CSharedPtr<Foundation::ITask>()));
        EXPECT_EQ(Foundation::HostLogLevelTable(context, "console"), nullptr);
        EXPECT_EQ(Foundation::ResolveHostFunction<int(int)>(context, "m", "f"), nullptr);
        EXPECT_EQ((Foundation::CallSdkFunction<int(int, long, const char*)>(context, "m", "Add3", 1, 2L, "abc")), 0);
        Foundation::NotifyWebEvent(context, "Dropped", Json::Value(1));
    }
}

TEST_F(HostCallsTest, ServiceIsReleasedAtOnceWhenNoHostKeepsIt)
{
    HostContext empty;
    EXPECT_FALSE((Foundation::CreateSvrObject<Service, IService>(&empty, "", "class IService", &ReleaseService)));
    EXPECT_EQ(g_created, 1);
    EXPECT_EQ(g_released, 1);
}

TEST_F(HostCallsTest, RegisteredServiceLivesInTheHostUntilCleared)
{
    testsupport::TestHost host;
    ASSERT_TRUE((Foundation::CreateSvrObject<Service, IService>(host.Context(), "", "class IService", &ReleaseService)));
    {
        CSharedPtr<IService> service = Foundation::QueryHostService<IService>(host.Context(), "class IService");
        ASSERT_TRUE(service);
        EXPECT_EQ(service->Answer(), 42);
        EXPECT_EQ(service.use_count(), 2);  // the host's copy and this one
    }
    EXPECT_EQ(g_released, 0);
    host.ClearObjects();
    EXPECT_EQ(g_released, 1);
    EXPECT_TRUE(Foundation::QueryHostObject(host.Context(), "class IService").empty());
}

TEST_F(HostCallsTest, EventsGoToThePageAsOneCompactLine)
{
    testsupport::TestHost host;
    Json::Value params;
    params["winID"] = 3;
    params["name"] = "cam 1";
    Foundation::NotifyWebEvent(host.Context(), "PlayStatus", params);
    Foundation::NotifyWebEvent(host.Context(), "Empty", Json::Value());
    EXPECT_EQ(host.SentTexts(), (std::vector<std::string>{
                                    "{\"event\":\"PlayStatus\",\"params\":{\"name\":\"cam 1\",\"winID\":3}}\n",
                                    "{\"event\":\"Empty\",\"params\":null}\n"}));
}

TEST_F(HostCallsTest, OutsideFunctionsAreResolvedAtEachCall)
{
    testsupport::TestHost host;
    using Add3Type = int(int, long, const char*);
    EXPECT_EQ((Foundation::CallSdkFunction<Add3Type>(host.Context(), "Quillnet", "Add3", 1, 2L, "abc")), 0);
    host.SetFunction("Quillnet", "Add3", reinterpret_cast<void*>(&Add3));
    EXPECT_EQ((Foundation::CallSdkFunction<Add3Type>(host.Context(), "Quillnet", "Add3", 1, 2L, "abc")), 6);
    EXPECT_EQ((Foundation::CallSdkFunction<Add3Type>(host.Context(), "play", "Add3", 1, 2L, "abc")), 0);
    EXPECT_EQ(host.ResolveCount(), 3);
}
