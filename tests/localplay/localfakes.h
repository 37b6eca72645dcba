#pragma once
// Fakes for the local play and audio tests: a window module whose windows can vanish, a
// device that counts talk requests, a device manager, a timer run by hand, a play mode
// with a port of its own choosing, and the fixture that puts them and the recording
// player into an in-memory host.

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <foundation/HostCalls.h>
#include <foundation/JsonRead.h>
#include <foundation/SharedPtr.h>
#include <foundation/TypeNames.h>

#include <tolvane/IDevice.h>
#include <tolvane/IDeviceMgr.h>
#include <tolvane/ITimer.h>

#include <ISorquin.h>

#include "TestHost.h"
#include "logfacade.h"
#include "playmode.h"
#include "recplay.h"

namespace localtest {

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

class FakeDevice final : public Tolvane::IDevice {
public:
    std::atomic<int> startTalks{0};
    std::atomic<int> stopTalks{0};
    std::atomic<bool> talkResult{true};

    bool StartTalk(long) override
    {
        ++startTalks;
        return talkResult.load();
    }
    bool StopTalk() override
    {
        ++stopTalks;
        return true;
    }

    long ConnectRealvideo(int, int, int, Tolvane::DeviceDataDelegate*) override { return 0; }
    bool StopRealvideo(long) override { return false; }
    long GetStatiscFlux(long) override { return 0; }

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
    explicit FakeDeviceMgr(Tolvane::IDevice* device) : m_device(device) {}
    bool SetCGISessionID(int) override { return true; }
    Tolvane::IDevice* GetDevice() override { return m_device; }
    Tolvane::IDevice* GetDevice(long) override { return m_device; }
    bool LogoutDevice() override { return true; }
    Tolvane::IDevice* GetCurrentDevice() override { return m_device; }

private:
    Tolvane::IDevice* m_device;
};

// A timer service whose ticks the test runs.
class FakeTimer final : public Tolvane::ITimer {
public:
    uint64_t SetTimer(Handler& handler, int64_t interval) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_handler = handler;
        intervals.push_back(interval);
        return ++m_lastId + 40;
    }
    bool DestroyTimer(uint64_t id) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        destroyed.push_back(id);
        m_handler.clear();
        return true;
    }
    // Runs the armed handler once; its answer, or 0 without one.
    int Fire()
    {
        Handler handler;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            handler = m_handler;
        }
        return handler.empty() ? 0 : handler(m_lastId + 40);
    }

    std::vector<int64_t> intervals;
    std::vector<uint64_t> destroyed;

private:
    std::mutex m_mutex;
    Handler m_handler;
    uint64_t m_lastId = 0;
};

// A play mode over a port the test gives it; closing and deletion are counted.
class TestMode final : public Tolvane::CPlayMode {
public:
    TestMode(HostContext* context, const char* modeId, std::atomic<int>* deleted = nullptr)
        : CPlayMode(context, nullptr, false), m_modeId(modeId), m_deleted(deleted)
    {
    }
    ~TestMode() override
    {
        EndLifetime();
        if (m_deleted != nullptr) {
            ++*m_deleted;
        }
    }
    const char* GetModeID() override { return m_modeId; }
    bool Close() override
    {
        ++closes;
        Reset();
        return true;
    }
    void Open(int port)
    {
        m_port.store(port);
        m_open.store(true);
        m_status.store(StatusPlaying);
    }

    std::atomic<int> closes{0};

private:
    const char* m_modeId;
    std::atomic<int>* m_deleted;
};

// Lines written to the debug output while a test runs.
class DebugCapture {
public:
    DebugCapture();
    ~DebugCapture();
    std::vector<std::string> Lines() const;
    bool Contains(const std::string& text) const;
};

inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 5000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// A host with the recording player, the fake window module and the module logger.
class LocalTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        recplay::Reset();
        m_host = std::make_unique<testsupport::TestHost>();
        recplay::FillResolveTable(*m_host);
        sorquin = new FakeSorquin();
        Foundation::RegisterHostObject(Context(), Foundation::TypeName::ISorquin,
                                       Foundation::CSharedPtr<ISorquin>(sorquin));
        Tolvane::SetUpModuleLogger(Context());
    }
    void TearDown() override
    {
        m_host->EmitImplComPreRelease();
        m_host->ClearMethods();
        m_host->ClearObjects();
        Tolvane::SetModuleLogger(nullptr);
        m_host.reset();
    }

    testsupport::TestHost& Host() { return *m_host; }
    HostContext* Context() { return m_host->Context(); }

    // Writes a file of `size` bytes (byte i is i * 7 + i / 251) into the test folder.
    std::string WriteFile(const std::string& name, int64_t size)
    {
        QByteArray bytes(static_cast<int>(size), '\0');
        for (int64_t i = 0; i < size; ++i) {
            bytes[static_cast<int>(i)] = static_cast<char>(i * 7 + i / 251);
        }
        return WriteBytes(name, bytes);
    }
    std::string WriteBytes(const std::string& name, const QByteArray& bytes)
    {
        const QString path = m_folder.filePath(QString::fromStdString(name));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path.toStdString();
    }
    std::string MissingPath() const { return m_folder.filePath(QStringLiteral("missing.rkv")).toStdString(); }

    // The params of every event of that name sent to the page so far.
    std::vector<Json::Value> Events(const std::string& name)
    {
        std::vector<Json::Value> events;
        for (const std::string& text : m_host->SentTexts()) {
            Json::Value event;
            if (Foundation::JsonParse(text, event) && Foundation::JsonMember(event, "event") == name) {
                events.push_back(Foundation::JsonMember(event, "params"));
            }
        }
        return events;
    }

    FakeSorquin* sorquin = nullptr;

private:
    QTemporaryDir m_folder;
    std::unique_ptr<testsupport::TestHost> m_host;
};

}  // namespace localtest
