#include "mainwindow.h"

#include "aboutinfo.h"
#include "appfolder.h"
#include "clientprompts.h"
#include "downloadmanager.h"
#include "historydialogholder.h"
#include "historyinfo.h"
#include "settingsdialog.h"
#include "speechservice.h"
#include "updatechecker.h"

#include <cbrowser.h>
#include <modulemanager.h>
#include <registmodule.h>
#include <taskworker.h>

#include <ISorquin.h>
#include <foundation/HostCalls.h>
#include <foundation/TypeNames.h>
#include <tolvane/IDeviceMgr.h>

#include <QCloseEvent>
#include <QDateTime>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QWebEngineCertificateError>
#include <QWebEngineDownloadItem>
#include <QWebEngineHistory>
#include <QWebEngineProfile>
#include <QtConcurrent>

#include <cstring>

std::atomic<int> MainWindow::s_requestCounter{0};

namespace {

const char kDefaultBackground[] = "QWidget{background:rgb(240,240,240);}";
// How long a running update check may take once the window closes.
constexpr int kCheckerGraceMs = 5000;
// How long the page waits for the update check: well past the checker's own download
// deadlines, so only a checker that hangs is cut off.
constexpr int kCheckerWaitMs = 60000;

bool SameOrigin(const QUrl& a, const QUrl& b)
{
    return a.scheme() == b.scheme()
        && a.host(QUrl::FullyDecoded) == b.host(QUrl::FullyDecoded) && a.port() == b.port();
}

// A switch's truth: given bare, or with any non-empty value.
bool SwitchIsSet(const Json::Value& args, const char* key)
{
    const Json::Value* value = args.isObject() ? args.find(key, key + std::strlen(key)) : nullptr;
    if (value == nullptr)
        return false;
    if (value->isBool())
        return value->asBool();
    if (value->isString())
        return !value->asString().empty();
    return !value->isNull();
}

// A switch's value as a decimal integer; 0 when it is not one.
bool SwitchNumber(const Json::Value& args, const char* key, int& number)
{
    const Json::Value* value = args.isObject() ? args.find(key, key + std::strlen(key)) : nullptr;
    if (value == nullptr)
        return false;
    number = value->isString() ? QString::fromStdString(value->asString()).toInt() : 0;
    return true;
}

}  // namespace

MainWindow::MainWindow(const QString& address, bool compatibilityMode, int argc, Json::Value args,
                       QWidget* parent)
    : MainFrame(address, SwitchIsSet(args, "Hb"), compatibilityMode, parent)
    , m_args(std::move(args))
{
    m_hostContext.PostTask = fastdelegate::MakeDelegate(this, &MainWindow::PostTask);
    m_hostContext.SetCompatibilityFlag(compatibilityMode ? 1 : 0);
    m_worker = std::make_unique<CTaskWorker>();
    m_checker = std::make_unique<UpdateChecker>(AppFolder::Path() + QStringLiteral("/Moltern"), kCheckerWaitMs);

    ApplyStartGeometry(argc, m_args);
    BackgroundWidget()->setAttribute(Qt::WA_StyledBackground);

    m_view = new CBrowser(nullptr, 0);
    m_view->setCertificateErrorHandler(
        [this](const QWebEngineCertificateError& error) { return OnCertificateError(error); });
    SetCentralView(m_view);

    m_history = new HistoryDialogHolder(this);
    m_speech = new SpeechService(AppFolder::SettingsFile(QStringLiteral("ttsSettings")), this);

    connect(m_view->page()->profile(), &QWebEngineProfile::downloadRequested, this,
            &MainWindow::downloadRequested);
    connect(m_view, &CBrowser::urlChanged, this, &MainWindow::OnUrlchange);
    connect(m_view, &CBrowser::titleChanged, this, &MainWindow::OnTitleChanged);
    connect(m_view, &CBrowser::loadFinished, this, &MainWindow::OnLoadFinished);
    TopToolbar* toolbar = Toolbar();
    connect(toolbar, &TopToolbar::openUrl, this, &MainWindow::EnterDevice);
    connect(toolbar, &TopToolbar::closeUrl, this, &MainWindow::LeaveDevice);
    connect(toolbar, &TopToolbar::ShowHistory, this, &MainWindow::ShowHistory);
    connect(toolbar, &TopToolbar::ShowAbout, this, &MainWindow::ShowAbout);
    connect(toolbar, &TopToolbar::ShowDownload, this, &MainWindow::ShowDownload);
    connect(toolbar, &TopToolbar::ShowTTSSettings, this, &MainWindow::ShowTTSSettings);
    connect(toolbar, &TopToolbar::ShowSettings, this, &MainWindow::ShowSettings);
    connect(m_history, &HistoryDialogHolder::SelectUrl, this, &MainWindow::OnSelectURL);
    connect(this, &MainWindow::LoadURLSignal, this, &MainWindow::LoadURL);
    // The window module hears of moves, view activations and state changes
    // once it is loaded.
    connect(this, &MainFrame::WindowMoved, this, [this](int dx, int dy) {
        if (m_sorquin)
            m_sorquin->MoveWindows(dx, dy);
    });
    connect(this, &MainFrame::ViewActivated, this, [this] {
        if (m_sorquin)
            m_sorquin->ViewActivated();
    });
    connect(this, &MainFrame::WindowStateNotice, this, [this] {
        if (m_sorquin)
            m_sorquin->WindowStateChanged();
    });

    StartUp(!SwitchIsSet(m_args, "Hf"));

    SaveCacheCleanerSettings(AppFolder::Path(), AppFolder::ApplicationName(),
                             QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation));
    toolbar->EnterDevice();

    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    m_chooseDirFolder = desktop;
    m_chooseFileFolder = desktop;
    m_saveFileFolder = desktop;
}

