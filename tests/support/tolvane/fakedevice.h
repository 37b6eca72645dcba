#pragma once
// Module doubles shared by the media-module tests: a device that answers every request with
// "nothing", a device manager over one device, and a window module whose windows can vanish.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>

#include <json/value.h>

#include <tolvane/IDevice.h>
#include <tolvane/IDeviceMgr.h>

#include <ISorquin.h>

namespace testsupport {

// Window handles are 0x1000 + window id.
inline void* HandleOf(int winID)
{
    return reinterpret_cast<void*>(uintptr_t(0x1000 + winID));
}

// A logged-in device at 127.0.0.1 (login handle 1) that refuses every stream, playback,
// download and talk request; tests override the calls they watch.
class NullDevice : public Tolvane::IDevice {
public:
    int LoginDevice(const char*, uint16_t, uint16_t, const char*, const char*, int, int) override { return 0; }
    int LoginDeviceShort(const char*, uint16_t, uint16_t, const char*, const char*, int) override { return 0; }
    int GetProtocol() override { return 0; }
    bool LogoutDevice() override { return true; }
    bool IsLogin() override { return true; }
    long ConnectRealvideo(int, int, int, Tolvane::DeviceDataDelegate*) override { return 0; }
    bool StopRealvideo(long) override { return false; }
    long GetStatiscFlux(long) override { return 0; }
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
    bool MakeKeyFrame(int, int) override { return false; }
    bool DownloadRemoteFile(const char*, const char*) override { return false; }
    bool DownloadPieceFile(const char*, const char*) override { return false; }
    long AttachVK(int, Tolvane::DeviceVKDelegate*, int) override { return 0; }
    bool SetSecurityKey(long, const char*, int) override { return false; }
    Json::Value QuerySystemInfo() override { return Json::Value(); }
};

// Hands out one device; the current device is gone while logged out.
class FakeDeviceMgr final : public Tolvane::IDeviceMgr {
public:
    explicit FakeDeviceMgr(Tolvane::IDevice* device) : device(device) {}
    bool SetCGISessionID(int) override { return true; }
    Tolvane::IDevice* GetDevice() override { return device; }
    Tolvane::IDevice* GetDevice(long) override { return device; }
    bool LogoutDevice() override { return true; }
    Tolvane::IDevice* GetCurrentDevice() override { return loggedIn.load() ? device : nullptr; }
    void SetLoggedIn(bool in) { loggedIn.store(in); }

    Tolvane::IDevice* device;
    std::atomic<bool> loggedIn{true};
};

// A window module without widgets: every window is valid until RemoveWindow, frames are
// accepted and dropped. Window handles are HandleOf(id), or null when built without them.
class FakeSorquin : public ISorquin {
public:
    explicit FakeSorquin(bool handles = true) : m_handles(handles) {}

    void SetBackgroundWidget(QWidget*) override {}
    void SetContentWidget(QWidget*) override {}
    void ReleaseWindows() override {}
    void MoveWindows(int, int) override {}
    void ViewActivated() override {}
    void WindowStateChanged() override {}
    bool IsWindowValid(int winID) override
    {
        std::lock_guard<std::mutex> lock(m_goneMutex);
        return m_gone.count(winID) == 0;
    }
    void* GetWindowHandle(int winID) override { return m_handles ? HandleOf(winID) : nullptr; }
    bool ShowFrame(int, const unsigned char*, long, int, const SorquinFrameInfo*) override { return true; }
    void SetVideoState(int, bool) override {}
    void SetOverlayState(int, bool) override {}
    bool SaveSnapshot(int, Json::Value) override { return false; }
    std::string GetSnapshotData(int) override { return {}; }
    QWidget* GetWindowWidget(int) override { return nullptr; }

    void RemoveWindow(int winID)
    {
        std::lock_guard<std::mutex> lock(m_goneMutex);
        m_gone.insert(winID);
    }

private:
    const bool m_handles;
    std::mutex m_goneMutex;
    std::set<int> m_gone;
};

}  // namespace testsupport
