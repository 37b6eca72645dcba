#pragma once

#include "downloaditem.h"

// A download item driven by the test.
class FakeDownloadItem : public DownloadItem
{
public:
    FakeDownloadItem(const QString& path, const QUrl& url) : m_path(path), m_url(url) {}

    QString path() const override { return m_path; }
    QUrl url() const override { return m_url; }
    void setPath(const QString& path) override { m_path = path; ++setPathCalls; }
    int state() const override { return m_state; }
    bool isFinished() const override { return m_finished; }
    void cancel() override
    {
        ++cancelCalls;
        m_state = DownloadCancelled;
    }

    void start() { m_state = DownloadInProgress; }
    void progress(qint64 received, qint64 total) { emit downloadProgress(received, total); }
    void end(int state)
    {
        m_state = state;
        m_finished = true;
        emit finished();
    }

    int setPathCalls = 0;
    int cancelCalls = 0;

private:
    QString m_path;
    QUrl m_url;
    int m_state = DownloadRequested;
    bool m_finished = false;
};
