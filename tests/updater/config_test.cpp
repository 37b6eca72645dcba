#include "qstringprint.h"
#include "localdata.h"
#include "upgradeconfig.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(UpgradeConfigTest, BaseUrlFromArgument)
{
    const struct {
        const char* argument;
        const char* base;
    } cases[] = {
        {"http://10.1.2.3:8080/doc/page.html?x=1", "http://10.1.2.3:8080/"},
        {"https://cam.local/", "http://cam.local:80/"},   // scheme ignored, default port 80
        {"http://[fe80::1]:81/", "http://[fe80::1]:81/"},  // IPv6 literal stays bracketed
        {"http://[::1]/", "http://[::1]:80/"},
        {"10.1.2.3", "http://:80/"},                        // no scheme: no host
    };
    for (const auto& c : cases)
        EXPECT_EQ(BaseUrlFromArgument(QString::fromLatin1(c.argument)), QString::fromLatin1(c.base)) << c.argument;
}

TEST(UpgradeConfigTest, ModuleNamesAndServerPaths)
{
    QStringList names{QStringLiteral("a.so"), QStringLiteral("a"), QStringLiteral("lib.a.b.so"),
                      QStringLiteral("plugins/x.so")};
    StripSuffixes(names);
    EXPECT_EQ(names, (QStringList{QStringLiteral("a"), QStringLiteral("a"), QStringLiteral("lib.a.b"),
                                  QStringLiteral("plugins/x")}));

    const struct {
        const char* path;
        bool safe;
    } paths[] = {
        {"libx.so", true}, {"plugins/libx.so", true}, {"./libx.so", true}, {"a..b.so", true},
        {"", false}, {"/etc/libx.so", false}, {"../libx.so", false}, {"plugins/../../x", false},
        {"plugins\\..\\x", false}, {"..", false},
    };
    for (const auto& p : paths)
        EXPECT_EQ(IsSafeRelativePath(QString::fromLatin1(p.path)), p.safe) << p.path;
}

// Module keys are paths; a key in a subfolder must be listed like any other.
TEST(UpgradeConfigTest, GroupKeysIncludeSubfolderKeys)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("server.ini"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[ModuleVersion]\nliba.so=1.0\nplugins/libb.so=2.0\n[liba.so_DependModule]\n");
    }
    QSettings settings(path, QSettings::IniFormat);
    QStringList keys = GroupKeys(settings, QStringLiteral("ModuleVersion"));
    keys.sort();
    EXPECT_EQ(keys, (QStringList{QStringLiteral("liba.so"), QStringLiteral("plugins/libb.so")}));
    EXPECT_TRUE(GroupKeys(settings, QStringLiteral("liba.so_DependModule")).isEmpty());
    EXPECT_EQ(ReadString(settings, QStringLiteral("ModuleVersion/plugins/libb.so")), QStringLiteral("2.0"));
}

TEST(LocalDataTest, ClientFolderDerivedFromOwnFolder)
{
    EXPECT_EQ(DeriveClientDataFolder(QStringLiteral("/h/.local/share/Salvent"), QStringLiteral("Salvent"),
                                     QStringLiteral("Brevix")),
              QStringLiteral("/h/.local/share/Brevix"));
    // The name is matched literally and only at the end.
    EXPECT_EQ(DeriveClientDataFolder(QStringLiteral("/h/Sal.vent/data/Sal.vent"), QStringLiteral("Sal.vent"),
                                     QStringLiteral("C")),
              QStringLiteral("/h/Sal.vent/data/C"));
    EXPECT_EQ(DeriveClientDataFolder(QStringLiteral("/h/share/SalXvent"), QStringLiteral("Sal.vent"),
                                     QStringLiteral("C")),
              QString());
}

TEST(LocalDataTest, OnlyAClientDataFolderMayBeRemoved)
{
    QTemporaryDir root;
    const QString home = root.filePath(QStringLiteral("home"));
    const QString program = root.filePath(QStringLiteral("opt/app"));
    QDir().mkpath(home + QStringLiteral("/.local/share/Brevix"));
    QDir().mkpath(program);
    QFile::link(home, root.filePath(QStringLiteral("homelink")));

    const struct {
        QString folder;
        bool removable;
    } cases[] = {
        {home + QStringLiteral("/.local/share/Brevix"), true},
        {root.filePath(QStringLiteral("elsewhere/data")), true},
        {QString(), false},
        {QStringLiteral("   "), false},
        {QStringLiteral("data/Brevix"), false},
        {QStringLiteral("/"), false},
        {QStringLiteral("//"), false},
        {home, false},
        {home + QStringLiteral("/"), false},
        {root.filePath(QStringLiteral("homelink")), false},   // the home folder through a link
        {root.path(), false},                                 // ancestor of both
        {program, false},
        {root.filePath(QStringLiteral("opt")), false},
        {program + QStringLiteral("/../app"), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsRemovableDataFolder(c.folder, home, program), c.removable) << c.folder.toStdString();
}

} // namespace
