#include "autosaver.h"
#include "downloadmanager.h"
#include "downloadwidget.h"
#include "fakedownloaditem.h"

#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QLabel>
#include <QSettings>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

struct Entry {
    int n;
    const char* url;
    const char* location;  // file name inside the folder; "" for an empty location
    const char* done;      // nullptr: key absent
};

// A download list over a settings file in a temporary folder.
class ListTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_settingsFile = m_dir.filePath("config/downloadmanager.ini");
    }

    QString path(const QString& name) const { return m_dir.filePath(name); }

    void writeEntries(const char* policy, std::initializer_list<Entry> entries)
    {
        QSettings settings(m_settingsFile, QSettings::IniFormat);
        settings.beginGroup("downloadmanager");
        if (policy)
            settings.setValue("removeDownloadsPolicy", policy);
        for (const Entry& e : entries) {
            const QString key = QString("download_%1_").arg(e.n);
            settings.setValue(key + "url", QUrl(e.url));
            settings.setValue(key + "location", *e.location ? path(e.location) : QString());
            if (e.done)
                settings.setValue(key + "done", QString(e.done) == "true");
        }
    }

    QVariant value(const QString& key) const
    {
        QSettings settings(m_settingsFile, QSettings::IniFormat);
        return settings.value("downloadmanager/" + key);
    }

    // Adds a download of a fake item and returns the item (owned by its row).
    FakeDownloadItem* addDownload(DownloadManager& list, const QString& name)
    {
        auto* item = new FakeDownloadItem(path(name), QUrl("http://127.0.0.1/" + name));
        list.addDownload(item);
        item->start();
        return item;
    }

    static QStringList urls(const DownloadManager& list)
    {
        QStringList result;
        for (int i = 0; i < list.rowCount(); ++i)
            result << list.row(i)->url().toString();
        return result;
    }

    static QString itemCount(const DownloadManager& list)
    {
        return list.findChild<QLabel*>("itemCount")->text();
    }

    static void flushDeletions()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    QTemporaryDir m_dir;
    QString m_settingsFile;
};

TEST_F(ListTest, FreshListCountsItems)
{
    DownloadManager list(m_settingsFile);
    EXPECT_EQ(itemCount(list), "0 Items");
    EXPECT_EQ(list.removePolicy(), DownloadManager::Never);

    QSignalSpy status(&list, &DownloadManager::statusChanged);
    addDownload(list, "a.bin");
    EXPECT_EQ(itemCount(list), "1 Download");
    addDownload(list, "b.bin");
    EXPECT_EQ(itemCount(list), "2 Downloads");
    ASSERT_EQ(status.count(), 2);
    EXPECT_EQ(status.at(1).at(0).toInt(), 2);
    EXPECT_EQ(status.at(1).at(1).toInt(), 2);
    EXPECT_EQ(urls(list), QStringList({"http://127.0.0.1/b.bin", "http://127.0.0.1/a.bin"}));
}

TEST_F(ListTest, LoadRestoresDoneEntriesUpToTheFirstGap)
{
    QFile(path("a.bin")).open(QIODevice::WriteOnly);
    writeEntries(nullptr, {
                              {0, "http://h/a", "a.bin", "true"},
                              {1, "http://h/b", "b.bin", nullptr},
                              {2, "http://h/c", "c.bin", "false"},
                              {3, "http://h/d", "", "true"},
                              {4, "", "e.bin", "true"},
                              {5, "http://h/f", "f.bin", "true"},
                              {7, "http://h/h", "h.bin", "true"},
                          });
    DownloadManager list(m_settingsFile);
    EXPECT_EQ(urls(list), QStringList({"http://h/f", "http://h/b", "http://h/a"}));
    EXPECT_EQ(list.row(2)->infoText(), "0 bytes");  // a.bin is empty
    EXPECT_EQ(list.row(1)->infoText(), "0 bytes");  // b.bin is gone
    EXPECT_EQ(list.activeDownloads(), 0);
}

TEST_F(ListTest, SaveNumbersOldestFirstAndRoundTrips)
{
    writeEntries(nullptr, {{0, "http://h/a", "a.bin", "true"},
                           {1, "http://h/b", "b.bin", "true"},
                           {2, "http://h/c", "c.bin", "true"}});
    {
        DownloadManager list(m_settingsFile);
        ASSERT_EQ(list.rowCount(), 3);
        addDownload(list, "new.bin")->end(DownloadItem::DownloadCompleted);
        list.cleanup();  // every row is finished
        flushDeletions();
        EXPECT_EQ(itemCount(list), "0 Downloads");
        addDownload(list, "x.bin")->end(DownloadItem::DownloadCompleted);
        addDownload(list, "y.bin")->end(DownloadItem::DownloadCompleted);
    }
    EXPECT_EQ(value("removeDownloadsPolicy").toString(), "Never");
    EXPECT_EQ(value("size").toSize(), QSize(700, 500));
    EXPECT_EQ(value("download_0_url").toUrl(), QUrl("http://127.0.0.1/x.bin"));
    EXPECT_EQ(value("download_0_location").toString(), path("x.bin"));
    EXPECT_EQ(value("download_1_url").toUrl(), QUrl("http://127.0.0.1/y.bin"));
    EXPECT_FALSE(value("download_2_url").isValid());
    EXPECT_FALSE(value("download_2_done").isValid());

    DownloadManager reloaded(m_settingsFile);
    EXPECT_EQ(urls(reloaded), QStringList({"http://127.0.0.1/y.bin", "http://127.0.0.1/x.bin"}));
}

