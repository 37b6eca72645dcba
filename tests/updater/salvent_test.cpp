#include "qstringprint.h"
#include "httpserver.h"
#include "programfolder.h"
#include "smallfs.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>

namespace {

QByteArray UpgradeIni(const QString& client, const QString& base, int fullUpgrade, const QByteArray& modules)
{
    return QStringLiteral("[App]\nDownloadDir=download\nSavedUpgradeConfig=server.ini\n"
                          "ServerUpgradeConfig=upgrade/server.ini\nAppVersionConfig=config/version.ini\n"
                          "Salvent=Salvent\nSavedSetup=setup.bin\nstartEXE=%1\nServerURL=%2\n"
                          "isFullUpgrade=%3\nrebootAppRequired=0\n[UpgradeModule]\n")
               .arg(client, base)
               .arg(fullUpgrade)
               .toUtf8()
        + modules;
}

const char kServerIni[] =
    "[App]\nSetupVersion=3.1.2.0\nModuleUpgradePath=modules\nSetupPath=setup/full.bin\n"
    "[libpkg.so_DependModule]\nlibpkg.so=plugins\npkgres.dat=plugins\n"
    "[libdeep.so_DependModule]\nlibdeep.so=deep/er\n"
    "[libevil.so_DependModule]\nevil.so=../outside\n"
    "[libhalf.so_DependModule]\nlibhalf.so=plugins\nhalfres.dat=plugins\n"
    "[skin.pak_DependModule]\nskin1.dat=skins\nskin2.dat=skins\n"
    "[ModuleVersion]\nlibplain.so=2.0\nlibpkg.so=3.0\nlibbroken.so=5.0\nlibstalled.so=6.0\nlibdeep.so=7.0\n"
    "libevil.so=8.0\nlibhalf.so=5.5\nskin.pak=4.0\nnewtool=1.2\nfull/libbig.so=2.0\n";

const char kVersionIni[] =
    "[App]\nSetupVersion=3.1.0.0\n"
    "[ModuleVersion]\nlibplain.so=1.0\nlibbroken.so=1.0\nlibstalled.so=1.0\nlibdeep.so=1.0\nlibevil.so=1.0\n"
    "libhalf.so=1.0\nskin.pak=1.0\n";

// An installation with a running fake client (started by the test) and, outside the program
// folder, a second copy of it under the same name that must survive.
class SalventTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_client = m_folder.UniqueName(QStringLiteral("fakecli"));
        m_folder.InstallHelper(QStringLiteral(FAKE_CLIENT_PATH), m_client);
        const QString bystander = m_folder.InstallHelper(QStringLiteral(FAKE_CLIENT_PATH),
                                                         QStringLiteral("../elsewhere/") + m_client);
        m_folder.WriteFile(QStringLiteral("config/version.ini"), kVersionIni);
        m_folder.WriteFile(QStringLiteral("download/server.ini"), kServerIni);
        m_folder.WriteFile(QStringLiteral("config/setting.ini"), "[App]\nlocalData=\n");
        QDir().mkpath(m_folder.DataHome() + QLatin1Char('/') + m_client + QStringLiteral("/cache"));
        QDir().mkpath(m_folder.DataHome() + QStringLiteral("/unrelated"));

