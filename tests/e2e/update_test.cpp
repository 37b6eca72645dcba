// The update road end to end: the real Brevix on a loopback page whose server also offers a
// newer module; the real checker and installer in the application folder; the upgrade
// question answered through the client's prompt script.
#include "brevixrun.h"
#include "smallfs.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTest>

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/types.h>

namespace {

const QByteArray kOldModule = "notes of version 1.0\n";

void Write(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(content);
}

// Processes whose executable is exactly `program` (the application folder's copy of Brevix,
// which only this test runs).
QList<pid_t> ProcessesOf(const QString& program)
{
    const QString exact = QFileInfo(program).canonicalFilePath();
    QList<pid_t> pids;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool number = false;
        const pid_t pid = static_cast<pid_t>(entry.toInt(&number));
        if (number && QFile::symLinkTarget(QStringLiteral("/proc/") + entry + QStringLiteral("/exe")) == exact)
            pids << pid;
    }
    return pids;
}

// Ends the client that the installer started again, by its process id.
void EndRestartedClient(const QString& program)
{
    for (pid_t pid : ProcessesOf(program))
        ::kill(pid, SIGTERM);
    if (!QTest::qWaitFor([&] { return ProcessesOf(program).isEmpty(); }, 15000)) {
        for (pid_t pid : ProcessesOf(program))
            ::kill(pid, SIGKILL);
    }
}

class UpdateRoad : public ::testing::Test
{
protected:
    UpdateRoad() : m_run(ReadFile(QStringLiteral(E2E_PAGE))) {}

    ~UpdateRoad() override { EndRestartedClient(m_run.AppFolder() + QStringLiteral("/Brevix")); }

    // The application folder with both updaters, an update configuration and version 1.0 of
    // the module; the page's server offers version 1.1 of it.
    bool Prepare()
    {
        if (!m_run.Prepare(QStringLiteral(E2E_FAKE_SORQUIN)))
            return false;
        const QString app = m_run.AppFolder();
        bool ok = true;
        for (const char* updater : {"Moltern", "Salvent"}) {
            const QString name = QLatin1Char('/') + QLatin1String(updater);
            ok = QFile::copy(QStringLiteral(BREVIX_APP_DIR) + name, app + name) && ok;
        }
        Write(app + QStringLiteral("/config/upgrade.ini"),
              "[App]\nDownloadDir=" + m_run.TempPath(QStringLiteral("download")).toUtf8()
                  + "\nSavedUpgradeConfig=server.ini\nServerUpgradeConfig=upgrade/server.ini\n"
                    "AppVersionConfig=config/version.ini\nSalvent=Salvent\nSavedSetup=setup.bin\nstartEXE=Brevix\n");
        Write(app + QStringLiteral("/config/version.ini"), "[App]\nSetupVersion=1.0.0\n[ModuleVersion]\nwhatsnew.txt=1.0\n");
        Write(app + QStringLiteral("/whatsnew.txt"), kOldModule);

        m_run.Server().SetFile("/upgrade/server.ini",
                               "[App]\nSetupVersion=1.0.0.1\nModuleUpgradePath=modules\nSetupPath=setup/none\n"
                               "[ModuleVersion]\nwhatsnew.txt=1.1\n");
        m_newModule = QByteArray("notes of version 1.1\n") + QByteArray(400000, '.');
        m_run.Server().SetFile("/modules/whatsnew.txt", m_newModule);

        // The client's own data folder, and another application's beside it.
        Write(DataHome() + QStringLiteral("/Brevix/e2e-marker"), "cached");
        Write(DataHome() + QStringLiteral("/Other/keep"), "keep");

        m_run.SetEnv(QStringLiteral("BREVIX_TEST_PROMPTS"), Journal());
        return ok;
    }

    QString DataHome() const { return m_run.TempPath(QStringLiteral("home/XDG_DATA_HOME")); }
    QString Journal() const { return m_run.TempPath(QStringLiteral("prompts.txt")); }
    QString App(const QString& name) const { return m_run.AppFolder() + QLatin1Char('/') + name; }

