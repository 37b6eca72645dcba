#include "qstringprint.h"
#include "httpserver.h"
#include "programfolder.h"
#include "smallfs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <iostream>

namespace {

const char kUpgradeIni[] =
    "[App]\n"
    "DownloadDir=download\n"
    "SavedUpgradeConfig=server.ini\n"
    "ServerUpgradeConfig=upgrade/server.ini\n"
    "AppVersionConfig=config/version.ini\n"
    "Salvent=Salvent\n"
    "SavedSetup=setup.bin\n"
    "startEXE=Brevix\n"
    "isFullUpgrade=1\n"
    "[CompatibleModule]\n"
    "libcompat.so=\n"
    "[RequireRebootAppModule]\n"
    "librestart.so=\n"
    "librestart2=\n"
    "[UpgradeModule]\n"
    "stale.so=0.9\n";

const char kVersionIni[] =
    "[App]\n"
    "SetupVersion=3.1\n"
    "[ModuleVersion]\n"
    "libplain.so=1.0\n"
    "libcompat.so=2.0.0.0\n"
    "libdown.so=2.0\n"
    "libsame.so=1.0\n"
    "libonlyhere.so=1.0\n"
    "librestart.so=1.0\n"
    "librestart2.so=1.0\n"
    "plugins/libsub.so=1.0\n"
    "Salvent=1.0\n";

QByteArray ServerIni(const char* setupVersion, const char* modules)
{
    return QByteArray("[App]\nSetupVersion=") + setupVersion + "\nModuleUpgradePath=modules\nSetupPath=setup/full.bin\n"
        + "[ModuleVersion]\n" + modules;
}

const char kAbsent[] = "<absent>";

struct MolternCase {
    const char* name;
    QStringList arguments;                    // "{base}" is replaced by the server's address
    QByteArray upgradeIni;
    QByteArray versionIni;
    QByteArray serverIni;                     // empty: the server answers 404
    int exitCode;                             // as the client reads it
    QList<QPair<QString, QString>> upgrade;   // expected upgrade.ini values ("{base}" expanded)
    QList<QPair<QString, QString>> versions;  // expected version file values
};

const QStringList kDevice{QStringLiteral("{base}doc/page.html")};

const MolternCase kCases[] = {
    {"NoArgument", {}, kUpgradeIni, kVersionIni, ServerIni("3.1.0.0", ""), -2,
     {{"UpgradeModule/stale.so", "0.9"}, {"App/ServerURL", kAbsent}, {"App/isFullUpgrade", "1"}}, {}},
    {"InstallationValueMissing", kDevice, QByteArray(kUpgradeIni).replace("SavedUpgradeConfig=server.ini\n", ""),
     kVersionIni, ServerIni("3.1.0.0", ""), 4,
     {{"UpgradeError/upgradeConfig", "Invalid"}, {"UpgradeModule/stale.so", "0.9"}, {"App/ServerURL", kAbsent}}, {}},
    {"InstalledVersionMissing", kDevice, kUpgradeIni, "[App]\nSetupVersion=\n", ServerIni("3.1.0.0", ""), 4,
     {{"UpgradeError/AppVersionConfig", "Invalid"}, {"UpgradeModule/stale.so", kAbsent},
      {"App/ServerURL", "{base}"}, {"App/isFullUpgrade", "0"}}, {}},
    {"ServerConfigMissing", kDevice, kUpgradeIni, kVersionIni, QByteArray(), -1,
     {{"DownloadFailed/upgrade/server.ini", "{base}/upgrade/server.ini"}, {"UpgradeModule/stale.so", kAbsent},
      {"App/rebootAppRequired", "0"}}, {}},
    {"ServerVersionMissing", kDevice, kUpgradeIni, kVersionIni, ServerIni("", "libplain.so=9\n"), 4,
     {{"UpgradeError/ServerUpgradeConfig", "Invalid"}, {"UpgradeModule/libplain.so", kAbsent}}, {}},
    {"InstalledIsNewer", kDevice, kUpgradeIni, QByteArray(kVersionIni).replace("=3.1\n", "=3.2\n"),
     ServerIni("3.1.9.9", "libplain.so=9\n"), 0,
     {{"App/isFullUpgrade", "0"}, {"UpgradeModule/libplain.so", kAbsent}}, {}},
    {"ServerIsNewer", kDevice, kUpgradeIni, kVersionIni, ServerIni("3.10", "libplain.so=9\n"), 2,
     {{"App/isFullUpgrade", "1"}, {"UpgradeModule/libplain.so", kAbsent}}, {}},
    // Same major.minor, other last parts: the modules decide.
    {"Modules", kDevice, kUpgradeIni, kVersionIni,
     ServerIni("3.1.5.7",
               "libplain.so=1.1\nlibcompat.so=1.9.0.0\nlibdown.so=1.9\nlibsame.so=1.0\nplugins/libsub.so=1.1\n"
               "libnew.so=1.0\n"),
     1,
     {{"UpgradeModule/libplain.so", "1.1"}, {"UpgradeModule/libcompat.so", kAbsent},
      {"UpgradeModule/libdown.so", "1.9"}, {"UpgradeModule/libsame.so", kAbsent},
      {"UpgradeModule/plugins/libsub.so", "1.1"}, {"UpgradeModule/libnew.so", "1.0"},
      {"UpgradeModule/libonlyhere.so", kAbsent}, {"UpgradeModule/stale.so", kAbsent},
      {"App/rebootAppRequired", "0"}, {"App/isFullUpgrade", "0"}},
     {{"ModuleVersion/libplain.so", "1.0"}}},
    {"CompatibleModuleBehind", kDevice, kUpgradeIni, kVersionIni, ServerIni("3.1.0.0", "libcompat.so=2.0.0.1\n"), 1,
     {{"UpgradeModule/libcompat.so", "2.0.0.1"}}, {}},
    {"ModulesNeedingRestart", kDevice, kUpgradeIni, kVersionIni,
     ServerIni("3.1.0.0", "librestart.so=1.1\nlibplain.so=1.1\nlibrestart2.so=1.1\n"), 3,
     {{"UpgradeModule/librestart.so", "1.1"}, {"UpgradeModule/librestart2.so", "1.1"},
      {"UpgradeModule/libplain.so", "1.1"}, {"App/rebootAppRequired", "1"}}, {}},
    {"NothingDiffers", kDevice, kUpgradeIni, kVersionIni, ServerIni("3.1.0.0", "libsame.so=1.0\n"), 0,
     {{"App/rebootAppRequired", "0"}}, {}},
    {"NoModules", kDevice, kUpgradeIni, kVersionIni, ServerIni("3.1.0.0", ""), 0, {}, {}},
    // A module key that climbs out of the program folder is refused, not offered.
    {"UnsafeModuleKey", kDevice, kUpgradeIni, kVersionIni, ServerIni("3.1.0.0", "..\\evil.so=1.0\n"), 0,
     {{"DownloadFailed/../evil.so", "{base}/modules/../evil.so"}, {"UpgradeModule/../evil.so", kAbsent}}, {}},
};

class MolternTest : public ::testing::TestWithParam<MolternCase> {};

TEST_P(MolternTest, ExitCodeAndFindings)
{
    const MolternCase& c = GetParam();
    LoopbackHttpServer server;
    ProgramFolder folder;
    folder.WriteFile(QStringLiteral("config/upgrade.ini"), c.upgradeIni);
    folder.WriteFile(QStringLiteral("config/version.ini"), c.versionIni);
    if (!c.serverIni.isEmpty())
        server.SetFile(QStringLiteral("/upgrade/server.ini"), c.serverIni);

    QStringList arguments;
    for (const QString& argument : c.arguments)
        arguments << QString(argument).replace(QStringLiteral("{base}"), server.BaseUrl());
    const ProgramFolder::Run run = folder.RunProgram(QStringLiteral("Moltern"), arguments);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(static_cast<int8_t>(run.exitCode), c.exitCode) << run.errorOutput.toStdString();

    for (const auto& expected : c.upgrade) {
        EXPECT_EQ(folder.IniValue(QStringLiteral("config/upgrade.ini"), expected.first),
                  QString(expected.second).replace(QStringLiteral("{base}"), server.BaseUrl()))
            << expected.first.toStdString();
    }
    for (const auto& expected : c.versions)
        EXPECT_EQ(folder.IniValue(QStringLiteral("config/version.ini"), expected.first), expected.second)
            << expected.first.toStdString();
    if (c.exitCode >= 0 && c.exitCode != 4) {
        EXPECT_EQ(folder.ReadFile(QStringLiteral("download/server.ini")), c.serverIni);
    }
    EXPECT_FALSE(QFileInfo::exists(folder.Root() + QStringLiteral("/evil.so")));
}

INSTANTIATE_TEST_SUITE_P(Scenarios, MolternTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<MolternCase>& info) { return info.param.name; });

