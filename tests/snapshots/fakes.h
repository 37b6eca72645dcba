#pragma once
// Fakes of the services snapshots use: a play mode that reports a port and a frame record,
// a player manager over such modes, a window module that records what it is asked, the
// customer settings and a timer that the tests fire by hand; and the fixture that puts the
// snapshot service into the in-memory host over them.

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QImage>
#include <QMutex>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QWidget>

#include <foundation/HostCalls.h>
#include <foundation/JsonRead.h>
#include <foundation/SharedPtr.h>
#include <foundation/TypeNames.h>

#include <tolvane/ICustomerInfor.h>
#include <tolvane/IPlayMode.h>
#include <tolvane/IPlayerMgr.h>
#include <tolvane/ITimer.h>

#include <ISorquin.h>

#include "TestHost.h"
#include "logfacade.h"
#include "fakeplay.h"
#include "moduletasks.h"
#include "singlegrabctrl.h"

namespace snaptest {

class FakeMode final : public Tolvane::IPlayMode {
public:
    FakeMode(int port, int width, int height) : m_port(port), m_width(width), m_height(height) {}

    const char* GetModeID() override { return Tolvane::ModeId::RealVideo; }
    bool IsOpen() override { return true; }
    playStatus GetPlayStatus() override { return StatusPlaying; }
    bool Close() override { return true; }
    Tolvane::IDevice* GetDevice() override { return nullptr; }
    int GetPort() override { return m_port; }
    int GetChannel() override { return 0; }
    int GetSlaveChannel() override { return -1; }
    void SetSlaveChannel(int) override {}
    int GetStreamType() override { return 2; }
    std::string GetStreamTypeName() override { return "Main"; }
    int GetProtocol() override { return 0; }
    std::string GetEncodeTypeName() override { return {}; }
    int GetFrameRate() override { return 25; }
    bool AttachFrameDraw(const FrameDrawHandler&) override { return true; }
    bool AttachStreamData(const StreamDataHandler&) override { return true; }
    bool AttachPictureSize(const PictureSizeHandler&) override { return true; }
    bool AttachClosing(const ClosingHandler&) override { return true; }
    bool AttachSixValue(const SixValueHandler&) override { return true; }
    bool AttachFrameDecoded(const FrameDecodedHandler&) override { return true; }
    bool AttachStatus(const StatusHandler&) override { return true; }
    bool AttachDraw(const DrawHandler&) override { return true; }
    bool DetachFrameDraw(const FrameDrawHandler&) override { return true; }
    bool DetachStreamData(const StreamDataHandler&) override { return true; }
    bool DetachPictureSize(const PictureSizeHandler&) override { return true; }
    bool DetachSixValue(const SixValueHandler&) override { return true; }
    bool DetachFrameDecoded(const FrameDecodedHandler&) override { return true; }
    bool DetachStatus(const StatusHandler&) override { return true; }
    bool DetachDraw(const DrawHandler&) override { return true; }
    bool SetTag(int) override { return false; }
    bool GetStreamNumbering() override { return false; }
    bool ChooseFrame(int) override { return true; }
    int GetModeValue() override { return 0; }
    bool AddWindow(int) override { return true; }
    bool RemoveWindow(int) override { return true; }
    bool ContainsWindow(int) override { return true; }
    int WindowCount() override { return 1; }
    std::vector<int> GetWindows() override { return {}; }
    QReadWriteLock* GetWindowLock() override { return nullptr; }
    bool SetAudio(int) override { return true; }
    bool SetVolume(int) override { return true; }
    Tolvane::PlayAudioState GetAudioState() override { return {}; }
    // No record while no picture size is known (width or height 0), as the real modes do.
    bool GetFrameRecord(Tolvane::PlayFrameRecord* dest, int flag) override
    {
        if (flag != 0 || dest == nullptr || m_width == 0 || m_height == 0) {
            return false;
        }
        *dest = Tolvane::PlayFrameRecord();
        dest->width = m_width;
        dest->height = m_height;
        return true;
    }
    void AddPendingWindow(int) override {}
    void RemovePendingWindow(int) override {}
    void ClearPendingWindows() override {}
    std::vector<int> GetPendingWindows() override { return {}; }
    QMutex* GetPendingLock() override { return nullptr; }
    Tolvane::PlayRect SetWindowZoom(int, int, int, int, int) override { return {}; }

private:
    int m_port;
    int m_width;
    int m_height;
};

// Windows and their open modes; the tests own the modes.
class FakePlayerMgr final : public Tolvane::IPlayerMgr {
public:
    void Show(int winID, Tolvane::IPlayMode* mode)
    {
        QMutexLocker lock(&m_mutex);
        m_modes[winID] = mode;
    }
    bool AttachPlayMode(int, Tolvane::IPlayMode*) override { return false; }
    bool DetachPlayMode(int, Tolvane::IPlayMode*, bool) override { return false; }
    Tolvane::IPlayMode* GetOpenPlayMode(int winID) override
    {
        QMutexLocker lock(&m_mutex);
        auto found = m_modes.find(winID);
        return found != m_modes.end() ? found->second : nullptr;
    }
    const WindowModes* GetWindowModes(int) override { return nullptr; }
    Tolvane::IPlayMode* GetPlayMode(int, const char*) override { return nullptr; }
    std::vector<Tolvane::IPlayMode*> GetDeviceModes(Tolvane::IDevice*) override { return {}; }
    std::vector<Tolvane::IPlayMode*> GetChannelModes(Tolvane::IDevice*, int, const char*) override { return {}; }
    Tolvane::IPlayMode* GetPlayMode(Tolvane::IDevice*, int, int, const char*) override { return nullptr; }
    bool CloseWindow(int) override { return false; }
    QMutex* GetMutex() override { return &m_mutex; }
    ModeMap GetModeMap() override { return {}; }

private:
    QMutex m_mutex{QMutex::Recursive};
    std::map<int, Tolvane::IPlayMode*> m_modes;
};

// Records the snapshot requests; saves a picture when it has one for the window.
class RecordingSorquin final : public ISorquin {
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
    void SetOverlayState(int, bool) override {}
    bool SaveSnapshot(int winID, Json::Value element) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        saved.push_back({winID, element});
        auto picture = m_pictures.find(winID);
        if (picture == m_pictures.end()) {
            return false;
        }
        return picture->second.save(QString::fromStdString(Foundation::JsonStringOrEmpty(element["fileName"])),
                                     Foundation::JsonStringOrEmpty(element["format"]).c_str());
    }
    std::string GetSnapshotData(int winID) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        dataRequests.push_back(winID);
        return m_pictures.count(winID) != 0 ? "data:image/png;base64,AAAA" : "";
    }
    QWidget* GetWindowWidget(int winID) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto widget = m_widgets.find(winID);
        return widget != m_widgets.end() ? widget->second : nullptr;
    }

    void SetPicture(int winID, const QImage& picture)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pictures[winID] = picture;
    }
    void SetWidget(int winID, QWidget* widget)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_widgets[winID] = widget;
    }
    std::vector<std::pair<int, Json::Value>> Saved()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return saved;
    }

    std::vector<int> dataRequests;

