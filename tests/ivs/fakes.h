#pragma once
// Fakes around the intelligent-video service: a player manager with play modes whose
// windows and handlers the tests set and fire, a recording window module, a manual timer,
// a device manager over the real device object, and the fixture that puts the service into
// an in-memory host with the device library stand-in scripted.

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <QMutex>
#include <QReadWriteLock>

#include <foundation/HostCalls.h>
#include <foundation/JsonRead.h>
#include <foundation/Signal.h>
#include <foundation/TypeNames.h>

#include <ISorquin.h>
#include <osdmanager.h>
#include <tolvane/IDeviceMgr.h>
#include <tolvane/IPlayerMgr.h>
#include <tolvane/ITimer.h>

#include "ivsframeanalyctrl.h"
#include "streamsink.h"

namespace ivstest {

using Tolvane::IPlayMode;

class FakePlayMode final : public IPlayMode {
public:
    FakePlayMode(Tolvane::IDevice* device, int channel, int slave, const char* modeId = Tolvane::ModeId::RealVideo)
        : m_device(device), m_channel(channel), m_slave(slave), m_modeId(modeId)
    {
    }

    // Test side: the handlers currently connected, fired as the mode would.
    int StreamHandlerCount() { return Count(m_stream); }
    int DrawHandlerCount() { return Count(m_draw); }
    void FireStreamData(char* data, long length)
    {
        for (const auto& h : Copy(m_stream)) {
            h(this, data, length);
        }
    }
    void FireFrameDraw(long winID, void* painter, void* rect)
    {
        for (const auto& h : Copy(m_draw)) {
            h(winID, 0, painter, rect);
        }
    }

    const char* GetModeID() override { return m_modeId; }
    bool IsOpen() override { return true; }
    playStatus GetPlayStatus() override { return StatusPlaying; }
    bool Close() override { return true; }
    Tolvane::IDevice* GetDevice() override { return m_device; }
    int GetPort() override { return 1; }
    int GetChannel() override { return m_channel; }
    int GetSlaveChannel() override { return m_slave; }
    void SetSlaveChannel(int slave) override { m_slave = slave; }
    int GetStreamType() override { return 2; }
    std::string GetStreamTypeName() override { return "Main"; }
    int GetProtocol() override { return 0; }
    std::string GetEncodeTypeName() override { return {}; }
    int GetFrameRate() override { return 25; }

    bool AttachFrameDraw(const FrameDrawHandler& h) override { return Add(m_draw, h); }
    bool AttachStreamData(const StreamDataHandler& h) override { return Add(m_stream, h); }
    bool DetachFrameDraw(const FrameDrawHandler& h) override { return Remove(m_draw, h); }
    bool DetachStreamData(const StreamDataHandler& h) override { return Remove(m_stream, h); }
    bool AttachPictureSize(const PictureSizeHandler&) override { return true; }
    bool AttachClosing(const ClosingHandler&) override { return true; }
    bool AttachSixValue(const SixValueHandler&) override { return true; }
    bool AttachFrameDecoded(const FrameDecodedHandler&) override { return true; }
    bool AttachStatus(const StatusHandler&) override { return true; }
    bool AttachDraw(const DrawHandler&) override { return true; }
    bool DetachPictureSize(const PictureSizeHandler&) override { return true; }
    bool DetachSixValue(const SixValueHandler&) override { return true; }
    bool DetachFrameDecoded(const FrameDecodedHandler&) override { return true; }
    bool DetachStatus(const StatusHandler&) override { return true; }
    bool DetachDraw(const DrawHandler&) override { return true; }

    bool SetTag(int) override { return false; }
    bool GetStreamNumbering() override { return false; }
    bool ChooseFrame(int) override { return false; }
    int GetModeValue() override { return 0; }

