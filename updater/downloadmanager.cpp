#include "downloadmanager.h"
#include "fileinstall.h"

#include <QDir>
#include <QFileInfo>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTemporaryFile>

#include <sys/stat.h>

#include <cstdio>
#include <memory>

namespace {

void PrintLine(const char* format, const QString& first, const QString& second)
{
    std::fprintf(stderr, format, first.toLocal8Bit().constData(), second.toLocal8Bit().constData());
    std::fflush(stderr);
}

bool IsHttp(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

} // namespace

int MillisecondsFromEnvironment(const char* name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return (ok && value > 0) ? value : fallback;
}

DownloadManager::DownloadManager()
{
    qRegisterMetaType<QList<QSslError>>("QList<QSslError>");
    m_timer.setInterval(DefaultDataTimeoutMs);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &DownloadManager::timeout);
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &DownloadManager::deadlinePassed);
}

DownloadManager::~DownloadManager()
{
    m_timer.stop();
    m_deadline.stop();
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
        m_reply = nullptr;
    }
    DropFile();
}

void DownloadManager::SetDataTimeout(int milliseconds)
{
    m_timer.setInterval(milliseconds);
}

void DownloadManager::DropFile()
{
    delete m_file;   // an uncommitted temporary file removes itself; the target stays untouched
    m_file = nullptr;
}

QString DownloadManager::PrepareSaveFile(const QUrl& url, const QString& path)
{
    QString name = path;
    if (name.isEmpty()) {
        name = QFileInfo(url.path(QUrl::FullyDecoded)).fileName();
        if (name.isEmpty())
            name = QStringLiteral("download");
    }
    const QString folder = QFileInfo(name).absolutePath();
    if (!QDir().exists(folder))
        QDir().mkdir(folder);
    return name;
}

bool DownloadManager::GetAndWait(const QUrl& url, const QString& path, bool abortIfBusy, bool wait)
{
    if (m_reply) {
        if (abortIfBusy) {
            emit downloadFinished(false);
            return false;
        }
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
        m_reply = nullptr;
    }
    DropFile();
    m_timer.stop();
    m_deadline.stop();
    m_success = false;
    m_failed = false;
    m_received = 0;

    // The target is opened before the request goes out, so a failed open leaves nothing running.
    m_target = PrepareSaveFile(url, path);
    QString error;
    std::unique_ptr<QTemporaryFile> file;
    struct stat entry;
    const bool isFolder = ::lstat(QFile::encodeName(m_target).constData(), &entry) == 0 && S_ISDIR(entry.st_mode);
    if (isFolder)
        error = QStringLiteral("a folder is in the way");
    else
        file = OpenReplacement(m_target, &error);
    if (!file) {
        PrintLine("Could not open %s for writing: %s\n", m_target, error);
        emit downloadFinished(false);
        return false;
    }
    m_file = file.release();

    m_reply = m_manager.get(QNetworkRequest(url));
    m_reply->setReadBufferSize(ReadBufferBytes);   // the network pauses while the disk catches up
    m_url = m_reply->url();
    connect(m_reply, &QNetworkReply::sslErrors, this, &DownloadManager::sslErrors);
    connect(m_reply, &QNetworkReply::readyRead, this, &DownloadManager::readyRead);
    connect(m_reply, &QNetworkReply::finished, this, &DownloadManager::finished);

    m_timer.start();
    if (m_deadline.interval() > 0)
        m_deadline.start();
    if (!wait)
        return true;
    m_loop.exec(QEventLoop::ExcludeUserInputEvents);
    m_timer.stop();
    m_deadline.stop();
    return m_success;
}

void DownloadManager::Fail(const QString& reason)
{
    if (!reason.isEmpty())
        PrintLine("Download of %s failed: %s\n", m_url.toString(QUrl::FullyEncoded), reason);
    m_failed = true;
    if (m_reply)
        m_reply->abort();   // runs finished() before returning
}

void DownloadManager::readyRead()
{
    if (!m_reply || m_failed)
        return;
    m_timer.start();   // restarted on every arrival: the time-out also covers a stalled transfer
    const QByteArray data = m_reply->readAll();
    if (!m_file) {
        PrintLine("Download of %s failed: %s\n", m_url.toString(QUrl::FullyEncoded), QStringLiteral("file is null"));
        return;
    }
    m_received += data.size();
    QString error;
    if (!WriteAll(*m_file, data, m_target, &error))
        Fail(error);
}

void DownloadManager::finished()
{
    QNetworkReply* reply = m_reply;
    if (!reply)
        return;
    m_timer.stop();
    m_deadline.stop();

    bool ok = !m_failed && reply->error() == QNetworkReply::NoError;
    if (!m_failed && reply->error() != QNetworkReply::NoError)
        PrintLine("Download of %s failed: %s\n", m_url.toString(QUrl::FullyEncoded), reply->errorString());

    if (ok && reply->bytesAvailable() > 0)
        readyRead();
    ok = ok && !m_failed;

    if (ok && IsHttp(m_url)) {
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (status < 200 || status > 299) {
            ok = false;
            PrintLine("Download of %s failed: %s\n", m_url.toString(QUrl::FullyEncoded),
                      QStringLiteral("HTTP status %1").arg(status));
        }
    }
    if (ok) {
        // A body cut short by a closed connection; a decoded body has its own length.
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && !reply->hasRawHeader("Content-Encoding") && length.toLongLong() != m_received) {
            ok = false;
            PrintLine("Download of %s failed: %s\n", m_url.toString(QUrl::FullyEncoded),
                      QStringLiteral("incomplete body"));
        }
    }
    if (ok && m_file) {
        QString error;
        ok = CommitReplacement(*m_file, m_target, &error);
        if (!ok)
            PrintLine("Download of %s failed: %s\n", m_url.toString(QUrl::FullyEncoded), error);
    }
    DropFile();
    m_timer.stop();

    m_reply = nullptr;
    reply->disconnect(this);
    reply->deleteLater();
    m_success = ok;
    emit downloadFinished(ok);
    m_loop.quit();
}

void DownloadManager::sslErrors(const QList<QSslError>& errors)
{
    for (const QSslError& error : errors)
        std::fprintf(stderr, "SSL error: %s\n", error.errorString().toLocal8Bit().constData());
    std::fflush(stderr);
}

void DownloadManager::timeout()
{
    Fail(QString());
    m_loop.quit();
}

void DownloadManager::deadlinePassed()
{
    Fail(QStringLiteral("no complete answer within %1 ms").arg(m_deadline.interval()));
    m_loop.quit();
}

namespace {

bool Download(const QString& url, const QString& path, int deadlineMs)
{
    DownloadManager manager;
    manager.SetDataTimeout(
        MillisecondsFromEnvironment("UPDATER_DATA_TIMEOUT_MS", DownloadManager::DefaultDataTimeoutMs));
    manager.SetDeadline(deadlineMs);
    return manager.GetAndWait(QUrl(url, QUrl::TolerantMode), path, false, true);
}

} // namespace

bool DownloadFile(const QString& url, const QString& path)
{
    return Download(url, path, MillisecondsFromEnvironment("UPDATER_DOWNLOAD_DEADLINE_MS", DefaultDownloadDeadlineMs));
}

bool DownloadFileBefore(const QString& url, const QString& path, int deadlineMs)
{
    return Download(url, path, deadlineMs);
}