TEST_F(ListTest, UnfinishedDownloadsAreNotSavedAsDoneWhileHidden)
{
    {
        DownloadManager list(m_settingsFile);  // never shown
        addDownload(list, "done.bin")->end(DownloadItem::DownloadCompleted);
        FakeDownloadItem* interrupted = addDownload(list, "interrupted.bin");
        interrupted->progress(10, 100);
        interrupted->end(DownloadItem::DownloadInterrupted);
        addDownload(list, "running.bin")->progress(10, 100);

        EXPECT_EQ(list.activeDownloads(), 2);
        const QAbstractItemModel* model = list.findChild<QTableView*>("downloadsView")->model();
        EXPECT_EQ(model->data(model->index(0, 0), Qt::ToolTipRole).toString().left(14), "10 bytes of 10");
        EXPECT_FALSE(model->data(model->index(2, 0), Qt::ToolTipRole).isValid());
    }
    EXPECT_TRUE(value("download_0_done").toBool());
    EXPECT_FALSE(value("download_1_done").toBool());
    EXPECT_FALSE(value("download_2_done").toBool());

    DownloadManager reloaded(m_settingsFile);
    EXPECT_EQ(urls(reloaded), QStringList({"http://127.0.0.1/done.bin"}));
}

TEST_F(ListTest, CleanupKeepsRunningRowsInOrder)
{
    DownloadManager list(m_settingsFile);
    addDownload(list, "old.bin")->end(DownloadItem::DownloadCompleted);
    addDownload(list, "running.bin");
    addDownload(list, "new.bin")->end(DownloadItem::DownloadCompleted);
    FakeDownloadItem* stopped = addDownload(list, "stopped.bin");
    list.row(0)->stop();
    EXPECT_EQ(stopped->cancelCalls, 1);

    list.cleanup();
    flushDeletions();
    EXPECT_EQ(urls(list), QStringList({"http://127.0.0.1/running.bin"}));
    EXPECT_EQ(itemCount(list), "1 Download");
}

TEST_F(ListTest, ExitPolicyWritesOnlyPolicyAndSize)
{
    writeEntries("Exit", {{0, "http://h/a", "a.bin", "true"}});
    {
        DownloadManager list(m_settingsFile);
        EXPECT_EQ(list.removePolicy(), DownloadManager::Exit);
        EXPECT_EQ(list.rowCount(), 1);
        addDownload(list, "new.bin")->end(DownloadItem::DownloadCompleted);
    }
    EXPECT_EQ(value("removeDownloadsPolicy").toString(), "Exit");
    EXPECT_EQ(value("size").toSize(), QSize(700, 500));
    EXPECT_EQ(value("download_0_url").toUrl(), QUrl("http://h/a"));
    EXPECT_FALSE(value("download_1_url").isValid());
}

TEST_F(ListTest, SuccessfulDownloadPolicyRemovesFinishedRows)
{
    writeEntries("SuccessFullDownload",
                 {{0, "http://h/a", "a.bin", "true"}, {1, "http://h/b", "b.bin", "true"}});
    {
        DownloadManager list(m_settingsFile);
        EXPECT_EQ(list.removePolicy(), DownloadManager::SuccessFullDownload);
        EXPECT_EQ(list.rowCount(), 0);
        FakeDownloadItem* item = addDownload(list, "new.bin");
        EXPECT_EQ(list.rowCount(), 1);
        QSignalSpy status(&list, &DownloadManager::statusChanged);
        item->end(DownloadItem::DownloadCompleted);
        EXPECT_EQ(list.rowCount(), 0);
        ASSERT_EQ(status.count(), 1);
        EXPECT_EQ(status.at(0).at(0).toInt(), 0);
        EXPECT_EQ(status.at(0).at(2).toInt(), int(DownloadManager::DownloadSucceeded));
        flushDeletions();
    }
    EXPECT_EQ(value("removeDownloadsPolicy").toString(), "SuccessFullDownload");
    EXPECT_FALSE(value("download_0_url").isValid());
}

TEST_F(ListTest, UnknownPolicyNameMeansNever)
{
    writeEntries("Sometimes", {});
    DownloadManager list(m_settingsFile);
    EXPECT_EQ(list.removePolicy(), DownloadManager::Never);
    list.setProperty("removePolicy", int(DownloadManager::Exit));
    EXPECT_EQ(list.removePolicy(), DownloadManager::Exit);
}

// Counts calls of its "save" slot.
class SaveTarget : public QObject
{
    Q_OBJECT

public slots:
    void save() { ++saves; }

public:
    int saves = 0;
};

TEST(AutoSaverTest, SavesAfterQuietTimeOrLongestWait)
{
    SaveTarget target;
    auto* saver = new AutoSaver(&target, 50, 300);
    saver->changeOccurred();
    QTest::qWait(20);
    saver->changeOccurred();
    EXPECT_EQ(target.saves, 0);
    QTRY_COMPARE_WITH_TIMEOUT(target.saves, 1, 2000);

    // Changes closer than the quiet time: saved once the first is older than
    // the longest wait.
    QElapsedTimer clock;
    clock.start();
    while (target.saves == 1 && clock.elapsed() < 2000) {
        saver->changeOccurred();
        QTest::qWait(20);
    }
    EXPECT_EQ(target.saves, 2);
    EXPECT_GE(clock.elapsed(), 300);

    saver->changeOccurred();
    saver->saveIfNecessary();
    EXPECT_EQ(target.saves, 3);
    saver->saveIfNecessary();  // nothing pending
    EXPECT_EQ(target.saves, 3);

    saver->changeOccurred();
    delete saver;  // pending change dropped with a warning
    QTest::qWait(100);
    EXPECT_EQ(target.saves, 3);
}

}  // namespace

#include "list_test.moc"
