#include "modulemanager.h"
#include "registmodule.h"
#include "taskworker.h"

#include <cbrowser.h>

#include <foundation/Foundation.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

// A view that records what is handed to its page.
class RecordingView : public CBrowser
{
public:
    void response(QString text) override { texts.push_back(text.toStdString()); }
    std::vector<std::string> texts;
};

// A published method that fits every request of one parameter but answers
// nothing, or throws.
class OddMethod : public Foundation::IComInterface
{
public:
    explicit OddMethod(bool throws) : m_throws(throws) {}
    bool CheckParams(int count, const Json::Value&) const override { return count == 1; }
    bool CheckParamsText(int count, const char*) const override { return count == 1; }
    std::string Invoke(int, const char*) const override
    {
        if (m_throws)
            throw std::runtime_error("invoke");
        return std::string();
    }
    bool GetParamNames(char names[][100], int count) const override
    {
        if (count != 1)
            return false;
        names[0][0] = 'x';
        names[0][1] = '\0';
        return true;
    }
    bool GetFlag() const override { return true; }

private:
    bool m_throws;
};

// Holds an asynchronous request inside its method until opened.
class Gate
{
public:
    void Open()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }
    bool Wait()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(10), [this] { return m_open; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_open = false;
};

class Service
{
public:
    bool SetWindow(int winID)
    {
        lastWindow = winID;
        return true;
    }
    int Answer() { return 42; }
    void Touch() { ++touched; }
    std::string Echo(std::string text)
    {
        received = text;
        return text;
    }
    std::string Tag(std::string tag) { return tag; }
    std::string PickX1(int) { return "x table 1"; }
    std::string PickXString(std::string) { return "x string table 1"; }
    std::string PickXY(int, int) { return "xy table 1"; }
    std::string PickY2(int) { return "y table 2"; }
    std::string PickX3(int) { return "x table 3"; }
    std::string First(int) { return "first"; }
    std::string Second(int) { return "second"; }
    std::string ByText(std::string) { return "text"; }
    bool Fails(int) { throw std::runtime_error("device gone"); }
    std::string Fallback(int)
    {
        ++fallbacks;
        return "fallback";
    }
    bool Blocked()
    {
        onGuiThread = QThread::currentThread() == qApp->thread();
        gate.Wait();
        finished = true;
        return true;
    }

    int lastWindow = -1;
    int touched = 0;
    int fallbacks = 0;
    std::string received;
    Gate gate;
    std::atomic<bool> onGuiThread{true};
    std::atomic<bool> finished{false};
};

std::string Reply(int id, const std::string& result)
{
    return "{\n   \"id\" : " + std::to_string(id) + ",\n   \"result\" : " + result + "\n}\n";
}

class BridgeTest : public ::testing::Test
{
protected:
    BridgeTest()
    {
        m_manager.SetModuleFolder(m_noModules.path());
        m_bridge = std::make_unique<RegistModule>(&m_context, nullptr, &m_manager);
        QObject::connect(m_bridge.get(), &RegistModule::RPCResponseEvent, m_bridge.get(),
                         [this](const QString& text) { m_web.push_back(text.toStdString()); });
        Publish();
    }
    ~BridgeTest() override
    {
        m_bridge->ReleaseComponents();
        for (Foundation::IComInterface* method : m_methods)
            delete method;
    }

    template <class M>
    void Add(int table, const char* name, M* method)
    {
        m_methods.push_back(method);
        HostContext* context = m_bridge->Context();
        const auto& slot = table == 1 ? context->RegisterMethod
                         : table == 2 ? context->RegisterMethod2
                                      : context->RegisterMethod3;
        slot(name, method);
    }

