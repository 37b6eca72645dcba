#include "quillnetdev.h"

#include <foundation/HostCalls.h>

#include "quillnetsdk.h"

namespace Tolvane {

namespace {

// Values the device sets in the library's network parameters and log set-up.
constexpr int32_t kConnectTimeoutMs = 3000;
constexpr int32_t kConnectTries = 2;
constexpr int32_t kOutputBufferSize = 0x200000;
constexpr int32_t kInfoTimeoutMs = 5000;
constexpr int32_t kSearchTimeoutMs = 8000;
constexpr uint8_t kPictureBuffers = 32;

}  // namespace

IDevice* CQuillnetDev::CQuillnetDeviceFactory::CreateDevice(HostContext* context, const char* moduleWord)
{
    return new CQuillnetDev(context, moduleWord);
}

CQuillnetDev::CQuillnetDev(HostContext* context, const char* /*moduleWord*/) : m_context(context)
{
    Foundation::AddHostSignal(m_context, "DeviceDisconnect", &m_deviceDisconnect);
    Foundation::AddHostSignal(m_context, "DeviceHaveReConnect", &m_deviceHaveReConnect);
    InitSdk();
}

CQuillnetDev::~CQuillnetDev()
{
    // No logout here: the device manager logs out before it destroys the device.
    CleanupSdk();
    // Nobody reaches the signals of a device that is gone.
    Foundation::RemoveHostSignal(m_context, "DeviceDisconnect", &m_deviceDisconnect);
    Foundation::RemoveHostSignal(m_context, "DeviceHaveReConnect", &m_deviceHaveReConnect);
}

void CQuillnetDev::InitSdk()
{
    QUILLNET_CALL(m_context, CLIENT_Init, &CQuillnetDev::OnDisconnect, static_cast<void*>(this));
    QUILLNET_CALL(m_context, CLIENT_SetGDPREnable, 1);

    qn_network_param network{};
    network.connect_timeout_ms = kConnectTimeoutMs;
    network.connect_tries = kConnectTries;
    network.output_buffer_size = kOutputBufferSize;
    network.info_timeout_ms = kInfoTimeoutMs;
    network.search_timeout_ms = kSearchTimeoutMs;
    network.picture_buffers = kPictureBuffers;
    QUILLNET_CALL(m_context, CLIENT_SetNetworkParam, &network);

    QUILLNET_CALL(m_context, CLIENT_SetAutoReconnect, &CQuillnetDev::OnReconnect, static_cast<void*>(this));
    QUILLNET_CALL(m_context, CLIENT_SetDVRMessCallBack, &CQuillnetDev::OnMessage, static_cast<void*>(this));
    QUILLNET_CALL(m_context, CLIENT_SetSubconnCallBack, &CQuillnetDev::OnSubconnect, static_cast<void*>(this));

    qn_log_open log{};
    log.size = static_cast<int32_t>(sizeof(qn_log_open));
    log.print_enabled = 1;
    QUILLNET_CALL(m_context, CLIENT_LogOpen, &log);
}

void CQuillnetDev::CleanupSdk()
{
    QUILLNET_CALL(m_context, CLIENT_SetAutoReconnect, static_cast<qn_reconnect_cb>(nullptr), nullptr);
    QUILLNET_CALL(m_context, CLIENT_SetDVRMessCallBack, static_cast<qn_message_cb>(nullptr), nullptr);
    QUILLNET_CALL(m_context, CLIENT_SetSubconnCallBack, static_cast<qn_subconnect_cb>(nullptr), nullptr);
    QUILLNET_CALL(m_context, CLIENT_Cleanup);
}

void CQuillnetDev::OnDisconnect(long loginHandle, const char* ip, int port, void* user)
{
    if (user != nullptr) {
        static_cast<CQuillnetDev*>(user)->m_deviceDisconnect.Emit(loginHandle, ip, port);
    }
}

void CQuillnetDev::OnReconnect(long loginHandle, const char* ip, int port, void* user)
{
    if (user != nullptr) {
        static_cast<CQuillnetDev*>(user)->m_deviceHaveReConnect.Emit(loginHandle, ip, port);
    }
}

int CQuillnetDev::OnMessage(int, long, const char*, uint32_t, const char*, int, void*)
{
    return 1;
}

void CQuillnetDev::OnSubconnect(int, long, long, int, void*) {}

}  // namespace Tolvane
