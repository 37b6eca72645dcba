#include "devicemgr.h"

#include <foundation/HostCalls.h>
#include <foundation/JsonRead.h>
#include <foundation/TypeNames.h>

#include "logfacade.h"
#include "quillnetdev.h"

namespace Tolvane {

namespace {

// Answered by a login when no device object could be made.
constexpr int kNoDevice = -1;

}  // namespace

CDeviceMgr::CDeviceMgr(HostContext* context, const char* moduleWord, Foundation::CSharedPtr<IDeviceFactory> factory)
    : m_context(context), m_factory(std::move(factory)), m_moduleWord(moduleWord ? moduleWord : "")
{
    if (!m_factory) {
        m_factory = Foundation::CSharedPtr<IDeviceFactory>(new CQuillnetDev::CQuillnetDeviceFactory());
    }
    m_device = m_factory->CreateDevice(m_context, m_moduleWord.c_str());

    Foundation::AddHostSignal(m_context, "deviceLoginoutSignal", &m_deviceLoginoutSignal);

    static const char* const kLoginNames[] = {"ip", "port", "userName", "password", "loginSpacCap"};
    static const char* const kLoginExNames[] = {"ip", "port", "userName", "password", "loginSpacCap", "paramEx"};
    static const char* const kSessionNames[] = {"ID"};
    Publish("LoginDevice", Foundation::MakeComMethod(this, &CDeviceMgr::LoginDevice, kLoginNames, true));
    Publish("LoginDeviceEx", Foundation::MakeComMethod(this, &CDeviceMgr::LoginDeviceEx, kLoginExNames, true));
    Publish("LogoutDevice", Foundation::MakeComMethod(this, &CDeviceMgr::LogoutDevice, true));
    Publish("SetCGISessionID", Foundation::MakeComMethod(this, &CDeviceMgr::SetCGISessionID, kSessionNames, true));
    Publish("QueryDeviceSystemInfo", Foundation::MakeComMethod(this, &CDeviceMgr::QueryDeviceSystemInfo, true));
}

CDeviceMgr::~CDeviceMgr()
{
    IDevice* device = nullptr;
    {
        std::lock_guard<std::mutex> guard(m_deviceLock);
        device = m_device;
        m_device = nullptr;
    }
    if (device != nullptr) {
        m_deviceLoginoutSignal.Emit(device->GetLoginHandle());
        device->LogoutDevice();
        delete device;
    }
    for (Foundation::IComInterface* method : m_methods) {
        delete method;
    }
    // The host must not hand the signal to anyone once it is gone.
    Foundation::RemoveHostSignal(m_context, "deviceLoginoutSignal", &m_deviceLoginoutSignal);
}

void CDeviceMgr::CreateSvrObject(HostContext* context, const char* argument)
{
    TOLVANE_TRACE("Tolvane", "Tolvane::CreateSvrObject", "CreateSvrObject");
    Foundation::CreateSvrObject<CDeviceMgr, IDeviceMgr>(context, argument, Foundation::TypeName::IDeviceMgr);
}

void CDeviceMgr::Publish(const char* name, Foundation::IComInterface* method)
{
    m_methods.push_back(method);
    Foundation::RegisterHostMethod(m_context, name, method);
}

IDevice* CDeviceMgr::DeviceOrCreate()
{
    std::lock_guard<std::mutex> guard(m_deviceLock);
    if (m_device == nullptr && m_factory) {
        m_device = m_factory->CreateDevice(m_context, m_moduleWord.c_str());
    }
    return m_device;
}

bool CDeviceMgr::SetCGISessionID(int /*id*/)
{
    return true;
}

IDevice* CDeviceMgr::GetDevice()
{
    std::lock_guard<std::mutex> guard(m_deviceLock);
    return m_device;
}

IDevice* CDeviceMgr::GetDevice(long /*loginHandle*/)
{
    return GetDevice();
}

IDevice* CDeviceMgr::GetCurrentDevice()
{
    IDevice* device = GetDevice();
    return device != nullptr && device->IsLogin() ? device : nullptr;
}

bool CDeviceMgr::LogoutDevice()
{
    IDevice* device = GetDevice();
    if (device == nullptr) {
        return true;
    }
    m_deviceLoginoutSignal.Emit(device->GetLoginHandle());
    return device->LogoutDevice();
}

int CDeviceMgr::LoginDevice(const char* ip, int port, const char* userName, const char* password,
                            int loginSpacCap)
{
    Json::Value paramEx(Json::objectValue);
    paramEx["capParam"] = 0;
    return LoginDeviceEx(ip, port, userName, password, loginSpacCap, paramEx);
}

int CDeviceMgr::LoginDeviceEx(const char* ip, int port, const char* userName, const char* password,
                              int loginSpacCap, const Json::Value& paramEx)
{
    int capParam = 0;
    if (const Json::Value* found = Foundation::JsonFind(paramEx, "capParam")) {
        if (found->type() == Json::intValue) {
            capParam = Foundation::JsonToInt(*found);
        }
    }
    TOLVANE_INFO("Tolvane", "Tolvane::CDeviceMgr::LoginDeviceEx",
                 "IP:" << (ip ? ip : "") << " port:" << port << " loginport:" << 80);

    IDevice* device = DeviceOrCreate();
    if (device == nullptr) {
        return kNoDevice;
    }
    const uint16_t devicePort = static_cast<uint16_t>(port);
    return device->LoginDevice(ip, devicePort, devicePort, userName, password, loginSpacCap, capParam);
}

Json::Value CDeviceMgr::QueryDeviceSystemInfo()
{
    IDevice* device = GetDevice();
    return device != nullptr ? device->QuerySystemInfo() : Json::Value();
}

}  // namespace Tolvane