        m_running.start(m_folder.Path(m_client), QStringList());
        m_bystander.start(bystander, QStringList());
        ASSERT_TRUE(m_running.waitForStarted());
        ASSERT_TRUE(m_bystander.waitForStarted());
        ASSERT_TRUE(m_folder.WaitForMarker(m_folder.App(), m_client, 0, 5000));
        m_firstPid = static_cast<pid_t>(m_running.processId());
    }

    void TearDown() override
    {
        for (QProcess* process : {&m_running, &m_bystander}) {
            process->kill();
            process->waitForFinished(5000);
        }
    }

    ProgramFolder::Run RunSalvent()
    {
        const ProgramFolder::Run run = m_folder.RunProgram(QStringLiteral("Salvent"), {});
        EXPECT_TRUE(run.finished);
        EXPECT_EQ(run.exitCode, 0);
        return run;
    }

    bool ClientStopped() { return m_running.waitForFinished(5000) || m_running.state() == QProcess::NotRunning; }

    // A client started anew from the program folder (not the one the test started).
    bool ClientRestarted()
    {
        if (!m_folder.WaitForMarker(m_folder.App(), m_client, m_firstPid, 5000))
            return false;
        for (pid_t pid : m_folder.MarkerPids(m_folder.App(), m_client)) {
            if (pid != m_firstPid)
                return m_folder.MarkerLines(m_folder.App(), m_client, pid).value(1)
                    == QFileInfo(m_folder.App()).canonicalFilePath();
        }
        return false;
    }

    QString Version(const QString& key) const
    {
        return m_folder.IniValue(QStringLiteral("config/version.ini"), key);
    }

    LoopbackHttpServer m_server;
    ProgramFolder m_folder;
    QString m_client;
    QProcess m_running;
    QProcess m_bystander;
    pid_t m_firstPid = 0;
};

