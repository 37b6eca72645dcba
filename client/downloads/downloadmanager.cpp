#include "downloadmanager.h"

#include "autosaver.h"
#include "downloadmodel.h"
#include "downloadpaths.h"
#include "downloadtexts.h"
#include "downloadwidget.h"
#include "ui_downloadmanager.h"
#include "webenginedownloaditem.h"

#include <QFileIconProvider>
#include <QHeaderView>
#include <QMetaEnum>
#include <QSettings>
#include <QStyle>

namespace {

const QString Group = QStringLiteral("downloadmanager");
const QString PolicyKey = QStringLiteral("removeDownloadsPolicy");
const QString EntryKey = QStringLiteral("download_%1_");

constexpr int IconSize = 48;
constexpr int EndedRowHeight = 65;

}  // namespace

DownloadManager::DownloadManager(const QString& settingsFile, QWidget* parent)
    : QDialog(parent),
      m_ui(new Ui::DownloadDialog),
      m_autoSaver(new AutoSaver(this)),
      m_settingsFile(settingsFile)
{
    qRegisterMetaType<DownloadManager::State>("DownloadManager::State");
    m_ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setAutoFillBackground(true);
    connect(m_ui->closeButton, &QPushButton::clicked, this, &QDialog::close);
    m_ui->downloadsView->horizontalHeader()->setStretchLastSection(true);
    m_model = new DownloadModel(this, this);
    m_ui->downloadsView->setModel(m_model);
    connect(m_ui->cleanupButton, &QPushButton::clicked, this, &DownloadManager::cleanup);
    load();
}

DownloadManager::~DownloadManager()
{
    m_autoSaver->changeOccurred();
    m_autoSaver->saveIfNecessary();
    delete m_iconProvider;
    delete m_ui;
}

int DownloadManager::activeDownloads() const
{
    int count = 0;
    for (const DownloadWidget* row : m_downloads) {
        if (row->isActive())
            ++count;
    }
    return count;
}

int DownloadManager::rowCount() const
{
    return m_downloads.count();
}

DownloadWidget* DownloadManager::row(int index) const
{
    return m_downloads.value(index, nullptr);
}

DownloadManager::RemovePolicy DownloadManager::removePolicy() const
{
    return m_removePolicy;
}

void DownloadManager::setRemovePolicy(RemovePolicy policy)
{
    if (policy == m_removePolicy)
        return;
    m_removePolicy = policy;
    m_autoSaver->changeOccurred();
}

QString DownloadManager::uniqueFileName(const QString& path)
{
    return DownloadPaths::uniqueFileName(path);
}

void DownloadManager::download(QWebEngineDownloadItem* item)
{
    if (item)
        addDownload(new WebEngineDownloadItem(item));
}

void DownloadManager::addDownload(DownloadItem* item)
{
    auto* row = new DownloadWidget(item, m_settingsFile, this);
    addItem(row);
    emit statusChanged(m_downloads.count(), activeDownloads(), DownloadAdded);
}

void DownloadManager::addItem(DownloadWidget* row)
{
    connect(row, &DownloadWidget::statusChanged, this,
            static_cast<void (DownloadManager::*)()>(&DownloadManager::updateRow));
    m_model->beginInsertRows(QModelIndex(), 0, 0);
    m_downloads.prepend(row);
    m_model->endInsertRows();
    updateItemCount();
    m_ui->downloadsView->setIndexWidget(m_model->index(0, 0), row);
    row->setFileIcon(style()->standardIcon(QStyle::SP_FileIcon).pixmap(IconSize, IconSize));
    m_ui->downloadsView->setRowHeight(0, row->sizeHint().height());
}

void DownloadManager::updateRow()
{
    auto* row = qobject_cast<DownloadWidget*>(sender());
    if (!updateRow(row))
        return;
    emit statusChanged(m_downloads.count(), activeDownloads(),
                       row->downloadedSuccessfully() ? DownloadSucceeded : DownloadNotSucceeded);
}