TEST(MolternChecker, RequestsTheServerConfigurationUnderTheBaseAddress)
{
    LoopbackHttpServer server;
    ProgramFolder folder;
    folder.WriteFile(QStringLiteral("config/upgrade.ini"), kUpgradeIni);
    folder.WriteFile(QStringLiteral("config/version.ini"), kVersionIni);
    server.SetFile(QStringLiteral("/upgrade/server.ini"), ServerIni("3.1.0.0", ""));
    // Only the host and port of the address count.
    const QString address = QStringLiteral("https://127.0.0.1:%1/some/page?x=1").arg(server.Port());
    const ProgramFolder::Run run = folder.RunProgram(QStringLiteral("Moltern"), {address, QStringLiteral("extra")});
    EXPECT_EQ(run.exitCode, 0);
    const QStringList requests = server.Requests();
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(QString(requests.first()).replace(QStringLiteral("//"), QStringLiteral("/")),
              QStringLiteral("/upgrade/server.ini"));
}

// The installer cannot replace itself, so the checker does, and does not report it.
TEST(MolternChecker, KeepsTheInstallerCurrent)
{
    LoopbackHttpServer server;
    ProgramFolder folder;
    folder.WriteFile(QStringLiteral("config/upgrade.ini"), kUpgradeIni);
    folder.WriteFile(QStringLiteral("config/version.ini"), kVersionIni);
    server.SetFile(QStringLiteral("/upgrade/server.ini"), ServerIni("3.1.0.0", "Salvent=1.1\nlibsame.so=1.0\n"));
    server.SetFile(QStringLiteral("/modules/Salvent"), "new installer");

    const ProgramFolder::Run run = folder.RunProgram(QStringLiteral("Moltern"), {server.BaseUrl()});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(folder.ReadFile(QStringLiteral("Salvent")), QByteArray("new installer"));
    EXPECT_TRUE(QFileInfo(folder.Path(QStringLiteral("Salvent"))).isExecutable());
    EXPECT_EQ(folder.IniValue(QStringLiteral("config/version.ini"), QStringLiteral("ModuleVersion/Salvent")),
              QStringLiteral("1.1"));
    EXPECT_EQ(folder.IniValue(QStringLiteral("config/upgrade.ini"), QStringLiteral("UpgradeModule/Salvent")),
              QString::fromLatin1(kAbsent));
}

