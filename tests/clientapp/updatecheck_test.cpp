#include "clientprompts.h"
#include "recordingprompter.h"
#include "scriptedprompter.h"
#include "updatechecker.h"
#include "windowfixture.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// How long a test waits for the page to load: generous, since a loaded machine starts the
// checker and the web view slowly; a passing run returns at the signal.
constexpr int kLoadTimeoutMs = 30000;

// The loads a window asks for, recorded on the test's thread: the window emits its load
// signal from the checker's thread, possibly before the test starts waiting.
class LoadLog
{
public:
    explicit LoadLog(MainWindow& window)
    {
        QObject::connect(&window, &MainWindow::LoadURLSignal, &m_context,
                         [this](int code, QUrl url) { m_loads.append({code, url}); }, Qt::QueuedConnection);
    }
    bool Wait(int ms = kLoadTimeoutMs) { return QTest::qWaitFor([this] { return !m_loads.isEmpty(); }, ms); }
    int size() const { return m_loads.size(); }
    int FirstCode() const { return m_loads.first().first; }
    QUrl FirstUrl() const { return m_loads.first().second; }

private:
    QObject m_context;
    QList<QPair<int, QUrl>> m_loads;
};

// Puts a stand-in update checker into the application folder.
void WriteChecker(const QString& folder, const QByteArray& script)
{
    QFile file(folder + QStringLiteral("/Moltern"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("#!/bin/sh\n" + script);
    file.close();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

void Enter(MainWindow& window, const char* address)
{
    window.EnterDevice(TopToolbar::Go, QUrl(QString::fromLatin1(address)));
}

TEST(UpdateCheck, ExitCodeDecidesThePrompt)
{
    struct Case
    {
        const char* script;
        const char* detail;  // nullptr: no prompt
    };
    for (const Case& c : {Case{"exit 0", nullptr}, Case{"exit 4", nullptr}, Case{"exit 255", nullptr},
                          Case{"kill -SEGV $$", nullptr}, Case{"exit 2", "installLbl"}, Case{"exit 1", "upgradeLbl"},
                          Case{"exit 3", "upgradeLbl"}}) {
        WindowFixture fixture;
        WriteChecker(fixture.Folder(), c.script);
        RecordingPrompter prompter(QMessageBox::No);
        LoadLog loads(fixture.Window());
        Enter(fixture.Window(), "http://127.0.0.1:9/");
        ASSERT_TRUE(loads.Wait()) << c.script;
        QTest::qWait(20);
        if (c.detail == nullptr) {
            EXPECT_TRUE(prompter.Asked().isEmpty()) << c.script;
        } else {
            ASSERT_EQ(prompter.Asked().size(), 1) << c.script;
            EXPECT_EQ(prompter.Asked().first().informativeText, QString::fromLatin1(c.detail));
        }
        // Answered No or not asked: the page loads and the bridge exists.
        EXPECT_NE(fixture.Window().Bridge(), nullptr) << c.script;
    }
}

TEST(UpdateCheck, MissingCheckerLoadsThePage)
{
    WindowFixture fixture;
    RecordingPrompter prompter(QMessageBox::Yes);
    LoadLog loads(fixture.Window());
    Enter(fixture.Window(), "http://127.0.0.1:9/");
    ASSERT_TRUE(loads.Wait());
    EXPECT_EQ(loads.FirstCode(), -2);
    EXPECT_TRUE(prompter.Asked().isEmpty());
}

TEST(UpdateCheck, OnlyTheNewestAddressIsLoaded)
{
    WindowFixture fixture;
    WriteChecker(fixture.Folder(), "case \"$1\" in *first*) sleep 1;; esac\nexit 0\n");
    LoadLog loads(fixture.Window());
    Enter(fixture.Window(), "http://127.0.0.1:9/first");
    Enter(fixture.Window(), "http://127.0.0.1:9/second");
    ASSERT_TRUE(loads.Wait());
    QTest::qWait(1600);   // the first check ends meanwhile and must load nothing
    ASSERT_EQ(loads.size(), 1);
    EXPECT_EQ(loads.FirstUrl(), QUrl(QStringLiteral("http://127.0.0.1:9/second")));
}

TEST(UpdateCheck, EnteringWhileStopShowsOnlyResetsTheButton)
{
    WindowFixture fixture;
    LoadLog loads(fixture.Window());
    fixture.Window().EnterDevice(TopToolbar::Stop, QUrl(QStringLiteral("http://127.0.0.1:9/")));
    EXPECT_EQ(fixture.Window().Toolbar()->GoStatus(), TopToolbar::Refresh);
    QTest::qWait(300);
    EXPECT_EQ(loads.size(), 0);
}

TEST(UpdateCheck, ClosingDoesNotWaitForAHangingChecker)
{
    QElapsedTimer timer;
    {
        WindowFixture fixture;
        WriteChecker(fixture.Folder(), "exec sleep 60\n");
        Enter(fixture.Window(), "http://127.0.0.1:9/");
        QTest::qWait(200);
        timer.start();
    }
    // The window ended the check after its grace period instead of hanging.
    EXPECT_LT(timer.elapsed(), 30000);
}

// A checker kept busy for ever (a server that trickles) must not hold the page back: the wait
// ends at its limit, the checker is ended and the check counts as failed, so nothing is offered.
TEST(UpdateCheck, WaitForTheCheckerHasALimit)
{
    QTemporaryDir dir;
    WriteChecker(dir.path(), "exec sleep 60\n");
    UpdateChecker checker(dir.path() + QStringLiteral("/Moltern"), 300);
    EXPECT_EQ(checker.Run(QUrl(QStringLiteral("http://127.0.0.1:9/"))), UpdateChecker::kCrashed);

    WriteChecker(dir.path(), "exit 3\n");   // a checker that answers in time is heard
    UpdateChecker patient(dir.path() + QStringLiteral("/Moltern"), 30000);
    EXPECT_EQ(patient.Run(QUrl(QStringLiteral("http://127.0.0.1:9/"))), 3);
}

// Runs driven by tests answer from a script; the journal carries the place in the script
// from one run of the client to the next (a client restarted by the installer goes on where
// the first one stopped).
TEST(UpdateCheck, ScriptedAnswersGoOnAcrossRuns)
{
    QTemporaryDir dir;
    const QString journal = dir.filePath(QStringLiteral("prompts.txt"));
    const QStringList script{QStringLiteral("Yes"), QStringLiteral("Wait"), QStringLiteral("No")};
    const PromptSpec question = ClientPrompts::UpgradeQuestion(1, nullptr);
    const PromptSpec notice = ClientPrompts::DownloadingNotice(nullptr);

    {
        ScriptedPrompter first(journal, script);
        EXPECT_EQ(first.Ask(question), QMessageBox::Yes);
        // "Wait" keeps the box open until the program ends.
        QTimer::singleShot(50, [&first] { first.EndWaiting(); });
        EXPECT_EQ(first.Ask(notice), QMessageBox::Cancel);
    }
    ScriptedPrompter restarted(journal, script);
    EXPECT_EQ(restarted.Ask(question), QMessageBox::No);
    EXPECT_EQ(restarted.Ask(question), QMessageBox::Yes);   // past the script: the default button

    QFile file(journal);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], QStringLiteral("Yes\t") + question.text + QLatin1Char('\t') + question.informativeText);
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("Wait\t") + notice.text));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("No\t")));
    EXPECT_TRUE(lines[3].startsWith(QStringLiteral("Yes\t")));
}

}  // namespace
