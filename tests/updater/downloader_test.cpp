#include "downloadmanager.h"
#include "httpserver.h"
#include "qstringprint.h"
#include "smallfs.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <sys/file.h>

namespace {

const int kTestTimeoutMs = 500;

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool Download(const QString& url, const QString& path)
{
    DownloadManager manager;
    manager.SetDataTimeout(kTestTimeoutMs);
    return manager.GetAndWait(QUrl(url, QUrl::TolerantMode), path, false, true);
}

QByteArray Body(int size)
{
    QByteArray body;
    for (int i = 0; i < size; ++i)
        body.append(static_cast<char>('a' + i % 26));
    return body;
}

// Every failure must leave what was there before; only a complete 2xx body replaces it.
TEST(DownloaderTest, OnlyACompleteAnswerReplacesTheTarget)
{
    const QByteArray body = Body(4000);
    const struct {
        const char* name;
        HttpRoute route;
        bool ok;
    } cases[] = {
        {"complete", {200, body, HttpRoute::Mode::Complete}, true},
        {"empty body", {200, QByteArray(), HttpRoute::Mode::Complete}, true},
        {"slow but steady", {200, body, HttpRoute::Mode::Trickle}, true},
        {"not found", {404, "error page", HttpRoute::Mode::Complete}, false},
        {"server error", {500, "error page", HttpRoute::Mode::Complete}, false},
        {"redirect", {302, "moved", HttpRoute::Mode::Complete}, false},
        {"closed half-way", {200, body, HttpRoute::Mode::CloseMidway}, false},
        {"stalled half-way", {200, body, HttpRoute::Mode::StallMidway}, false},
        {"no answer", {200, body, HttpRoute::Mode::Silent}, false},
    };
    LoopbackHttpServer server;
    QTemporaryDir dir;
    int n = 0;
    for (const auto& c : cases) {
        const QString path = QStringLiteral("/files/f%1.bin").arg(++n);
        server.SetRoute(path, c.route);
        const QString target = dir.filePath(QStringLiteral("f%1.bin").arg(n));
        QFile old(target);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("installed");
        old.close();

        EXPECT_EQ(Download(server.Url(path), target), c.ok) << c.name;
        EXPECT_EQ(ReadAll(target), c.ok ? c.route.body : QByteArray("installed")) << c.name;
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), n) << c.name << ": temporary file left";
    }
}

// The disk fills up during the download: the old file stays and nothing half-written is left.
TEST(DownloaderTest, FullDiskKeepsTheOldFile)
{
    QTemporaryDir dir;
    SmallFileSystem small;
    QString why;
    if (!small.Mount(dir.filePath(QStringLiteral("small")), 1 << 20, &why))
        GTEST_SKIP() << "no small file system: " << why.toStdString();
    const QString target = dir.filePath(QStringLiteral("small/module.so"));
    QFile old(target);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("installed");
    old.close();
    ASSERT_TRUE(small.FillLeaving(200 * 1024));
    LoopbackHttpServer server;
    server.SetFile(QStringLiteral("/module.so"), Body(300000));

    EXPECT_FALSE(Download(server.Url(QStringLiteral("/module.so")), target));
    EXPECT_EQ(ReadAll(target), QByteArray("installed"));
    EXPECT_EQ(QDir(dir.filePath(QStringLiteral("small"))).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

// A download far larger than memory should need: the reply's buffer is bounded, so the
// process stays small however large the file.
TEST(DownloaderTest, LargeDownloadKeepsMemoryBounded)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "freed memory stays resident in the address sanitizer's quarantine";
#endif
    const qint64 size = 300LL * 1000 * 1000;
    const qint64 boundKib = 64 * 1024;
    LoopbackHttpServer server;
    HttpRoute route;
    route.mode = HttpRoute::Mode::Generated;
    route.size = size;
    server.SetRoute(QStringLiteral("/big.bin"), route);
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("big.bin"));

    QProcess fetch;
    fetch.start(QStringLiteral(UPDATER_FETCH_PATH), {server.Url(QStringLiteral("/big.bin")), target});
    ASSERT_TRUE(fetch.waitForFinished(110000));
    EXPECT_EQ(fetch.exitCode(), 0) << fetch.readAllStandardError().toStdString();
    const QByteArray output = fetch.readAllStandardOutput();
    const int at = output.indexOf("peak-rss-kib ");
    ASSERT_GE(at, 0) << output.toStdString();
    const qint64 peakKib = output.mid(at + 13).trimmed().split('\n').value(0).toLongLong();
    EXPECT_GT(peakKib, 0);
    EXPECT_LT(peakKib, boundKib) << "peak resident size " << peakKib << " KiB";

    QFile file(target);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.size(), size);
    for (const qint64 position : {qint64(0), qint64(65535), qint64(65536), size / 2 + 12345, size - 1}) {
        ASSERT_TRUE(file.seek(position));
        char byte = 0;
        ASSERT_TRUE(file.getChar(&byte));
        EXPECT_EQ(byte, GeneratedByte(position)) << position;
    }
}

