#pragma once

#include <QElapsedTimer>
#include <QFileInfo>
#include <QUrl>
#include <QWidget>

#include <functional>

class DownloadItem;
class QPixmap;

namespace Ui {
class DownloadItem;
}

// One row of the download list: file icon, a link that opens the file, a
// progress bar, a line of progress text, a "Show in folder" link and Stop.
// A row follows a live download item (which it owns) or, restored from the
// list's file, stands alone.
class DownloadWidget final : public QWidget
{
    Q_OBJECT

public:
    // item may be null; settingsFile is the list's ini file, which may name
    // the folder for new downloads ("downloadmanager/downloadDirectory").
    DownloadWidget(DownloadItem* item, const QString& settingsFile, QWidget* parent = nullptr);
    ~DownloadWidget() override;
    DownloadWidget(const DownloadWidget&) = delete;
    DownloadWidget& operator=(const DownloadWidget&) = delete;

    // Completed by its item, stopped by the user, or restored. Running,
    // cancelled or interrupted downloads that the user has not stopped are not.
    bool downloadedSuccessfully() const;
    // The Stop button is enabled.
    bool isActive() const;
    bool isProgressBarShown() const;

    QUrl url() const;
    void setUrl(const QUrl& url);
    QFileInfo file() const;
    void setFile(const QString& path);
    QString infoText() const;
    void setFileIcon(const QPixmap& pixmap);

    // Shows a row restored from the list's file: no Stop, no bar, the size of
    // the file on disk, links to it.
    void showRestored();

    // Milliseconds of a monotonic clock, replacing the real one (tests).
    void setClock(std::function<qint64()> clock);

signals:
    void statusChanged();

public slots:
    void stop();
    void open();
    void linkActivated(const QString& link);
    void downloadProgress(qint64 bytesReceived, qint64 bytesTotal);
    void finished();

private:
    void init();
    void getFileName();
    void updateLinkLabels();
    void updateInfoLabel();
    void hideStopButton();
    qint64 elapsedMs() const;

    Ui::DownloadItem* m_ui;
    QUrl m_url;
    QFileInfo m_file;
    qint64 m_bytesReceived = 0;
    qint64 m_bytesTotal = 0;  // 0: unknown
    QElapsedTimer m_downloadTime;
    std::function<qint64()> m_clock;
    qint64 m_clockStart = 0;
    DownloadItem* m_item;
    QString m_settingsFile;
    bool m_ended = false;  // Stop was hidden: stopped, completed or restored
};
