// Releasing the services while a live and a network playback mode stream: the device sees
// both streams stopped before it is deleted, whichever of the player manager and the device
// manager the host lets go of first.
#include <atomic>
#include <string>

#include <foundation/HostCalls.h>
#include <foundation/TypeNames.h>

#include <tolvane/IDeviceMgr.h>
#include <tolvane/IPlayerMgr.h>

#include "devicemgr.h"
#include "fakes.h"
#include "playbackmode.h"
#include "playermgr.h"
#include "realvideomode.h"

namespace playtest {
namespace {

struct DeviceRecord {
    bool deleted = false;
};

class CountingDevice final : public testsupport::NullDevice {
public:
    explicit CountingDevice(DeviceRecord* record) : m_record(record) {}
    // Checked here, as a stream left open is stopped on a deleted device right after.
    ~CountingDevice() override
    {
        m_record->deleted = true;
        EXPECT_EQ(m_open.load(), 0) << "the device is deleted with streams open";
    }
    long ConnectRealvideo(int, int, int, Tolvane::DeviceDataDelegate*) override
    {
        ++m_open;
        return 41;
    }
    bool StopRealvideo(long) override
    {
        --m_open;
        return true;
    }
    long Playback(const Json::Value&, Tolvane::DevicePosDelegate*, Tolvane::DeviceDataDelegate*, bool, bool) override
    {
        ++m_open;
        return 51;
    }
    bool StopPlayBack(long) override
    {
        --m_open;
        return true;
    }

private:
    DeviceRecord* m_record;
    std::atomic<int> m_open{0};
};

class CountingDeviceFactory final : public Tolvane::IDeviceFactory {
public:
    explicit CountingDeviceFactory(DeviceRecord* record) : m_record(record) {}
    Tolvane::IDevice* CreateDevice(HostContext*, const char*) override { return new CountingDevice(m_record); }

private:
    DeviceRecord* m_record;
};

Json::Value Recording()
{
    Json::Value info(Json::objectValue);
    info["channel"] = 0;
    info["startTime"] = "2024-05-01 08:00:00";
    info["endTime"] = "2024-05-01 08:01:00";
    return info;
}

using ReleaseTest = PlayTest;

TEST_F(ReleaseTest, StreamsStopBeforeTheDeviceGoesWhicheverServiceIsReleasedFirst)
{
    struct Case {
        const char* name;
        bool preRelease;         // the host's signal before it lets go
        bool deviceMgrFirst;     // another holder keeps the player manager past the registry
    };
    const Case cases[] = {
        {"player manager first", true, false},
        {"device manager first", true, true},
        {"device manager first, without the signal", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeviceRecord record;
        {
            Foundation::CSharedPtr<Tolvane::IDeviceMgr> devices(new Tolvane::CDeviceMgr(
                Context(), "", Foundation::CSharedPtr<Tolvane::IDeviceFactory>(new CountingDeviceFactory(&record))));
            Foundation::RegisterHostObject(Context(), Foundation::TypeName::IDeviceMgr, devices);
        }
        Tolvane::CPlayerMgr::CreateSvrObject(Context(), "");
        Host().EmitImplComLoaded();
        auto devices = Host().QueryService<Tolvane::IDeviceMgr>(Foundation::TypeName::IDeviceMgr);
        auto manager = Host().QueryService<Tolvane::IPlayerMgr>(Foundation::TypeName::IPlayerMgr);
        ASSERT_TRUE(devices.get() != nullptr && manager.get() != nullptr);
        Tolvane::IDevice* device = devices->GetCurrentDevice();
        ASSERT_NE(device, nullptr);
        devices = Foundation::CSharedPtr<Tolvane::IDeviceMgr>();

        auto* live = new Tolvane::CRealVideoMode(Context(), false, HandleOf(0), false);
        ASSERT_TRUE(live->ConnectRealVideo(device, 0, -1, 2, 0));
        ASSERT_TRUE(manager->AttachPlayMode(0, live));
        auto* playback = new Tolvane::CPlaybackMode(Context(), HandleOf(1), false);
        ASSERT_TRUE(playback->Playback(device, Recording(), true, false, true));
        ASSERT_TRUE(manager->AttachPlayMode(1, playback));

        if (c.preRelease) {
            Host().EmitImplComPreRelease();
        }
        if (!c.deviceMgrFirst) {
            manager = Foundation::CSharedPtr<Tolvane::IPlayerMgr>();
        }
        Host().ClearObjects();
        manager = Foundation::CSharedPtr<Tolvane::IPlayerMgr>();

        EXPECT_TRUE(record.deleted);
        // The window module again for the next case.
        Foundation::RegisterHostObject(Context(), Foundation::TypeName::ISorquin,
                                       Foundation::CSharedPtr<ISorquin>(sorquin = new FakeSorquin()));
    }
}

}  // namespace
}  // namespace playtest