    bool AddWindow(int winID) override
    {
        QWriteLocker lock(&m_windowLock);
        if (std::find(m_windows.begin(), m_windows.end(), winID) == m_windows.end()) {
            m_windows.push_back(winID);
        }
        return true;
    }
    bool RemoveWindow(int winID) override
    {
        QWriteLocker lock(&m_windowLock);
        m_windows.erase(std::remove(m_windows.begin(), m_windows.end(), winID), m_windows.end());
        return true;
    }
    bool ContainsWindow(int winID) override
    {
        QReadLocker lock(&m_windowLock);
        return std::find(m_windows.begin(), m_windows.end(), winID) != m_windows.end();
    }
    int WindowCount() override
    {
        QReadLocker lock(&m_windowLock);
        return static_cast<int>(m_windows.size());
    }
    std::vector<int> GetWindows() override
    {
        QReadLocker lock(&m_windowLock);
        return m_windows;
    }
    QReadWriteLock* GetWindowLock() override { return &m_windowLock; }

    bool SetAudio(int) override { return false; }
    bool SetVolume(int) override { return false; }
    Tolvane::PlayAudioState GetAudioState() override { return {}; }
    bool GetFrameRecord(Tolvane::PlayFrameRecord*, int) override { return false; }
    void AddPendingWindow(int) override {}
    void RemovePendingWindow(int) override {}
    void ClearPendingWindows() override {}
    std::vector<int> GetPendingWindows() override { return {}; }
    QMutex* GetPendingLock() override { return &m_pendingLock; }
    Tolvane::PlayRect SetWindowZoom(int, int, int, int, int) override { return {}; }

private:
    template <class H>
    bool Add(std::vector<H>& list, const H& h)
    {
        std::lock_guard<std::mutex> lock(m_handlerLock);
        list.push_back(h);
        return true;
    }
    template <class H>
    bool Remove(std::vector<H>& list, const H& h)
    {
        std::lock_guard<std::mutex> lock(m_handlerLock);
        auto it = std::find(list.begin(), list.end(), h);
        if (it == list.end()) {
            return false;
        }
        list.erase(it);
        return true;
    }
    template <class H>
    int Count(const std::vector<H>& list)
    {
        std::lock_guard<std::mutex> lock(m_handlerLock);
        return static_cast<int>(list.size());
    }
    template <class H>
    std::vector<H> Copy(const std::vector<H>& list)
    {
        std::lock_guard<std::mutex> lock(m_handlerLock);
        return list;
    }

    Tolvane::IDevice* m_device;
    int m_channel;
    int m_slave;
    const char* m_modeId;
    QReadWriteLock m_windowLock{QReadWriteLock::Recursive};
    std::vector<int> m_windows;
    QMutex m_pendingLock;
    std::mutex m_handlerLock;
    std::vector<StreamDataHandler> m_stream;
    std::vector<FrameDrawHandler> m_draw;
};

// Files modes per window and raises the manager's three signals as the real one does.
class FakePlayerMgr final : public Tolvane::IPlayerMgr {
public:
    explicit FakePlayerMgr(HostContext* context) : m_context(context)
    {
        Foundation::AddHostSignal(m_context, "attachPlayModeSignal", &m_attach);
        Foundation::AddHostSignal(m_context, "detachPlayModeSignal", &m_detach);
        Foundation::AddHostSignal(m_context, "preClosingWndVideoSignal", &m_preClosing);
    }
    ~FakePlayerMgr() override
    {
        Foundation::RemoveHostSignal(m_context, "attachPlayModeSignal", &m_attach);
        Foundation::RemoveHostSignal(m_context, "detachPlayModeSignal", &m_detach);
        Foundation::RemoveHostSignal(m_context, "preClosingWndVideoSignal", &m_preClosing);
    }