private:
    std::mutex m_mutex;
    std::vector<std::pair<int, Json::Value>> saved;
    std::map<int, QImage> m_pictures;
    std::map<int, QWidget*> m_widgets;
};

class FakeCustomer final : public Tolvane::ICustomerInfor {
public:
    bool setConfig(const Json::Value&) override { return false; }
    Json::Value getConfig(const std::string&) override { return {}; }
    bool resetConfig() override { return false; }
    int GetInt(const std::string& key, int defaultValue) override
    {
        auto found = ints.find(key);
        return found != ints.end() ? found->second : defaultValue;
    }
    bool GetBool(const std::string&, bool defaultValue) override { return defaultValue; }
    std::string GetString(const std::string& key, const std::string& defaultValue) override
    {
        auto found = strings.find(key);
        return found != strings.end() ? found->second : defaultValue;
    }

    std::map<std::string, int> ints;
    std::map<std::string, std::string> strings;
};

// Timers that run only when the test fires them.
class ManualTimer final : public Tolvane::ITimer {
public:
    uint64_t SetTimer(Handler& handler, int64_t interval) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const uint64_t id = ++m_lastId;
        m_timers[id] = {handler, interval, true};
        return id;
    }
    bool DestroyTimer(uint64_t id) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        destroyed.push_back(id);
        auto found = m_timers.find(id);
        if (found != m_timers.end()) {
            found->second.armed = false;
        }
        return true;
    }
    // Runs the timer's handler as the timer service would; -99 for an unknown or ended one.
    int Fire(uint64_t id)
    {
        Handler handler;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            auto found = m_timers.find(id);
            if (found == m_timers.end() || !found->second.armed) {
                return -99;
            }
            handler = found->second.handler;
        }
        const int answer = handler(id);
        if (answer <= 0) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_timers[id].armed = false;
        }
        return answer;
    }
    int64_t IntervalOf(uint64_t id)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_timers.count(id) != 0 ? m_timers[id].interval : -1;
    }
    uint64_t LastId()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lastId;
    }

    std::vector<uint64_t> destroyed;