TEST_F(SalventTest, InstallsModulesAndRestartsTheClient)
{
    m_folder.SetDataTimeoutMs(500);
    m_folder.WriteFile(QStringLiteral("config/upgrade.ini"),
                       UpgradeIni(m_client, m_server.BaseUrl(), 0,
                                  "libplain.so=2.0\nlibpkg.so=3.0\nlibbroken.so=5.0\nlibstalled.so=6.0\n"
                                  "libdeep.so=7.0\nlibevil.so=8.0\n..\\escape.so=9.0\n"
                                  "libhalf.so=5.5\nskin.pak=4.0\nnewtool=1.2\n"));
    for (const char* name : {"libplain.so", "libbroken.so", "libstalled.so"})
        m_folder.WriteFile(QString::fromLatin1(name), QByteArray("old ") + name);
    QDir().mkpath(m_folder.Path(QStringLiteral("download/deep")));   // downloadable, not installable

    const QByteArray body(4096, 'z');
    m_server.SetFile(QStringLiteral("/modules/libplain.so"), "new plain");
    m_server.SetFile(QStringLiteral("/modules/plugins/libpkg.so"), "new pkg");
    m_server.SetFile(QStringLiteral("/modules/plugins/pkgres.dat"), "new res");
    m_server.SetRoute(QStringLiteral("/modules/libbroken.so"), HttpRoute{200, body, HttpRoute::Mode::CloseMidway});
    m_server.SetRoute(QStringLiteral("/modules/libstalled.so"), HttpRoute{200, body, HttpRoute::Mode::StallMidway});
    m_server.SetFile(QStringLiteral("/modules/deep/er/libdeep.so"), "new deep");
    m_server.SetFile(QStringLiteral("/modules/../outside/evil.so"), "evil");
    m_server.SetFile(QStringLiteral("/outside/evil.so"), "evil");
    m_folder.WriteFile(QStringLiteral("plugins/libhalf.so"), "old half");
    m_server.SetFile(QStringLiteral("/modules/plugins/libhalf.so"), "new half");   // its other file is missing
    m_server.SetFile(QStringLiteral("/modules/skins/skin1.dat"), "skin one");
    m_server.SetFile(QStringLiteral("/modules/skins/skin2.dat"), "skin two");
    QFile program(QStringLiteral(FAKE_SETUP_PATH));
    ASSERT_TRUE(program.open(QIODevice::ReadOnly));
    m_server.SetFile(QStringLiteral("/modules/newtool"), program.readAll());

    RunSalvent();

    EXPECT_TRUE(ClientStopped());
    EXPECT_EQ(m_bystander.state(), QProcess::Running);
    EXPECT_TRUE(ClientRestarted());

    // Installed, with versions.
    EXPECT_EQ(m_folder.ReadFile(QStringLiteral("libplain.so")), QByteArray("new plain"));
    EXPECT_EQ(m_folder.ReadFile(QStringLiteral("plugins/libpkg.so")), QByteArray("new pkg"));
    EXPECT_EQ(m_folder.ReadFile(QStringLiteral("plugins/pkgres.dat")), QByteArray("new res"));
    EXPECT_FALSE(m_folder.Exists(QStringLiteral("libpkg.so")));
    EXPECT_EQ(Version(QStringLiteral("ModuleVersion/libplain.so")), QStringLiteral("2.0"));
    EXPECT_EQ(Version(QStringLiteral("ModuleVersion/libpkg.so")), QStringLiteral("3.0"));
    EXPECT_EQ(Version(QStringLiteral("App/SetupVersion")), QStringLiteral("3.1.2.0"));

    // Installed through dependent files none of which is an upgrade key: the version is recorded.
    EXPECT_EQ(m_folder.ReadFile(QStringLiteral("skins/skin1.dat")), QByteArray("skin one"));
    EXPECT_EQ(m_folder.ReadFile(QStringLiteral("skins/skin2.dat")), QByteArray("skin two"));
    EXPECT_EQ(Version(QStringLiteral("ModuleVersion/skin.pak")), QStringLiteral("4.0"));
    // A new program that replaces nothing can be run.
    EXPECT_TRUE(QFileInfo(m_folder.Path(QStringLiteral("newtool"))).isExecutable());
    EXPECT_EQ(Version(QStringLiteral("ModuleVersion/newtool")), QStringLiteral("1.2"));
    // One of a module's files missing: none of them is installed, the old module stays whole.
    EXPECT_EQ(m_folder.ReadFile(QStringLiteral("plugins/libhalf.so")), QByteArray("old half"));
    EXPECT_FALSE(m_folder.Exists(QStringLiteral("plugins/halfres.dat")));
    EXPECT_EQ(Version(QStringLiteral("ModuleVersion/libhalf.so")), QStringLiteral("1.0"));
    EXPECT_EQ(m_folder.IniValue(QStringLiteral("config/upgrade.ini"), QStringLiteral("DownloadFailed/halfres.dat")),
              m_server.BaseUrl() + QStringLiteral("/modules/plugins/halfres.dat"));

    // Downloads that broke off: installed file and version untouched, failure recorded.
    const QString upgradeIni = QStringLiteral("config/upgrade.ini");
    for (const char* name : {"libbroken.so", "libstalled.so"}) {
        const QString key = QString::fromLatin1(name);
        EXPECT_EQ(m_folder.ReadFile(key), QByteArray("old ") + name);
        EXPECT_EQ(Version(QStringLiteral("ModuleVersion/") + key), QStringLiteral("1.0"));
        EXPECT_EQ(m_folder.IniValue(upgradeIni, QStringLiteral("DownloadFailed/") + key),
                  m_server.BaseUrl() + QStringLiteral("/modules/") + key);
    }
    // A folder two levels deep is not made: downloaded, not installed, version kept.
    EXPECT_EQ(m_folder.ReadFile(QStringLiteral("download/deep/er/libdeep.so")), QByteArray("new deep"));
    EXPECT_FALSE(m_folder.Exists(QStringLiteral("deep")));
    EXPECT_EQ(Version(QStringLiteral("ModuleVersion/libdeep.so")), QStringLiteral("1.0"));
    // Names that climb out of the program folder are refused.
    EXPECT_FALSE(QFileInfo::exists(m_folder.Root() + QStringLiteral("/outside")));
    EXPECT_FALSE(QFileInfo::exists(m_folder.Root() + QStringLiteral("/escape.so")));
    EXPECT_EQ(m_folder.IniValue(upgradeIni, QStringLiteral("DownloadFailed/evil.so")),
              m_server.BaseUrl() + QStringLiteral("/modules/../outside/evil.so"));
    EXPECT_EQ(m_folder.IniValue(upgradeIni, QStringLiteral("DownloadFailed/../escape.so")),
              m_server.BaseUrl() + QStringLiteral("/modules/../escape.so"));
    EXPECT_EQ(Version(QStringLiteral("ModuleVersion/libevil.so")), QStringLiteral("1.0"));
    EXPECT_FALSE(m_server.Requests().join(QLatin1Char(' ')).contains(QStringLiteral("outside")));
    EXPECT_FALSE(m_server.Requests().join(QLatin1Char(' ')).contains(QStringLiteral("escape")));

    // Local data: the client's folder goes, nothing else.
    EXPECT_FALSE(QFileInfo::exists(m_folder.DataHome() + QLatin1Char('/') + m_client));
    EXPECT_TRUE(QFileInfo::exists(m_folder.DataHome() + QStringLiteral("/unrelated")));
    // The findings stay for the next check to reset.
    EXPECT_EQ(m_folder.IniValue(upgradeIni, QStringLiteral("UpgradeModule/libplain.so")), QStringLiteral("2.0"));
}