TEST(MolternChecker, FailedInstallerDownloadKeepsTheInstaller)
{
    LoopbackHttpServer server;
    ProgramFolder folder;
    folder.WriteFile(QStringLiteral("config/upgrade.ini"), kUpgradeIni);
    folder.WriteFile(QStringLiteral("config/version.ini"), kVersionIni);
    server.SetFile(QStringLiteral("/upgrade/server.ini"), ServerIni("3.1.0.0", "Salvent=1.1\nlibplain.so=1.1\n"));
    server.SetRoute(QStringLiteral("/modules/Salvent"),
                    HttpRoute{200, QByteArray(4096, 'x'), HttpRoute::Mode::CloseMidway});
    const QByteArray before = folder.ReadFile(QStringLiteral("Salvent"));

    const ProgramFolder::Run run = folder.RunProgram(QStringLiteral("Moltern"), {server.BaseUrl()});
    EXPECT_EQ(run.exitCode, 1);   // the installer's failure does not change the answer
    EXPECT_EQ(folder.ReadFile(QStringLiteral("Salvent")), before);
    EXPECT_EQ(folder.IniValue(QStringLiteral("config/version.ini"), QStringLiteral("ModuleVersion/Salvent")),
              QStringLiteral("1.0"));
    EXPECT_EQ(folder.IniValue(QStringLiteral("config/upgrade.ini"), QStringLiteral("DownloadFailed/Salvent")),
              server.BaseUrl() + QStringLiteral("/modules/Salvent"));
}

