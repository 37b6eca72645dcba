#pragma once
// A recording device, device manager, timer and window module for the playback tests, and
// the fixture that puts them, the recording player and the real player manager into an
// in-memory host.

#include <atomic>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <json/value.h>

#include <foundation/HostCalls.h>
#include <foundation/SharedPtr.h>
#include <foundation/TypeNames.h>

#include <tolvane/IDevice.h>
#include <tolvane/IDeviceMgr.h>
#include <tolvane/IPlayMode.h>
#include <tolvane/IPlayerMgr.h>
#include <tolvane/ITimer.h>

#include <ISorquin.h>

#include "TestHost.h"
#include "fakeplayer.h"

namespace pbtest {

// Window handles are 0x1000 + window id.
inline void* HandleOf(int winID)
{
    return reinterpret_cast<void*>(uintptr_t(0x1000 + winID));
}

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
        return m_gone.count(winID) == 0;
    }
    void* GetWindowHandle(int winID) override { return HandleOf(winID); }
    bool ShowFrame(int, const unsigned char*, long, int, const SorquinFrameInfo*) override { return true; }
    void SetVideoState(int, bool) override {}
    void SetOverlayState(int, bool) override {}
    bool SaveSnapshot(int, Json::Value) override { return false; }
    std::string GetSnapshotData(int) override { return {}; }
    QWidget* GetWindowWidget(int) override { return nullptr; }

    void RemoveWindow(int winID)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_gone.insert(winID);
    }

private:
    std::mutex m_mutex;
    std::set<int> m_gone;
};

// A device that answers playback requests with handles from 100 on and records them.
class FakeDevice final : public Tolvane::IDevice {
public:
    struct Request {
        Json::Value fileInfo;
        bool byTime;
        bool reverse;
        long handle;
    };

    std::vector<Request> requests;
    std::vector<std::string> calls;  // "StopPlayBack(100)", "SetPlayBackSpeed(100,3)"
    long nextHandle = 100;
    bool refusePlayback = false;
    bool refuseSpeed = false;
    Tolvane::DevicePosDelegate* pos = nullptr;
    Tolvane::DeviceDataDelegate* data = nullptr;

    long Playback(const Json::Value& fileInfo, Tolvane::DevicePosDelegate* p, Tolvane::DeviceDataDelegate* d,
                  bool byTime, bool reverse) override
    {
        const long handle = refusePlayback ? 0 : nextHandle++;
        requests.push_back(Request{fileInfo, byTime, reverse, handle});
        if (handle != 0) {
            pos = p;
            data = d;
        }
        return handle;
    }
    bool StopPlayBack(long handle) override
    {
        calls.push_back("StopPlayBack(" + std::to_string(handle) + ")");
        pos = nullptr;
        data = nullptr;
        return true;
    }
    bool SetPlayBackSpeed(long handle, int step) override
    {
        calls.push_back("SetPlayBackSpeed(" + std::to_string(handle) + "," + std::to_string(step) + ")");
        return !refuseSpeed;
    }
    // The last request's file info member, as text.
    std::string Last(const char* key) const
    {
        return requests.empty() ? std::string() : requests.back().fileInfo.get(key, "").asString();
    }

    int LoginDevice(const char*, uint16_t, uint16_t, const char*, const char*, int, int) override { return 0; }
    int LoginDeviceShort(const char*, uint16_t, uint16_t, const char*, const char*, int) override { return 0; }
    int GetProtocol() override { return 0; }
    bool LogoutDevice() override { return true; }
    bool IsLogin() override { return true; }
    long ConnectRealvideo(int, int, int, Tolvane::DeviceDataDelegate*) override { return 0; }
    bool StopRealvideo(long) override { return false; }
    long GetStatiscFlux(long) override { return 0; }
    long PlaybackByFile(const Json::Value&, Tolvane::DevicePosDelegate*, Tolvane::DeviceDataDelegate*, bool) override
    {
        return 0;
    }
    long PlaybackByTime(const Json::Value&, Tolvane::DevicePosDelegate*, Tolvane::DeviceDataDelegate*, bool) override
    {
        return 0;
    }
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
    bool MakeKeyFrame(int, int) override { return false; }
    bool DownloadRemoteFile(const char*, const char*) override { return false; }
    bool DownloadPieceFile(const char*, const char*) override { return false; }
    long AttachVK(int, Tolvane::DeviceVKDelegate*, int) override { return 0; }
    bool SetSecurityKey(long, const char*, int) override { return false; }
    Json::Value QuerySystemInfo() override { return Json::Value(); }
};

class FakeDeviceMgr final : public Tolvane::IDeviceMgr {
public:
    explicit FakeDeviceMgr(Tolvane::IDevice* device) : device(device) {}
    bool SetCGISessionID(int) override { return true; }
    Tolvane::IDevice* GetDevice() override { return device; }
    Tolvane::IDevice* GetDevice(long) override { return device; }
    bool LogoutDevice() override { return true; }
    Tolvane::IDevice* GetCurrentDevice() override { return loggedIn ? device : nullptr; }

    Tolvane::IDevice* device;
    bool loggedIn = true;
};

class FakeTimer final : public Tolvane::ITimer {
public:
    uint64_t SetTimer(Handler&, int64_t interval) override
    {
        calls.push_back("SetTimer(" + std::to_string(interval) + ")");
        return 5;
    }
    bool DestroyTimer(uint64_t id) override
    {
        calls.push_back("DestroyTimer(" + std::to_string(id) + ")");
        return true;
    }
    std::vector<std::string> calls;
};

// Lines written to the debug output while it lives.
class DebugCapture {
public:
    DebugCapture();
    ~DebugCapture();
    bool Contains(const std::string& text) const;
};

// A file info of the demo day: channel 0 from `start` to `end` ("hh:mm:ss").
Json::Value FileInfo(const std::string& start, const std::string& end);
// The events the host sent to the page under the name, as parsed params.
std::vector<Json::Value> Events(testsupport::TestHost& host, const std::string& name);
// Shows one decoded frame of the mode at the time ("hh:mm:ss" of the demo day) through the
// player's visible-decode callback, and waits until the frame-shown handlers have run.
void ShowFrame(Tolvane::IPlayMode* mode, uint32_t frameId, const std::string& time, int width = 352,
               int height = 288);

// The recording player, the fake device behind a fake device manager, the fake window
// module and timer, and the real player manager, in an in-memory host.
class PlaybackTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    testsupport::TestHost& Host() { return *m_host; }
    HostContext* Context() { return m_host->Context(); }
    void DropManager() { manager = Foundation::CSharedPtr<Tolvane::IPlayerMgr>(); }

    FakeDevice device;
    FakeSorquin* sorquin = nullptr;
    FakeDeviceMgr* deviceMgr = nullptr;
    FakeTimer* timer = nullptr;
    Foundation::CSharedPtr<Tolvane::IPlayerMgr> manager;

private:
    std::unique_ptr<testsupport::TestHost> m_host;
};

}  // namespace pbtest
