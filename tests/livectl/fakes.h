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
#include "fakedevice.h"
#include "fakeplayer.h"
#include "logfacade.h"
#include "moduletasks.h"
#include "playermgr.h"
#include "realtimestreamctrl.h"
#include "recordtranscoderregistry.h"
#include "recordvideoctrl.h"
#include "rkvrecordtranscoder.h"

namespace livetest {

// Windows without handles.
class FakeSorquin final : public testsupport::FakeSorquin {
public:
    FakeSorquin() : testsupport::FakeSorquin(false) {}
};

// Live streams get handles 101, 102, ...; the calls are recorded.
class FakeDevice final : public testsupport::NullDevice {
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

private:
    std::mutex m_mutex;
    long m_nextHandle = 100;
    std::vector<std::pair<int, int>> connects;
    std::vector<long> stops;
    std::vector<std::pair<int, int>> keyFrames;
};

using testsupport::FakeDeviceMgr;

// The real player manager, recording service and live-stream control over the fakes. The
// one-second tick is run by the tests themselves (no timer service is registered).
// The live mode a window shows, or null.
inline Tolvane::IPlayMode* LiveModeOf(Tolvane::IPlayerMgr* manager, int winID)
{
    QMutexLocker lock(manager->GetMutex());
    const Tolvane::IPlayerMgr::WindowModes* modes = manager->GetWindowModes(winID);
    if (modes == nullptr) {
        return nullptr;
    }
    auto found = modes->find(Tolvane::ModeId::RealVideo);
    return found != modes->end() ? found->second : nullptr;
}

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
        Tolvane::ModuleTaskPool().waitForDone();
        m_host->EmitImplComPreRelease();
        manager.reset();
        live.reset();
        recording.reset();
        m_host->ClearMethods();
        m_host->ClearObjects();
        Tolvane::ModuleTaskPool().waitForDone();
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
        Tolvane::ModuleTaskPool().waitForDone();  // the first-picture report is out
        return port;
    }

    Tolvane::IPlayMode* LiveModeOf(int winID) { return livetest::LiveModeOf(manager.get(), winID); }

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