// A device that accepts the connection and never answers must not hold up the client.
TEST(MolternChecker, GivesUpWhenNoDataArrives)
{
    LoopbackHttpServer server;
    ProgramFolder folder;
    folder.SetDataTimeoutMs(500);
    folder.WriteFile(QStringLiteral("config/upgrade.ini"), kUpgradeIni);
    folder.WriteFile(QStringLiteral("config/version.ini"), kVersionIni);
    server.SetRoute(QStringLiteral("/upgrade/server.ini"), HttpRoute{200, "[App]\n", HttpRoute::Mode::Silent});

    const ProgramFolder::Run run = folder.RunProgram(QStringLiteral("Moltern"), {server.BaseUrl()});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(static_cast<int8_t>(run.exitCode), -1);
    EXPECT_EQ(folder.IniValue(QStringLiteral("config/upgrade.ini"), QStringLiteral("DownloadFailed/upgrade/server.ini")),
              server.BaseUrl() + QStringLiteral("/upgrade/server.ini"));
    EXPECT_FALSE(folder.Exists(QStringLiteral("download/server.ini")));
}

// The installer lies on a full disk: the copy cannot be completed, so the old installer stays
// whole, no version is recorded and the failure is reported.
TEST(MolternChecker, InstallerOnAFullDiskStaysAsItWas)
{
    LoopbackHttpServer server;
    ProgramFolder folder;
    SmallFileSystem small;
    QString why;
    if (!small.Mount(folder.Path(QStringLiteral("full")), 1 << 20, &why))
        GTEST_SKIP() << "no small file system: " << why.toStdString();
    folder.WriteFile(QStringLiteral("full/Salvent"), "old installer");
    ASSERT_TRUE(small.FillLeaving(200 * 1024));
    folder.WriteFile(QStringLiteral("config/upgrade.ini"),
                     QByteArray(kUpgradeIni).replace("Salvent=Salvent\n", "Salvent=full/Salvent\n"));
    folder.WriteFile(QStringLiteral("config/version.ini"), kVersionIni);
    server.SetFile(QStringLiteral("/upgrade/server.ini"), ServerIni("3.1.0.0", "full/Salvent=1.1\n"));
    server.SetFile(QStringLiteral("/modules/full/Salvent"), QByteArray(300000, 's'));

    const ProgramFolder::Run run = folder.RunProgram(QStringLiteral("Moltern"), {server.BaseUrl()});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.errorOutput.contains("No space left on device")) << run.errorOutput.toStdString();
    EXPECT_EQ(folder.ReadFile(QStringLiteral("full/Salvent")), QByteArray("old installer"));
    EXPECT_EQ(folder.IniValue(QStringLiteral("config/version.ini"), QStringLiteral("ModuleVersion/full/Salvent")),
              QString::fromLatin1(kAbsent));
    EXPECT_TRUE(folder.IniValue(QStringLiteral("config/upgrade.ini"), QStringLiteral("InstallFailed/full/Salvent"))
                    .contains(QStringLiteral("No space left on device")));
}

