#include "downloadmodel.h"

#include "autosaver.h"
#include "downloadmanager.h"
#include "downloadwidget.h"

DownloadModel::DownloadModel(DownloadManager* downloadManager, QObject* parent)
    : QAbstractListModel(parent), m_downloadManager(downloadManager)
{
}

QVariant DownloadModel::data(const QModelIndex& index, int role) const
{
    if (index.row() < 0 || index.row() >= rowCount(index.parent()))
        return QVariant();
    if (role == Qt::ToolTipRole) {
        const DownloadWidget* row = m_downloadManager->m_downloads.at(index.row());
        if (!row->downloadedSuccessfully())
            return row->infoText();
    }
    return QVariant();
}

int DownloadModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_downloadManager->m_downloads.count();
}

bool DownloadModel::removeRows(int row, int count, const QModelIndex& parent)
{
    if (parent.isValid())
        return false;

    QList<DownloadWidget*>& downloads = m_downloadManager->m_downloads;
    const int last = qMin(row + count - 1, downloads.count() - 1);
    for (int i = last; i >= row && i >= 0; --i) {
        if (downloads.at(i)->downloadedSuccessfully()) {
            beginRemoveRows(parent, i, i);
            downloads.takeAt(i)->deleteLater();
            endRemoveRows();
        }
    }
    m_downloadManager->m_autoSaver->changeOccurred();
    return true;
}
