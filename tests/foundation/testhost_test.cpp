#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <TestHost.h>
#include <foundation/HostCalls.h>

using Foundation::CSharedPtr;
using Foundation::ITask;
using testsupport::TestHost;

namespace {

// Records the order in which tasks run.
struct RunLog {
    std::mutex mutex;
    std::vector<int> order;
    void Add(int tag)
    {
        std::lock_guard<std::mutex> guard(mutex);
        order.push_back(tag);
    }
};

struct TaggedTask : ITask {
    TaggedTask(RunLog* log, int tag, std::atomic<int>* deaths = nullptr) : m_log(log), m_tag(tag), m_deaths(deaths) {}
    ~TaggedTask() override
    {
        if (m_deaths) {
            ++*m_deaths;
        }
    }
    bool Run() override
    {
        m_log->Add(m_tag);
        return true;
    }
    bool IsRunnable() override { return true; }
    RunLog* m_log;
    int m_tag;
    std::atomic<int>* m_deaths;
};

bool Post(TestHost& host, int priority, ITask* task)
{
    CSharedPtr<ITask> shared(task);
    return host.Context()->PostTask(priority, &shared);
}

}  // namespace

TEST(TestHostTasks, HighestPriorityFirstThenPostingOrder)
{
    TestHost host;
    RunLog log;
    host.SuspendWorker();
    const int priorities[] = {1, 5, 1, -3, 5, 0, 1};
    for (int i = 0; i < 7; ++i) {
        ASSERT_TRUE(Post(host, priorities[i], new TaggedTask(&log, i)));
    }
    host.ResumeWorker();
    ASSERT_TRUE(host.WaitIdle());
    EXPECT_EQ(log.order, (std::vector<int>{1, 4, 0, 2, 6, 5, 3}));
}

TEST(TestHostTasks, ManyPostingsOfOnePriorityKeepTheirOrder)
{
    TestHost host;
    RunLog log;
    host.SuspendWorker();
    constexpr int kCount = 1200;
    for (int i = 0; i < kCount; ++i) {
        Post(host, i % 3 == 0 ? 2 : 1, new TaggedTask(&log, i));
    }
    host.ResumeWorker();
    ASSERT_TRUE(host.WaitIdle());
    ASSERT_EQ(log.order.size(), static_cast<std::size_t>(kCount));
    std::vector<int> expected;
    for (int i = 0; i < kCount; i += 3) {
        expected.push_back(i);
    }
    for (int i = 0; i < kCount; ++i) {
        if (i % 3 != 0) {
            expected.push_back(i);
        }
    }
    EXPECT_EQ(log.order, expected);
}

namespace {

struct Reposter : ITask {
    Reposter(TestHost* host, RunLog* log) : m_host(host), m_log(log) {}
    bool Run() override
    {
        m_log->Add(0);
        Post(*m_host, 100, new TaggedTask(m_log, 2));
        m_log->Add(1);
        return true;
    }
    bool IsRunnable() override { return true; }
    TestHost* m_host;
    RunLog* m_log;
};

}  // namespace

TEST(TestHostTasks, TaskPostedWhileAnotherRunsRunsAfterIt)
{
    TestHost host;
    RunLog log;
    Post(host, 1, new Reposter(&host, &log));
    ASSERT_TRUE(host.WaitIdle());
    EXPECT_EQ(log.order, (std::vector<int>{0, 1, 2}));
}

TEST(TestHostTasks, StoppingDropsQueuedTasksUnrun)
{
    TestHost host;
    RunLog log;
    std::atomic<int> deaths{0};
    host.SuspendWorker();
    Post(host, 1, new TaggedTask(&log, 1, &deaths));
    Post(host, 1, new TaggedTask(&log, 2, &deaths));
    EXPECT_EQ(host.QueuedTaskCount(), 2);
    host.StopWorker();
    EXPECT_TRUE(log.order.empty());
    EXPECT_EQ(deaths, 2);
    EXPECT_FALSE(Post(host, 1, new TaggedTask(&log, 3, &deaths)));
    EXPECT_EQ(deaths, 3);
}

