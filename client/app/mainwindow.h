#pragma once

#include "historystore.h"
#include "toptoolbar.h"

#include <foundation/HostContext.h>
#include <foundation/SharedPtr.h>
#include <foundation/Task.h>

#include <QFuture>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QTextToSpeech>
#include <QUrl>

#include <json/value.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

class CBrowser;
class CTaskWorker;
class ISorquin;
class QPushButton;
class QTimer;
class QWebEngineCertificateError;
class QWebEngineDownloadItem;
class RegistModule;
class Settings;
class TTSSetting;
class UpdateChecker;
class aboutInfo;

namespace Foundation {
class IComInterface;
}
namespace Tolvane {
class IDeviceMgr;
}

// The client's one top-level window: the tool bar and the web view, page
// loading through the update check, the bridge to the modules and the
// client's own published methods.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    MainWindow(const QString& address, bool compatibilityMode, int argc, Json::Value args,
               QWidget* parent = nullptr);
    ~MainWindow() override;

    // Host-context operation: forwards to the task worker.
    bool PostTask(int priority, Foundation::CSharedPtr<Foundation::ITask>* task);

    // Published to the page (method table 1). Those that touch widgets run on
    // the GUI thread whatever thread calls them.
    std::string FSChooseDir();
    std::string FSChooseFile(std::string ext);
    std::string FSSaveFile(std::string fileName, std::string ext);
    bool setBackgroundColor(int color);
    Json::Value getAppArgs();
    // Says text (once for seconds < 1), repeating it for seconds.
    bool say(const char* text, int seconds);

    // The certificate-error handler of the view: true goes on with the page.
    bool OnCertificateError(const QWebEngineCertificateError& error);

    CBrowser* Browser() const { return m_view; }
    TopToolbar* Toolbar() const { return m_toolbar; }
    QWidget* BackgroundWidget() const { return m_background; }
    RegistModule* Bridge() const { return m_bridge; }
    bool IsCompatibilityMode() const { return m_compatibilityMode; }

signals:
    void LoadURLSignal(int upgradeMode, QUrl url);

public slots:
    void EnterDevice(TopToolbar::GoBtnStatus status, QUrl url);
    void EnterDeviceEx(int urlRequestID, QUrl url);
    void LoadURL(int upgradeMode, QUrl url);
    void OnLoadFinished(bool ok);
    void OnTitleChanged(QString title);
    void OnSelectURL(QUrl url);
    void LeaveDevice();
    void MoveWindow(const QPoint& movePoint, const QPoint& mousePoint);
    void FullScreenCentralWnd(bool bEnable);
    void ShowHistory();
    void ShowAbout();
    void ShowDownload();
    void ShowTTSSettings();
    void ShowSettings();
    void SubDialogClosed();
    QList<HistoryParam> GetHistoryList();
    void OnUrlchange(QUrl url);
    void ToolbarExpandBtnToggled(bool bChecked);
    void downloadRequested(QWebEngineDownloadItem* download);
    bool say(const char* text);
    void onTtsStateChanged(QTextToSpeech::State state);
    void stopSay();
    void onMinSizeWindow();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void ApplyStartGeometry(int argc, const Json::Value& args);
    void UpdateLayout();
    void ShowUpgradePrompt(int upgradeMode, const QUrl& url);
    void PublishMethods();
    void InitGpuFlag();
    void InstallEventFilters(bool install);
    void WriteUpdaterKeys();
    void AddToHistory(const QUrl& url);
    void PrepareSubDialog();
    // Runs f on the GUI thread and waits for it.
    template <class F>
    void OnGuiThread(F&& f);

    const bool m_compatibilityMode;
    HostContext m_hostContext{};
    std::unique_ptr<CTaskWorker> m_worker;
    std::unique_ptr<UpdateChecker> m_checker;
    QList<QFuture<void>> m_checks;
    std::atomic<bool> m_closing{false};

    QWidget* m_container = nullptr;
    TopToolbar* m_toolbar = nullptr;
    QWidget* m_content = nullptr;
    QWidget* m_background = nullptr;
    CBrowser* m_view = nullptr;
    QPushButton* m_pinButton = nullptr;
    QTimer* m_speechTimer = nullptr;

    QPointer<QWidget> m_history;
    QPointer<Settings> m_settings;
    QPointer<TTSSetting> m_ttsSetting;
    QPointer<aboutInfo> m_about;

    RegistModule* m_bridge = nullptr;
    Foundation::CSharedPtr<ISorquin> m_sorquin;
    Foundation::CSharedPtr<Tolvane::IDeviceMgr> m_deviceMgr;
    std::vector<std::unique_ptr<Foundation::IComInterface>> m_methods;

    bool m_pageLoaded = false;
    bool m_loadingPending = false;
    bool m_fullScreen = false;
    bool m_toolbarAutoHide = false;
    bool m_toolbarShown = true;
    const int m_border = 4;
    const int m_toolbarHeight = 40;

    QUrl m_requestedUrl;
    QUrl m_deviceUrl;
    QString m_chooseDirFolder;
    QString m_chooseFileFolder;
    QString m_saveFileFolder;
    Json::Value m_args;

    QString m_sayText;
    bool m_sayRepeat = false;

    static std::atomic<int> s_requestCounter;
};
