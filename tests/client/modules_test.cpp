#include "journal.h"

#include "modulemanager.h"
#include "registmodule.h"
#include "taskworker.h"

#include <foundation/Foundation.h>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Names = std::vector<std::string>;

const Names kLoadOrder{"Vantrel", "Tolvane", "Sorquin", "swscale", "Hadrune", "play", "Quillnet"};
const Names kWalkOrder{"Vantrel", "Hadrune", "Tolvane", "Sorquin", "Quillnet", "play", "swscale"};

QString FixtureFile(const std::string& name)
{
    return QStringLiteral(CLIENT_FIXTURE_MODULE_DIR "/lib%1.so").arg(QString::fromStdString(name));
}

// A module folder holding copies of the named fixture modules.
class ModuleFolder
{
public:
    explicit ModuleFolder(const Names& modules)
    {
        for (const std::string& name : modules)
            Add(name, name);
    }
    // Installs fixture module `from` under the name `as`.
    void Add(const std::string& from, const std::string& as)
    {
        QFile::copy(FixtureFile(from), m_dir.filePath(QStringLiteral("lib%1.so").arg(QString::fromStdString(as))));
    }
    QString Path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

Names Without(Names names, const std::string& missing)
{
    names.erase(std::remove(names.begin(), names.end(), missing), names.end());
    return names;
}

int g_messages = 0;
void CountMessage(QtMsgType, const QMessageLogContext&, const QString&)
{
    ++g_messages;
}

using FixtureNameFn = const char* (*)();

}  // namespace

TEST(ModuleManagerTest, LoadsInLoadOrderAndWalksEveryStepInWalkOrder)
{
    FixtureJournal journal;
    ModuleFolder folder(kLoadOrder);
    ModuleManager manager;
    manager.SetModuleFolder(folder.Path());
    HostContext context;

    ASSERT_TRUE(manager.LoadAll());
    EXPECT_EQ(journal.ModulesWith("loaded"), kLoadOrder);
    EXPECT_EQ(manager.LoadedModules(), kWalkOrder);

    EXPECT_TRUE(manager.InitAll(&context));
    EXPECT_TRUE(manager.LoadImplObjectsAll(&context, ""));
    EXPECT_EQ(journal.ModulesWith("InitModule"), kWalkOrder);
    EXPECT_EQ(journal.ModulesWith("LoadImplObjects ''"), kWalkOrder);
    EXPECT_TRUE(journal.ModulesWith("CheckModule").empty());

    // Once-flags: nothing happens a second time before ClearAll.
    journal.Clear();
    EXPECT_FALSE(manager.LoadAll());
    EXPECT_FALSE(manager.InitAll(&context));
    EXPECT_TRUE(journal.Lines().isEmpty());

    EXPECT_TRUE(manager.ClearAll());
    EXPECT_EQ(journal.ModulesWith("ClearModule"), kWalkOrder);
    EXPECT_EQ(journal.ModulesWith("unloaded"), kWalkOrder);
    EXPECT_TRUE(manager.LoadedModules().empty());

    // Cleared: the list loads and initialises again.
    journal.Clear();
    EXPECT_TRUE(manager.LoadAll());
    EXPECT_TRUE(manager.InitAll(&context));
    EXPECT_EQ(journal.ModulesWith("InitModule"), kWalkOrder);
    manager.ClearAll();
}

TEST(ModuleManagerTest, MissingModuleIsSkippedWithoutAWord)
{
    for (const std::string& missing : {std::string("Sorquin"), std::string("Vantrel"), std::string("swscale")}) {
        SCOPED_TRACE(missing);
        FixtureJournal journal;
        ModuleFolder folder(Without(kLoadOrder, missing));
        ModuleManager manager;
        manager.SetModuleFolder(folder.Path());
        HostContext context;

        g_messages = 0;
        const QtMessageHandler previous = qInstallMessageHandler(CountMessage);
        manager.LoadAll();
        manager.InitAll(&context);
        manager.LoadImplObjectsAll(&context, "");
        manager.ClearAll();
        qInstallMessageHandler(previous);

        const Names expected = Without(kWalkOrder, missing);
        EXPECT_EQ(journal.ModulesWith("InitModule"), expected);
        EXPECT_EQ(journal.ModulesWith("LoadImplObjects ''"), expected);
        EXPECT_EQ(journal.ModulesWith("ClearModule"), expected);
        EXPECT_EQ(g_messages, 0);
    }
}