bool DownloadManager::updateRow(DownloadWidget* row)
{
    const int index = m_downloads.indexOf(row);
    if (index < 0)
        return false;

    if (!m_iconProvider)
        m_iconProvider = new QFileIconProvider;
    QIcon icon = m_iconProvider->icon(row->file());
    if (icon.isNull() || !row->file().exists())
        icon = style()->standardIcon(QStyle::SP_FileIcon);
    row->setFileIcon(icon.pixmap(IconSize, IconSize));

    const int height = row->isProgressBarShown() ? row->minimumSizeHint().height() : EndedRowHeight;
    m_ui->downloadsView->setRowHeight(index, height);

    if (row->downloadedSuccessfully() && m_removePolicy == SuccessFullDownload)
        m_model->removeRow(index);

    updateCleanupButton();
    return true;
}

void DownloadManager::updateItemCount()
{
    const int count = m_downloads.count();
    m_ui->itemCount->setText(count == 1 ? tr("1 Download") : tr("%1 Downloads").arg(count));
}

void DownloadManager::updateCleanupButton()
{
    m_ui->cleanupButton->setEnabled(m_downloads.count() - activeDownloads() > 0);
}

void DownloadManager::cleanup()
{
    if (m_downloads.isEmpty())
        return;
    m_model->removeRows(0, m_downloads.count());
    updateItemCount();
    if (m_downloads.isEmpty() && m_iconProvider) {
        delete m_iconProvider;
        m_iconProvider = nullptr;
    }
    m_autoSaver->changeOccurred();
}

void DownloadManager::save() const
{
    QSettings settings(m_settingsFile, QSettings::IniFormat);
    settings.beginGroup(Group);
    const QMetaEnum policyEnum = QMetaEnum::fromType<RemovePolicy>();
    settings.setValue(PolicyKey, QLatin1String(policyEnum.valueToKey(m_removePolicy)));
    settings.setValue(QStringLiteral("size"), size());
    if (m_removePolicy == Exit)
        return;

    const int count = m_downloads.count();
    for (int i = 0; i < count; ++i) {
        const DownloadWidget* row = m_downloads.at(i);
        const QString key = EntryKey.arg(count - 1 - i);
        settings.setValue(key + QLatin1String("url"), row->url());
        settings.setValue(key + QLatin1String("location"), row->file().filePath());
        settings.setValue(key + QLatin1String("done"), row->downloadedSuccessfully());
    }
    for (int n = count; settings.contains(EntryKey.arg(n) + QLatin1String("url")); ++n) {
        const QString key = EntryKey.arg(n);
        settings.remove(key + QLatin1String("url"));
        settings.remove(key + QLatin1String("location"));
        settings.remove(key + QLatin1String("done"));
    }
}

void DownloadManager::load()
{
    QSettings settings(m_settingsFile, QSettings::IniFormat);
    settings.beginGroup(Group);
    const QByteArray policyName = settings.value(PolicyKey, QStringLiteral("Never")).toByteArray();
    bool known = false;
    const int policy = QMetaEnum::fromType<RemovePolicy>().keyToValue(policyName.constData(), &known);
    m_removePolicy = known ? static_cast<RemovePolicy>(policy) : Never;

    for (int n = 0; settings.contains(EntryKey.arg(n) + QLatin1String("url")); ++n) {
        const QString key = EntryKey.arg(n);
        const QUrl url = settings.value(key + QLatin1String("url")).toUrl();
        const QString location = settings.value(key + QLatin1String("location")).toString();
        const bool done = settings.value(key + QLatin1String("done"), true).toBool();
        if (!done || url.isEmpty() || location.isEmpty())
            continue;
        auto* row = new DownloadWidget(nullptr, m_settingsFile, this);
        row->setFile(location);
        row->setUrl(url);
        row->showRestored();
        addItem(row);
        updateRow(row);
    }
    updateCleanupButton();
}