// A link planted at the target is replaced by the downloaded file; what it leads to is never
// written, whether a file, a missing file or a folder.
TEST(DownloaderTest, ALinkAtTheTargetIsReplacedNotWrittenThrough)
{
    LoopbackHttpServer server;
    server.SetFile(QStringLiteral("/module.so"), "server bytes");
    QTemporaryDir dir;
    const QString outside = dir.filePath(QStringLiteral("outside"));
    QDir().mkpath(outside + QStringLiteral("/folder"));
    QFile victim(outside + QStringLiteral("/victim"));
    ASSERT_TRUE(victim.open(QIODevice::WriteOnly));
    victim.write("not the server's");
    victim.close();
    QDir().mkpath(dir.filePath(QStringLiteral("download")));
    const char* const targets[] = {"victim", "missing", "folder"};
    for (const char* pointsTo : targets) {
        const QString link = dir.filePath(QStringLiteral("download/") + QLatin1String(pointsTo));
        ASSERT_TRUE(QFile::link(outside + QLatin1Char('/') + QLatin1String(pointsTo), link));
        EXPECT_TRUE(Download(server.Url(QStringLiteral("/module.so")), link)) << pointsTo;
        EXPECT_FALSE(QFileInfo(link).isSymLink()) << pointsTo;
        EXPECT_EQ(ReadAll(link), QByteArray("server bytes")) << pointsTo;
    }
    EXPECT_EQ(ReadAll(outside + QStringLiteral("/victim")), QByteArray("not the server's"));
    EXPECT_FALSE(QFileInfo::exists(outside + QStringLiteral("/missing")));
    EXPECT_TRUE(QDir(outside + QStringLiteral("/folder")).isEmpty());
}

// A process killed in the middle of a download leaves nothing behind where the file system
// gives unnamed temporary files, else its hidden temporary file (planted here as
// ".module.so.aB3xYz"); the next download of the same file removes that, but never one another
// process is still writing, a link of that name or a file of another name.
TEST(DownloaderTest, TemporaryFilesOfAKilledDownloadAreRemovedByTheNext)
{
    LoopbackHttpServer server;
    server.SetRoute(QStringLiteral("/stalls.so"), {200, Body(4000), HttpRoute::Mode::StallMidway});
    server.SetFile(QStringLiteral("/module.so"), "server bytes");
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("module.so"));

    QProcess fetch;
    fetch.start(QStringLiteral(UPDATER_FETCH_PATH), {server.Url(QStringLiteral("/stalls.so")), target});
    QElapsedTimer waited;
    waited.start();
    while (!server.Requests().contains(QStringLiteral("/stalls.so")) && waited.elapsed() < 30000)
        QThread::msleep(10);
    ASSERT_TRUE(server.Requests().contains(QStringLiteral("/stalls.so")));
    fetch.kill();
    ASSERT_TRUE(fetch.waitForFinished(30000));

    const auto make = [&](const char* name) {
        QFile file(dir.filePath(QLatin1String(name)));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << name;
        file.write("partial");
    };
    make(".module.so.aB3xYz");     // abandoned
    make(".module.so.Q9w8e7");     // being written by a live process
    make(".other.so.aB3xYz");      // another file's
    make(".module.so.toolong1");   // not a temporary name
    make("outside");
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("outside")), dir.filePath(QStringLiteral(".module.so.L1nk00"))));
    QFile live(dir.filePath(QStringLiteral(".module.so.Q9w8e7")));
    ASSERT_TRUE(live.open(QIODevice::ReadWrite));
    ASSERT_EQ(::flock(live.handle(), LOCK_EX), 0);

    ASSERT_TRUE(Download(server.Url(QStringLiteral("/module.so")), target));
    QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    left.sort();
    EXPECT_EQ(left, QStringList({".module.so.L1nk00", ".module.so.Q9w8e7", ".module.so.toolong1",
                                 ".other.so.aB3xYz", "module.so", "outside"}));
    EXPECT_EQ(ReadAll(target), QByteArray("server bytes"));
    EXPECT_EQ(ReadAll(dir.filePath(QStringLiteral("outside"))), QByteArray("partial"));
}