// Only the client's own data folder goes, the one named by the client settings or derived
// from the client's name; other applications' data, the data location itself, the home folder
// and anything of the program folder are refused. An empty module list still stops and
// restarts the client.
TEST_F(SalventTest, ClearsOnlyTheClientsDataFolder)
{
    const QString own = m_folder.DataHome() + QLatin1Char('/') + m_client;
    const struct {
        QString localData;
        QString folder;
        bool removed;
    } cases[] = {
        {QString(), own, true},
        {own, own, true},
        {m_folder.Home() + QStringLiteral("/Documents"), m_folder.Home() + QStringLiteral("/Documents"), false},
        {m_folder.Home() + QStringLiteral("/.config"), m_folder.Home() + QStringLiteral("/.config"), false},
        {m_folder.DataHome(), m_folder.DataHome(), false},
        {m_folder.Home(), m_folder.Home(), false},
        {m_folder.App() + QStringLiteral("/"), m_folder.App(), false},
        {QStringLiteral("config"), m_folder.Path(QStringLiteral("config")), false},
    };
    for (const auto& c : cases) {
        QDir().mkpath(c.folder + QStringLiteral("/keep"));
        m_folder.WriteFile(QStringLiteral("config/upgrade.ini"), UpgradeIni(m_client, m_server.BaseUrl(), 0, ""));
        m_folder.WriteFile(QStringLiteral("config/setting.ini"), "[App]\nlocalData=" + c.localData.toUtf8() + "\n");
        const ProgramFolder::Run run = RunSalvent();
        EXPECT_EQ(!QFileInfo::exists(c.folder + QStringLiteral("/keep")), c.removed) << c.localData.toStdString();
        EXPECT_EQ(run.errorOutput.contains("Refusing to remove"), !c.removed) << c.localData.toStdString();
    }
    EXPECT_TRUE(QFileInfo::exists(m_folder.DataHome() + QStringLiteral("/unrelated")));
    EXPECT_TRUE(QFileInfo::exists(m_folder.Path(QStringLiteral("config/upgrade.ini"))));
    EXPECT_TRUE(ClientStopped());
    EXPECT_EQ(m_bystander.state(), QProcess::Running);
    EXPECT_TRUE(ClientRestarted());
    EXPECT_EQ(Version(QStringLiteral("App/SetupVersion")), QStringLiteral("3.1.2.0"));
}

