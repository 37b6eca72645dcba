#include "mainwindow.h"

#include "aboutinfo.h"
#include "appfolder.h"
#include "clientprompts.h"
#include "historystore.h"
#include "settingsdialog.h"
#include "ttssetting.h"
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
#include <QMoveEvent>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <QVBoxLayout>
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
    : QMainWindow(parent)
    , m_compatibilityMode(compatibilityMode)
    , m_args(std::move(args))
{
    m_hostContext.PostTask = fastdelegate::MakeDelegate(this, &MainWindow::PostTask);
    m_hostContext.SetCompatibilityFlag(compatibilityMode ? 1 : 0);
    m_worker = std::make_unique<CTaskWorker>();
    m_checker = std::make_unique<UpdateChecker>(AppFolder::Path() + QStringLiteral("/Moltern"));

    setMinimumSize(800, 600);
    ApplyStartGeometry(argc, m_args);
    setWindowFlags(Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint);
    setAttribute(Qt::WA_TranslucentBackground);

    const Qt::WindowFlags frameless = Qt::Window | Qt::FramelessWindowHint;
    m_container = new QWidget(this, frameless);
    m_pinButton = new QPushButton(m_container);
    m_pinButton->setWindowFlags(frameless);
    m_pinButton->setAttribute(Qt::WA_TranslucentBackground);
    m_pinButton->setCheckable(true);
    m_pinButton->setFixedSize(60, 10);
    m_pinButton->setToolTip(tr("Fixed Toolbar"));
    m_pinButton->setStyleSheet(QStringLiteral(
        "QPushButton{border-image:url(:/toolbaricon/expandn.png);}"
        "QPushButton:hover{border-image:url(:/toolbaricon/expandh.png);}"
        "QPushButton:hover:checked{border-image:url(:/toolbaricon/collapseh.png);}"
        "QPushButton:checked{border-image:url(:/toolbaricon/collapsen.png);}"));
    m_pinButton->hide();
    m_background = new QWidget(m_container);
    m_background->move(0, m_toolbarHeight);
    m_background->setStyleSheet(QString::fromLatin1(kDefaultBackground));
    m_background->setAttribute(Qt::WA_StyledBackground);

    m_view = new CBrowser(nullptr, 0);
    m_view->setCertificateErrorHandler(
        [this](const QWebEngineCertificateError& error) { return OnCertificateError(error); });
    m_content = new QWidget(m_container);
    m_content->setAttribute(Qt::WA_TranslucentBackground);
    auto* contentLayout = new QVBoxLayout(m_content);
    contentLayout->setContentsMargins(0, 0, 0, 0);
    contentLayout->addWidget(m_view);

    m_toolbar = new TopToolbar(address, SwitchIsSet(m_args, "Hb"), m_container);
    m_toolbar->setMinimumHeight(m_toolbarHeight);
    m_toolbar->setMaximumHeight(m_toolbarHeight);
    m_speechTimer = new QTimer(this);

    if (!m_compatibilityMode) {
        m_content->setWindowFlags(frameless);
        m_toolbar->setWindowFlags(frameless);
    } else {
        auto* mainLayout = new QVBoxLayout(m_container);
        mainLayout->setContentsMargins(0, 0, 0, 0);
        mainLayout->setSpacing(0);
        mainLayout->addWidget(m_toolbar);
        mainLayout->addWidget(m_content);
    }

    InstallEventFilters(true);

    connect(m_pinButton, &QPushButton::toggled, this, &MainWindow::ToolbarExpandBtnToggled);
    connect(m_view->page()->profile(), &QWebEngineProfile::downloadRequested, this,
            &MainWindow::downloadRequested);
    connect(m_view, &CBrowser::urlChanged, this, &MainWindow::OnUrlchange);
    connect(m_view, &CBrowser::titleChanged, this, &MainWindow::OnTitleChanged);
    connect(m_view, &CBrowser::loadFinished, this, &MainWindow::OnLoadFinished);
    connect(m_toolbar, &TopToolbar::openUrl, this, &MainWindow::EnterDevice);
    connect(m_toolbar, &TopToolbar::closeUrl, this, &MainWindow::LeaveDevice);
    connect(m_toolbar, &TopToolbar::CloseWindow, this, &MainWindow::close);
    connect(m_toolbar, &TopToolbar::MinSizeWindow, this, &MainWindow::onMinSizeWindow);
    connect(m_toolbar, &TopToolbar::MaximizeWindow, this, &MainWindow::showMaximized);
    connect(m_toolbar, &TopToolbar::RestoreWindow, this, &MainWindow::showNormal);
    connect(m_toolbar, &TopToolbar::FullscreenWindow, this, &MainWindow::FullScreenCentralWnd);
    connect(m_toolbar, &TopToolbar::MoveWindow, this, &MainWindow::MoveWindow);
    connect(m_toolbar, &TopToolbar::ShowHistory, this, &MainWindow::ShowHistory);
    connect(m_toolbar, &TopToolbar::ShowAbout, this, &MainWindow::ShowAbout);
    connect(m_toolbar, &TopToolbar::ShowDownload, this, &MainWindow::ShowDownload);
    connect(m_toolbar, &TopToolbar::ShowTTSSettings, this, &MainWindow::ShowTTSSettings);
    connect(m_toolbar, &TopToolbar::ShowSettings, this, &MainWindow::ShowSettings);
    connect(this, &MainWindow::LoadURLSignal, this, &MainWindow::LoadURL);

    if (!SwitchIsSet(m_args, "Hf"))
        m_toolbar->SetMaximized(true);
    UpdateLayout();
    m_content->show();
    m_toolbar->show();
    m_container->show();
    setMouseTracking(true);
    m_view->setMouseTracking(true);
    m_container->setMouseTracking(true);

    WriteUpdaterKeys();
    m_toolbar->EnterDevice();

    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    m_chooseDirFolder = desktop;
    m_chooseFileFolder = desktop;
    m_saveFileFolder = desktop;
}

