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
#include "debugcapture.h"
#include "fakedevice.h"
#include "playbackctrl.h"
#include "fakeplayer.h"

namespace pbtest {

using testsupport::FakeSorquin;
using testsupport::HandleOf;

// A device that answers playback requests with handles from 100 on and records them.
class FakeDevice final : public testsupport::NullDevice {
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
};

using testsupport::FakeDeviceMgr;

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
using testsupport::DebugCapture;

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

// The playback control over the fixture's real player manager.
class PlaybackCtrlTestBase : public PlaybackTest {
protected:
    void SetUp() override
    {
        PlaybackTest::SetUp();
        Tolvane::CPlaybackCtrl::CreateSvrObject(Context(), "");
        ctrl = Host().QueryService<Tolvane::CPlaybackCtrl>(Foundation::TypeName::CPlaybackCtrl);
        ASSERT_TRUE(ctrl.get() != nullptr);
        Host().EmitImplComLoaded();
    }
    void TearDown() override
    {
        ctrl = Foundation::CSharedPtr<Tolvane::CPlaybackCtrl>();
        PlaybackTest::TearDown();
    }

    Foundation::CSharedPtr<Tolvane::CPlaybackCtrl> ctrl;
};

}  // namespace pbtest