// App/startEXE must name the client: an updater (which would restart itself without end), a
// folder or a file outside the program folder is refused, and nothing is stopped, removed,
// fetched or started.
TEST_F(SalventTest, RefusesAnythingButTheClient)
{
    m_folder.WriteFile(QStringLiteral("libplain.so"), "old plain");
    m_server.SetFile(QStringLiteral("/modules/libplain.so"), "new plain");
    for (const QString& exe : {QStringLiteral("Salvent"), QStringLiteral("./Salvent"), QStringLiteral("Moltern"),
                               QStringLiteral("config"), QStringLiteral("../elsewhere/") + m_client}) {
        m_folder.WriteFile(QStringLiteral("config/upgrade.ini"),
                           UpgradeIni(exe, m_server.BaseUrl(), 0, "libplain.so=2.0\n"));
        const ProgramFolder::Run run = RunSalvent();
        EXPECT_TRUE(run.errorOutput.contains("Refusing")) << exe.toStdString();
        EXPECT_EQ(m_folder.IniValue(QStringLiteral("config/upgrade.ini"), QStringLiteral("UpgradeError/startEXE")),
                  QStringLiteral("Invalid"))
            << exe.toStdString();
    }
    EXPECT_EQ(m_running.state(), QProcess::Running);
    EXPECT_EQ(m_bystander.state(), QProcess::Running);
    EXPECT_TRUE(m_server.Requests().isEmpty());
    EXPECT_EQ(m_folder.ReadFile(QStringLiteral("libplain.so")), QByteArray("old plain"));
    EXPECT_TRUE(QFileInfo::exists(m_folder.DataHome() + QLatin1Char('/') + m_client));
    EXPECT_EQ(m_folder.MarkerPids(m_folder.App(), m_client).size(), 1);
}

// The install folder is on a full disk: the module cannot be written whole, so the old one
// stays, no version is recorded and the failure is reported. A download onto the full disk
// fails the same way. The client is started again either way.
TEST_F(SalventTest, FullInstallFolderKeepsTheOldModule)
{
    SmallFileSystem small;
    QString why;
    if (!small.Mount(m_folder.Path(QStringLiteral("full")), 1 << 20, &why))
        GTEST_SKIP() << "no small file system: " << why.toStdString();
    m_folder.WriteFile(QStringLiteral("full/libbig.so"), "old big");
    ASSERT_TRUE(small.FillLeaving(200 * 1024));
    m_folder.WriteFile(QStringLiteral("config/version.ini"), "[App]\nSetupVersion=3.1.2.0\n[ModuleVersion]\nfull/libbig.so=1.0\n");
    m_server.SetFile(QStringLiteral("/modules/full/libbig.so"), QByteArray(300000, 'b'));

    const struct {
        const char* downloadDir;
        const char* failedGroup;
    } cases[] = {{"download", "InstallFailed/full/libbig.so"}, {"full/dl", "DownloadFailed/full/libbig.so"}};
    for (const auto& c : cases) {
        m_folder.WriteFile(QStringLiteral("config/upgrade.ini"),
                           UpgradeIni(m_client, m_server.BaseUrl(), 0, "full/libbig.so=2.0\n")
                               .replace("DownloadDir=download", QByteArray("DownloadDir=") + c.downloadDir));
        m_folder.WriteFile(QString::fromLatin1(c.downloadDir) + QStringLiteral("/server.ini"), kServerIni);
        const ProgramFolder::Run run = RunSalvent();
        EXPECT_TRUE(run.errorOutput.contains("No space left on device")) << run.errorOutput.toStdString();
        EXPECT_EQ(m_folder.ReadFile(QStringLiteral("full/libbig.so")), QByteArray("old big")) << c.downloadDir;
        EXPECT_EQ(Version(QStringLiteral("ModuleVersion/full/libbig.so")), QStringLiteral("1.0")) << c.downloadDir;
        EXPECT_NE(m_folder.IniValue(QStringLiteral("config/upgrade.ini"), QString::fromLatin1(c.failedGroup)),
                  QStringLiteral("<absent>"))
            << c.downloadDir;
    }
    EXPECT_TRUE(ClientRestarted());
}