// A server that trickles the configuration never stalls long enough for the data time-out;
// the overall deadline still ends the check, so the page load is not held.
TEST(MolternChecker, ConfigurationMustArriveBeforeTheDeadline)
{
    LoopbackHttpServer server;
    ProgramFolder folder;
    folder.SetEnvironment(QStringLiteral("UPDATER_CONFIG_DEADLINE_MS"), QStringLiteral("1500"));
    folder.WriteFile(QStringLiteral("config/upgrade.ini"), kUpgradeIni);
    folder.WriteFile(QStringLiteral("config/version.ini"), kVersionIni);
    // At one byte per 100 ms this would take well over the time the test waits for a run.
    server.SetRoute(QStringLiteral("/upgrade/server.ini"),
                    HttpRoute{200, ServerIni("3.1.0.0", "") + QByteArray(900, ';'), HttpRoute::Mode::Drip});

    const ProgramFolder::Run run = folder.RunProgram(QStringLiteral("Moltern"), {server.BaseUrl()});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(static_cast<int8_t>(run.exitCode), -1);
    EXPECT_TRUE(run.errorOutput.contains("no complete answer within 1500 ms")) << run.errorOutput.toStdString();
    EXPECT_EQ(folder.IniValue(QStringLiteral("config/upgrade.ini"), QStringLiteral("DownloadFailed/upgrade/server.ini")),
              server.BaseUrl() + QStringLiteral("/upgrade/server.ini"));
    EXPECT_FALSE(folder.Exists(QStringLiteral("download/server.ini")));
}

// The demo device offers an update only when asked to: without its update tree the
// application folder has no update configuration and nothing is offered.
TEST(MolternChecker, DemoDeviceUpdateTreeIsOptional)
{
    for (const bool tree : {false, true}) {
        LoopbackHttpServer server;
        ProgramFolder folder;
        folder.WriteFile(QStringLiteral("config/version.ini"), "[App]\nSetupVersion=1.0.0\n");
        QStringList arguments{folder.Path(QStringLiteral("devices"))};
        if (tree)
            arguments << QStringLiteral("--update-tree");
        QDir().mkpath(arguments.first());
        ASSERT_EQ(QProcess::execute(QStringLiteral(DEMO_DEVICE_PATH), arguments), 0);
        for (const char* file : {"upgrade/server.ini", "modules/whatsnew.txt"}) {
            const QString path = QStringLiteral("devices/demo/www/") + QLatin1String(file);
            if (folder.Exists(path))
                server.SetFile(QLatin1Char('/') + QLatin1String(file), folder.ReadFile(path));
        }

        const ProgramFolder::Run run = folder.RunProgram(QStringLiteral("Moltern"), {server.BaseUrl()});
        EXPECT_EQ(run.exitCode, tree ? 1 : 4) << tree;
        EXPECT_EQ(folder.IniValue(QStringLiteral("config/upgrade.ini"), QStringLiteral("UpgradeModule/whatsnew.txt")),
                  tree ? QStringLiteral("1.1") : QStringLiteral("<absent>"));
    }
}

// Downloads never land on the installed files: without a download folder, or with one that is
// the program folder, they go to a folder of their own.
TEST(MolternChecker, DownloadFolderIsNeverTheProgramFolder)
{
    for (const QByteArray& setting : {QByteArray(""), QByteArray("."), QByteArray("./")}) {
        LoopbackHttpServer server;
        ProgramFolder folder;
        folder.WriteFile(QStringLiteral("config/upgrade.ini"),
                         QByteArray(kUpgradeIni).replace("DownloadDir=download\n", "DownloadDir=" + setting + "\n"));
        folder.WriteFile(QStringLiteral("config/version.ini"), kVersionIni);
        const QByteArray serverIni = ServerIni("3.1.0.0", "libplain.so=1.1\n");
        server.SetFile(QStringLiteral("/upgrade/server.ini"), serverIni);

        const ProgramFolder::Run run = folder.RunProgram(QStringLiteral("Moltern"), {server.BaseUrl()});
        EXPECT_EQ(run.exitCode, 1) << setting.constData();
        EXPECT_EQ(folder.ReadFile(QStringLiteral("download/server.ini")), serverIni) << setting.constData();
        EXPECT_FALSE(folder.Exists(QStringLiteral("server.ini"))) << setting.constData();
    }
}

