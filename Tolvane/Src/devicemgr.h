#pragma once
// The device manager service: owns the module's one device object, publishes the login
// methods to the page and raises "deviceLoginoutSignal" when a login ends (a logout, a
// login of other credentials that ended the open session, the manager going).
//
// The device pointer is set in the constructor and, when that failed, by the first login;
// the device lock guards only that pointer and is never held while calling the device.
// The device itself is released only by the destructor.

#include <mutex>
#include <string>
#include <vector>

#include <foundation/ComMethod.h>
#include <foundation/HostContext.h>
#include <foundation/SharedPtr.h>
#include <foundation/Signal.h>

#include <tolvane/IDeviceMgr.h>

namespace Tolvane {

class CDeviceMgr final : public IDeviceMgr {
public:
    using LoginoutSignal = Foundation::CSignal1<long, Foundation::CNolockPolicy>;

    // An empty factory stands for the device library's own.
    CDeviceMgr(HostContext* context, const char* moduleWord,
               Foundation::CSharedPtr<IDeviceFactory> factory = Foundation::CSharedPtr<IDeviceFactory>());
    ~CDeviceMgr() override;
    CDeviceMgr(const CDeviceMgr&) = delete;
    CDeviceMgr& operator=(const CDeviceMgr&) = delete;

    // Creates the service and registers it as "class Tolvane::IDeviceMgr".
    static void CreateSvrObject(HostContext* context, const char* argument);

    bool SetCGISessionID(int id) override;
    IDevice* GetDevice() override;
    IDevice* GetDevice(long loginHandle) override;
    bool LogoutDevice() override;
    IDevice* GetCurrentDevice() override;

    // Published methods.
    int LoginDevice(const char* ip, int port, const char* userName, const char* password, int loginSpacCap);
    int LoginDeviceEx(const char* ip, int port, const char* userName, const char* password, int loginSpacCap,
                      const Json::Value& paramEx);
    Json::Value QueryDeviceSystemInfo();

    LoginoutSignal& DeviceLoginoutSignal() { return m_deviceLoginoutSignal; }

private:
    // The device, made now when there is none yet; null when the factory gives none.
    IDevice* DeviceOrCreate();
    void Publish(const char* name, Foundation::IComInterface* method);

    std::mutex m_deviceLock;
    IDevice* m_device = nullptr;
    HostContext* m_context;
    Foundation::CSharedPtr<IDeviceFactory> m_factory;
    std::string m_moduleWord;
    LoginoutSignal m_deviceLoginoutSignal;
    std::vector<Foundation::IComInterface*> m_methods;  // published, owned
};

}  // namespace Tolvane