// The update configuration and the version file lie on a disk with no space left: the files
// the settings store cannot write whole keep their previous content.
TEST_F(SalventTest, FullConfigFolderKeepsItsFiles)
{
    const QByteArray upgradeIni = UpgradeIni(m_client, m_server.BaseUrl(), 0, "libplain.so=2.0\nlibgone.so=3.0\n");
    const QByteArray settingIni = m_folder.ReadFile(QStringLiteral("config/setting.ini"));
    SmallFileSystem small;
    QString why;
    if (!small.Mount(m_folder.Path(QStringLiteral("config")), 256 * 1024, &why))
        GTEST_SKIP() << "no small file system: " << why.toStdString();
    m_folder.WriteFile(QStringLiteral("config/upgrade.ini"), upgradeIni);
    m_folder.WriteFile(QStringLiteral("config/version.ini"), kVersionIni);
    m_folder.WriteFile(QStringLiteral("config/setting.ini"), settingIni);
    ASSERT_TRUE(small.FillLeaving(0));
    m_server.SetFile(QStringLiteral("/modules/libplain.so"), "new plain");   // libgone.so: 404

    const ProgramFolder::Run run = RunSalvent();
    EXPECT_TRUE(run.errorOutput.contains("Could not write")) << run.errorOutput.toStdString();
    EXPECT_EQ(m_folder.ReadFile(QStringLiteral("config/upgrade.ini")), upgradeIni);
    EXPECT_EQ(m_folder.ReadFile(QStringLiteral("config/version.ini")), QByteArray(kVersionIni));
    EXPECT_TRUE(ClientRestarted());
}

// The version recorded is that of the files installed, as the server's configuration gives it,
// never a value an earlier check left in the update configuration.
TEST_F(SalventTest, RecordsTheVersionOfWhatItInstalled)
{
    m_folder.WriteFile(QStringLiteral("config/upgrade.ini"), UpgradeIni(m_client, m_server.BaseUrl(), 0, "libplain.so=9.9\n"));
    m_server.SetFile(QStringLiteral("/modules/libplain.so"), "new plain");

    RunSalvent();
    EXPECT_EQ(m_folder.ReadFile(QStringLiteral("libplain.so")), QByteArray("new plain"));
    EXPECT_EQ(Version(QStringLiteral("ModuleVersion/libplain.so")), QStringLiteral("2.0"));
    EXPECT_TRUE(ClientRestarted());
}

// Downloads never land on the installed files: without a download folder, or with one that is
// the program folder, they go to a folder of their own, and a module whose second file fails
// keeps its old files.
TEST_F(SalventTest, DownloadFolderIsNeverTheProgramFolder)
{
    m_server.SetFile(QStringLiteral("/modules/libplain.so"), "new plain");
    m_server.SetFile(QStringLiteral("/modules/plugins/libhalf.so"), "new half");   // halfres.dat: 404
    m_folder.WriteFile(QStringLiteral("server.ini"), kServerIni);   // where the program folder would hold it
    for (const QString& setting : {QString(), QStringLiteral("."), m_folder.App() + QStringLiteral("/")}) {
        m_folder.WriteFile(QStringLiteral("plugins/libhalf.so"), "old half");
        m_folder.WriteFile(QStringLiteral("config/upgrade.ini"),
                           UpgradeIni(m_client, m_server.BaseUrl(), 0, "libplain.so=2.0\nlibhalf.so=5.5\n")
                               .replace("DownloadDir=download", "DownloadDir=" + setting.toUtf8()));
        RunSalvent();
        EXPECT_EQ(m_folder.ReadFile(QStringLiteral("plugins/libhalf.so")), QByteArray("old half"))
            << setting.toStdString();
        EXPECT_FALSE(m_folder.Exists(QStringLiteral("plugins/halfres.dat"))) << setting.toStdString();
        EXPECT_EQ(Version(QStringLiteral("ModuleVersion/libhalf.so")), QStringLiteral("1.0")) << setting.toStdString();
        EXPECT_EQ(m_folder.ReadFile(QStringLiteral("download/plugins/libhalf.so")), QByteArray("new half"))
            << setting.toStdString();
        EXPECT_EQ(m_folder.ReadFile(QStringLiteral("libplain.so")), QByteArray("new plain")) << setting.toStdString();
    }
    EXPECT_TRUE(ClientRestarted());
}

