#pragma once

#include <QEventLoop>
#include <QList>
#include <QNetworkAccessManager>
#include <QObject>
#include <QSslError>
#include <QString>
#include <QTimer>
#include <QUrl>

class QNetworkReply;
class QSaveFile;

// One HTTP GET into one file, waited for in a local event loop. The body goes to a temporary
// file beside the target, which replaces the target only when the whole body arrived with a
// 2xx status and was written out. The wait gives up when no data arrives for the data
// time-out, before the first data and between later data alike, and, when a deadline is set,
// when the whole answer has not arrived by then. The reply buffers at most ReadBufferBytes, so
// memory stays small whatever the size of the file.
class DownloadManager : public QObject
{
    Q_OBJECT

public:
    static constexpr int DefaultDataTimeoutMs = 2000;
    static constexpr qint64 ReadBufferBytes = 1 << 20;

    DownloadManager();
    ~DownloadManager() override;

    DownloadManager(const DownloadManager&) = delete;
    DownloadManager& operator=(const DownloadManager&) = delete;

    bool GetAndWait(const QUrl& url, const QString& path, bool abortIfBusy, bool wait);
    QString PrepareSaveFile(const QUrl& url, const QString& path);

    void SetDataTimeout(int milliseconds);
    // Overall limit for one download from its start; 0 (the default) sets none.
    void SetDeadline(int milliseconds) { m_deadline.setInterval(milliseconds); }

signals:
    void downloadFinished(bool success);

private slots:
    void readyRead();
    void finished();
    void sslErrors(const QList<QSslError>& errors);
    void timeout();
    void deadlinePassed();

private:
    void Fail(const QString& reason);
    void DropFile();

    QNetworkAccessManager m_manager;
    QNetworkReply* m_reply = nullptr;
    QSaveFile* m_file = nullptr;
    QUrl m_url;
    bool m_success = false;
    bool m_failed = false;    // a write failed or the wait timed out: the reply is aborted
    qint64 m_received = 0;
    QEventLoop m_loop;
    QTimer m_timer;
    QTimer m_deadline;
};

// Saves the URL under the local path; true when the complete file is in place.
// UPDATER_DATA_TIMEOUT_MS in the environment replaces the data time-out (for tests).
bool DownloadFile(const QString& url, const QString& path);

// As DownloadFile, and the whole answer must have arrived within `deadlineMs`.
// UPDATER_CONFIG_DEADLINE_MS in the environment replaces the deadline (for tests).
bool DownloadFileBefore(const QString& url, const QString& path, int deadlineMs);
