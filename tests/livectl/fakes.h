#pragma once
// The window module, device and device manager fakes of the live-control and recording
// tests, and the fixture that puts the real player manager, live-stream control and
// recording service into an in-memory host over the fake player.

#include <atomic>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QThread>
#include <QThreadPool>

#include <foundation/HostCalls.h>
#include <foundation/JsonRead.h>
#include <foundation/SharedPtr.h>
#include <foundation/TypeNames.h>

#include <tolvane/IDevice.h>
#include <tolvane/IDeviceMgr.h>
#include <tolvane/IPlayerMgr.h>

#include <ISorquin.h>

#include "TestHost.h"
#include "fakeplayer.h"
#include "logfacade.h"
#include "playermgr.h"
#include "realtimestreamctrl.h"
#include "recordtranscoderregistry.h"
#include "recordvideoctrl.h"
#include "rkvrecordtranscoder.h"

namespace livetest {

class FakeSorquin final : public ISorquin {
public:
    void SetBackgroundWidget(QWidget*) override {}
    void SetContentWidget(QWidget*) override {}
    void ReleaseWindows() override {}
    void MoveWindows(int, int) override {}
    void ViewActivated() override {}
    void WindowStateChanged() override {}
    bool IsWindowValid(int winID) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_invalid.count(winID) == 0;
    }
    void* GetWindowHandle(int) override { return nullptr; }
    bool ShowFrame(int, const unsigned char*, long, int, const SorquinFrameInfo*) override { return true; }
    void SetVideoState(int, bool) override {}
    void SetOverlayState(int, bool) override {}
    bool SaveSnapshot(int, Json::Value) override { return false; }
    std::string GetSnapshotData(int) override { return {}; }
    QWidget* GetWindowWidget(int) override { return nullptr; }

    void Invalidate(int winID)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_invalid.insert(winID);
    }

private:
    std::mutex m_mutex;
    std::set<int> m_invalid;
};

// Live streams get handles 101, 102, ...; the calls are recorded.
class FakeDevice final : public Tolvane::IDevice {
public:
    long ConnectRealvideo(int channel, int streamType, int, Tolvane::DeviceDataDelegate*) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        connects.push_back({channel, streamType});
        return ++m_nextHandle;
    }
    bool StopRealvideo(long handle) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        stops.push_back(handle);
        return handle != 0;
    }
    long GetStatiscFlux(long) override { return 0; }
    bool MakeKeyFrame(int channel, int subStream) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        keyFrames.push_back({channel, subStream});
        return true;
    }

    size_t ConnectCount()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return connects.size();
    }
    std::vector<long> Stops()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return stops;
    }
    std::vector<std::pair<int, int>> KeyFrames()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return keyFrames;
    }

    int LoginDevice(const char*, uint16_t, uint16_t, const char*, const char*, int, int) override { return 0; }
    int LoginDeviceShort(const char*, uint16_t, uint16_t, const char*, const char*, int) override { return 0; }
    int GetProtocol() override { return 0; }
    bool LogoutDevice() override { return true; }
    bool IsLogin() override { return true; }
    long Playback(const Json::Value&, Tolvane::DevicePosDelegate*, Tolvane::DeviceDataDelegate*, bool, bool) override
    {
        return 0;
    }
    long PlaybackByFile(const Json::Value&, Tolvane::DevicePosDelegate*, Tolvane::DeviceDataDelegate*, bool) override
    {
        return 0;
    }
    long PlaybackByTime(const Json::Value&, Tolvane::DevicePosDelegate*, Tolvane::DeviceDataDelegate*, bool) override
    {
        return 0;
    }
    bool StopPlayBack(long) override { return false; }
    bool SetPlayBackSpeed(long, int) override { return false; }
    long DownloadByFile(const Json::Value&, const char*, const char*, Tolvane::DevicePosDelegate*,
                        Tolvane::DeviceDataDelegate*) override
    {
        return 0;
    }
    long Reserved14(long, long, long, long, long, long, long) override { return 0; }
    long Reserved15(long, long, long, long, long, long, long, long) override { return 0; }
    long Reserved16(long, long, long) override { return 0; }
    long Reserved17(long, long, long, long, long) override { return 0; }
    long DownloadByTime(const Json::Value&, const char*, const char*, const char*, const char*,
                        Tolvane::DevicePosDelegate*, Tolvane::DeviceDataDelegate*) override
    {
        return 0;
    }
    long Reserved19(long, long, long, long, long, long) override { return 0; }
    bool StopDownload(long) override { return false; }
    bool PausePlayBack(long, bool) override { return false; }
    bool SeekPlayBack(long, int, int) override { return false; }
    bool PlayBackControlDirection(long, int) override { return false; }
    bool StartTalk(long) override { return false; }
    bool StopTalk() override { return false; }
    std::string Reserved26(long) override { return {}; }
    bool Reserved27(long, long) override { return false; }
    long GetLoginHandle() override { return 1; }
    std::string GetDeviceIP() override { return "127.0.0.1"; }
    long AttachConfigChange(const char*, Tolvane::DeviceConfigDelegate*, int) override { return 0; }
    bool DetachConfigChange(long) override { return false; }
    long AttachTransmitInfo(const Json::Value&, Json::Value*, Tolvane::DeviceTransmitDelegate*, int) override
    {
        return 0;
    }
    bool DetachTransmitInfo(long, const Json::Value&, Json::Value*, int) override { return false; }
    bool TransmitInfoForWeb(const Json::Value&, Json::Value*, int) override { return false; }
    bool DownloadRemoteFile(const char*, const char*) override { return false; }
    bool DownloadPieceFile(const char*, const char*) override { return false; }
    long AttachVK(int, Tolvane::DeviceVKDelegate*, int) override { return 0; }
    bool SetSecurityKey(long, const char*, int) override { return false; }
    Json::Value QuerySystemInfo() override { return Json::Value(); }

