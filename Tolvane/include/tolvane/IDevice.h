#pragma once
// The one interface through which the services talk to a network video device: login,
// live stream, remote playback, downloads, talk, configuration watching and transparent
// JSON requests. Handles are the device library's; 0 means none or failure.
//
// Delegates are owned by the caller and passed by address; the device hands the address
// to the device library, which calls it on its own threads until the stream, download or
// attachment is stopped. A delegate whose object is null is skipped.

#include <cstdint>
#include <string>

#include <json/value.h>

#include <foundation/FastDelegate.h>

namespace Tolvane {

// A block of stream data: (data, byte count, 0, data type). Playback and download blocks
// answer false when they were not taken (the block comes again later); the answer to a
// live block is ignored.
using DeviceDataDelegate = fastdelegate::FastDelegate<bool(const unsigned char* data, uint32_t size,
                                                           uint32_t reserved, uint32_t dataType)>;
// Transfer progress: (total bytes, bytes done); done is -1 at the end, -2 on failure.
using DevicePosDelegate = fastdelegate::FastDelegate<void(uint32_t total, int32_t done)>;
// A watched configuration changed: (attach handle, configuration name, JSON text).
using DeviceConfigDelegate = fastdelegate::FastDelegate<void(long attach, const char* name, const char* json)>;
// A transparent notification: (attach handle, JSON text (a terminated copy valid during the
// call), the binary data that follows the text, its length).
using DeviceTransmitDelegate =
    fastdelegate::FastDelegate<void(long attach, const char* text, const unsigned char* binary, uint32_t length)>;
// The VK blocks: (16-byte block, 16, 32-byte block, 32).
using DeviceVKDelegate =
    fastdelegate::FastDelegate<void(const unsigned char* first, int firstLength, const unsigned char* second,
                                    int secondLength)>;

class IDevice {
public:
    // 0: error code of the login, 0 = logged in (or already logged in with the same ip,
    // user name and password). The alternative port is used when non-zero.
    virtual int LoginDevice(const char* ip, uint16_t port, uint16_t altPort, const char* userName,
                            const char* password, int capType, int capParam) = 0;
    // 1: LoginDevice with capability parameter 0.
    virtual int LoginDeviceShort(const char* ip, uint16_t port, uint16_t altPort, const char* userName,
                                 const char* password, int capType) = 0;
    // 2: the capability type of the login, or the protocol of the last live stream.
    virtual int GetProtocol() = 0;
    // 3: true when nobody was logged in or the device library's logout succeeded; the
    // device is logged out afterwards in every case.
    virtual bool LogoutDevice() = 0;
    // 4
    virtual bool IsLogin() = 0;

    // 5-7: live stream.
    virtual long ConnectRealvideo(int channel, int streamType, int protocol, DeviceDataDelegate* data) = 0;
    virtual bool StopRealvideo(long realHandle) = 0;
    virtual long GetStatiscFlux(long realHandle) = 0;

    // 8-12: remote playback of a file description (by file, or by time range).
    virtual long Playback(const Json::Value& fileInfo, DevicePosDelegate* pos, DeviceDataDelegate* data,
                          bool byTime, bool reverse) = 0;
    virtual long PlaybackByFile(const Json::Value& fileInfo, DevicePosDelegate* pos, DeviceDataDelegate* data,
                                bool reverse) = 0;
    virtual long PlaybackByTime(const Json::Value& fileInfo, DevicePosDelegate* pos, DeviceDataDelegate* data,
                                bool reverse) = 0;
    virtual bool StopPlayBack(long playHandle) = 0;
    virtual bool SetPlayBackSpeed(long playHandle, int step) = 0;

    // 13: download of a recorded file; folder and file name are not used by this device.
    virtual long DownloadByFile(const Json::Value& fileInfo, const char* folder, const char* fileName,
                                DevicePosDelegate* pos, DeviceDataDelegate* data) = 0;
    // 14-17: reserved, answer 0.
    virtual long Reserved14(long, long, long, long, long, long, long) = 0;
    virtual long Reserved15(long, long, long, long, long, long, long, long) = 0;
    virtual long Reserved16(long, long, long) = 0;
    virtual long Reserved17(long, long, long, long, long) = 0;
    // 18: download of a time range of the channel held by `channelInfo`.
    virtual long DownloadByTime(const Json::Value& channelInfo, const char* localPath, const char* saveName,
                                const char* startTime, const char* endTime, DevicePosDelegate* pos,
                                DeviceDataDelegate* data) = 0;
    // 19: reserved, answers 0.
    virtual long Reserved19(long, long, long, long, long, long) = 0;
    // 20-23: download stop and playback control.
    virtual bool StopDownload(long downloadHandle) = 0;
    virtual bool PausePlayBack(long playHandle, bool pause) = 0;
    virtual bool SeekPlayBack(long playHandle, int offsetSeconds, int offsetBytes) = 0;
    virtual bool PlayBackControlDirection(long playHandle, int direction) = 0;

    // 24-25: talk.
    virtual bool StartTalk(long unused) = 0;
    virtual bool StopTalk() = 0;
    // 26-27: reserved, answer "" and false.
    virtual std::string Reserved26(long) = 0;
    virtual bool Reserved27(long, long) = 0;

    // 28-29: the login handle (0 while logged out) and a copy of the stored ip.
    virtual long GetLoginHandle() = 0;
    virtual std::string GetDeviceIP() = 0;

    // 30-34: configuration watching and transparent JSON requests.
    virtual long AttachConfigChange(const char* name, DeviceConfigDelegate* delegate, int timeoutMs) = 0;
    virtual bool DetachConfigChange(long attachHandle) = 0;
    virtual long AttachTransmitInfo(const Json::Value& request, Json::Value* answer,
                                    DeviceTransmitDelegate* delegate, int timeoutMs) = 0;
    virtual bool DetachTransmitInfo(long attachHandle, const Json::Value& request, Json::Value* answer,
                                    int timeoutMs) = 0;
    virtual bool TransmitInfoForWeb(const Json::Value& request, Json::Value* answer, int timeoutMs) = 0;

    // 35-37
    virtual bool MakeKeyFrame(int channel, int subStream) = 0;
    virtual bool DownloadRemoteFile(const char* remoteName, const char* localPath) = 0;
    virtual bool DownloadPieceFile(const char* remoteName, const char* localPath) = 0;

    // 38-39: VK attachment.
    virtual long AttachVK(int channel, DeviceVKDelegate* delegate, int timeoutMs) = 0;
    virtual bool DetachVK(long /*attachHandle*/) { return true; }

    // 40: hands the key to the player library for the port.
    virtual bool SetSecurityKey(long playPort, const char* key, int length) = 0;
    // 41: {"nane": "deviceAbility", "params": {"secondaryAnalyse": N}}.
    virtual Json::Value QuerySystemInfo() = 0;

    // 42
    virtual ~IDevice() = default;
};

}  // namespace Tolvane
