#include "attachmentserver.h"
#include "downloadmanager.h"
#include "downloadwidget.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEngineDownloadItem>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

namespace {

const QByteArray Body = "downloaded through the web view\n";

void writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(WebDownloadTest, LandsUnderAFreeNameBesideAnExistingFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir(dir.path()).mkpath("suggested"));
    ASSERT_TRUE(QDir(dir.path()).mkpath("target"));
    writeFile(dir.filePath("target/report.txt"), "keep me");
    const QString settingsFile = dir.filePath("config/downloadmanager.ini");
    {
        QSettings settings(settingsFile, QSettings::IniFormat);
        settings.setValue("downloadmanager/downloadDirectory", dir.filePath("target"));
    }

    AttachmentServer server(Body);
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));

    QWebEngineProfile profile;  // off the record
    profile.setDownloadPath(dir.filePath("suggested"));
    QWebEnginePage page(&profile);
    QWebEngineView view;
    view.setPage(&page);

    DownloadManager list(settingsFile);
    QSignalSpy status(&list, &DownloadManager::statusChanged);
    // What the main window does with a confirmed download.
    QObject::connect(&profile, &QWebEngineProfile::downloadRequested, &list,
                     [&list](QWebEngineDownloadItem* item) {
                         const QString free = DownloadManager::uniqueFileName(
                             QDir(item->downloadDirectory()).filePath(item->downloadFileName()));
                         item->setDownloadDirectory(QFileInfo(free).absolutePath());
                         item->setDownloadFileName(QFileInfo(free).fileName());
                         list.download(item);
                         item->accept();
                     });

    view.load(server.Address());
    QTRY_VERIFY_WITH_TIMEOUT(!status.isEmpty() &&
                                 status.last().at(2).toInt() == DownloadManager::DownloadSucceeded,
                             30000);

    ASSERT_EQ(list.rowCount(), 1);
    EXPECT_EQ(list.row(0)->file().absoluteFilePath().toStdString(),
              dir.filePath("target/report (1).txt").toStdString());
    EXPECT_EQ(readFile(dir.filePath("target/report (1).txt")).toStdString(), Body.toStdString());
    EXPECT_EQ(readFile(dir.filePath("target/report.txt")).toStdString(), "keep me");
    EXPECT_TRUE(list.row(0)->downloadedSuccessfully());
    EXPECT_EQ(list.row(0)->infoText().toStdString(), QString("%1 bytes").arg(Body.size()).toStdString());
}

}  // namespace
