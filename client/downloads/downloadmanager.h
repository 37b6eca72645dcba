#pragma once

#include <QDialog>
#include <QList>
#include <QString>

class AutoSaver;
class DownloadItem;
class DownloadModel;
class DownloadWidget;
class QFileIconProvider;
class QWebEngineDownloadItem;

namespace Ui {
class DownloadDialog;
}

// The "Downloads" dialog: one row per download, newest on top, kept across
// runs in an ini file (group "downloadmanager") under a removal policy.
class DownloadManager final : public QDialog
{
    Q_OBJECT
    Q_PROPERTY(RemovePolicy removePolicy READ removePolicy WRITE setRemovePolicy)

public:
    enum RemovePolicy { Never, Exit, SuccessFullDownload };
    Q_ENUM(RemovePolicy)

    enum State { DownloadAdded, DownloadSucceeded, DownloadNotSucceeded };
    Q_ENUM(State)

    // settingsFile: the application folder's "config/downloadmanager.ini".
    explicit DownloadManager(const QString& settingsFile, QWidget* parent = nullptr);
    ~DownloadManager() override;
    DownloadManager(const DownloadManager&) = delete;
    DownloadManager& operator=(const DownloadManager&) = delete;

    int activeDownloads() const;
    int rowCount() const;
    DownloadWidget* row(int index) const;

    RemovePolicy removePolicy() const;
    void setRemovePolicy(RemovePolicy policy);

    // Adds a row for a new download item; the row takes the item over.
    void addDownload(DownloadItem* item);

    // A name beside path that names no existing file ("name (n).ext").
    static QString uniqueFileName(const QString& path);

signals:
    void statusChanged(int downloadCount, int activeCount, DownloadManager::State itemState);

public slots:
    // A confirmed download of the web view; the caller accepts the item after.
    void download(QWebEngineDownloadItem* item);
    void cleanup();
    void save() const;

private slots:
    void updateRow();

private:
    friend class DownloadModel;

    void load();
    void addItem(DownloadWidget* row);
    void updateItemCount();
    bool updateRow(DownloadWidget* row);
    void updateCleanupButton();

    Ui::DownloadDialog* m_ui;
    AutoSaver* m_autoSaver;
    DownloadModel* m_model;
    QFileIconProvider* m_iconProvider = nullptr;
    QList<DownloadWidget*> m_downloads;
    RemovePolicy m_removePolicy = Never;
    QString m_settingsFile;
};
