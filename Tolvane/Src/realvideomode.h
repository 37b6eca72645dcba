#pragma once
// The live play mode: a player port opened in real-time stream mode and fed with every
// block of one device channel's live stream. Connect and close run on the caller's thread;
// the device calls the data sink on its library's thread until StopRealvideo returns.

#include <string>

#include <tolvane/IDevice.h>

#include "playmode.h"

namespace Tolvane {

class CRealVideoMode : public CPlayMode {
public:
    CRealVideoMode(HostContext* context, bool decoderStream, void* windowHandle, bool hardwareDecoding);
    ~CRealVideoMode() override;

    const char* GetModeID() override { return ModeId::RealVideo; }
    bool Close() override;
    void Reset() override;
    long GetStatiscFlux() override;

    bool ConnectRealVideo(IDevice* device, int channel, int slaveChannel, int streamType, int protocol);
    bool OpenRealVideoDecode();
    // The device's data sink: one block of the live stream.
    bool ReceiveNetStreamData(const unsigned char* data, uint32_t size, uint32_t reserved, uint32_t dataType);
    // Kept for the next OpenRealVideoDecode.
    bool SetSecurityKey(const char* key);

    bool GetDecoderStream() const { return m_decoderStream.load(); }
    void SetDecoderStream(bool decoderStream) { m_decoderStream.store(decoderStream); }

private:
    // Removes the callbacks and releases the port, in the player's order.
    void ReleasePort();

    std::atomic<long> m_realHandle{0};
    DeviceDataDelegate m_dataSink;
    std::string m_securityKey;
    std::atomic<bool> m_decoderStream;
};

}  // namespace Tolvane
