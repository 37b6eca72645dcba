#pragma once
// The device manager, registered with the host as "class Tolvane::IDeviceMgr": it owns the
// module's one device object. "deviceLoginoutSignal" (one long: the login handle) is raised
// when a login ends: at logout, before the logout itself, and when the manager goes while
// it holds a device.

#include <foundation/HostContext.h>

#include <tolvane/IDevice.h>

namespace Tolvane {

class IDeviceMgr {
public:
    // 0
    virtual ~IDeviceMgr() = default;
    // 1: accepted and ignored; always true.
    virtual bool SetCGISessionID(int id) = 0;
    // 2-3: the device object, logged in or not (null only when none could be made). Every
    // login handle gives the same device.
    virtual IDevice* GetDevice() = 0;
    virtual IDevice* GetDevice(long loginHandle) = 0;
    // 4: raises "deviceLoginoutSignal" with the login handle, then logs the device out.
    virtual bool LogoutDevice() = 0;
    // The device while it is logged in, else null. Ask before each device request and keep
    // no device pointer across a logout.
    virtual IDevice* GetCurrentDevice() = 0;
};

// Makes the device objects of a device manager.
class IDeviceFactory {
public:
    virtual ~IDeviceFactory() = default;
    // A new device over the host; the module word is not kept by the device.
    virtual IDevice* CreateDevice(HostContext* context, const char* moduleWord) = 0;
};

}  // namespace Tolvane
