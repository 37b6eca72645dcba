#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

// One file download as a row sees it: the web engine's item behind an
// adapter, or a fake in tests. States use the web engine's numbering.
class DownloadItem : public QObject
{
    Q_OBJECT

public:
    enum State {
        DownloadRequested = 0,
        DownloadInProgress = 1,
        DownloadCompleted = 2,
        DownloadCancelled = 3,
        DownloadInterrupted = 4
    };

    explicit DownloadItem(QObject* parent = nullptr);
    ~DownloadItem() override;

    virtual QString path() const = 0;
    virtual QUrl url() const = 0;
    virtual void setPath(const QString& path) = 0;
    virtual int state() const = 0;
    virtual bool isFinished() const = 0;
    virtual void cancel() = 0;

signals:
    void downloadProgress(qint64 bytesReceived, qint64 bytesTotal);
    void finished();
};