    void Publish()
    {
        using Foundation::MakeComMethod;
        static const char* const kWinID[] = {"winID"};
        static const char* const kText[] = {"text"};
        static const char* const kX[] = {"x"};
        static const char* const kY[] = {"y"};
        static const char* const kXY[] = {"x", "y"};
        Add(1, "SetWindow", MakeComMethod(&m_service, &Service::SetWindow, kWinID));
        Add(1, "Answer", MakeComMethod(&m_service, &Service::Answer));
        Add(1, "Touch", MakeComMethod(&m_service, &Service::Touch));
        Add(1, "Echo", MakeComMethod(&m_service, &Service::Echo, kText));
        Add(1, "Blocked", MakeComMethod(&m_service, &Service::Blocked));

        // One name across the three tables.
        Add(1, "Pick", MakeComMethod(&m_service, &Service::PickX1, kX));
        Add(1, "Pick", MakeComMethod(&m_service, &Service::PickXString, kX));
        Add(1, "Pick", MakeComMethod(&m_service, &Service::PickXY, kXY));
        Add(2, "Pick", MakeComMethod(&m_service, &Service::PickY2, kY));
        Add(3, "Pick", MakeComMethod(&m_service, &Service::PickX3, kX));
        // Overloads within one table.
        Add(2, "Twice", MakeComMethod(&m_service, &Service::First, kX));
        Add(2, "Twice", MakeComMethod(&m_service, &Service::Second, kX));
        Add(2, "Twice", MakeComMethod(&m_service, &Service::ByText, kX));
        // A fitting method that answers nothing, or throws, has failed: the
        // same-named method of a later table must not run in its place.
        Add(3, "Hollow", new OddMethod(false));
        Add(1, "Hollow", MakeComMethod(&m_service, &Service::Fallback, kX));
        Add(3, "Thrower", new OddMethod(true));
        Add(1, "Thrower", MakeComMethod(&m_service, &Service::Fallback, kX));
        Add(3, "Failing", MakeComMethod(&m_service, &Service::Fails, kX));
        Add(2, "Failing", MakeComMethod(&m_service, &Service::Fallback, kX));
    }

    // Runs one request; the texts handed to the sending view and to the page.
    void Call(const std::string& request)
    {
        m_view.texts.clear();
        m_web.clear();
        m_bridge->RPCcall(&m_view, QString::fromStdString(request));
    }

    bool WaitForWeb(std::size_t count)
    {
        QElapsedTimer timer;
        timer.start();
        while (m_web.size() < count && timer.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        return m_web.size() >= count;
    }

    QTemporaryDir m_noModules;
    ModuleManager m_manager;
    HostContext m_context;
    std::unique_ptr<RegistModule> m_bridge;
    Service m_service;
    RecordingView m_view;
    std::vector<std::string> m_web;
    std::vector<Foundation::IComInterface*> m_methods;
};

using Texts = std::vector<std::string>;

}  // namespace