    bool AttachPlayMode(int winID, IPlayMode* mode) override
    {
        {
            QMutexLocker lock(&m_mutex);
            m_map[winID][mode->GetModeID()] = mode;
            mode->AddWindow(winID);
        }
        m_attach.Emit(winID, mode);
        return true;
    }
    bool DetachPlayMode(int winID, IPlayMode* mode, bool) override
    {
        QMutexLocker lock(&m_mutex);
        m_detach.Emit(winID, mode);
        m_map[winID].erase(mode->GetModeID());
        if (m_map[winID].empty()) {
            m_map.erase(winID);
        }
        mode->RemoveWindow(winID);
        return true;
    }
    IPlayMode* GetOpenPlayMode(int winID) override
    {
        QMutexLocker lock(&m_mutex);
        auto window = m_map.find(winID);
        return window == m_map.end() || window->second.empty() ? nullptr : window->second.begin()->second;
    }
    const WindowModes* GetWindowModes(int winID) override
    {
        auto window = m_map.find(winID);
        return window == m_map.end() ? nullptr : &window->second;
    }
    IPlayMode* GetPlayMode(int winID, const char* modeId) override
    {
        QMutexLocker lock(&m_mutex);
        auto window = m_map.find(winID);
        if (window == m_map.end()) {
            return nullptr;
        }
        auto mode = window->second.find(modeId);
        return mode == window->second.end() ? nullptr : mode->second;
    }
    std::vector<IPlayMode*> GetDeviceModes(Tolvane::IDevice* device) override
    {
        QMutexLocker lock(&m_mutex);
        std::vector<IPlayMode*> modes;
        for (const auto& window : m_map) {
            for (const auto& mode : window.second) {
                if (mode.second->GetDevice() == device) {
                    modes.push_back(mode.second);  // once per window, as the manager does
                }
            }
        }
        return modes;
    }
    std::vector<IPlayMode*> GetChannelModes(Tolvane::IDevice* device, int channel, const char* modeId) override
    {
        std::vector<IPlayMode*> modes;
        for (IPlayMode* mode : GetDeviceModes(device)) {
            if (mode->GetChannel() == channel && std::string(mode->GetModeID()) == modeId
                && std::find(modes.begin(), modes.end(), mode) == modes.end()) {
                modes.push_back(mode);
            }
        }
        return modes;
    }
    IPlayMode* GetPlayMode(Tolvane::IDevice*, int, int, const char*) override { return nullptr; }
    bool CloseWindow(int winID) override
    {
        m_preClosing.Emit(winID);
        QMutexLocker lock(&m_mutex);
        auto window = m_map.find(winID);
        if (window == m_map.end()) {
            return false;
        }
        for (const auto& mode : window->second) {
            m_detach.Emit(winID, mode.second);
            mode.second->RemoveWindow(winID);
        }
        m_map.erase(window);
        return true;
    }
    QMutex* GetMutex() override { return &m_mutex; }
    ModeMap GetModeMap() override
    {
        QMutexLocker lock(&m_mutex);
        return m_map;
    }

private:
    HostContext* m_context;
    QMutex m_mutex{QMutex::Recursive};
    ModeMap m_map;
    Foundation::CSignal2<int, IPlayMode*> m_attach;
    Foundation::CSignal2<int, IPlayMode*> m_detach;
    Foundation::CSignal1<int> m_preClosing;
};

class FakeSorquin final : public ISorquin {
public:
    void SetBackgroundWidget(QWidget*) override {}
    void SetContentWidget(QWidget*) override {}
    void ReleaseWindows() override {}
    void MoveWindows(int, int) override {}
    void ViewActivated() override {}
    void WindowStateChanged() override {}
    bool IsWindowValid(int) override { return true; }
    void* GetWindowHandle(int) override { return nullptr; }
    bool ShowFrame(int, const unsigned char*, long, int, const SorquinFrameInfo*) override { return true; }
    void SetVideoState(int, bool) override {}
    void SetOverlayState(int winID, bool draws) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        overlayStates.emplace_back(winID, draws);
    }
    bool SaveSnapshot(int, Json::Value) override { return false; }
    std::string GetSnapshotData(int) override { return {}; }
    QWidget* GetWindowWidget(int) override { return nullptr; }

    std::vector<std::pair<int, bool>> overlayStates;

private:
    std::mutex m_mutex;
};

// Keeps the armed handler; the tests run it.
class ManualTimer final : public Tolvane::ITimer {
public:
    uint64_t SetTimer(Handler& handler, int64_t interval) override
    {
        this->handler = handler;
        this->interval = interval;
        return 7;
    }
    bool DestroyTimer(uint64_t id) override
    {
        destroyed.push_back(id);
        handler = Handler();
        return true;
    }
    int Fire() { return handler.empty() ? 0 : handler(7); }