// Links planted where downloads and installs write: a link at a file's name is replaced and
// what it leads to stays as it was; a sub-folder that leads out of the download folder or the
// program folder is refused and its module is not installed.
TEST_F(SalventTest, LinksAreReplacedOrRefusedNeverWrittenThrough)
{
    m_server.SetFile(QStringLiteral("/modules/libplain.so"), "new plain");
    m_server.SetFile(QStringLiteral("/modules/plugins/libpkg.so"), "new pkg");
    m_server.SetFile(QStringLiteral("/modules/plugins/pkgres.dat"), "new res");
    const QString outside = m_folder.Root() + QStringLiteral("/outside");
    const QString victim = m_folder.Root() + QStringLiteral("/victim");
    const struct {
        const char* name;
        const char* link;        // below the program folder
        QString pointsTo;
        const char* module;
        const char* failed;      // the failure record expected, or nullptr
    } cases[] = {
        {"downloaded file", "download/libplain.so", victim, "libplain.so", nullptr},
        {"download sub-folder", "download/plugins", outside, "libpkg.so", "DownloadFailed/libpkg.so"},
        {"installed sub-folder", "plugins", outside, "libpkg.so", "InstallFailed/libpkg.so"},
        // The folder a dependent file needs would be made inside the link's target.
        {"download sub-folder above a missing one", "download/deep", outside, "libdeep.so", "DownloadFailed/libdeep.so"},
    };
    for (const auto& c : cases) {
        QDir().mkpath(outside);
        m_folder.WriteFile(QStringLiteral("../victim"), "not the server's");
        QDir(m_folder.Path(QStringLiteral("download/plugins"))).removeRecursively();
        QDir(m_folder.Path(QStringLiteral("plugins"))).removeRecursively();
        ASSERT_TRUE(QFile::link(c.pointsTo, m_folder.Path(QString::fromLatin1(c.link)))) << c.name;
        m_folder.WriteFile(QStringLiteral("config/upgrade.ini"),
                           UpgradeIni(m_client, m_server.BaseUrl(), 0, QByteArray(c.module) + "=2.0\n"));

        const ProgramFolder::Run run = RunSalvent();
        EXPECT_EQ(m_folder.ReadFile(QStringLiteral("../victim")), QByteArray("not the server's")) << c.name;
        EXPECT_TRUE(QDir(outside).isEmpty()) << c.name;
        if (c.failed) {
            EXPECT_TRUE(run.errorOutput.contains("Refusing to write")) << c.name << run.errorOutput.toStdString();
            EXPECT_NE(m_folder.IniValue(QStringLiteral("config/upgrade.ini"), QString::fromLatin1(c.failed)),
                      QStringLiteral("<absent>"))
                << c.name;
            EXPECT_NE(Version(QStringLiteral("ModuleVersion/") + QLatin1String(c.module)), QStringLiteral("2.0"))
                << c.name;
        } else {
            EXPECT_EQ(m_folder.ReadFile(QStringLiteral("libplain.so")), QByteArray("new plain")) << c.name;
            EXPECT_EQ(m_folder.ReadFile(QStringLiteral("download/libplain.so")), QByteArray("new plain")) << c.name;
        }
        QFile::remove(m_folder.Path(QString::fromLatin1(c.link)));
    }
    EXPECT_TRUE(ClientRestarted());
}

// The client's data folder is itself a link (to another application's folder of the same
// name): it is refused, and what it leads to stays.
TEST_F(SalventTest, DataFolderThatIsALinkIsNotFollowed)
{
    const QString own = m_folder.DataHome() + QLatin1Char('/') + m_client;
    const QString other = m_folder.DataHome() + QStringLiteral("/Other/") + m_client;
    QDir().mkpath(other + QStringLiteral("/keep"));
    QDir(own).removeRecursively();
    ASSERT_TRUE(QFile::link(other, own));
    m_folder.WriteFile(QStringLiteral("config/upgrade.ini"), UpgradeIni(m_client, m_server.BaseUrl(), 0, ""));
    for (const QString& localData : {QString(), own}) {
        m_folder.WriteFile(QStringLiteral("config/setting.ini"), "[App]\nlocalData=" + localData.toUtf8() + "\n");
        const ProgramFolder::Run run = RunSalvent();
        EXPECT_TRUE(run.errorOutput.contains("Refusing to remove")) << run.errorOutput.toStdString();
        EXPECT_TRUE(QFileInfo::exists(other + QStringLiteral("/keep"))) << localData.toStdString();
    }
    EXPECT_TRUE(ClientRestarted());
}

