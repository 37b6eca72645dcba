#pragma once

#include "aboutinfo.h"
#include "downloadmanager.h"
#include "historyfile.h"
#include "mainframe.h"
#include "settingsdialog.h"
#include "toptoolbar.h"

#include <foundation/HostContext.h>
#include <foundation/SharedPtr.h>
#include <foundation/Task.h>

#include <QFuture>
#include <QList>
#include <QPointer>
#include <QUrl>

#include <json/value.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

class CBrowser;
class CTaskWorker;
class HistoryDialogHolder;
class ISorquin;
class QWebEngineCertificateError;
class QWebEngineDownloadItem;
class RegistModule;
class SpeechService;
class UpdateChecker;

namespace Foundation {
class IComInterface;
}
namespace Tolvane {
class IDeviceMgr;
}

// The client's one top-level window: the frame with the tool bar and the web
// view, page loading through the update check, the bridge to the modules, the
// client's own published methods and the sub-dialogs.
class MainWindow : public MainFrame
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
    RegistModule* Bridge() const { return m_bridge; }
    // Sub-dialogs, null until first shown (the history dialog: while open).
    QDialog* HistoryDialog() const;
    Settings* SettingsDialog() const { return m_settings; }
    aboutInfo* AboutDialog() const { return m_about; }
    DownloadManager* Downloads() const { return m_downloads; }
    SpeechService* Speech() const { return m_speech; }

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
    void ShowHistory();
    void ShowAbout();
    void ShowDownload();
    void ShowTTSSettings();
    void ShowSettings();
    void SubDialogClosed();
    QList<HistoryParam> GetHistoryList();
    void OnUrlchange(QUrl url);
    void downloadRequested(QWebEngineDownloadItem* download);
    bool say(const char* text);
    void stopSay();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void ApplyStartGeometry(int argc, const Json::Value& args);
    void ShowUpgradePrompt(int upgradeMode, const QUrl& url);
    void PublishMethods();
    void InitGpuFlag();
    void AddToHistory(const QUrl& url);
    void PrepareSubDialog();
    DownloadManager* EnsureDownloads(QWidget* parent);
    // Runs f on the GUI thread and waits for it.
    template <class F>
    void OnGuiThread(F&& f);

    HostContext m_hostContext{};
    std::unique_ptr<CTaskWorker> m_worker;
    std::unique_ptr<UpdateChecker> m_checker;
    QList<QFuture<void>> m_checks;
    std::atomic<bool> m_closing{false};

    CBrowser* m_view = nullptr;

    HistoryDialogHolder* m_history = nullptr;
    QPointer<Settings> m_settings;
    QPointer<aboutInfo> m_about;
    QPointer<DownloadManager> m_downloads;
    SpeechService* m_speech = nullptr;

    RegistModule* m_bridge = nullptr;
    Foundation::CSharedPtr<ISorquin> m_sorquin;
    Foundation::CSharedPtr<Tolvane::IDeviceMgr> m_deviceMgr;
    std::vector<std::unique_ptr<Foundation::IComInterface>> m_methods;

    bool m_pageLoaded = false;
    bool m_loadingPending = false;

    QUrl m_requestedUrl;
    QUrl m_deviceUrl;
    QString m_chooseDirFolder;
    QString m_chooseFileFolder;
    QString m_saveFileFolder;
    Json::Value m_args;

    static std::atomic<int> s_requestCounter;
};