MainWindow::~MainWindow()
{
    m_closing = true;

    if (m_sorquin) {
        m_sorquin->ReleaseWindows();
        m_sorquin.reset();
    }
    if (m_deviceMgr) {
        m_deviceMgr->LogoutDevice();
        m_deviceMgr.reset();
    }

    // No update check may be left running when the modules go.
    m_checker->Shutdown(kCheckerGraceMs);
    for (QFuture<void>& check : m_checks)
        check.waitForFinished();
    m_checks.clear();

    if (m_bridge != nullptr) {
        disconnect(m_view, &CBrowser::request, m_bridge, &RegistModule::RPCcall);
        m_bridge->ReleaseComponents();
        delete m_bridge;
        m_bridge = nullptr;
    }
    m_methods.clear();

    delete m_view;

    delete m_settings.data();
    // The download list saves its rows, the speech settings their choices.
    delete m_downloads.data();
    delete m_speech;
    m_speech = nullptr;
    delete m_about.data();
    delete m_history;
    m_history = nullptr;

    m_worker->Stop();
}

bool MainWindow::PostTask(int priority, Foundation::CSharedPtr<Foundation::ITask>* task)
{
    return m_worker->PostTask(priority, task);
}

void MainWindow::ApplyStartGeometry(int argc, const Json::Value& args)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect available = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const QRect shrunk = available.adjusted(50, 50, -50, -50);
    int x = 50;
    int y = 50;
    int width = shrunk.width();
    int height = shrunk.height();
    if (argc > 2) {
        SwitchNumber(args, "startX", x);
        SwitchNumber(args, "startY", y);
        SwitchNumber(args, "width", width);
        SwitchNumber(args, "height", height);
        const Json::Value* position = args.isObject() ? args.find("position", "position" + 8) : nullptr;
        if (position != nullptr && position->isString() && position->asString().size() >= 2) {
            const QString text = QString::fromStdString(position->asString());
            const QString inner = text.mid(1, text.size() - 2);
            x = inner.section(QLatin1Char(','), 0, 0).toInt();
            y = inner.section(QLatin1Char(','), 1, 1).toInt();
            width = inner.section(QLatin1Char(','), 2, 2).toInt();
            height = inner.section(QLatin1Char(','), 3, 3).toInt();
        }
    }
    resize(width, height);
    move(x, y);
}

void MainWindow::EnterDevice(TopToolbar::GoBtnStatus status, QUrl url)
{
    const int request = ++s_requestCounter;
    m_view->stop();
    if (status == TopToolbar::Stop) {
        Toolbar()->SetGoBtnStatus(TopToolbar::Refresh);
        return;
    }
    m_history->Close();
    m_loadingPending = true;
    Toolbar()->SetGoBtnStatus(TopToolbar::Stop);
    m_requestedUrl = url;

    for (int i = m_checks.size() - 1; i >= 0; --i) {
        if (m_checks[i].isFinished())
            m_checks.removeAt(i);
    }
    m_checks.append(QtConcurrent::run([this, request, url] { EnterDeviceEx(request, url); }));
}

void MainWindow::EnterDeviceEx(int urlRequestID, QUrl url)
{
    const int code = m_checker->Run(url);
    // A newer address was entered meanwhile, or the window is going.
    if (m_closing || urlRequestID != s_requestCounter.load())
        return;
    emit LoadURLSignal(code, url);
}