TEST_F(BridgeTest, ErrorTextsGoToTheirReceivers)
{
    const struct
    {
        std::string request;
        Texts toView;
        Texts toWeb;
    } cases[] = {
        {"{", {"Json format error:{"}, {}},
        {"", {"Json format error:"}, {}},
        {"{\"method\":\"Answer\",", {"Json format error:{\"method\":\"Answer\","}, {}},
        {"[1,2]", {"Json context error:[1,2]"}, {}},
        {"null", {"Json context error:null"}, {}},
        {"\"text\"", {"Json context error:\"text\""}, {}},
        {R"({"params":{},"id":1})", {R"(Json context error:{"params":{},"id":1})"}, {}},
        {R"({"method":"Answer","id":1})", {R"(Json context error:{"method":"Answer","id":1})"}, {}},
        {R"({"method":"Answer","params":{}})", {R"(Json context error:{"method":"Answer","params":{}})"}, {}},
        {R"({"method":"Nope","params":{},"id":1})", {}, {R"(Method not exist:{"method":"Nope","params":{},"id":1})"}},
        {R"({"method":7,"params":{},"id":1})", {}, {R"(Method not exist:{"method":7,"params":{},"id":1})"}},
        {R"({"method":"answer","params":{},"id":1})", {}, {R"(Method not exist:{"method":"answer","params":{},"id":1})"}},
        {R"({"method":"SetWindow","params":{"winID":"3"},"id":7})", {},
         {R"(Method not exist:{"method":"SetWindow","params":{"winID":"3"},"id":7})"}},
        {R"({"method":"SetWindow","params":{"win":3},"id":7})", {},
         {R"(Method not exist:{"method":"SetWindow","params":{"win":3},"id":7})"}},
        {R"({"method":"SetWindow","params":["x"],"id":1})", {},
         {R"(Method not exist:{"method":"SetWindow","params":["x"],"id":1})"}},
        {R"({"method":"Answer","params":{"extra":1},"id":1})", {},
         {R"(Method not exist:{"method":"Answer","params":{"extra":1},"id":1})"}},
        {R"({"method":"Thrower","params":{"x":1},"id":1})", {},
         {R"(Json context error:{"method":"Thrower","params":{"x":1},"id":1})"}},
        {R"({"method":"Failing","params":{"x":1},"id":1})", {},
         {R"(Json context error:{"method":"Failing","params":{"x":1},"id":1})"}},
        {R"({"method":"Hollow","params":{"x":1},"id":1})", {},
         {R"(Json context error:{"method":"Hollow","params":{"x":1},"id":1})"}},
        {R"({"method":"Failing","params":{"y":1},"id":1})", {},
         {R"(Method not exist:{"method":"Failing","params":{"y":1},"id":1})"}},
        {R"({"method":"Gone %1 %2","params":{},"id":1})", {},
         {R"(Method not exist:{"method":"Gone %1 %2","params":{},"id":1})"}},
        {"{\"method\":\"Kamera ✓ 摄像机\",\"params\":{},\"id\":1}", {},
         {"Method not exist:{\"method\":\"Kamera ✓ 摄像机\",\"params\":{},\"id\":1}"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request);
        Call(c.request);
        EXPECT_EQ(m_view.texts, c.toView);
        EXPECT_EQ(m_web, c.toWeb);
    }
}

TEST_F(BridgeTest, RepliesCarryTheResultAndTheRangeCheckedId)
{
    const struct
    {
        std::string request;
        std::string reply;
    } cases[] = {
        {R"({"method":"SetWindow","params":{"winID":3},"id":7})", Reply(7, "true")},
        {R"({"method":"SetWindow","params":{"winID":2.9},"id":7})", Reply(7, "true")},
        {R"({"method":"Answer","params":{},"id":1})", Reply(1, "42")},
        {R"({"method":"Answer","params":null,"id":1})", Reply(1, "42")},
        {R"({"method":"Answer","params":5,"id":1})", Reply(1, "42")},
        {R"({"method":"Touch","params":{},"id":5})", Reply(5, "\"null\"")},
        {R"({"method":"Answer","params":{},"id":3.9})", Reply(3, "42")},
        {R"({"method":"Answer","params":{},"id":-3.9})", Reply(-3, "42")},
        {R"({"method":"Answer","params":{},"id":"7"})", Reply(0, "42")},
        {R"({"method":"Answer","params":{},"id":true})", Reply(1, "42")},
        {R"({"method":"Answer","params":{},"id":false})", Reply(0, "42")},
        {R"({"method":"Answer","params":{},"id":null})", Reply(0, "42")},
        {R"({"method":"Answer","params":{},"id":{}})", Reply(0, "42")},
        {R"({"method":"Answer","params":{},"id":2147483647})", Reply(2147483647, "42")},
        {R"({"method":"Answer","params":{},"id":-2147483648})", Reply(-2147483647 - 1, "42")},
        {R"({"method":"Answer","params":{},"id":2147483648})", Reply(0, "42")},
        {R"({"method":"Answer","params":{},"id":3000000000})", Reply(0, "42")},
        {R"({"method":"Answer","params":{},"id":-9000000000})", Reply(0, "42")},
        {R"({"method":"Answer","params":{},"id":1e20})", Reply(0, "42")},
        {R"({"method":"Answer","params":{},"id":-1e300})", Reply(0, "42")},
        {R"({"method":"Answer","params":{},"id":1,"async":"true"})", Reply(1, "42")},
        {R"({"method":"Answer","params":{},"id":1,"async":false})", Reply(1, "42")},
        {R"({"method":"Answer","params":{},"id":1,"async":1})", Reply(1, "42")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request);
        Call(c.request);
        // Synchronous: the reply has gone out when the call returns.
        EXPECT_TRUE(m_view.texts.empty());
        EXPECT_EQ(m_web, Texts{c.reply});
    }
    EXPECT_EQ(m_service.lastWindow, 2);
    EXPECT_EQ(m_service.touched, 1);
}

TEST_F(BridgeTest, FailedCallsRunNoOtherTable)
{
    for (const char* name : {"Thrower", "Failing", "Hollow"}) {
        Call(std::string(R"({"method":")") + name + R"(","params":{"x":1},"id":1})");
        Call(std::string(R"({"method":")") + name + R"(","params":{"x":1},"id":1,"async":true})");
        ASSERT_TRUE(WaitForWeb(1)) << name;
    }
    EXPECT_EQ(m_service.fallbacks, 0);
}

namespace {

std::vector<std::string> g_debugLines;
QLoggingCategory::CategoryFilter g_previousFilter = nullptr;

// Debug output of the default category on, whatever the environment's rules.
void DefaultDebugOn(QLoggingCategory* category)
{
    if (g_previousFilter != nullptr)
        g_previousFilter(category);
    if (qstrcmp(category->categoryName(), "default") == 0)
        category->setEnabled(QtDebugMsg, true);
}

void RecordDebug(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtDebugMsg)
        g_debugLines.push_back(text.toStdString());
}

}  // namespace

TEST_F(BridgeTest, DebugOutputMasksPasswords)
{
    const struct
    {
        std::string request;
        std::string logged;  // the "strReq" line
    } cases[] = {
        {R"({"method":"Nope","params":{"user":"admin","password":"s3cret"},"id":1})",
         R"(strReq {"method":"Nope","params":{"user":"admin","password":"***"},"id":1})"},
        {R"({"method":"Nope","params":{"info":[{"PassWord" : 12345}],"passwords":"x"},"id":2})",
         R"(strReq {"method":"Nope","params":{"info":[{"PassWord" : "***"}],"passwords":"x"},"id":2})"},
        {R"({"method":"Nope","params":{"PASSWORD":{"old":"a","new":"b"},"x":"password"},"id":3})",
         R"(strReq {"method":"Nope","params":{"PASSWORD":"***","x":"password"},"id":3})"},
        {R"({"method":"Nope","params":{"password":"\"quoted\" \\"},"id":4})",
         R"(strReq {"method":"Nope","params":{"password":"***"},"id":4})"},
        // a repeated member, a name spelt with an escape, a comment holding a quote
        {R"({"method":"Nope","params":{"password":"s3cret","Password":1,"password":"s3cret"},"id":5})",
         R"(strReq {"method":"Nope","params":{"password":"***","Password":"***","password":"***"},"id":5})"},
        {R"({"method":"Nope","params":{"pass\u0077ord":"s3cret","x\"password":"y"},"id":6})",
         R"(strReq {"method":"Nope","params":{"pass\u0077ord":"***","x\"password":"y"},"id":6})"},
        {R"({"method":"Nope", /* " */ "params":{"password": // "
 "s3cret"},"id":7})",
         R"(strReq {"method":"Nope", /* " */ "params":{"password": // "
 "***"},"id":7})"},
    };
    g_previousFilter = QLoggingCategory::installFilter(DefaultDebugOn);
    const QtMessageHandler previous = qInstallMessageHandler(RecordDebug);
    for (const auto& c : cases) {
        g_debugLines.clear();
        Call(c.request);
        ASSERT_EQ(g_debugLines.size(), 2u) << c.request;
        EXPECT_EQ(g_debugLines[0], c.logged);
        const std::string& styled = g_debugLines[1];
        EXPECT_EQ(styled.rfind("request ", 0), 0u) << styled;
        for (const char* secret : {"s3cret", "12345", "quoted", "\"old\""})
            EXPECT_EQ(styled.find(secret), std::string::npos) << styled;
        // The request itself reaches the method unmasked.
        EXPECT_EQ(m_web, Texts{"Method not exist:" + c.request});
    }
    qInstallMessageHandler(previous);
    QLoggingCategory::installFilter(g_previousFilter);
}