TEST(ModuleManagerTest, ResolveFunctionLoadsOnDemandAndAnswersNullForWhatIsMissing)
{
    FixtureJournal journal;
    ModuleFolder folder(Without(kLoadOrder, "Quillnet"));
    ModuleManager manager;
    manager.SetModuleFolder(folder.Path());

    struct Case
    {
        const char* module;
        const char* function;
        const char* answers;  // what the resolved FixtureName answers; null: nothing resolved
    };
    const Case cases[] = {
        {"play", "FixtureName", "play"},          // loaded on demand, before LoadAll
        {"play", "NoSuchFunction", nullptr},
        {"Quillnet", "FixtureName", nullptr},     // not on disk
        {"Quillnet", "FixtureName", nullptr},     // asked again: still nothing
        {"../modules/libplay", "FixtureName", nullptr},
        {"", "FixtureName", nullptr},
        {nullptr, "FixtureName", nullptr},
        {"play", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.module ? c.module : "(null)") + "/" + (c.function ? c.function : "(null)"));
        auto function = reinterpret_cast<FixtureNameFn>(manager.LoadModule(c.module, c.function));
        if (c.answers == nullptr) {
            EXPECT_EQ(function, nullptr);
        } else {
            ASSERT_NE(function, nullptr);
            EXPECT_STREQ(function(), c.answers);
        }
    }

    // Each ask retries the load: once the file is there, the function is found.
    folder.Add("Quillnet", "Quillnet");
    auto function = reinterpret_cast<FixtureNameFn>(manager.LoadModule("Quillnet", "FixtureName"));
    ASSERT_NE(function, nullptr);
    EXPECT_STREQ(function(), "Quillnet");

    // Modules loaded on demand are not loaded twice and take their walk place.
    manager.LoadAll();
    EXPECT_EQ(journal.ModulesWith("loaded"), (Names{"play", "Quillnet", "Vantrel", "Tolvane", "Sorquin",
                                                    "swscale", "Hadrune"}));
    EXPECT_EQ(manager.LoadedModules(), kWalkOrder);
    manager.ClearAll();
}

TEST(ModuleManagerTest, LogLevelTableIsOneProcessWideRecord)
{
    ModuleManager first;
    ModuleManager second;
    Foundation::LogLevelTable* table = first.GetLogLevelTable("console");
    ASSERT_NE(table, nullptr);
    for (const char* sink : {"console", "file", "", static_cast<const char*>(nullptr)})
        EXPECT_EQ(second.GetLogLevelTable(sink), table);
}

class RegistModuleLifecycleTest : public ::testing::Test
{
protected:
    RegistModuleLifecycleTest()
    {
        m_context.PostTask = fastdelegate::MakeDelegate(&m_worker, &CTaskWorker::PostTask);
        m_context.flags = 0xabcd01;
        m_manager.SetModuleFolder(m_folder.Path());
    }

    FixtureJournal m_journal;
    ModuleFolder m_folder{kLoadOrder};
    ModuleManager m_manager;
    CTaskWorker m_worker;
    HostContext m_context;
};

TEST_F(RegistModuleLifecycleTest, FillsTheHostContextAndHandsTheModulesACopy)
{
    const auto postTask = m_context.PostTask;
    RegistModule bridge(&m_context, &m_worker, &m_manager);

    const bool filled[16] = {
        !m_context.AddSignal.empty(),     !m_context.RemoveSignal.empty(),
        !m_context.ConnectSignal.empty(), !m_context.DisconnectSignal.empty(),
        !m_context.RegisterObject.empty(), !m_context.QueryObject.empty(),
        !m_context.RegisterMethod.empty(), !m_context.Reserved7.empty(),
        !m_context.ResolveFunction.empty(), !m_context.PostTask.empty(),
        !m_context.GetLogLevelTable.empty(), !m_context.RegisterMethod2.empty(),
        !m_context.RegisterMethod3.empty(), !m_context.SendToWeb.empty(),
        !m_context.Reserved14.empty(),    !m_context.Reserved15.empty()};
    for (int slot = 0; slot < 16; ++slot)
        EXPECT_EQ(filled[slot], slot != 7 && slot != 14 && slot != 15) << "slot " << slot;
    EXPECT_TRUE(m_context.PostTask == postTask);

    HostContext* copy = bridge.Context();
    EXPECT_NE(copy, &m_context);
    EXPECT_TRUE(copy->PostTask == postTask);
    EXPECT_TRUE(copy->SendToWeb == m_context.SendToWeb);
    EXPECT_EQ(copy->flags, 0x01u);  // only the compatibility byte travels

    // Through the copy a module reaches the module manager and the log levels.
    auto function = reinterpret_cast<FixtureNameFn>(copy->ResolveFunction("Hadrune", "FixtureName"));
    ASSERT_NE(function, nullptr);
    EXPECT_STREQ(function(), "Hadrune");
    EXPECT_EQ(copy->GetLogLevelTable("console"), m_manager.GetLogLevelTable("console"));
}