// A server that trickles the new installer never stalls long enough for the data time-out;
// the deadline ends the download, the old installer stays, the failure is recorded and the
// check still answers.
TEST(MolternChecker, InstallerMustArriveBeforeTheDeadline)
{
    LoopbackHttpServer server;
    ProgramFolder folder;
    folder.SetEnvironment(QStringLiteral("UPDATER_INSTALLER_DEADLINE_MS"), QStringLiteral("1500"));
    folder.WriteFile(QStringLiteral("config/upgrade.ini"), kUpgradeIni);
    folder.WriteFile(QStringLiteral("config/version.ini"), kVersionIni);
    server.SetFile(QStringLiteral("/upgrade/server.ini"), ServerIni("3.1.0.0", "Salvent=1.1\nlibplain.so=1.1\n"));
    // At one byte per 100 ms this would take well over the time the test waits for a run.
    server.SetRoute(QStringLiteral("/modules/Salvent"), HttpRoute{200, QByteArray(900, 's'), HttpRoute::Mode::Drip});
    const QByteArray before = folder.ReadFile(QStringLiteral("Salvent"));

    const ProgramFolder::Run run = folder.RunProgram(QStringLiteral("Moltern"), {server.BaseUrl()});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.errorOutput.contains("no complete answer within 1500 ms")) << run.errorOutput.toStdString();
    EXPECT_EQ(folder.ReadFile(QStringLiteral("Salvent")), before);
    EXPECT_EQ(folder.IniValue(QStringLiteral("config/version.ini"), QStringLiteral("ModuleVersion/Salvent")),
              QStringLiteral("1.0"));
    EXPECT_EQ(folder.IniValue(QStringLiteral("config/upgrade.ini"), QStringLiteral("DownloadFailed/Salvent")),
              server.BaseUrl() + QStringLiteral("/modules/Salvent"));
    EXPECT_EQ(folder.IniValue(QStringLiteral("config/upgrade.ini"), QStringLiteral("UpgradeModule/libplain.so")),
              QStringLiteral("1.1"));
}

// Links planted in the download folder: one at a file's name is replaced by the download and
// what it leads to stays as it was; a sub-folder that leads out of the download folder is
// refused.
TEST(MolternChecker, LinksInTheDownloadFolderAreNotWrittenThrough)
{
    const struct {
        const char* name;
        const char* link;        // below the download folder
        const char* pointsTo;    // below the test's root, outside the program folder
        const char* installer;   // App/Salvent
        QByteArray serverModules;
        int exitCode;
        const char* failed;      // DownloadFailed key expected, or nullptr
    } cases[] = {
        {"saved configuration", "server.ini", "victim", "Salvent", "libplain.so=1.1\n", 1, nullptr},
        {"installer", "Salvent", "victim", "Salvent", "Salvent=1.1\n", 0, nullptr},
        {"installer's folder", "tools", "outside", "tools/Salvent", "tools/Salvent=1.1\n", 0,
         "DownloadFailed/tools/Salvent"},
    };
    for (const auto& c : cases) {
        LoopbackHttpServer server;
        ProgramFolder folder;
        QDir().mkpath(folder.Root() + QStringLiteral("/outside"));
        folder.WriteFile(QStringLiteral("../victim"), "not the server's");
        folder.WriteFile(QStringLiteral("tools/Salvent"), "old installer");
        QDir().mkpath(folder.Path(QStringLiteral("download")));
        ASSERT_TRUE(QFile::link(folder.Root() + QLatin1Char('/') + QLatin1String(c.pointsTo),
                                folder.Path(QStringLiteral("download/")) + QLatin1String(c.link)));
        folder.WriteFile(QStringLiteral("config/upgrade.ini"),
                         QByteArray(kUpgradeIni)
                             .replace("Salvent=Salvent\n", QByteArray("Salvent=") + c.installer + "\n"));
        folder.WriteFile(QStringLiteral("config/version.ini"), kVersionIni);
        const QByteArray serverIni = ServerIni("3.1.0.0", c.serverModules);
        server.SetFile(QStringLiteral("/upgrade/server.ini"), serverIni);
        server.SetFile(QStringLiteral("/modules/Salvent"), "new installer");
        server.SetFile(QStringLiteral("/modules/tools/Salvent"), "new installer");

        const ProgramFolder::Run run = folder.RunProgram(QStringLiteral("Moltern"), {server.BaseUrl()});
        EXPECT_EQ(run.exitCode, c.exitCode) << c.name << run.errorOutput.toStdString();
        EXPECT_EQ(folder.ReadFile(QStringLiteral("../victim")), QByteArray("not the server's")) << c.name;
        EXPECT_TRUE(QDir(folder.Root() + QStringLiteral("/outside")).isEmpty()) << c.name;
        EXPECT_EQ(folder.ReadFile(QStringLiteral("download/server.ini")), serverIni) << c.name;
        if (c.failed) {
            EXPECT_TRUE(run.errorOutput.contains("Refusing to write")) << c.name << run.errorOutput.toStdString();
            EXPECT_EQ(folder.IniValue(QStringLiteral("config/upgrade.ini"), QString::fromLatin1(c.failed)),
                      server.BaseUrl() + QStringLiteral("/modules/") + QLatin1String(c.installer))
                << c.name;
            EXPECT_EQ(folder.ReadFile(QLatin1String(c.installer)), QByteArray("old installer")) << c.name;
        } else if (QLatin1String(c.link) == QLatin1String("Salvent")) {
            EXPECT_EQ(folder.ReadFile(QStringLiteral("Salvent")), QByteArray("new installer")) << c.name;
        }
    }
}

