#include "qstringprint.h"
#include "localdata.h"
#include "upgradeconfig.h"

#include <QDir>
#include <QFileInfo>
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

// A settings file that is a link: the new values go to a file of its own in the link's place,
// holding the values read through the link; what the link led to is not written.
TEST(UpgradeConfigTest, SettingsWrittenInPlaceOfALink)
{
    QTemporaryDir dir;
    const QString outside = dir.filePath(QStringLiteral("outside.ini"));
    const QString path = dir.filePath(QStringLiteral("config/upgrade.ini"));
    {
        QFile file(outside);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[App]\nkept=1\n");
    }
    QDir().mkpath(dir.filePath(QStringLiteral("config")));
    for (const QString& target : {outside, dir.filePath(QStringLiteral("missing.ini"))}) {
        QFile::remove(path);
        ASSERT_TRUE(QFile::link(target, path));
        QSettings settings(path, QSettings::IniFormat);
        settings.setValue(QStringLiteral("App/added"), 2);
        EXPECT_TRUE(SyncSettings(settings)) << target.toStdString();
        EXPECT_FALSE(QFileInfo(path).isSymLink()) << target.toStdString();
        const QSettings written(path, QSettings::IniFormat);
        EXPECT_EQ(written.value(QStringLiteral("App/added")).toString(), QStringLiteral("2"));
        EXPECT_EQ(written.value(QStringLiteral("App/kept")).toString(),
                  target == outside ? QStringLiteral("1") : QString());
    }
    QFile file(outside);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("[App]\nkept=1\n"));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("missing.ini"))));
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

TEST(LocalDataTest, ClientNameFromProgram)
{
    const struct {
        const char* program;
        const char* name;
    } cases[] = {
        {"Brevix", "Brevix"}, {"Brevix.exe", "Brevix"}, {"/opt/app/Brevix.exe", "Brevix"},
        {"../Brevix", "Brevix"},   // the folder part never becomes part of the name
        {"..", ""}, {".", ""}, {"", ""}, {"dir/", ""}, {"a.b.c", "a.b"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ClientNameFromProgram(QString::fromLatin1(c.program)), QString::fromLatin1(c.name)) << c.program;
}

// Only the client's own folder inside the user's data location may go: never another
// application's data, the data location itself, the home folder, the program folder or its
// config, whatever links or dot segments lead there.
TEST(LocalDataTest, OnlyTheClientsOwnDataFolderMayBeRemoved)
{
    QTemporaryDir root;
    const QString home = root.filePath(QStringLiteral("home"));
    const QString data = home + QStringLiteral("/.local/share");
    const QString program = root.filePath(QStringLiteral("opt/app"));
    for (const QString& folder : {data + QStringLiteral("/Brevix"), data + QStringLiteral("/Org/Brevix"),
                                  data + QStringLiteral("/Other"), home + QStringLiteral("/Documents"),
                                  home + QStringLiteral("/.config"), program + QStringLiteral("/config"),
                                  data + QStringLiteral("/inst/Brevix/app")})
        QDir().mkpath(folder);
    QDir().mkpath(data + QStringLiteral("/trap"));
    QFile::link(home, data + QStringLiteral("/trap/Brevix"));        // named like the client, leads home
    QFile::link(data, root.filePath(QStringLiteral("datalink")));   // the data location through a link
    QDir().mkpath(data + QStringLiteral("/Linked"));
    QFile::link(data + QStringLiteral("/Org/Brevix"), data + QStringLiteral("/Linked/Brevix"));   // another's folder

    const QString own = QFileInfo(data + QStringLiteral("/Brevix")).canonicalFilePath();
    const struct {
        QString folder;
        QString client;
        QString program;
        QString removed;   // empty: refused
    } cases[] = {
        {data + QStringLiteral("/Brevix"), QStringLiteral("Brevix"), program, own},
        {data + QStringLiteral("/Brevix/"), QStringLiteral("Brevix"), program, own},
        {data + QStringLiteral("/Other/../Brevix"), QStringLiteral("Brevix"), program, own},
        {root.filePath(QStringLiteral("datalink/Brevix")), QStringLiteral("Brevix"), program, own},
        {data + QStringLiteral("/Org/Brevix"), QStringLiteral("Brevix"), program,
         QFileInfo(data + QStringLiteral("/Org/Brevix")).canonicalFilePath()},
        {data + QStringLiteral("/NotYet/Brevix"), QStringLiteral("Brevix"), program,
         QFileInfo(data).canonicalFilePath() + QStringLiteral("/NotYet/Brevix")},
        {data, QStringLiteral("Brevix"), program, QString()},
        {data + QStringLiteral("/Brevix/.."), QStringLiteral("Brevix"), program, QString()},
        {data + QStringLiteral("/Other"), QStringLiteral("Brevix"), program, QString()},
        {data + QStringLiteral("/trap/Brevix"), QStringLiteral("Brevix"), program, QString()},
        {data + QStringLiteral("/Linked/Brevix"), QStringLiteral("Brevix"), program, QString()},
        {data + QStringLiteral("/Linked/Brevix/"), QStringLiteral("Brevix"), program, QString()},
        {home + QStringLiteral("/Documents"), QStringLiteral("Documents"), program, QString()},
        {home + QStringLiteral("/.config"), QStringLiteral(".config"), program, QString()},
        {home, QStringLiteral("home"), program, QString()},
        {program + QStringLiteral("/config"), QStringLiteral("config"), program, QString()},
        {program, QStringLiteral("app"), program, QString()},
        {data + QStringLiteral("/inst/Brevix"), QStringLiteral("Brevix"),
         data + QStringLiteral("/inst/Brevix/app"), QString()},   // holds the program folder
        {data + QStringLiteral("/Brevix"), QString(), program, QString()},
        {QStringLiteral("share/Brevix"), QStringLiteral("Brevix"), program, QString()},
        {QString(), QStringLiteral("Brevix"), program, QString()},
        {QStringLiteral("/"), QStringLiteral("Brevix"), program, QString()},
    };
    for (const auto& c : cases) {
        QString why;
        EXPECT_EQ(ClientDataFolder(c.folder, c.client, data, c.program, &why), c.removed)
            << c.folder.toStdString() << " as " << c.client.toStdString();
        EXPECT_EQ(why.isEmpty(), !c.removed.isEmpty()) << c.folder.toStdString();
    }
}

} // namespace
