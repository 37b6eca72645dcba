#pragma once
// A recording window module and device for the play-mode tests, and the fixture that
// puts them and the recording player into an in-memory host.

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QString>
#include <QtGlobal>

#include <foundation/HostCalls.h>
#include <foundation/SharedPtr.h>
#include <foundation/TypeNames.h>

#include <tolvane/IDevice.h>

#include <ISorquin.h>

#include "TestHost.h"
#include "fakeplay.h"
#include "logfacade.h"

namespace playtest {

// Window handles are 0x1000 + window id.
inline void* HandleOf(int winID)
{
    return reinterpret_cast<void*>(uintptr_t(0x1000 + winID));
}

class FakeSorquin final : public ISorquin {
public:
    struct Shown {
        int winID;
        bool picture;
        long size;
        SorquinFrameInfo info;
        std::vector<uint32_t> pixels;  // a copy, as the real module keeps one
    };

    void SetBackgroundWidget(QWidget*) override {}
    void SetContentWidget(QWidget*) override {}
    void ReleaseWindows() override {}
    void MoveWindows(int, int) override {}
    void ViewActivated() override {}
    void WindowStateChanged() override {}
    bool IsWindowValid(int) override { return true; }
    void* GetWindowHandle(int winID) override { return HandleOf(winID); }
    bool ShowFrame(int winID, const unsigned char* rgb32, long size, int, const SorquinFrameInfo* info) override
    {
        Shown shown{winID, rgb32 != nullptr, size, info ? *info : SorquinFrameInfo{}, {}};
        if (rgb32 != nullptr) {
            const auto* pixels = reinterpret_cast<const uint32_t*>(rgb32);
            shown.pixels.assign(pixels, pixels + size / 4);
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_shown.push_back(std::move(shown));
        return true;
    }
    void SetVideoState(int winID, bool showsVideo) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.push_back((showsVideo ? "video on " : "video off ") + std::to_string(winID));
    }
    void SetOverlayState(int, bool) override {}
    bool SaveSnapshot(int, Json::Value) override { return false; }
    std::string GetSnapshotData(int) override { return {}; }
    QWidget* GetWindowWidget(int) override { return nullptr; }

    std::vector<Shown> TakeShown()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<Shown> taken;
        taken.swap(m_shown);
        return taken;
    }
    std::vector<std::string> TakeEvents()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<std::string> taken;
        taken.swap(m_events);
        return taken;
    }

private:
    std::mutex m_mutex;
    std::vector<Shown> m_shown;
    std::vector<std::string> m_events;
};

// A device that answers live-stream requests from its fields and records them.
class FakeDevice final : public Tolvane::IDevice {
public:
    long realHandle = 41;
    std::atomic<long> flux{0};
    std::vector<std::string> calls;
    Tolvane::DeviceDataDelegate* sink = nullptr;

    long ConnectRealvideo(int channel, int streamType, int protocol, Tolvane::DeviceDataDelegate* data) override
    {
        calls.push_back("ConnectRealvideo(" + std::to_string(channel) + "," + std::to_string(streamType) + ","
                        + std::to_string(protocol) + ")");
        sink = data;
        return realHandle;
    }
    bool StopRealvideo(long handle) override
    {
        calls.push_back("StopRealvideo(" + std::to_string(handle) + ")");
        sink = nullptr;
        return handle != 0;
    }
    long GetStatiscFlux(long handle) override { return handle != 0 ? flux.load() : 0; }

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
    bool MakeKeyFrame(int, int) override { return false; }
    bool DownloadRemoteFile(const char*, const char*) override { return false; }
    bool DownloadPieceFile(const char*, const char*) override { return false; }
    long AttachVK(int, Tolvane::DeviceVKDelegate*, int) override { return 0; }
    bool SetSecurityKey(long, const char*, int) override { return false; }
    Json::Value QuerySystemInfo() override { return Json::Value(); }
};

// Lines written to the debug output while a test runs.
class DebugCapture {
public:
    DebugCapture();
    ~DebugCapture();
    std::vector<std::string> Lines() const;
    bool Contains(const std::string& text) const;
};

// A host with the recording player and scaler, the fake window module registered as
// "class ISorquin", and the module logger.
class PlayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fakeplay::Reset();
        m_host = std::make_unique<testsupport::TestHost>();
        fakeplay::FillResolveTable(*m_host);
        sorquin = new FakeSorquin();
        Foundation::CSharedPtr<ISorquin> shared(sorquin);
        Foundation::RegisterHostObject(m_host->Context(), Foundation::TypeName::ISorquin, shared);
        Tolvane::SetUpModuleLogger(m_host->Context());
    }
    void TearDown() override
    {
        Tolvane::SetModuleLogger(nullptr);
        m_host->ClearObjects();
        m_host.reset();
    }

    testsupport::TestHost& Host() { return *m_host; }
    HostContext* Context() { return m_host->Context(); }

    FakeSorquin* sorquin = nullptr;
    FakeDevice device;

private:
    std::unique_ptr<testsupport::TestHost> m_host;
};

}  // namespace playtest