TEST_F(BridgeTest, OverloadChoiceAcrossTablesAndWithinOne)
{
    const struct
    {
        std::string method;
        std::string params;
        std::string answer;  // empty: no overload fits
    } cases[] = {
        {"Pick", R"({"x":1})", "x table 3"},          // table 3 before table 1
        {"Pick", R"({"y":1})", "y table 2"},          // table 3 does not fit, table 2 does
        {"Pick", R"({"x":"s"})", "x string table 1"}, // second overload of table 1
        {"Pick", R"({"x":1,"y":2})", "xy table 1"},   // the member count selects
        {"Pick", R"({"z":1})", ""},
        {"Pick", R"({})", ""},
        {"Twice", R"({"x":1})", "first"},             // first registered wins
        {"Twice", R"({"x":"one"})", "text"},
    };
    for (const auto& c : cases) {
        const std::string request =
            R"({"method":")" + c.method + R"(","params":)" + c.params + R"(,"id":4})";
        SCOPED_TRACE(request);
        Call(request);
        EXPECT_EQ(m_web, Texts{c.answer.empty() ? "Method not exist:" + request
                                                : Reply(4, "\"" + c.answer + "\"")});
    }
}

TEST_F(BridgeTest, Utf8ParametersArriveUnchanged)
{
    const std::string text = "Kamera ✓ 摄像机 é \"q\" \\ %1";
    Json::Value request(Json::objectValue);
    request["method"] = "Echo";
    request["params"]["text"] = text;
    request["id"] = 9;
    Call(Foundation::JsonFastText(request));

    EXPECT_EQ(m_service.received, text);
    ASSERT_EQ(m_web.size(), 1u);
    Json::Value reply;
    ASSERT_TRUE(Foundation::JsonParse(m_web[0], reply));
    EXPECT_EQ(Foundation::JsonStringOrEmpty(Foundation::JsonMember(reply, "result")), text);
    EXPECT_EQ(Foundation::JsonToInt(Foundation::JsonMember(reply, "id")), 9);
}

