#pragma once
// The device object over the outside device library Quillnet. It sets the library up when
// it is made and cleans it up when it goes; it publishes "DeviceDisconnect" and
// "DeviceHaveReConnect" (login handle, ip, port), emitted on the library's threads.
//
// Locking: the session lock serialises login and logout (held across the library's login
// and logout calls); the text lock guards the stored ip, user name and password and is
// only held to copy them. Order: session lock, then text lock. The login handle and the
// protocol word are atomics, so the getters never wait for a login in progress.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include <foundation/HostContext.h>
#include <foundation/Signal.h>

#include <tolvane/IDevice.h>
#include <tolvane/IDeviceMgr.h>

namespace Tolvane {

class CQuillnetDev final : public IDevice {
public:
    using ConnectionSignal = Foundation::CSignal3<long, const char*, long, Foundation::CNolockPolicy>;

    // The only factory of device objects.
    class CQuillnetDeviceFactory final : public IDeviceFactory {
    public:
        IDevice* CreateDevice(HostContext* context, const char* moduleWord) override;
    };

    CQuillnetDev(HostContext* context, const char* moduleWord);
    ~CQuillnetDev() override;
    CQuillnetDev(const CQuillnetDev&) = delete;
    CQuillnetDev& operator=(const CQuillnetDev&) = delete;

    // Login and session (quillnetdevlogin.cpp).
    int LoginDevice(const char* ip, uint16_t port, uint16_t altPort, const char* userName, const char* password,
                    int capType, int capParam) override;
    int LoginDeviceShort(const char* ip, uint16_t port, uint16_t altPort, const char* userName,
                         const char* password, int capType) override;
    int GetProtocol() override;
    bool LogoutDevice() override;
    bool IsLogin() override;
    long GetLoginHandle() override;
    std::string GetDeviceIP() override;
    Json::Value QuerySystemInfo() override;

    // Streams (quillnetdevstreams.cpp).
    long ConnectRealvideo(int channel, int streamType, int protocol, DeviceDataDelegate* data) override;
    bool StopRealvideo(long realHandle) override;
    long GetStatiscFlux(long realHandle) override;
    long Playback(const Json::Value& fileInfo, DevicePosDelegate* pos, DeviceDataDelegate* data, bool byTime,
                  bool reverse) override;
    long PlaybackByFile(const Json::Value& fileInfo, DevicePosDelegate* pos, DeviceDataDelegate* data,
                        bool reverse) override;
    long PlaybackByTime(const Json::Value& fileInfo, DevicePosDelegate* pos, DeviceDataDelegate* data,
                        bool reverse) override;
    bool StopPlayBack(long playHandle) override;
    bool SetPlayBackSpeed(long playHandle, int step) override;
    long DownloadByFile(const Json::Value& fileInfo, const char* folder, const char* fileName,
                        DevicePosDelegate* pos, DeviceDataDelegate* data) override;
    long DownloadByTime(const Json::Value& channelInfo, const char* localPath, const char* saveName,
                        const char* startTime, const char* endTime, DevicePosDelegate* pos,
                        DeviceDataDelegate* data) override;
    bool StopDownload(long downloadHandle) override;
    bool PausePlayBack(long playHandle, bool pause) override;
    bool SeekPlayBack(long playHandle, int offsetSeconds, int offsetBytes) override;
    bool PlayBackControlDirection(long playHandle, int direction) override;
    bool StartTalk(long unused) override;
    bool StopTalk() override;
    bool MakeKeyFrame(int channel, int subStream) override;
    bool DownloadRemoteFile(const char* remoteName, const char* localPath) override;
    bool DownloadPieceFile(const char* remoteName, const char* localPath) override;
    bool SetSecurityKey(long playPort, const char* key, int length) override;

    // Configuration watching and transparent requests (quillnetdevrequests.cpp).
    long AttachConfigChange(const char* name, DeviceConfigDelegate* delegate, int timeoutMs) override;
    bool DetachConfigChange(long attachHandle) override;
    long AttachTransmitInfo(const Json::Value& request, Json::Value* answer, DeviceTransmitDelegate* delegate,
                            int timeoutMs) override;
    bool DetachTransmitInfo(long attachHandle, const Json::Value& request, Json::Value* answer,
                            int timeoutMs) override;
    bool TransmitInfoForWeb(const Json::Value& request, Json::Value* answer, int timeoutMs) override;
    long AttachVK(int channel, DeviceVKDelegate* delegate, int timeoutMs) override;
    bool DetachVK(long attachHandle) override;

    // Reserved slots: they never reach the library.
    long Reserved14(long, long, long, long, long, long, long) override { return 0; }
    long Reserved15(long, long, long, long, long, long, long, long) override { return 0; }
    long Reserved16(long, long, long) override { return 0; }
    long Reserved17(long, long, long, long, long) override { return 0; }
    long Reserved19(long, long, long, long, long, long) override { return 0; }
    std::string Reserved26(long) override { return std::string(); }
    bool Reserved27(long, long) override { return false; }

    ConnectionSignal& DisconnectSignal() { return m_deviceDisconnect; }
    ConnectionSignal& ReconnectSignal() { return m_deviceHaveReConnect; }

private:
    // Library callbacks; `user` is the device (null: nothing happens).
    static void OnDisconnect(long loginHandle, const char* ip, int port, void* user);
    static void OnReconnect(long loginHandle, const char* ip, int port, void* user);
    static int OnMessage(int command, long loginHandle, const char* buffer, uint32_t length, const char* ip,
                         int port, void* user);
    static void OnSubconnect(int kind, long loginHandle, long subHandle, int status, void* user);
    // Talk audio of the open talk: flag 1 from the device (played), 0 captured here (sent).
    static void OnTalk(long talk, const char* buffer, uint32_t size, int32_t flag, void* user);

    void InitSdk();
    void CleanupSdk();
    // With the session lock held.
    bool LogoutLocked();

    HostContext* m_context;
    std::atomic<long> m_loginHandle{0};
    std::atomic<int> m_protocol{0};
    std::mutex m_textLock;
    std::string m_ip;
    std::string m_userName;
    std::string m_password;
    std::atomic<long> m_talkHandle{0};
    std::recursive_mutex m_sessionLock;
    ConnectionSignal m_deviceDisconnect;
    ConnectionSignal m_deviceHaveReConnect;
};

}  // namespace Tolvane
