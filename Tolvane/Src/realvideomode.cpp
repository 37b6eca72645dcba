#include "realvideomode.h"

#include "logfacade.h"
#include "playlibrary.h"

namespace Tolvane {

namespace {

constexpr const char kLogModule[] = "RealVideo";
constexpr int32_t kStreamBufferSize = 15360000;
constexpr int kInputTries = 3;

}  // namespace

CRealVideoMode::CRealVideoMode(HostContext* context, bool decoderStream, void* windowHandle, bool hardwareDecoding)
    : CPlayMode(context, windowHandle, hardwareDecoding),
      m_dataSink(this, &CRealVideoMode::ReceiveNetStreamData),
      m_decoderStream(decoderStream)
{
    m_streamNumbering.store(false);
}

CRealVideoMode::~CRealVideoMode()
{
    EndLifetime();
    // A mode deleted without Close must not leave the device or the player calling it.
    if (IDevice* device = m_device.load()) {
        const long handle = m_realHandle.exchange(0);
        if (handle != 0) {
            device->StopRealvideo(handle);
        }
    }
    if (m_port.load() != 0) {
        ReleasePort();
    }
}

bool CRealVideoMode::ConnectRealVideo(IDevice* device, int channel, int slaveChannel, int streamType, int protocol)
{
    if (device == nullptr) {
        TOLVANE_WARN(kLogModule, "Tolvane::CRealVideoMode::ConnectRealVideo", "Login device befor ConnectRealvideo!");
        return false;
    }
    if (IsOpen()) {
        IDevice* held = m_device.load();
        if ((held == nullptr || held == device) && m_channel.load() == channel && m_streamType.load() == streamType
            && m_protocol.load() == protocol) {
            return true;
        }
        Close();
    }
    if (!OpenRealVideoDecode()) {
        TOLVANE_WARN(kLogModule, "Tolvane::CRealVideoMode::ConnectRealVideo", "OpenRealVideoDecode error!");
        return false;
    }
    const long handle = device->ConnectRealvideo(channel, streamType, protocol, &m_dataSink);
    if (handle == 0) {
        ReleasePort();
        TOLVANE_WARN(kLogModule, "Tolvane::CRealVideoMode::ConnectRealVideo", "OpenRealVideoNetStream error!");
        return false;
    }
    m_realHandle.store(handle);
    m_channel.store(channel);
    m_slaveChannel.store(slaveChannel);
    m_streamType.store(streamType);
    m_protocol.store(protocol);
    m_device.store(device);
    m_open.store(true);
    EmitStatus(StatusPlaying);
    return true;
}

bool CRealVideoMode::OpenRealVideoDecode()
{
    TOLVANE_INFO(kLogModule, "Tolvane::CRealVideoMode::OpenRealVideoDecode", "OpenRealVideoDecode");
    int32_t port = 0;
    PLAY_CALL(m_context, PLAY_GetFreePort, &port);
    if (port == 0) {
        TOLVANE_WARN(kLogModule, "Tolvane::CRealVideoMode::OpenRealVideoDecode", "PLAY_GetFreePort error!");
        return false;
    }
    if (!m_securityKey.empty()) {
        PLAY_CALL(m_context, PLAY_SetSecurityKey, port, m_securityKey.c_str(),
                  static_cast<int32_t>(m_securityKey.size()));
    }
    const bool opened =
        PLAY_CALL(m_context, PLAY_SetStreamOpenMode, port, PLAY_STREAM_REALTIME) != 0
        && PLAY_CALL(m_context, PLAY_OpenStream, port, nullptr, 1, kStreamBufferSize) != 0
        && PLAY_CALL(m_context, PLAY_SetEngine, port, m_engine[0], m_engine[1]) != 0
        && PLAY_CALL(m_context, PLAY_Play, port, WindowHandle()) != 0
        && PLAY_CALL(m_context, PLAY_SetPlaySpeed, port, 1.0f) != 0
        && PLAY_CALL(m_context, PLAY_SetDemuxCallBack, port, &CPlayMode::DemuxCallBack, static_cast<void*>(this)) != 0;
    if (!opened) {
        PLAY_CALL(m_context, PLAY_ReleasePort, port);
        m_port.store(0);
        TOLVANE_WARN(kLogModule, "Tolvane::CRealVideoMode::OpenRealVideoDecode", "Play_Play error!");
        return false;
    }
    PLAY_CALL(m_context, PLAY_SetVisibleDecodeCallBack, port, &CPlayMode::VisibleDecodeCallBack,
              static_cast<void*>(this));
    TOLVANE_INFO(kLogModule, "Tolvane::CRealVideoMode::OpenRealVideoDecode", "PLAY_Play OK");
    m_port.store(port);
    ApplyPlayMethod();
    PLAY_CALL(m_context, PLAY_SetDataCallBack, port, &CPlayMode::DataCallBack, static_cast<void*>(this));
    PLAY_CALL(m_context, PLAY_SetEncTypeChangeCallBackEx, port, &CPlayMode::EncTypeChangeCallBack,
              static_cast<void*>(this));
    PLAY_CALL(m_context, PLAY_SetColor, port, m_color[0], m_color[1], m_color[2], m_color[3], m_color[4]);
    return true;
}

bool CRealVideoMode::ReceiveNetStreamData(const unsigned char* data, uint32_t size, uint32_t, uint32_t)
{
    const int32_t port = m_port.load();
    TOLVANE_TRACE(kLogModule, "Tolvane::CRealVideoMode::ReceiveNetStreamData", "port:" << port << " size:" << size);
    SetLastBlockSize(size);
    for (int attempt = 0; attempt < kInputTries; ++attempt) {
        if (PLAY_CALL(m_context, PLAY_InputData, port, data, static_cast<int32_t>(size)) != 0) {
            return true;
        }
    }
    TOLVANE_WARN(kLogModule, "Tolvane::CRealVideoMode::ReceiveNetStreamData", "InputData failed(" << port << ")!");
    return false;
}

bool CRealVideoMode::SetSecurityKey(const char* key)
{
    m_securityKey = key != nullptr ? key : "";
    return true;
}

void CRealVideoMode::ReleasePort()
{
    const int32_t port = m_port.load();
    PLAY_CALL(m_context, PLAY_RigisterDrawFun, port, nullptr, nullptr);
    PLAY_CALL(m_context, PLAY_SetVisibleDecodeCallBack, port, nullptr, nullptr);
    PLAY_CALL(m_context, PLAY_SetDemuxCallBack, port, nullptr, nullptr);
    PLAY_CALL(m_context, PLAY_SetDisplayCallBack, port, nullptr, nullptr);
    PLAY_CALL(m_context, PLAY_SetDataCallBack, port, nullptr, nullptr);
    PLAY_CALL(m_context, PLAY_SetEncTypeChangeCallBackEx, port, nullptr, nullptr);
    PLAY_CALL(m_context, PLAY_Stop, port);
    PLAY_CALL(m_context, PLAY_CloseStream, port);
    PLAY_CALL(m_context, PLAY_ResetSourceBuffer, port);
    PLAY_CALL(m_context, PLAY_ReleasePort, port);
    m_port.store(0);
}

bool CRealVideoMode::Close()
{
    EmitPictureSize(0, 0);
    EmitClosing();
    IDevice* device = m_device.load();
    const long handle = m_realHandle.exchange(0);
    if (device != nullptr && handle != 0) {
        device->StopRealvideo(handle);
    }
    ReleasePort();
    ClearRemovedPlayerWindows();
    Reset();
    EmitStatus(StatusClosed);
    SetWindowsVideoState(false);
    return true;
}

void CRealVideoMode::Reset()
{
    CPlayMode::Reset();
    m_open.store(false);
    m_channel.store(-1);
    m_streamType.store(-1);
    m_port.store(0);
    m_realHandle.store(0);
    m_device.store(nullptr);
    SetLastBlockSize(0);
}

long CRealVideoMode::GetStatiscFlux()
{
    IDevice* device = m_device.load();
    return device != nullptr ? device->GetStatiscFlux(m_realHandle.load()) : 0;
}

}  // namespace Tolvane