void MainWindow::LoadURL(int upgradeMode, QUrl url)
{
    ShowUpgradePrompt(upgradeMode, url);

    if (m_bridge == nullptr) {
        ModuleManager::Instance()->SetModuleFolder(AppFolder::Path());
        m_bridge = new RegistModule(&m_hostContext, m_worker.get());
        connect(m_view, &CBrowser::request, m_bridge, &RegistModule::RPCcall);
        connect(m_bridge, &RegistModule::RPCResponseEvent, m_view, &CBrowser::response);

        m_deviceMgr = Foundation::QueryHostService<Tolvane::IDeviceMgr>(m_bridge->Context(),
                                                                       Foundation::TypeName::IDeviceMgr);
        m_sorquin = Foundation::QueryHostService<ISorquin>(m_bridge->Context(), Foundation::TypeName::ISorquin);
        if (m_sorquin) {
            m_sorquin->SetBackgroundWidget(BackgroundWidget());
            m_sorquin->SetContentWidget(ContentWidget());
        }
        PublishMethods();
        InitGpuFlag();
    }

    m_view->hide();
    m_view->load(url);
    m_view->show();
}

void MainWindow::ShowUpgradePrompt(int upgradeMode, const QUrl& url)
{
    if (upgradeMode != 1 && upgradeMode != 2 && upgradeMode != 3)
        return;
    if (Prompts::Current().Ask(ClientPrompts::UpgradeQuestion(upgradeMode, this)) != QMessageBox::Yes)
        return;
    AddToHistory(url);
    // Output goes nowhere, so the installer outlives this program's end.
    auto installer = std::make_unique<QProcess>();
    installer->setStandardOutputFile(QProcess::nullDevice());
    installer->setStandardErrorFile(QProcess::nullDevice());
    installer->start(AppFolder::Path() + QStringLiteral("/Salvent"), QStringList());
    Prompts::Current().Ask(ClientPrompts::DownloadingNotice(this));
    // Destroying the process object ends an installer still running.
}

void MainWindow::InitGpuFlag()
{
    QSettings config(AppFolder::SettingsFile(QStringLiteral("baseConfig")), QSettings::IniFormat);
    bool gpu = config.value(QStringLiteral("Config/GPU_ENABLE"), false).toBool();
    if (IsCompatibilityMode() && gpu) {
        config.setValue(QStringLiteral("Config/GPU_ENABLE"), false);
        gpu = false;
    }
    m_bridge->GPUEnableChange(gpu);
}

void MainWindow::OnUrlchange(QUrl url)
{
    m_view->history()->clear();
    if (!SameOrigin(url, m_deviceUrl)) {
        m_deviceUrl = url;
        Toolbar()->SetUrlText(url.toString());
    }
}

void MainWindow::OnLoadFinished(bool ok)
{
    if (ok)
        m_pageLoaded = true;
    const QUrl current = m_view->url();
    if (!m_requestedUrl.isEmpty()) {
        if (!SameOrigin(current, m_requestedUrl))
            return;
        m_deviceUrl = m_requestedUrl;
        m_requestedUrl.clear();
    }
    if (!SameOrigin(current, m_deviceUrl)) {
        m_deviceUrl = current;
        Toolbar()->SetUrlText(current.toString());
    }
    Toolbar()->SetGoBtnStatus(TopToolbar::Refresh);
    AddToHistory(m_deviceUrl);
}

void MainWindow::AddToHistory(const QUrl& url)
{
    HistoryParam entry;
    entry.url = url;
    entry.time = QDateTime(QDate::currentDate(), QTime::currentTime());
    AddHistoryEntry(AppFolder::SettingsFile(QStringLiteral("history")), entry);
}

void MainWindow::OnTitleChanged(QString /*title*/)
{
    if (!m_loadingPending)
        return;
    if (m_sorquin)
        m_sorquin->ReleaseWindows();
    if (m_deviceMgr)
        m_deviceMgr->LogoutDevice();
    m_loadingPending = false;
    BackgroundWidget()->setStyleSheet(QString::fromLatin1(kDefaultBackground));
}

void MainWindow::LeaveDevice()
{
    m_pageLoaded = false;
}

void MainWindow::OnSelectURL(QUrl url)
{
    Toolbar()->SetUrlText(url.toString());
    Toolbar()->EnterDevice();
}

QList<HistoryParam> MainWindow::GetHistoryList()
{
    return ReadHistory(AppFolder::SettingsFile(QStringLiteral("history")), -1);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    MainFrame::closeEvent(event);
    // The frame's parts are windows of their own: they go with it.
    if (event->isAccepted())
        Container()->hide();
}