private:
    std::mutex m_mutex;
    long m_nextHandle = 100;
    std::vector<std::pair<int, int>> connects;
    std::vector<long> stops;
    std::vector<std::pair<int, int>> keyFrames;
};

class FakeDeviceMgr final : public Tolvane::IDeviceMgr {
public:
    explicit FakeDeviceMgr(Tolvane::IDevice* device) : m_device(device) {}
    bool SetCGISessionID(int) override { return true; }
    Tolvane::IDevice* GetDevice() override { return m_device; }
    Tolvane::IDevice* GetDevice(long) override { return m_device; }
    bool LogoutDevice() override { return true; }
    Tolvane::IDevice* GetCurrentDevice() override { return m_loggedIn.load() ? m_device : nullptr; }
    void SetLoggedIn(bool loggedIn) { m_loggedIn.store(loggedIn); }

private:
    Tolvane::IDevice* m_device;
    std::atomic<bool> m_loggedIn{true};
};

// The real player manager, recording service and live-stream control over the fakes. The
// one-second tick is run by the tests themselves (no timer service is registered).
class LiveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        fakeplayer::Reset();
        m_host = std::make_unique<testsupport::TestHost>();
        fakeplayer::FillResolveTable(*m_host);
        Tolvane::SetUpModuleLogger(Context());
        sorquin = new FakeSorquin();
        Foundation::RegisterHostObject(Context(), Foundation::TypeName::ISorquin,
                                       Foundation::CSharedPtr<ISorquin>(sorquin));
        devices = new FakeDeviceMgr(&device);
        Foundation::RegisterHostObject(Context(), Foundation::TypeName::IDeviceMgr,
                                       Foundation::CSharedPtr<Tolvane::IDeviceMgr>(devices));
        // The module registers its transcoders while it loads; these tests link the code only.
        Tolvane::RecordTranscoderRegistry::Register("rkv", &Tolvane::CRkvRecordTranscoder::Create);
        Tolvane::CPlayerMgr::CreateSvrObject(Context(), "");
        Tolvane::CRealtimeStreamCtrl::CreateSvrObject(Context(), "");
        Tolvane::CRecordVideoCtrl::CreateSvrObject(Context(), "");
        m_host->EmitImplComLoaded();
        manager = m_host->QueryService<Tolvane::IPlayerMgr>(Foundation::TypeName::IPlayerMgr);
        live = m_host->QueryService<Tolvane::CRealtimeStreamCtrl>(Foundation::TypeName::CRealtimeStreamCtrl);
        recording = m_host->QueryService<Tolvane::CRecordVideoCtrl>(Foundation::TypeName::CRecordVideoCtrl);
        ASSERT_TRUE(manager && live && recording);
    }

    void TearDown() override
    {
        QThreadPool::globalInstance()->waitForDone();
        m_host->EmitImplComPreRelease();
        manager.reset();
        live.reset();
        recording.reset();
        m_host->ClearMethods();
        m_host->ClearObjects();
        QThreadPool::globalInstance()->waitForDone();
        Tolvane::SetModuleLogger(nullptr);
        m_host.reset();
    }

    testsupport::TestHost& Host() { return *m_host; }
    HostContext* Context() { return m_host->Context(); }
    std::string Folder() const { return m_folder.path().toStdString(); }

    // Connects channel 0 to the window and shows a first picture in it; answers the port.
    int32_t ShowLive(int winID, int streamType = 2)
    {
        EXPECT_TRUE(live->ConnectRealVideoByID(0, -1, streamType, 0, winID, 5, false));
        const int32_t port = fakeplayer::LastPort();
        fakeplayer::FirePicture(port);
        QThreadPool::globalInstance()->waitForDone();  // the first-picture report is out
        return port;
    }

    Tolvane::IPlayMode* LiveModeOf(int winID)
    {
        QMutexLocker lock(manager->GetMutex());
        const Tolvane::IPlayerMgr::WindowModes* modes = manager->GetWindowModes(winID);
        if (modes == nullptr) {
            return nullptr;
        }
        auto found = modes->find(Tolvane::ModeId::RealVideo);
        return found != modes->end() ? found->second : nullptr;
    }

    // The params of every "DetailInfoEvent" sent so far.
    std::vector<Json::Value> Reports()
    {
        std::vector<Json::Value> reports;
        for (const std::string& text : m_host->SentTexts()) {
            Json::Value event;
            if (Foundation::JsonParse(text, event) && Foundation::JsonMember(event, "event") == "DetailInfoEvent") {
                reports.push_back(Foundation::JsonMember(event, "params"));
            }
        }
        return reports;
    }
    // Waits for the count of reports to reach n; the last one.
    Json::Value WaitReport(size_t n)
    {
        for (int i = 0; i < 500 && Reports().size() < n; ++i) {
            QThread::msleep(10);
        }
        const std::vector<Json::Value> reports = Reports();
        EXPECT_GE(reports.size(), n);
        return reports.size() >= n ? reports[n - 1] : Json::Value();
    }

    FakeDevice device;
    FakeSorquin* sorquin = nullptr;
    FakeDeviceMgr* devices = nullptr;
    Foundation::CSharedPtr<Tolvane::IPlayerMgr> manager;
    Foundation::CSharedPtr<Tolvane::CRealtimeStreamCtrl> live;
    Foundation::CSharedPtr<Tolvane::CRecordVideoCtrl> recording;

private:
    QTemporaryDir m_folder;
    std::unique_ptr<testsupport::TestHost> m_host;
};

}  // namespace livetest