// Findings that do not reach the update configuration (a full disk, a file the checker may not
// write) must not be answered as an offer: the installer would act on an earlier check's
// findings. The check answers as failed and the file keeps what it held.
TEST(MolternChecker, FindingsThatCannotBeRecordedAreNotOffered)
{
    const QByteArray upgradeIni = QByteArray(kUpgradeIni).replace("isFullUpgrade=1\n", "isFullUpgrade=0\n")
                                      .replace("stale.so=0.9\n", "libplain.so=9.9\n");
    for (const bool fullDisk : {true, false}) {
        LoopbackHttpServer server;
        ProgramFolder folder;
        SmallFileSystem small;
        QString why;
        if (fullDisk && !small.Mount(folder.Path(QStringLiteral("config")), 256 * 1024, &why)) {
            std::cout << "skipped the full disk: " << why.toStdString() << "\n";
            continue;
        }
        if (!fullDisk && !folder.RunAsOrdinaryUser(&why)) {
            std::cout << "skipped the read-only file: " << why.toStdString() << "\n";
            continue;
        }
        folder.WriteFile(QStringLiteral("config/upgrade.ini"), upgradeIni);
        folder.WriteFile(QStringLiteral("config/version.ini"), kVersionIni);
        QDir().mkpath(folder.Path(QStringLiteral("download")));
        const QFileDevice::Permissions readable =
            QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
        if (fullDisk) {
            ASSERT_TRUE(small.FillLeaving(0));
        } else {
            QFile::setPermissions(folder.Path(QStringLiteral("download")), QFileDevice::Permissions(0x7777));
            QFile::setPermissions(folder.Path(QStringLiteral("config/upgrade.ini")), readable);
            if (::geteuid() != 0)   // the test's own user: the folder must refuse new files too
                QFile::setPermissions(folder.Path(QStringLiteral("config")), readable | QFileDevice::ExeOwner
                                          | QFileDevice::ExeGroup | QFileDevice::ExeOther);
        }
        server.SetFile(QStringLiteral("/upgrade/server.ini"), ServerIni("3.1.0.0", "libplain.so=1.0.0.2\n"));

        const ProgramFolder::Run run = folder.RunProgram(QStringLiteral("Moltern"), {server.BaseUrl()});
        QFile::setPermissions(folder.Path(QStringLiteral("config")), QFileDevice::Permissions(0x7755));
        EXPECT_EQ(static_cast<int8_t>(run.exitCode), -1) << fullDisk << run.errorOutput.toStdString();
        EXPECT_TRUE(run.errorOutput.contains("Could not write")) << fullDisk << run.errorOutput.toStdString();
        EXPECT_EQ(folder.ReadFile(QStringLiteral("config/upgrade.ini")), upgradeIni) << fullDisk;
    }
}

} // namespace
