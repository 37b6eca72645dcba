#pragma once

#include <QAbstractListModel>

class DownloadManager;

// The download list's rows as a flat one-column model. Running rows carry
// their progress line as tool tip; removal takes finished rows only.
class DownloadModel final : public QAbstractListModel
{
    Q_OBJECT

public:
    explicit DownloadModel(DownloadManager* downloadManager, QObject* parent = nullptr);

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    bool removeRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;

private:
    friend class DownloadManager;  // inserts rows

    DownloadManager* m_downloadManager;
};