TEST_F(BridgeTest, AsyncTrueRunsOnThePoolAndAnswersLater)
{
    Call(R"({"method":"Blocked","params":{},"id":11,"async":true})");
    // RPCcall has returned while the method is still held.
    EXPECT_TRUE(m_web.empty());
    EXPECT_TRUE(m_view.texts.empty());
    m_service.gate.Open();
    ASSERT_TRUE(WaitForWeb(1));
    EXPECT_EQ(m_web, Texts{Reply(11, "true")});
    EXPECT_FALSE(m_service.onGuiThread);
}

// What a registered service and a task of the worker that uses it note, kept apart from
// both.
struct ReleaseWitness
{
    std::mutex mutex;
    std::condition_variable changed;
    bool running = false;
    bool destroyed = false;
    bool destroyedWhileRunning = false;
};

struct WorkedService
{
    ReleaseWitness* witness;
    ~WorkedService()
    {
        std::lock_guard<std::mutex> lock(witness->mutex);
        witness->destroyed = true;
        witness->changed.notify_all();
    }
};

// Runs until the service is destroyed or a while has passed, and notes which came first.
class UsingTask : public Foundation::ITask
{
public:
    explicit UsingTask(ReleaseWitness* witness) : m_witness(witness) {}
    bool Run() override
    {
        std::unique_lock<std::mutex> lock(m_witness->mutex);
        m_witness->running = true;
        m_witness->changed.notify_all();
        m_witness->changed.wait_for(lock, std::chrono::milliseconds(300), [this] { return m_witness->destroyed; });
        m_witness->destroyedWhileRunning = m_witness->destroyed;
        return true;
    }
    bool IsRunnable() override { return true; }

private:
    ReleaseWitness* m_witness;
};

// The modules' task under way on the worker ends before the registry lets the services go.
TEST(BridgeRelease, TheWorkersTaskEndsBeforeTheServicesAreDestroyed)
{
    QTemporaryDir noModules;
    ModuleManager manager;
    manager.SetModuleFolder(noModules.path());
    ReleaseWitness witness;
    CTaskWorker worker;
    HostContext context;
    context.PostTask = fastdelegate::MakeDelegate(&worker, &CTaskWorker::PostTask);
    RegistModule bridge(&context, &worker, &manager);
    {
        Foundation::Any box(Foundation::CSharedPtr<WorkedService>(new WorkedService{&witness}));
        ASSERT_TRUE(bridge.Context()->RegisterObject("class WorkedService", &box));
    }
    Foundation::CSharedPtr<Foundation::ITask> task(static_cast<Foundation::ITask*>(new UsingTask(&witness)));
    ASSERT_TRUE(bridge.Context()->PostTask(0, &task));
    {
        std::unique_lock<std::mutex> lock(witness.mutex);
        ASSERT_TRUE(witness.changed.wait_for(lock, std::chrono::seconds(30), [&] { return witness.running; }));
    }
    bridge.ReleaseComponents();
    EXPECT_TRUE(witness.destroyed);
    EXPECT_FALSE(witness.destroyedWhileRunning) << "a service was destroyed under a task that uses it";
}

TEST_F(BridgeTest, ReleaseWaitsForRunningRequestsBeforePreRelease)
{
    struct Witness
    {
        Service* service;
        bool finishedAtPreRelease = false;
        void OnPreRelease() { finishedAtPreRelease = service->finished; }
    } witness{&m_service};
    Foundation::Any handler(fastdelegate::MakeDelegate(&witness, &Witness::OnPreRelease));
    ASSERT_TRUE(m_bridge->Context()->ConnectSignal("ImplComPreRelease", &handler));

    Call(R"({"method":"Blocked","params":{},"id":12,"async":true})");
    std::thread opener([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        m_service.gate.Open();
    });
    m_bridge->ReleaseComponents();
    opener.join();
    EXPECT_TRUE(witness.finishedAtPreRelease);

    // Released: a later request finds no method, also when asked for "async".
    ASSERT_TRUE(WaitForWeb(1));
    Call(R"({"method":"Answer","params":{},"id":1,"async":true})");
    EXPECT_EQ(m_web, Texts{R"(Method not exist:{"method":"Answer","params":{},"id":1,"async":true})"});
}

int main(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
