#include "qstringprint.h"
#include "fileinstall.h"
#include "processcontrol.h"
#include "programfolder.h"

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

} // namespace