namespace {

struct Listener {
    int loaded = 0;
    int gpu = -1;
    long logins = 0;
    void OnLoaded() { ++loaded; }
    void OnGpu(bool on) { gpu = on ? 1 : 0; }
    void OnLogin(long handle) { logins += handle; }
};

}  // namespace

TEST(TestHostSignals, RegistryRulesAndForwardingByName)
{
    TestHost host;
    HostContext* context = host.Context();
    Foundation::CSignal1<long> loginSignal;
    EXPECT_FALSE(context->AddSignal("", &loginSignal));
    EXPECT_FALSE(context->AddSignal(nullptr, &loginSignal));
    EXPECT_FALSE(context->AddSignal("deviceLoginoutSignal", nullptr));
    EXPECT_FALSE(host.HasSignal(""));
    EXPECT_TRUE(context->AddSignal("deviceLoginoutSignal", &loginSignal));

    Listener listener;
    const fastdelegate::FastDelegate1<long> onLogin(&listener, &Listener::OnLogin);
    EXPECT_FALSE(Foundation::ConnectHostSignal(context, "unknownSignal", onLogin));
    EXPECT_TRUE(Foundation::ConnectHostSignal(context, "deviceLoginoutSignal", onLogin));
    loginSignal.Emit(5);
    EXPECT_EQ(listener.logins, 5);
    EXPECT_TRUE(Foundation::DisconnectHostSignal(context, "deviceLoginoutSignal", onLogin));
    loginSignal.Emit(5);
    EXPECT_EQ(listener.logins, 5);

    Foundation::CSignal1<long> stranger;
    EXPECT_TRUE(context->RemoveSignal("deviceLoginoutSignal", &stranger));
    EXPECT_EQ(host.SignalCount("deviceLoginoutSignal"), 1);
    EXPECT_TRUE(context->RemoveSignal("deviceLoginoutSignal", &loginSignal));
    EXPECT_FALSE(context->RemoveSignal("neverAdded", &loginSignal));
    EXPECT_TRUE(host.HasSignal("deviceLoginoutSignal"));
    EXPECT_TRUE(Foundation::ConnectHostSignal(context, "deviceLoginoutSignal", onLogin));  // empty list
}

TEST(TestHostSignals, HostSignalsReachHandlersConnectedThroughTheContext)
{
    TestHost host;
    Listener listener;
    HostContext* context = host.Context();
    EXPECT_EQ(host.SignalNames(),
              (std::vector<std::string>{"GPU_Change", "ImplComLoaded", "ImplComPreRelease", "funcsExitSignal"}));
    Foundation::ConnectHostSignal(context, "ImplComLoaded", fastdelegate::FastDelegate0<>(&listener, &Listener::OnLoaded));
    Foundation::ConnectHostSignal(context, "GPU_Change", fastdelegate::FastDelegate1<bool>(&listener, &Listener::OnGpu));
    host.EmitImplComLoaded();
    host.EmitGpuChange(true);
    EXPECT_EQ(listener.loaded, 1);
    EXPECT_EQ(listener.gpu, 1);
    EXPECT_FALSE(host.FireSignal("GPU_Change"));
}

TEST(TestHostObjects, RegisteringUnderATakenNameReplacesTheOldObject)
{
    TestHost host;
    CSharedPtr<int> first(new int(1));
    CSharedPtr<int> second(new int(2));
    Foundation::RegisterHostObject(host.Context(), "class Tolvane::ITimer", first);
    EXPECT_EQ(first.use_count(), 2);
    Foundation::RegisterHostObject(host.Context(), "class Tolvane::ITimer", second);
    EXPECT_EQ(first.use_count(), 1);
    EXPECT_EQ(*host.QueryService<int>("class Tolvane::ITimer"), 2);
    EXPECT_TRUE(host.Query("class Unknown").empty());
    EXPECT_FALSE(host.Context()->RegisterObject(nullptr, nullptr));
    EXPECT_EQ(host.RegistrationLog(),
              (std::vector<std::string>{"class Tolvane::ITimer", "class Tolvane::ITimer"}));
}