private:
    struct Timer {
        Handler handler;
        int64_t interval = 0;
        bool armed = false;
    };
    std::mutex m_mutex;
    std::map<uint64_t, Timer> m_timers;
    uint64_t m_lastId = 0;
};

// The snapshot service in the in-memory host over the fakes; window 3 shows port 7
// (320 x 240), window 4 shows port 8 (176 x 144).
class SnapTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        fakeplay::Reset();
        m_host = std::make_unique<testsupport::TestHost>();
        Tolvane::SetUpModuleLogger(m_host->Context());
        fakeplay::FillResolveTable(*m_host);
        players = new FakePlayerMgr();
        sorquin = new RecordingSorquin();
        customer = new FakeCustomer();
        timer = new ManualTimer();
        Register(Foundation::TypeName::IPlayerMgr, Foundation::CSharedPtr<Tolvane::IPlayerMgr>(players));
        if (WithWindowModule()) {
            Register(Foundation::TypeName::ISorquin, Foundation::CSharedPtr<ISorquin>(sorquin));
        } else {
            delete sorquin;
            sorquin = nullptr;
        }
        Register(Foundation::TypeName::ICustomerInfor, Foundation::CSharedPtr<Tolvane::ICustomerInfor>(customer));
        Register(Foundation::TypeName::ITimer, Foundation::CSharedPtr<Tolvane::ITimer>(timer));
        players->Show(3, &m_mode3);
        players->Show(4, &m_mode4);
    }

    void TearDown() override
    {
        Tolvane::ModuleTaskPool().waitForDone();
        m_host->EmitImplComPreRelease();
        grab.reset();
        m_host->ClearMethods();
        m_host->ClearObjects();
        Tolvane::SetModuleLogger(nullptr);
        m_host.reset();
    }

    virtual bool WithWindowModule() const { return true; }

    template <class T>
    void Register(const char* name, const Foundation::CSharedPtr<T>& object)
    {
        Foundation::RegisterHostObject(Context(), name, object);
    }

    // Creates the service (after the test has shaped the host) and raises "ImplComLoaded".
    void Load()
    {
        Tolvane::CSingleGrabCtrl::CreateSvrObject(Context(), "");
        m_host->EmitImplComLoaded();
        grab = m_host->QueryService<Tolvane::CSingleGrabCtrl>(Foundation::TypeName::CSingleGrabCtrl);
        ASSERT_TRUE(grab);
    }

    // Calls the page method and waits for the file snapshots it started.
    Json::Value CallSnapshot(const std::string& infosJson)
    {
        const std::string reply = m_host->CallMethod("snapshot", "{\"infos\":" + infosJson + "}");
        grab->WaitForTasks();
        Json::Value parsed;
        EXPECT_TRUE(Foundation::JsonParse(reply, parsed)) << reply;
        return Foundation::JsonMember(parsed, "result");
    }

    HostContext* Context() { return m_host->Context(); }
    testsupport::TestHost& Host() { return *m_host; }
    QString Folder() const { return m_folder.path(); }

    FakePlayerMgr* players = nullptr;
    RecordingSorquin* sorquin = nullptr;
    FakeCustomer* customer = nullptr;
    ManualTimer* timer = nullptr;
    Foundation::CSharedPtr<Tolvane::CSingleGrabCtrl> grab;

private:
    QTemporaryDir m_folder;
    FakeMode m_mode3{7, 320, 240};
    FakeMode m_mode4{8, 176, 144};
    std::unique_ptr<testsupport::TestHost> m_host;
};

}  // namespace snaptest