    QStringList Questions() const
    {
        return QString::fromUtf8(ReadFile(Journal())).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    QString Version() const
    {
        return QSettings(App(QStringLiteral("config/version.ini")), QSettings::IniFormat)
            .value(QStringLiteral("ModuleVersion/whatsnew.txt"))
            .toString();
    }

    // The page posted by the client the installer started again.
    bool RestartedClientLoadedThePage()
    {
        return QTest::qWaitFor([this] { return !m_run.Server().Results().isEmpty(); }, 90000);
    }

    BrevixRun m_run;
    SmallFileSystem m_small;   // goes before the run's folder, after the restarted client
    QByteArray m_newModule;
};

TEST_F(UpdateRoad, ModuleUpgradeIsInstalledAndTheClientRestarted)
{
    ASSERT_TRUE(Prepare());
    // Yes to the upgrade; the "downloading" box stays open until the installer ends the client.
    m_run.SetEnv(QStringLiteral("BREVIX_TEST_ANSWERS"), QStringLiteral("Yes,Wait"));
    ASSERT_TRUE(m_run.Start({QStringLiteral("-Hf")}));

    ASSERT_TRUE(RestartedClientLoadedThePage()) << Questions().join('\n').toStdString();
    PageAnswers answers;
    ASSERT_TRUE(SplitAnswers(m_run.Server().Results().first(), answers));
    EXPECT_EQ(answers.count, 5u);

    // Asked once, by the first client; the restarted one found nothing newer.
    const QStringList questions = Questions();
    ASSERT_EQ(questions.size(), 2) << questions.join('\n').toStdString();
    EXPECT_TRUE(questions[0].startsWith(QStringLiteral("Yes\t"))) << questions[0].toStdString();
    EXPECT_TRUE(questions[1].startsWith(QStringLiteral("Wait\t"))) << questions[1].toStdString();
    EXPECT_NE(questions[0].section(QLatin1Char('\t'), 1), questions[1].section(QLatin1Char('\t'), 1));
    EXPECT_EQ(ReadFile(App(QStringLiteral("whatsnew.txt"))), m_newModule);
    EXPECT_EQ(Version(), QStringLiteral("1.1"));

    // The installer stopped the first client and cleared only its data folder.
    EXPECT_FALSE(QFileInfo::exists(DataHome() + QStringLiteral("/Brevix/e2e-marker")));
    EXPECT_TRUE(QFileInfo::exists(DataHome() + QStringLiteral("/Other/keep")));
    const QSettings settings(App(QStringLiteral("config/setting.ini")), QSettings::IniFormat);
    EXPECT_EQ(QFileInfo(settings.value(QStringLiteral("App/localData")).toString()).canonicalFilePath(),
              QFileInfo(DataHome() + QStringLiteral("/Brevix")).canonicalFilePath());
    EXPECT_EQ(ProcessesOf(App(QStringLiteral("Brevix"))).size(), 1);
}

// The application folder is on a full disk: the install fails, the old module stays whole,
// no version is recorded, and the restarted client asks again (answered No here).
TEST_F(UpdateRoad, FullInstallFolderKeepsTheOldModule)
{
    QString why;
    const qint64 programs = QFileInfo(QStringLiteral(BREVIX_APP_DIR "/Brevix")).size()
        + QFileInfo(QStringLiteral(BREVIX_APP_DIR "/Moltern")).size()
        + QFileInfo(QStringLiteral(BREVIX_APP_DIR "/Salvent")).size();
    if (!m_small.Mount(m_run.AppFolder(), programs + (8 << 20), &why))
        GTEST_SKIP() << "no small file system: " << why.toStdString();
    ASSERT_TRUE(Prepare());
    ASSERT_TRUE(m_small.FillLeaving(192 * 1024));
    m_run.SetEnv(QStringLiteral("BREVIX_TEST_ANSWERS"), QStringLiteral("Yes,Wait,No"));
    ASSERT_TRUE(m_run.Start({QStringLiteral("-Hf")}));

    ASSERT_TRUE(RestartedClientLoadedThePage()) << Questions().join('\n').toStdString();
    const QStringList questions = Questions();
    ASSERT_EQ(questions.size(), 3) << questions.join('\n').toStdString();
    EXPECT_TRUE(questions[2].startsWith(QStringLiteral("No\t"))) << questions[2].toStdString();
    EXPECT_EQ(questions[2].section(QLatin1Char('\t'), 1), questions[0].section(QLatin1Char('\t'), 1));
    EXPECT_EQ(ReadFile(App(QStringLiteral("whatsnew.txt"))), kOldModule);
    EXPECT_EQ(Version(), QStringLiteral("1.0"));
    EXPECT_TRUE(m_run.Server().Requests().contains("/modules/whatsnew.txt"))
        << m_run.Server().Requests().join(' ').toStdString();
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