MainWindow::~MainWindow()
{
    InstallEventFilters(false);
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
    delete m_content;
    delete m_toolbar;
    delete m_background;
    delete m_pinButton;
    delete m_container;

    delete m_settings.data();
    delete m_ttsSetting.data();
    delete m_about.data();
    delete m_history.data();
    delete m_speechTimer;

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

void MainWindow::WriteUpdaterKeys()
{
    QSettings settings(AppFolder::SettingsFile(QStringLiteral("setting")), QSettings::IniFormat);
    const QString name = AppFolder::ApplicationName();
    settings.setValue(QStringLiteral("App/localData"),
                      QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation));
    settings.setValue(QStringLiteral("App/startEXE"), AppFolder::Path() + QLatin1Char('/') + name);
    settings.setValue(QStringLiteral("App/pName"), name);
}

void MainWindow::InstallEventFilters(bool install)
{
    QList<QWidget*> widgets = findChildren<QWidget*>();
    widgets.prepend(this);
    for (QWidget* widget : widgets) {
        if (install)
            widget->installEventFilter(this);
        else
            widget->removeEventFilter(this);
    }
}

void MainWindow::EnterDevice(TopToolbar::GoBtnStatus status, QUrl url)
{
    const int request = ++s_requestCounter;
    m_view->stop();
    if (status == TopToolbar::Stop) {
        m_toolbar->SetGoBtnStatus(TopToolbar::Refresh);
        return;
    }
    if (m_history != nullptr) {
        m_history->close();
        m_history->deleteLater();
    }
    m_loadingPending = true;
    m_toolbar->SetGoBtnStatus(TopToolbar::Stop);
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
            m_sorquin->SetBackgroundWidget(m_background);
            m_sorquin->SetContentWidget(m_content);
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
    if (m_compatibilityMode && gpu) {
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
        m_toolbar->SetAddress(url.toString());
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
        m_toolbar->SetAddress(current.toString());
    }
    m_toolbar->SetGoBtnStatus(TopToolbar::Refresh);
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
    m_background->setStyleSheet(QString::fromLatin1(kDefaultBackground));
}

void MainWindow::LeaveDevice()
{
    m_pageLoaded = false;
}

void MainWindow::OnSelectURL(QUrl url)
{
    m_toolbar->SetAddress(url.toString());
    m_toolbar->EnterDevice();
}

QList<HistoryParam> MainWindow::GetHistoryList()
{
    return ReadHistory(AppFolder::SettingsFile(QStringLiteral("history")), -1);
}

void MainWindow::UpdateLayout()
{
    if (m_container == nullptr)
        return;
    const QRect inner = m_fullScreen ? rect() : rect().adjusted(m_border, m_border, -m_border, -m_border);
    const QPoint origin = mapToGlobal(inner.topLeft());
    m_container->setGeometry(QRect(origin, inner.size()));
    const int strip = m_toolbarShown ? m_toolbarHeight : 0;
    if (!m_compatibilityMode) {
        m_toolbar->setGeometry(QRect(origin, QSize(inner.width(), m_toolbarHeight)));
        m_content->setGeometry(QRect(origin + QPoint(0, strip), QSize(inner.width(), inner.height() - strip)));
    }
    const QPoint before = m_background->pos();
    m_background->setGeometry(0, strip, inner.width(), inner.height() - strip);
    m_background->lower();
    const QPoint moved = m_background->pos() - before;
    if (m_sorquin && !moved.isNull())
        m_sorquin->MoveWindows(moved.x(), moved.y());
}

void MainWindow::MoveWindow(const QPoint& movePoint, const QPoint& /*mousePoint*/)
{
    if (!isMaximized())
        move(pos() + movePoint);
}

void MainWindow::FullScreenCentralWnd(bool bEnable)
{
    if (bEnable == m_fullScreen)
        return;
    m_fullScreen = bEnable;
    if (bEnable) {
        showFullScreen();
    } else {
        showNormal();
    }
    UpdateLayout();
}

void MainWindow::ToolbarExpandBtnToggled(bool bChecked)
{
    m_toolbarAutoHide = !bChecked;
    m_pinButton->setToolTip(bChecked ? tr("Hidden Toolbar") : tr("Fixed Toolbar"));
    UpdateLayout();
}

void MainWindow::onMinSizeWindow()
{
    showMinimized();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::transparent);
    painter.setBrush(QColor(222, 222, 222, 255));
    painter.drawRoundedRect(rect(), 4.0, 4.0, Qt::AbsoluteSize);
    QMainWindow::paintEvent(event);
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    UpdateLayout();
    QMainWindow::resizeEvent(event);
}

void MainWindow::moveEvent(QMoveEvent* event)
{
    UpdateLayout();
    if (m_sorquin) {
        const QPoint delta = event->pos() - event->oldPos();
        m_sorquin->MoveWindows(delta.x(), delta.y());
    }
    QMainWindow::moveEvent(event);
}

void MainWindow::showEvent(QShowEvent* event)
{
    m_container->setAttribute(Qt::WA_Mapped);
    QMainWindow::showEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    QMainWindow::closeEvent(event);
    if (event->isAccepted())
        m_container->hide();
}