    Handler handler;
    int64_t interval = 0;
    std::vector<uint64_t> destroyed;
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

template <class T>
void Keep(HostContext* context, const char* name, T* object)
{
    Foundation::RegisterHostObject(context, name, Foundation::CSharedPtr<T>(object, [](T*) {}));
}

inline Json::Value ParseText(const std::string& text)
{
    Json::Value value;
    EXPECT_TRUE(Foundation::JsonParse(text, value)) << text;
    return value;
}

// The service over the fakes, with a device logged in to the scripted library.
class IvsTest : public devtest::ScriptedDeviceTest {
protected:
    void SetUp() override
    {
        devtest::ScriptedDeviceTest::SetUp();
        m_players = std::make_unique<FakePlayerMgr>(Context());
        m_devices = std::make_unique<FakeDeviceMgr>(&Device());
        Keep<Tolvane::IPlayerMgr>(Context(), Foundation::TypeName::IPlayerMgr, m_players.get());
        Keep<Tolvane::IDeviceMgr>(Context(), Foundation::TypeName::IDeviceMgr, m_devices.get());
        Keep<ISorquin>(Context(), Foundation::TypeName::ISorquin, &m_sorquin);
        Keep<Tolvane::ITimer>(Context(), Foundation::TypeName::ITimer, &m_timer);
        Foundation::AddHostSignal(Context(), "ViewNodeChange", &m_viewNode);
        Foundation::AddHostSignal(Context(), "FISH_Calibrate", &m_fishCalibrate);
        m_service = std::make_unique<Tolvane::CIVSFrameAnalyCtrl>(Context(), "");
        Host().EmitImplComLoaded();
    }
    void TearDown() override
    {
        Host().EmitImplComPreRelease();
        m_service.reset();
        Foundation::RemoveHostSignal(Context(), "ViewNodeChange", &m_viewNode);
        Foundation::RemoveHostSignal(Context(), "FISH_Calibrate", &m_fishCalibrate);
        Host().ClearObjects();
        m_modes.clear();
        m_players.reset();
        devtest::ScriptedDeviceTest::TearDown();
    }

    FakePlayMode* AddMode(int channel, int slave = -1, const char* modeId = Tolvane::ModeId::RealVideo)
    {
        m_modes.push_back(std::make_unique<FakePlayMode>(&Device(), channel, slave, modeId));
        return m_modes.back().get();
    }

    // The reply's "result".
    Json::Value Call(const std::string& method, const std::string& params)
    {
        const Json::Value reply = ParseText(Host().CallMethod(method, params));
        return Foundation::JsonMember(reply, "result");
    }
    bool Configure(int winID, const std::string& type, bool trace = true, bool board = true)
    {
        Json::Value params;
        params["winID"] = winID;
        params["type"] = type;
        params["config"]["TraceRule"]["Enable"] = trace;
        params["config"]["BoardRule"]["Enable"] = board;
        return Call("setAIConfig", Foundation::JsonFastText(params)).asBool();
    }

    // Page events sent so far: {"event", "params"} each.
    std::vector<Json::Value> PageEvents()
    {
        std::vector<Json::Value> events;
        for (const std::string& text : Host().SentTexts()) {
            events.push_back(ParseText(text));
        }
        return events;
    }

    Tolvane::CIVSFrameAnalyCtrl& Service() { return *m_service; }

    FakeSorquin m_sorquin;
    ManualTimer m_timer;
    Foundation::CSignal2<int, enum __ViewListEvent> m_viewNode;
    Foundation::CSignal2<int, bool> m_fishCalibrate;
    std::unique_ptr<FakePlayerMgr> m_players;
    std::unique_ptr<FakeDeviceMgr> m_devices;
    std::vector<std::unique_ptr<FakePlayMode>> m_modes;
    std::unique_ptr<Tolvane::CIVSFrameAnalyCtrl> m_service;
};

}  // namespace ivstest