TEST(DownloaderTest, FileNameAndFolder)
{
    LoopbackHttpServer server;
    server.SetFile(QStringLiteral("/dir/name.bin"), "named");
    server.SetFile(QStringLiteral("/dir/"), "index");
    QTemporaryDir dir;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());

    DownloadManager manager;
    // No path: the URL's file name in the current folder, "download" when it has none.
    EXPECT_TRUE(manager.GetAndWait(QUrl(server.Url(QStringLiteral("//dir/name.bin"))), QString(), false, true));
    EXPECT_EQ(ReadAll(dir.filePath(QStringLiteral("name.bin"))), QByteArray("named"));
    EXPECT_TRUE(manager.GetAndWait(QUrl(server.Url(QStringLiteral("/dir/"))), QString(), false, true));
    EXPECT_EQ(ReadAll(dir.filePath(QStringLiteral("download"))), QByteArray("index"));

    // One missing folder level is made; two are not.
    EXPECT_TRUE(manager.GetAndWait(QUrl(server.Url(QStringLiteral("/dir/name.bin"))),
                                   dir.filePath(QStringLiteral("new/x.bin")), false, true));
    EXPECT_EQ(ReadAll(dir.filePath(QStringLiteral("new/x.bin"))), QByteArray("named"));
    EXPECT_FALSE(manager.GetAndWait(QUrl(server.Url(QStringLiteral("/dir/name.bin"))),
                                    dir.filePath(QStringLiteral("a/b/x.bin")), false, true));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("a/b/x.bin"))));
    QDir::setCurrent(previous);
    EXPECT_EQ(server.Requests().size(), 3);   // a target that cannot be opened sends nothing
}

TEST(DownloaderTest, BusyManagerRefusesWhenAskedTo)
{
    LoopbackHttpServer server;
    server.SetRoute(QStringLiteral("/slow"), HttpRoute{200, Body(800), HttpRoute::Mode::Trickle});
    QTemporaryDir dir;
    DownloadManager manager;
    QSignalSpy finished(&manager, &DownloadManager::downloadFinished);
    ASSERT_TRUE(manager.GetAndWait(QUrl(server.Url(QStringLiteral("/slow"))), dir.filePath(QStringLiteral("a")),
                                   false, false));
    EXPECT_FALSE(manager.GetAndWait(QUrl(server.Url(QStringLiteral("/slow"))), dir.filePath(QStringLiteral("b")),
                                    true, true));
    ASSERT_EQ(finished.size(), 1);
    EXPECT_FALSE(finished.at(0).at(0).toBool());
    // The first download goes on and completes.
    EXPECT_TRUE(finished.wait(5000));
    EXPECT_TRUE(finished.at(1).at(0).toBool());
    EXPECT_EQ(ReadAll(dir.filePath(QStringLiteral("a"))), Body(800));
}

} // namespace
