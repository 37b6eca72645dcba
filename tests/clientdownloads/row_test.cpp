#include "downloadpaths.h"
#include "downloadtexts.h"
#include "downloadwidget.h"
#include "fakedownloaditem.h"

#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <memory>

namespace {

constexpr qint64 KiB = 1024;
constexpr qint64 MiB = 1024 * 1024;
constexpr qint64 GiB = 1024 * MiB;

void touch(const QString& path, const QByteArray& content = "x")
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
}

// A row over a fake item in a folder of its own, with a clock the test moves.
class RowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_settingsFile = m_dir.filePath("downloadmanager.ini");
        m_item = new FakeDownloadItem(m_dir.filePath("file.bin"), QUrl("http://127.0.0.1/file.bin"));
        m_row = std::make_unique<DownloadWidget>(m_item, m_settingsFile);
        m_row->setClock([this] { return m_now; });
        m_item->start();
    }

    QPushButton* stopButton() const { return m_row->findChild<QPushButton*>("stopButton"); }
    QProgressBar* progressBar() const { return m_row->findChild<QProgressBar*>("progressBar"); }

    QTemporaryDir m_dir;
    QString m_settingsFile;
    qint64 m_now = 0;
    FakeDownloadItem* m_item = nullptr;  // owned by the row
    std::unique_ptr<DownloadWidget> m_row;
};

