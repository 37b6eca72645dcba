#include "qstringprint.h"
#include "fileinstall.h"
#include "processcontrol.h"
#include "programfolder.h"
#include "smallfs.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

void Write(const QString& path, const QByteArray& data, QFileDevice::Permissions permissions)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(data);
    file.close();
    file.setPermissions(permissions);
}

QByteArray Read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

const QFileDevice::Permissions kPlain = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
const QFileDevice::Permissions kProgram = kPlain | QFileDevice::ExeOwner;

TEST(ReplaceFileTest, ReplacesOrKeepsTheOldFile)
{
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("download.bin"));
    const QString installed = dir.filePath(QStringLiteral("program"));
    Write(source, "new", kPlain);
    Write(installed, "old", kProgram);

    // The installed program keeps its execute bit although the download has none.
    EXPECT_TRUE(ReplaceFile(source, installed, false));
    EXPECT_EQ(Read(installed), QByteArray("new"));
    EXPECT_EQ(QFile::permissions(installed) & 0x7077, kProgram);

    Write(installed, "old", kProgram);
    EXPECT_FALSE(ReplaceFile(source, installed, true));
    EXPECT_FALSE(ReplaceFile(dir.filePath(QStringLiteral("missing")), installed, false));
    EXPECT_FALSE(ReplaceFile(source, dir.filePath(QStringLiteral("no/such/folder")), false));
    EXPECT_EQ(Read(installed), QByteArray("old"));

    EXPECT_TRUE(ReplaceFile(installed, installed, false));
    EXPECT_EQ(Read(installed), QByteArray("old"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2);
}

// New files get the execute bits when they are programs; replaced files keep their mode.
TEST(ReplaceFileTest, NewProgramsBecomeExecutable)
{
    QTemporaryDir dir;
    QFile program(QStringLiteral(FAKE_CLIENT_PATH));
    ASSERT_TRUE(program.open(QIODevice::ReadOnly));
    const QByteArray elf = program.readAll();
    const struct {
        const char* name;
        QByteArray content;
        bool executable;
    } cases[] = {
        {"tool", elf, true},
        {"script.sh", "#!/bin/sh\nexit 0\n", true},
        {"data.bin", "\x7f" "EL", false},
        {"notes.txt", "text", false},
    };
    for (const auto& c : cases) {
        const QString source = dir.filePath(QStringLiteral("dl-") + QString::fromLatin1(c.name));
        const QString destination = dir.filePath(QString::fromLatin1(c.name));
        Write(source, c.content, kPlain);
        EXPECT_TRUE(ReplaceFile(source, destination, false)) << c.name;
        EXPECT_EQ(bool(QFile::permissions(destination) & QFileDevice::ExeOwner), c.executable) << c.name;
        // A replaced file keeps the mode it had, program or not.
        Write(destination, "old", kPlain);
        EXPECT_TRUE(ReplaceFile(source, destination, false)) << c.name;
        EXPECT_EQ(QFile::permissions(destination) & 0x7077, kPlain) << c.name;
    }
}

