#pragma once

#include "downloaditem.h"

#include <QPointer>

class QWebEngineDownloadItem;

// Adapter over the web engine's download item. It takes the item over and
// deletes it with itself, unless the profile has deleted it first.
class WebEngineDownloadItem final : public DownloadItem
{
    Q_OBJECT

public:
    explicit WebEngineDownloadItem(QWebEngineDownloadItem* item, QObject* parent = nullptr);
    ~WebEngineDownloadItem() override;

    QString path() const override;
    QUrl url() const override;
    void setPath(const QString& path) override;
    int state() const override;
    bool isFinished() const override;
    void cancel() override;

    QWebEngineDownloadItem* item() const;

private:
    QPointer<QWebEngineDownloadItem> m_item;
};