namespace {

struct Speaker {
    std::string last;
    bool Say(std::string text) { last = "say1:" + text; return true; }
    bool SayFor(std::string text, int seconds) { last = "say2:" + text + ":" + std::to_string(seconds); return true; }
    int Ping() { return 11; }
    int PingFromTable3() { return 33; }
};

}  // namespace

TEST(TestHostMethods, RequestsFollowTheBridgeRoad)
{
    TestHost host;
    Speaker speaker;
    std::unique_ptr<Foundation::IComInterface> say1(Foundation::MakeComMethod(&speaker, &Speaker::Say, {"text"}));
    std::unique_ptr<Foundation::IComInterface> say2(
        Foundation::MakeComMethod(&speaker, &Speaker::SayFor, {"text", "seconds"}));
    std::unique_ptr<Foundation::IComInterface> ping1(Foundation::MakeComMethod(&speaker, &Speaker::Ping));
    std::unique_ptr<Foundation::IComInterface> ping3(Foundation::MakeComMethod(&speaker, &Speaker::PingFromTable3));
    HostContext* context = host.Context();
    context->RegisterMethod("say", say1.get());
    context->RegisterMethod("say", say2.get());
    context->RegisterMethod("ping", ping1.get());
    context->RegisterMethod3("ping", ping3.get());
    EXPECT_EQ(host.OverloadCount("say"), 2);
    EXPECT_EQ(context->Reserved7.empty() && context->Reserved14.empty() && context->Reserved15.empty(), true);

    struct Case {
        std::string request;
        std::string reply;
    } cases[] = {
        {R"({"method":"say","params":{"text":"hi"},"id":1})", "{\n   \"id\" : 1,\n   \"result\" : true\n}\n"},
        {R"({"method":"say","params":{"text":"hi","seconds":2},"id":3.9})", "{\n   \"id\" : 3,\n   \"result\" : true\n}\n"},
        {R"({"method":"ping","params":{},"id":"7"})", "{\n   \"id\" : 0,\n   \"result\" : 33\n}\n"},
        {R"({"method":"say","params":{"text":5},"id":1})", R"(Method not exist:{"method":"say","params":{"text":5},"id":1})"},
        {R"({"method":7,"params":{},"id":1})", R"(Method not exist:{"method":7,"params":{},"id":1})"},
        {R"([1,2])", "Json context error:[1,2]"},
        {"null", "Json context error:null"},
        {R"({"method":"ping","id":1})", R"(Json context error:{"method":"ping","id":1})"},
        {"{oops", "Json format error:{oops"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(host.Call(c.request), c.reply) << c.request;
    }
    host.CallMethod("say", R"({"seconds":4,"text":"x"})");
    EXPECT_EQ(speaker.last, "say2:x:4");
    EXPECT_EQ(host.CallMethod("ping", "{}", 5), "{\n   \"id\" : 5,\n   \"result\" : 33\n}\n");
}

TEST(TestHostPage, TextsFromAnyThreadAreCapturedInOrder)
{
    TestHost host;
    std::thread sender([&] {
        for (int i = 0; i < 3; ++i) {
            host.Context()->SendToWeb(std::to_string(i).c_str());
        }
    });
    ASSERT_TRUE(host.WaitForSentCount(3));
    sender.join();
    EXPECT_EQ(host.SentTexts(), (std::vector<std::string>{"0", "1", "2"}));
    host.ClearSentTexts();
    EXPECT_TRUE(host.SentTexts().empty());
    EXPECT_EQ(host.Context()->GetLogLevelTable("console"), host.LogLevels());
    EXPECT_EQ(host.Context()->GetLogLevelTable("file"), host.LogLevels());
}