TEST_F(SalventTest, FullUpgradeStartsTheSetupInsteadOfTheClient)
{
    QFile setup(QStringLiteral(FAKE_SETUP_PATH));
    ASSERT_TRUE(setup.open(QIODevice::ReadOnly));
    m_server.SetFile(QStringLiteral("/setup/full.bin"), setup.readAll());
    m_folder.WriteFile(QStringLiteral("config/upgrade.ini"),
                       UpgradeIni(m_client, m_server.BaseUrl(), 1, "libplain.so=2.0\n"));

    RunSalvent();

    EXPECT_TRUE(ClientStopped());
    EXPECT_EQ(m_bystander.state(), QProcess::Running);
    const QString downloads = m_folder.Path(QStringLiteral("download"));
    ASSERT_TRUE(m_folder.WaitForMarker(downloads, QStringLiteral("setup.bin"), 0, 5000));
    const pid_t setupPid = m_folder.MarkerPids(downloads, QStringLiteral("setup.bin")).value(0);
    EXPECT_EQ(m_folder.MarkerLines(downloads, QStringLiteral("setup.bin"), setupPid).value(1),
              QFileInfo(m_folder.App()).canonicalFilePath());
    QThread::msleep(200);
    EXPECT_EQ(m_folder.MarkerPids(m_folder.App(), m_client).size(), 1);   // not restarted
    EXPECT_FALSE(QFileInfo::exists(m_folder.DataHome() + QLatin1Char('/') + m_client));
    EXPECT_EQ(m_folder.ReadFile(QStringLiteral("config/version.ini")), QByteArray(kVersionIni));
    EXPECT_FALSE(m_folder.Exists(QStringLiteral("libplain.so")));
}

TEST_F(SalventTest, FailedSetupDownloadLeavesTheClientRunning)
{
    m_folder.SetDataTimeoutMs(500);
    const struct {
        const char* name;
        HttpRoute route;
    } cases[] = {
        {"not found", HttpRoute{404, "no", HttpRoute::Mode::Complete}},
        {"closed half-way", HttpRoute{200, QByteArray(4096, 's'), HttpRoute::Mode::CloseMidway}},
        {"no answer", HttpRoute{200, "x", HttpRoute::Mode::Silent}},
        {"trickling past the deadline", HttpRoute{200, QByteArray(900, 's'), HttpRoute::Mode::Drip}},
    };
    m_folder.SetEnvironment(QStringLiteral("UPDATER_DOWNLOAD_DEADLINE_MS"), QStringLiteral("1500"));
    for (const auto& c : cases) {
        m_server.SetRoute(QStringLiteral("/setup/full.bin"), c.route);
        m_folder.WriteFile(QStringLiteral("config/upgrade.ini"), UpgradeIni(m_client, m_server.BaseUrl(), 1, ""));
        RunSalvent();
        EXPECT_EQ(m_running.state(), QProcess::Running) << c.name;
        EXPECT_FALSE(m_folder.Exists(QStringLiteral("download/setup.bin"))) << c.name;
        EXPECT_EQ(m_folder.IniValue(QStringLiteral("config/upgrade.ini"), QStringLiteral("DownloadFailed/setup/full.bin")),
                  m_server.BaseUrl() + QStringLiteral("/setup/full.bin"))
            << c.name;
    }
    EXPECT_TRUE(QFileInfo::exists(m_folder.DataHome() + QLatin1Char('/') + m_client));
}

} // namespace
