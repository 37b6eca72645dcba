// The main window's published methods, its sub-dialogs and the prompts it
// answers for the view.
#include "mainwindow.h"

#include "aboutinfo.h"
#include "appfolder.h"
#include "chosenpaths.h"
#include "clientprompts.h"
#include "downloadmanager.h"
#include "filechooser.h"
#include "filemethods.h"
#include "historydialogholder.h"
#include "historyinfo.h"
#include "settingsdialog.h"
#include "speechservice.h"
#include "startupsettings.h"
#include "ttssetting.h"

#include <registmodule.h>

#include <foundation/ComMethod.h>

#include <QDir>
#include <QFileInfo>
#include <QThread>
#include <QWebEngineCertificateError>
#include <QWebEngineDownloadItem>

template <class F>
void MainWindow::OnGuiThread(F&& f)
{
    if (QThread::currentThread() == thread())
        f();
    else
        QMetaObject::invokeMethod(this, std::forward<F>(f), Qt::BlockingQueuedConnection);
}

void MainWindow::PublishMethods()
{
    using Foundation::MakeComFunction;
    using Foundation::MakeComMethod;
    static const char* const kExt[] = {"ext"};
    static const char* const kSaveFile[] = {"fileName", "ext"};
    static const char* const kColor[] = {"color"};
    static const char* const kFileName[] = {"fileName"};
    static const char* const kWrite[] = {"fileName", "item", "append"};
    static const char* const kText[] = {"text"};
    static const char* const kTextSeconds[] = {"text", "seconds"};
    static const char* const kUrl[] = {"url"};

    auto publish = [this](const char* name, Foundation::IComInterface* method) {
        m_methods.emplace_back(method);
        m_bridge->RegisterMethod(name, method);
    };
    publish("FSChooseDir", MakeComMethod(this, &MainWindow::FSChooseDir));
    publish("FSChooseFile", MakeComMethod(this, &MainWindow::FSChooseFile, kExt));
    publish("FSSaveFile", MakeComMethod(this, &MainWindow::FSSaveFile, kSaveFile));
    publish("setBackgroundColor", MakeComMethod(this, &MainWindow::setBackgroundColor, kColor));
    publish("creatFileToDevice", MakeComFunction(&creatFileToDevice, kFileName));
    publish("writeFileToDevice", MakeComFunction(&writeFileToDevice, kWrite));
    publish("say", MakeComMethod(this, static_cast<bool (MainWindow::*)(const char*)>(&MainWindow::say), kText));
    publish("say", MakeComMethod(this, static_cast<bool (MainWindow::*)(const char*, int)>(&MainWindow::say),
                                 kTextSeconds));
    publish("stopSay", MakeComMethod(this, &MainWindow::stopSay));
    publish("getAppArgs", MakeComMethod(this, &MainWindow::getAppArgs));
    publish("openUrlByBrowser", MakeComFunction(&openUrlByBrowser, kUrl));
}

std::string MainWindow::FSChooseDir()
{
    QString chosen;
    OnGuiThread([&] {
        chosen = FileChoosers::Current().ChooseDir(this, tr("Open Directory"), m_chooseDirFolder);
        if (chosen.isEmpty())
            return;
        m_chooseDirFolder = QFileInfo(QDir::cleanPath(chosen)).absolutePath();
        ChosenPaths::Instance().AllowFolder(chosen);
    });
    return chosen.toUtf8().toStdString();
}

std::string MainWindow::FSChooseFile(std::string ext)
{
    QString chosen;
    OnGuiThread([&] {
        chosen = FileChoosers::Current().ChooseFile(this, tr("Open File"), m_chooseFileFolder,
                                                    QString::fromUtf8(ext.c_str()));
        if (chosen.isEmpty())
            return;
        m_chooseFileFolder = QFileInfo(chosen).absolutePath();
        ChosenPaths::Instance().AllowFile(chosen);
    });
    return chosen.toUtf8().toStdString();
}

