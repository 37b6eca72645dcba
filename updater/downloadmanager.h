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
class QTemporaryFile;

// One HTTP GET into one file, waited for in a local event loop. The body goes to a temporary
// file beside the target, which is renamed over the target only when the whole body arrived
// with a 2xx status and was written out; a link at the target is replaced, never written
// through. The wait gives up when no data arrives for the data time-out, before the first data
// and between later data alike, and, when a deadline is set, when the whole answer has not
// arrived by then. The reply buffers at most ReadBufferBytes, so
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
    QTemporaryFile* m_file = nullptr;
    QString m_target;   // the path the temporary file replaces
    QUrl m_url;
    bool m_success = false;
    bool m_failed = false;    // a write failed or the wait timed out: the reply is aborted
    qint64 m_received = 0;
    QEventLoop m_loop;
    QTimer m_timer;
    QTimer m_deadline;
};

// Reads a time in milliseconds from the environment (for tests); `fallback` when it is unset
// or not a positive number.
int MillisecondsFromEnvironment(const char* name, int fallback);

// Overall limit of a download made by DownloadFile.
constexpr int DefaultDownloadDeadlineMs = 30 * 60 * 1000;

// Saves the URL under the local path; true when the complete file is in place within the
// default deadline. UPDATER_DATA_TIMEOUT_MS and UPDATER_DOWNLOAD_DEADLINE_MS in the environment
// replace the data time-out and the deadline (for tests).
bool DownloadFile(const QString& url, const QString& path);

// As DownloadFile, and the whole answer must have arrived within `deadlineMs`.
bool DownloadFileBefore(const QString& url, const QString& path, int deadlineMs);