// A set of files goes in whole or not at all: when one destination cannot take its file, the
// files already put in place are taken back out and the old ones return.
TEST(FileSetInstallTest, AllOrNothing)
{
    QTemporaryDir dir;
    const QString a = dir.filePath(QStringLiteral("a.so"));
    const QString b = dir.filePath(QStringLiteral("b.dat"));
    const QString blocked = dir.filePath(QStringLiteral("blocked"));
    Write(a, "old a", kProgram);
    QDir().mkpath(blocked + QStringLiteral("/inside"));   // a folder where a file should go
    for (const char* name : {"new-a", "new-b", "new-c"})
        Write(dir.filePath(QString::fromLatin1(name)), QByteArray(name), kPlain);
    const QStringList before = QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);

    {
        FileSetInstall install;
        EXPECT_TRUE(install.Add(dir.filePath(QStringLiteral("new-a")), a));
        EXPECT_TRUE(install.Add(dir.filePath(QStringLiteral("new-b")), b));
        EXPECT_TRUE(install.Add(dir.filePath(QStringLiteral("new-c")), blocked));
        EXPECT_FALSE(install.Commit());
        EXPECT_TRUE(install.Error().startsWith(blocked)) << install.Error().toStdString();
    }
    EXPECT_EQ(Read(a), QByteArray("old a"));
    EXPECT_EQ(QFile::permissions(a) & 0x7077, kProgram);
    EXPECT_FALSE(QFile::exists(b));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);

    {   // A source that is missing stops the set before anything moves.
        FileSetInstall install;
        EXPECT_TRUE(install.Add(dir.filePath(QStringLiteral("new-a")), a));
        EXPECT_FALSE(install.Add(dir.filePath(QStringLiteral("missing")), b));
        EXPECT_FALSE(install.Commit());
    }
    EXPECT_EQ(Read(a), QByteArray("old a"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);

    FileSetInstall install;
    EXPECT_TRUE(install.Add(dir.filePath(QStringLiteral("new-a")), a));
    EXPECT_TRUE(install.Add(dir.filePath(QStringLiteral("new-b")), b));
    EXPECT_TRUE(install.Commit());
    EXPECT_EQ(Read(a), QByteArray("new-a"));
    EXPECT_EQ(Read(b), QByteArray("new-b"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(),
              before.size() + 1);
}

// On a full disk the last buffered bytes are refused; the old file must stay, whole.
TEST(ReplaceFileTest, FullDiskKeepsTheOldFile)
{
    QTemporaryDir dir;
    SmallFileSystem small;
    QString why;
    if (!small.Mount(dir.filePath(QStringLiteral("small")), 1 << 20, &why))
        GTEST_SKIP() << "no small file system: " << why.toStdString();
    ASSERT_TRUE(small.FillLeaving(200 * 1024));
    const QString installed = dir.filePath(QStringLiteral("small/module.so"));
    Write(installed, "old module", kPlain);
    const QString source = dir.filePath(QStringLiteral("download.so"));
    Write(source, QByteArray(300000, 'm'), kPlain);

    QString error;
    EXPECT_FALSE(ReplaceFile(source, installed, false, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("No space left on device"))) << error.toStdString();
    EXPECT_EQ(Read(installed), QByteArray("old module"));
    EXPECT_EQ(QDir(dir.filePath(QStringLiteral("small"))).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

// Execute bits go with the read bits, on the file itself, never through a link.
TEST(MakeExecutableTest, SetsTheFilesOwnBitsOnly)
{
    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("program"));
    const QString other = dir.filePath(QStringLiteral("other"));
    const QString link = dir.filePath(QStringLiteral("link"));
    Write(program, "#!/bin/sh\n", kPlain);
    Write(other, "data", kPlain);
    ASSERT_TRUE(QFile::link(other, link));

    EXPECT_TRUE(MakeExecutable(program));
    EXPECT_EQ(QFile::permissions(program) & 0x7077, kPlain | QFileDevice::ExeOwner | QFileDevice::ExeGroup);
    EXPECT_FALSE(MakeExecutable(link));
    EXPECT_EQ(QFile::permissions(other) & 0x7077, kPlain);
    EXPECT_FALSE(MakeExecutable(dir.filePath(QStringLiteral("missing"))));
}

// Two copies of one helper under the same name, one inside the folder that is stopped and one
// outside it: only the first is ended.
TEST(StopProgramTest, StopsOnlyTheExactExecutable)
{
    ProgramFolder folder;
    const QString name = folder.UniqueName(QStringLiteral("fakecli"));
    const QString inside = folder.InstallHelper(QStringLiteral(FAKE_CLIENT_PATH), name);
    const QString outside = folder.InstallHelper(QStringLiteral(FAKE_CLIENT_PATH), QStringLiteral("../other/") + name);

    QProcess target;
    QProcess bystander;
    target.start(inside, QStringList());
    bystander.start(outside, QStringList());
    ASSERT_TRUE(target.waitForStarted());
    ASSERT_TRUE(bystander.waitForStarted());

    EXPECT_EQ(StopProgramAt(QString(), 1000), 0);
    EXPECT_EQ(StopProgramAt(QStringLiteral("fakecli"), 1000), 0);   // names are not matched

    EXPECT_EQ(StopProgramAt(inside, 5000), 1);
    EXPECT_TRUE(target.waitForFinished(5000));
    EXPECT_EQ(target.exitStatus(), QProcess::CrashExit);
    EXPECT_EQ(bystander.state(), QProcess::Running);
    bystander.kill();
    bystander.waitForFinished(5000);
}

// The program folder's entry is a link to a program elsewhere: processes of that program,
// started through the link or not, are not the folder's file and are left alone.
TEST(StopProgramTest, ALinkMatchesNothing)
{
    ProgramFolder folder;
    const QString name = folder.UniqueName(QStringLiteral("fakecli"));
    const QString outside = folder.InstallHelper(QStringLiteral(FAKE_CLIENT_PATH), QStringLiteral("../other/") + name);
    const QString link = folder.Path(name);
    ASSERT_TRUE(QFile::link(outside, link));

    QProcess direct;
    QProcess throughLink;
    direct.start(outside, QStringList());
    throughLink.start(link, QStringList());
    ASSERT_TRUE(direct.waitForStarted());
    ASSERT_TRUE(throughLink.waitForStarted());

    EXPECT_EQ(StopProgramAt(link, 1000), 0);
    EXPECT_EQ(direct.state(), QProcess::Running);
    EXPECT_EQ(throughLink.state(), QProcess::Running);
    for (QProcess* process : {&direct, &throughLink}) {
        process->kill();
        process->waitForFinished(5000);
    }
}

} // namespace