std::string MainWindow::FSSaveFile(std::string fileName, std::string ext)
{
    QString chosen;
    OnGuiThread([&] {
        chosen = FileChoosers::Current().SaveFile(this, tr("Save As"),
                                                  m_saveFileFolder + QLatin1Char('/') + QString::fromUtf8(fileName.c_str()),
                                                  QString::fromUtf8(ext.c_str()));
        if (chosen.isEmpty())
            return;
        m_saveFileFolder = QFileInfo(chosen).absolutePath();
        ChosenPaths::Instance().AllowFile(chosen);
    });
    return chosen.toUtf8().toStdString();
}

bool MainWindow::setBackgroundColor(int color)
{
    QString style;
    if (color == 0) {
        style = QStringLiteral("QWidget{background-image:url(:/toolbaricon/background.png);}");
    } else {
        style = QStringLiteral("QWidget{background:rgb(%1,%2,%3);}")
                    .arg(color & 0xff)
                    .arg((color >> 8) & 0xff)
                    .arg((color >> 16) & 0xff);
    }
    OnGuiThread([&] { BackgroundWidget()->setStyleSheet(style); });
    return true;
}

Json::Value MainWindow::getAppArgs()
{
    return m_args;
}

bool MainWindow::say(const char* text)
{
    bool said = false;
    const QString words = QString::fromUtf8(text != nullptr ? text : "");
    OnGuiThread([&] { said = m_speech->say(words); });
    return said;
}

bool MainWindow::say(const char* text, int seconds)
{
    bool said = false;
    const QString words = QString::fromUtf8(text != nullptr ? text : "");
    OnGuiThread([&] { said = m_speech->say(words, seconds); });
    return said;
}

void MainWindow::stopSay()
{
    OnGuiThread([&] { m_speech->stopSay(); });
}

bool MainWindow::OnCertificateError(const QWebEngineCertificateError& error)
{
    return ClientPrompts::AskCertificateError(error.isOverridable(), error.url().host());
}

DownloadManager* MainWindow::EnsureDownloads(QWidget* parent)
{
    if (m_downloads == nullptr) {
        m_downloads = new DownloadManager(AppFolder::SettingsFile(QStringLiteral("downloadmanager")), parent);
        m_downloads->setModal(true);
    }
    return m_downloads;
}

void MainWindow::downloadRequested(QWebEngineDownloadItem* download)
{
    if (download == nullptr)
        return;
    // Never over an existing file.
    const QString path = DownloadManager::uniqueFileName(
        QDir(download->downloadDirectory()).filePath(download->downloadFileName()));
    const QFileInfo target(path);
    download->setDownloadDirectory(target.absolutePath());
    download->setDownloadFileName(target.fileName());

    if (Prompts::Current().Ask(ClientPrompts::DownloadQuestion(target.fileName(), this)) != QMessageBox::Save) {
        download->cancel();
        return;
    }
    EnsureDownloads(nullptr)->download(download);
    download->accept();
    Toolbar()->SetDownloadIndicator(1);
}

void MainWindow::PrepareSubDialog()
{
    if (IsToolbarAutoHide())
        HideToolbar();
}

QDialog* MainWindow::HistoryDialog() const
{
    return m_history->Dialog();
}

void MainWindow::ShowHistory()
{
    m_history->Close();
    PrepareSubDialog();
    m_history->Open(GetHistoryList(), this);
}

void MainWindow::SubDialogClosed()
{
    m_history->Close();
}

void MainWindow::ShowAbout()
{
    PrepareSubDialog();
    if (m_about == nullptr) {
        m_about = new aboutInfo(this, [] { return StartupSettings::SetupVersion(); });
        m_about->setModal(true);
    }
    m_about->show();
}

void MainWindow::ShowDownload()
{
    PrepareSubDialog();
    EnsureDownloads(this)->show();
    Toolbar()->SetDownloadIndicator(0);
}

void MainWindow::ShowTTSSettings()
{
    PrepareSubDialog();
    m_speech->settingsDialog(this)->show();
}

void MainWindow::ShowSettings()
{
    PrepareSubDialog();
    if (m_settings == nullptr) {
        m_settings = new Settings(IsCompatibilityMode(), this);
        m_settings->setModal(true);
        // Looked up at each change: a dialog opened before the first page
        // load still reaches the modules once they are loaded.
        connect(m_settings.data(), &Settings::SetGPUEnable, this, [this](bool enable) {
            if (m_bridge != nullptr)
                m_bridge->GPUEnableChange(enable);
        });
    }
    m_settings->show();
}
