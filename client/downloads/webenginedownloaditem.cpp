#include "webenginedownloaditem.h"

#include <QDir>
#include <QFileInfo>
#include <QWebEngineDownloadItem>

WebEngineDownloadItem::WebEngineDownloadItem(QWebEngineDownloadItem* item, QObject* parent)
    : DownloadItem(parent), m_item(item)
{
    if (!m_item)
        return;
    connect(m_item, &QWebEngineDownloadItem::downloadProgress, this,
            &DownloadItem::downloadProgress);
    connect(m_item, &QWebEngineDownloadItem::finished, this, &DownloadItem::finished);
}

WebEngineDownloadItem::~WebEngineDownloadItem()
{
    delete m_item.data();
}

QString WebEngineDownloadItem::path() const
{
    if (!m_item)
        return QString();
    return QDir(m_item->downloadDirectory()).filePath(m_item->downloadFileName());
}

QUrl WebEngineDownloadItem::url() const
{
    return m_item ? m_item->url() : QUrl();
}

void WebEngineDownloadItem::setPath(const QString& path)
{
    if (!m_item)
        return;
    const QFileInfo info(path);
    m_item->setDownloadDirectory(info.absolutePath());
    m_item->setDownloadFileName(info.fileName());
}

int WebEngineDownloadItem::state() const
{
    // A vanished item counts as interrupted: it will never complete.
    return m_item ? static_cast<int>(m_item->state()) : DownloadInterrupted;
}

bool WebEngineDownloadItem::isFinished() const
{
    return m_item ? m_item->isFinished() : true;
}

void WebEngineDownloadItem::cancel()
{
    if (m_item)
        m_item->cancel();
}

QWebEngineDownloadItem* WebEngineDownloadItem::item() const
{
    return m_item.data();
}
