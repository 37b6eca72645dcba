// The main window's published methods, its sub-dialogs and the prompts it
// answers for the view.
#include "mainwindow.h"

#include "aboutinfo.h"
#include "appfolder.h"
#include "chosenpaths.h"
#include "clientprompts.h"
#include "filechooser.h"
#include "filemethods.h"
#include "settingsdialog.h"
#include "ttssetting.h"

#include <registmodule.h>

#include <foundation/ComMethod.h>

#include <QDir>
#include <QFileInfo>
#include <QThread>
#include <QTimer>
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
    OnGuiThread([&] { m_background->setStyleSheet(style); });
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
    OnGuiThread([&] {
        if (m_ttsSetting == nullptr) {
            m_ttsSetting = new TTSSetting(nullptr);
            m_ttsSetting->setModal(true);
        }
        QTextToSpeech* engine = m_ttsSetting->Engine();
        if (!m_ttsSetting->IsSpeechEnabled() || engine == nullptr || m_ttsSetting->isVisible())
            return;
        engine->say(words);
        said = true;
    });
    return said;
}

bool MainWindow::say(const char* text, int seconds)
{
    stopSay();
    if (!say(text))
        return false;
    if (seconds < 1)
        return true;
    const QString words = QString::fromUtf8(text != nullptr ? text : "");
    OnGuiThread([&] {
        QTextToSpeech* engine = m_ttsSetting != nullptr ? m_ttsSetting->Engine() : nullptr;
        if (engine == nullptr)
            return;
        m_sayText = words;
        m_sayRepeat = true;
        connect(engine, &QTextToSpeech::stateChanged, this, &MainWindow::onTtsStateChanged, Qt::UniqueConnection);
        m_speechTimer->setSingleShot(true);
        m_speechTimer->setInterval(seconds * 1000);
        connect(m_speechTimer, &QTimer::timeout, this, &MainWindow::stopSay, Qt::UniqueConnection);
        m_speechTimer->start();
    });
    return true;
}

void MainWindow::onTtsStateChanged(QTextToSpeech::State state)
{
    if (state != QTextToSpeech::Ready)
        return;
    // Pause between repeats without blocking the GUI thread.
    QTimer::singleShot(500, this, [this] {
        if (m_sayRepeat)
            say(m_sayText.toUtf8().constData());
    });
}

void MainWindow::stopSay()
{
    OnGuiThread([&] {
        if (m_ttsSetting == nullptr || !m_ttsSetting->IsSpeechEnabled() || m_ttsSetting->Engine() == nullptr)
            return;
        QTextToSpeech* engine = m_ttsSetting->Engine();
        disconnect(engine, &QTextToSpeech::stateChanged, this, &MainWindow::onTtsStateChanged);
        disconnect(m_speechTimer, &QTimer::timeout, this, &MainWindow::stopSay);
        m_speechTimer->stop();
        engine->stop();
        m_sayRepeat = false;
    });
}

bool MainWindow::OnCertificateError(const QWebEngineCertificateError& error)
{
    return ClientPrompts::AskCertificateError(error.isOverridable(), error.url().host());
}

void MainWindow::downloadRequested(QWebEngineDownloadItem* download)
{
    // This build keeps no download list: downloads are refused.
    if (download != nullptr)
        download->cancel();
}

void MainWindow::PrepareSubDialog()
{
    if (m_toolbarAutoHide) {
        m_toolbarShown = false;
        m_toolbar->hide();
        UpdateLayout();
    }
}

void MainWindow::ShowHistory()
{
    if (m_history != nullptr) {
        m_history->close();
        m_history->deleteLater();
    }
    PrepareSubDialog();
}

void MainWindow::SubDialogClosed()
{
    if (m_history != nullptr)
        m_history->deleteLater();
}

void MainWindow::ShowAbout()
{
    PrepareSubDialog();
    if (m_about == nullptr) {
        m_about = new aboutInfo(this);
        m_about->setModal(true);
    }
    m_about->open();
}

void MainWindow::ShowDownload()
{
    PrepareSubDialog();
    m_toolbar->SetDownloadIndicator(false);
}

void MainWindow::ShowTTSSettings()
{
    PrepareSubDialog();
    if (m_ttsSetting == nullptr) {
        m_ttsSetting = new TTSSetting(this);
        m_ttsSetting->setModal(true);
    }
    m_ttsSetting->open();
}

void MainWindow::ShowSettings()
{
    PrepareSubDialog();
    if (m_settings == nullptr) {
        m_settings = new Settings(m_compatibilityMode, this);
        m_settings->setModal(true);
        // The bridge may come after the dialog: look it up at each change.
        connect(m_settings.data(), &Settings::SetGPUEnable, this, [this](bool enable) {
            if (m_bridge != nullptr)
                m_bridge->GPUEnableChange(enable);
        });
    }
    m_settings->open();
}
