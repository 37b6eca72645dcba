#include "downloadwidget.h"

#include "downloaditem.h"
#include "downloadpaths.h"
#include "downloadtexts.h"
#include "ui_downloadwidget.h"

#include <QDesktopServices>
#include <QDir>
#include <QSettings>
#include <QStandardPaths>

#include <climits>

namespace {

const QString OpenLink = QStringLiteral("Open");
const QString ShowInFolderLink = QStringLiteral("ShowInFolder");

}  // namespace

DownloadWidget::DownloadWidget(DownloadItem* item, const QString& settingsFile, QWidget* parent)
    : QWidget(parent), m_ui(new Ui::DownloadItem), m_item(item), m_settingsFile(settingsFile)
{
    m_ui->setupUi(this);

    QPalette palette = m_ui->downloadInfoLabel->palette();
    palette.setColor(QPalette::Text, Qt::darkGray);
    m_ui->downloadInfoLabel->setPalette(palette);

    m_ui->progressBar->setMaximum(0);
    connect(m_ui->stopButton, &QPushButton::clicked, this, &DownloadWidget::stop);
    connect(m_ui->fileNameLabel, &QLabel::linkActivated, this, &DownloadWidget::linkActivated);
    connect(m_ui->showInFolderLabel, &QLabel::linkActivated, this, &DownloadWidget::linkActivated);

    if (m_item) {
        m_file.setFile(m_item->path());
        m_url = m_item->url();
    }
    init();
}

DownloadWidget::~DownloadWidget()
{
    delete m_item;
    delete m_ui;
}

void DownloadWidget::init()
{
    if (m_item) {
        connect(m_item, &DownloadItem::downloadProgress, this, &DownloadWidget::downloadProgress);
        connect(m_item, &DownloadItem::finished, this, &DownloadWidget::finished);
    }
    m_ui->downloadInfoLabel->clear();
    m_ui->progressBar->setValue(0);
    getFileName();
    m_downloadTime.start();
}

void DownloadWidget::getFileName()
{
    QSettings settings(m_settingsFile, QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("downloadmanager"));
    QString defaultLocation = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (m_file.absoluteDir().exists())
        defaultLocation = m_file.absolutePath();
    QString folder = settings.value(QStringLiteral("downloadDirectory"), defaultLocation).toString();
    if (!folder.isEmpty())
        folder.append(QLatin1Char('/'));
    QString path = QFileInfo(folder + m_file.fileName()).absoluteFilePath();

    if (m_item && m_item->state() == DownloadItem::DownloadRequested) {
        // The folder may differ from the one the name was made free in.
        path = DownloadPaths::uniqueFileName(path);
        m_file.setFile(path);
        m_item->setPath(m_file.absoluteFilePath());
    } else {
        m_file.setFile(path);
    }
    updateLinkLabels();
}

void DownloadWidget::updateLinkLabels()
{
    m_ui->fileNameLabel->setText(
        QStringLiteral("<style> a {color:#1155CC;} </style><a href=\"%1\">%2</a>")
            .arg(OpenLink, m_file.fileName().toHtmlEscaped()));
    m_ui->showInFolderLabel->setText(
        QStringLiteral("<style> a {color:#777777;} </style><a href=\"%1\">%2</a>")
            .arg(ShowInFolderLink, tr("Show in folder")));
}

void DownloadWidget::linkActivated(const QString& link)
{
    if (link.compare(OpenLink, Qt::CaseInsensitive) == 0)
        QDesktopServices::openUrl(QUrl::fromLocalFile(m_file.absoluteFilePath()));
    else if (link.compare(ShowInFolderLink, Qt::CaseInsensitive) == 0)
        QDesktopServices::openUrl(QUrl::fromLocalFile(m_file.absolutePath()));
}

void DownloadWidget::open()
{
    linkActivated(OpenLink);
}

void DownloadWidget::downloadProgress(qint64 bytesReceived, qint64 bytesTotal)
{
    m_bytesReceived = bytesReceived;
    if (bytesTotal < 0) {
        m_bytesTotal = 0;
        m_ui->progressBar->setValue(0);
        m_ui->progressBar->setMaximum(0);
    } else {
        m_bytesTotal = bytesTotal;
        // The bar holds ints: scale both ends alike for files of 2 GiB and more.
        int shift = 0;
        while ((bytesTotal >> shift) > INT_MAX)
            ++shift;
        m_ui->progressBar->setMaximum(static_cast<int>(bytesTotal >> shift));
        m_ui->progressBar->setValue(static_cast<int>(qBound<qint64>(0, bytesReceived, bytesTotal) >> shift));
    }
    updateInfoLabel();
}

void DownloadWidget::updateInfoLabel()
{
    const QString text = downloadedSuccessfully()
        ? DownloadTexts::finishedText(m_bytesReceived, m_bytesTotal)
        : DownloadTexts::progressText(m_bytesReceived, m_bytesTotal, elapsedMs());
    m_ui->downloadInfoLabel->setText(text);
}

void DownloadWidget::stop()
{
    hideStopButton();
    if (m_item)
        m_item->cancel();
    emit statusChanged();
}

void DownloadWidget::finished()
{
    if (m_item) {
        const int state = m_item->state();
        if (state == DownloadItem::DownloadCancelled) {
            m_ui->downloadInfoLabel->setText(tr("Download cancelled"));
            return;
        }
        if (state == DownloadItem::DownloadInterrupted) {
            m_ui->downloadInfoLabel->setText(tr("Download interrupted"));
            return;
        }
    }
    m_ui->progressBar->hide();
    hideStopButton();
    updateInfoLabel();
    emit statusChanged();
}

void DownloadWidget::hideStopButton()
{
    setUpdatesEnabled(false);
    m_ui->stopButton->setEnabled(false);
    m_ui->stopButton->hide();
    setUpdatesEnabled(true);
    m_ended = true;
}

bool DownloadWidget::downloadedSuccessfully() const
{
    if (m_item && m_item->isFinished() && m_item->state() == DownloadItem::DownloadCompleted)
        return true;
    return m_ended;
}

bool DownloadWidget::isActive() const
{
    return m_ui->stopButton->isEnabled();
}

bool DownloadWidget::isProgressBarShown() const
{
    return m_ui->progressBar->isVisibleTo(this);
}

QUrl DownloadWidget::url() const
{
    return m_url;
}

void DownloadWidget::setUrl(const QUrl& url)
{
    m_url = url;
}

QFileInfo DownloadWidget::file() const
{
    return m_file;
}

void DownloadWidget::setFile(const QString& path)
{
    m_file.setFile(path);
}

QString DownloadWidget::infoText() const
{
    return m_ui->downloadInfoLabel->text();
}

void DownloadWidget::setFileIcon(const QPixmap& pixmap)
{
    m_ui->fileIcon->setPixmap(pixmap);
}

void DownloadWidget::showRestored()
{
    hideStopButton();
    m_ui->progressBar->hide();
    m_file.refresh();
    m_ui->downloadInfoLabel->setText(DownloadTexts::dataString(m_file.exists() ? m_file.size() : 0));
    updateLinkLabels();
}

void DownloadWidget::setClock(std::function<qint64()> clock)
{
    m_clock = std::move(clock);
    m_clockStart = m_clock ? m_clock() : 0;
}

qint64 DownloadWidget::elapsedMs() const
{
    if (m_clock)
        return m_clock() - m_clockStart;
    return m_downloadTime.isValid() ? m_downloadTime.elapsed() : 0;
}