TEST_F(RegistModuleLifecycleTest, StartAndTeardownRunInOrder)
{
    RegistModule bridge(&m_context, &m_worker, &m_manager);

    // Start: every module initialised, then every module filled, then "ImplComLoaded".
    EXPECT_EQ(m_journal.ModulesWith("InitModule"), kWalkOrder);
    EXPECT_EQ(m_journal.ModulesWith("LoadImplObjects ''"), kWalkOrder);
    EXPECT_EQ(m_journal.ModulesWith("connect ImplComLoaded true"), kWalkOrder);
    EXPECT_EQ(m_journal.ModulesWith("ImplComLoaded"), kWalkOrder);
    EXPECT_LT(m_journal.Last("InitModule"), m_journal.First("LoadImplObjects ''"));
    EXPECT_LT(m_journal.Last("LoadImplObjects ''"), m_journal.First("ImplComLoaded"));
    EXPECT_TRUE(m_journal.ModulesWith("ImplComPreRelease service found").empty());
    EXPECT_FALSE(bridge.Objects().QueryObject("class Fixture::Tolvane").empty());

    // Keep the worker busy until its Stop begins, so that what a module posts
    // while it is cleared is still queued then.
    std::mutex mutex;
    std::condition_variable opened;
    bool open = false;
    struct Busy : Foundation::ITask
    {
        std::function<void()> body;
        bool Run() override
        {
            body();
            return true;
        }
        bool IsRunnable() override { return true; }
    };
    auto* busy = new Busy;
    busy->body = [&] {
        std::unique_lock<std::mutex> lock(mutex);
        opened.wait(lock, [&] { return open; });
    };
    Foundation::CSharedPtr<Foundation::ITask> busyTask(static_cast<Foundation::ITask*>(busy));
    ASSERT_TRUE(m_worker.PostTask(0, &busyTask));
    std::thread opener([&] {
        Foundation::CSharedPtr<Foundation::ITask> probe(static_cast<Foundation::ITask*>(new Busy));
        while (m_worker.PostTask(-1, &probe))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::lock_guard<std::mutex> lock(mutex);
        open = true;
        opened.notify_all();
    });

    m_journal.Clear();
    bridge.ReleaseComponents();
    opener.join();

    // Teardown: "ImplComPreRelease" while every service is registered, services
    // released, "ClearModule", the worker's leftovers gone, then the code unloaded.
    EXPECT_EQ(m_journal.ModulesWith("ImplComPreRelease service found"), kWalkOrder);
    EXPECT_EQ(m_journal.ModulesWith("service released").size(), kWalkOrder.size());
    EXPECT_EQ(m_journal.ModulesWith("ClearModule"), kWalkOrder);
    EXPECT_EQ(m_journal.ModulesWith("unloaded"), kWalkOrder);
    const int leftover = m_journal.IndexOf("Tolvane task dropped");
    ASSERT_NE(leftover, -1);
    EXPECT_LT(m_journal.Last("ImplComPreRelease service found"), m_journal.First("service released"));
    EXPECT_LT(m_journal.Last("service released"), m_journal.First("ClearModule"));
    EXPECT_LT(m_journal.IndexOf("Tolvane ClearModule"), leftover);  // posted there
    EXPECT_LT(leftover, m_journal.First("unloaded"));

    EXPECT_TRUE(bridge.Objects().QueryObject("class Fixture::Tolvane").empty());
    Foundation::CSharedPtr<Foundation::ITask> task;
    EXPECT_FALSE(m_worker.PostTask(0, &task));
    EXPECT_TRUE(m_manager.LoadedModules().empty());

    // A second release does nothing.
    m_journal.Clear();
    bridge.ReleaseComponents();
    EXPECT_TRUE(m_journal.Lines().isEmpty());
}

TEST_F(RegistModuleLifecycleTest, DestroyingTheBridgeReleasesTheModules)
{
    {
        RegistModule bridge(&m_context, &m_worker, &m_manager);
    }
    EXPECT_EQ(m_journal.ModulesWith("ClearModule"), kWalkOrder);
    EXPECT_EQ(m_journal.ModulesWith("unloaded"), kWalkOrder);
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