TEST(DownloadTextsTest, SizeTexts)
{
    const struct {
        qint64 size;
        const char* text;
    } cases[] = {
        {0, "0 bytes"},
        {1023, "1023 bytes"},
        {1024, "1 kB"},
        {MiB - 1, "1023 kB"},
        {MiB, "1 MB"},
        {2147483647, "2047 MB"},
        {2 * GiB, "2048 MB"},
        {5 * GiB + 5 * MiB, "5125 MB"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DownloadTexts::dataString(c.size).toStdString(), c.text) << c.size;
}

TEST_F(RowTest, RunningTexts)
{
    const struct {
        qint64 received;
        qint64 total;  // -1: unknown
        qint64 elapsedMs;
        const char* text;
    } cases[] = {
        {3 * MiB, 10 * MiB, 6000, "3 MB of 10 MB (512 kB/sec) - 14 seconds remaining"},
        {1000, 61000, 1000, "1000 bytes of 59 kB (1000 bytes/sec) - 60 seconds remaining"},
        {1000, 62000, 1000, "1000 bytes of 60 kB (1000 bytes/sec) - 1 minutes remaining"},
        {1000, 151000, 1000, "1000 bytes of 147 kB (1000 bytes/sec) - 2 minutes remaining"},
        {1000, 1500, 1000, "1000 bytes of 1 kB (1000 bytes/sec) - 1 seconds remaining"},
        {2 * KiB, -1, 1000, "2 kB of ? (2 kB/sec) "},
        {1000, 5000, 0, "1000 bytes of 4 kB (?/sec) "},
        {0, 5000, 1000, "0 bytes of 4 kB (?/sec) "},
        {3 * GiB, 6 * GiB, 3000, "3072 MB of 6144 MB (1024 MB/sec) - 3 seconds remaining"},
    };
    for (const auto& c : cases) {
        m_now = c.elapsedMs;
        m_item->progress(c.received, c.total);
        EXPECT_EQ(m_row->infoText().toStdString(), c.text) << c.received << " of " << c.total;
        EXPECT_FALSE(m_row->downloadedSuccessfully());
    }
}

TEST_F(RowTest, BarScalesSizesAboveTwoGiB)
{
    m_item->progress(3 * GiB, 6 * GiB);
    ASSERT_GT(progressBar()->maximum(), 0);
    EXPECT_EQ(progressBar()->value() * 2, progressBar()->maximum());

    m_item->progress(100, -1);
    EXPECT_EQ(progressBar()->maximum(), 0);
}

TEST_F(RowTest, CompletedShowsSizeAndReportsOnce)
{
    QSignalSpy status(m_row.get(), &DownloadWidget::statusChanged);
    m_now = 1000;
    m_item->progress(5000, 5000);
    m_item->end(DownloadItem::DownloadCompleted);

    EXPECT_EQ(m_row->infoText().toStdString(), "4 kB");
    EXPECT_EQ(status.count(), 1);
    EXPECT_TRUE(m_row->downloadedSuccessfully());
    EXPECT_FALSE(m_row->isActive());
    EXPECT_FALSE(stopButton()->isVisibleTo(m_row.get()));
    EXPECT_FALSE(m_row->isProgressBarShown());
}

TEST_F(RowTest, StoppedByUser)
{
    QSignalSpy status(m_row.get(), &DownloadWidget::statusChanged);
    m_now = 1000;
    m_item->progress(1000, 5000);
    m_row->stop();

    EXPECT_EQ(m_item->cancelCalls, 1);
    EXPECT_EQ(status.count(), 1);
    EXPECT_TRUE(m_row->downloadedSuccessfully());
    EXPECT_FALSE(m_row->isActive());

    m_item->progress(1000, 5000);
    EXPECT_EQ(m_row->infoText().toStdString(), "1000 bytes of 4 kB - Stopped");

    m_item->end(DownloadItem::DownloadCancelled);
    EXPECT_EQ(m_row->infoText().toStdString(), "Download cancelled");
    EXPECT_EQ(status.count(), 1);
}

TEST_F(RowTest, CancelledOrInterruptedByEngineStaysActive)
{
    const struct {
        int state;
        const char* text;
    } cases[] = {
        {DownloadItem::DownloadCancelled, "Download cancelled"},
        {DownloadItem::DownloadInterrupted, "Download interrupted"},
    };
    for (const auto& c : cases) {
        auto* item = new FakeDownloadItem(m_dir.filePath("other.bin"), QUrl("http://127.0.0.1/o"));
        DownloadWidget row(item, m_settingsFile);
        QSignalSpy status(&row, &DownloadWidget::statusChanged);
        item->start();
        item->progress(1000, 5000);
        item->end(c.state);

        EXPECT_EQ(row.infoText().toStdString(), c.text);
        EXPECT_EQ(status.count(), 0);
        EXPECT_TRUE(row.isActive());
        EXPECT_TRUE(row.isProgressBarShown());
        // Never shown on screen, yet not finished: the item's state decides.
        EXPECT_FALSE(row.downloadedSuccessfully());
    }
}

TEST(DownloadPathsTest, UniqueFileName)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const char* name : {"report.pdf", "report (1).pdf", "archive.tar.gz", "notes"})
        touch(dir.filePath(name));

    const struct {
        const char* name;
        const char* unique;
    } cases[] = {
        {"free.pdf", "free.pdf"},
        {"report.pdf", "report (2).pdf"},
        {"archive.tar.gz", "archive.tar (1).gz"},
        {"notes", "notes (1)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DownloadPaths::uniqueFileName(dir.filePath(c.name)), dir.filePath(c.unique)) << c.name;
}

TEST(DownloadRowPathTest, FinalPathIsFreeInTheDownloadDirectory)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString settingsFile = dir.filePath("downloadmanager.ini");
    ASSERT_TRUE(QDir(dir.path()).mkdir("suggested"));
    ASSERT_TRUE(QDir(dir.path()).mkdir("target"));
    touch(dir.filePath("target/report.pdf"), "old");

    {
        // Unset directory and an existing item folder: the path is kept.
        auto* item = new FakeDownloadItem(dir.filePath("suggested/report.pdf"), QUrl());
        DownloadWidget row(item, settingsFile);
        EXPECT_EQ(item->path(), dir.filePath("suggested/report.pdf"));
    }
    {
        QSettings settings(settingsFile, QSettings::IniFormat);
        settings.setValue("downloadmanager/downloadDirectory", dir.filePath("target"));
    }
    auto* item = new FakeDownloadItem(dir.filePath("suggested/report.pdf"), QUrl());
    DownloadWidget row(item, settingsFile);
    EXPECT_EQ(item->path(), dir.filePath("target/report (1).pdf"));
    EXPECT_EQ(row.file().absoluteFilePath(), dir.filePath("target/report (1).pdf"));

    // Once the item runs its path is no longer changed.
    auto* running = new FakeDownloadItem(dir.filePath("suggested/report.pdf"), QUrl());
    running->start();
    DownloadWidget runningRow(running, settingsFile);
    EXPECT_EQ(running->setPathCalls, 0);
}

// Receives the URLs the rows hand to the desktop.
class UrlSink : public QObject
{
    Q_OBJECT

public slots:
    void handle(const QUrl& url) { urls.append(url); }

public:
    QList<QUrl> urls;
};

TEST_F(RowTest, LinksOpenFileAndFolder)
{
    UrlSink sink;
    QDesktopServices::setUrlHandler("file", &sink, "handle");
    m_row->linkActivated("open");
    m_row->linkActivated("SHOWINFOLDER");
    m_row->linkActivated("other");
    QDesktopServices::unsetUrlHandler("file");

    ASSERT_EQ(sink.urls.size(), 2);
    EXPECT_EQ(sink.urls.at(0), QUrl::fromLocalFile(m_dir.filePath("file.bin")));
    EXPECT_EQ(sink.urls.at(1), QUrl::fromLocalFile(m_dir.path()));
}

}  // namespace

#include "row_test.moc"
