#pragma once
// The player control service: the page gives a video window a live source of a device
// channel and starts or stops it; the live-stream control does the connecting. A window is
// started once for each source set. While the page shows more than four windows, live
// windows asking for the main stream get a sub-stream of their channel instead.
//
// One recursive lock guards every window record; a start runs under it (a setter restarts
// a playing window under it), so it is taken before the live-stream control's lock.
// Recordings and local files are not offered yet: their controls do not exist.

#include <map>
#include <string>
#include <vector>

#include <QMutex>

#include <json/value.h>

#include <foundation/ComMethod.h>
#include <foundation/HostContext.h>
#include <foundation/SharedPtr.h>

#include <tolvane/IPlayerMgr.h>

#include <ISorquin.h>

namespace Tolvane {

class CRealtimeStreamCtrl;

class PlayerCtrl {
public:
    // Source kinds, as stored per window.
    enum SourceKind { KindLive = 0, KindFile = 1, KindRecording = 2 };

    static constexpr int kPlayingLimit = 16;
    static constexpr int kSubStreamThreshold = 4;
    static constexpr int kDefaultTimeout = 30;

    PlayerCtrl(HostContext* context, const char* argument);
    ~PlayerCtrl();
    PlayerCtrl(const PlayerCtrl&) = delete;
    PlayerCtrl& operator=(const PlayerCtrl&) = delete;

    // Creates the service and registers it as "class Tolvane::PlayerCtrl".
    static void CreateSvrObject(HostContext* context, const char* argument);

    // Published methods.
    bool startPlayer(int winID);
    bool stopPlayer(int winID);
    bool setRealStreamSource(int winID, int channel, const char* streamType);
    bool setRealStreamSourceTimeout(int winID, int channel, const char* streamType, int timeout);
    bool setRealStreamSourceWithSlave(int winID, int channel, int slaveChannel, const char* streamType);
    // {"width", "height"} of the window's last picture; zeros when it has none.
    Json::Value getResolution(int winID);
    // The sub-streams ("Extra1" ...) the channel offers; false for anything but an array of known names.
    bool setRealStreamTypes(int channel, const Json::Value& streamTypes);

    void OnImplLoaded();
    void OnImplPreRelease();
    void OnDeviceLoginout(long loginId);
    void OnViewNodeChange(int winID, enum __ViewListEvent event);
    void OnGpuChange(bool enable);

private:
    struct LiveSource {
        int channel = 0;
        int slaveChannel = -1;
        int streamType = 2;
        int timeout = kDefaultTimeout;
        bool decoderStream = false;  // lowered from the main stream by the sub-stream rule
    };

    bool SetLiveSource(int winID, int channel, const char* streamType, int slaveChannel, int timeout);
    // Under the lock.
    int SubStreamFor(int channel) const;
    void SwitchToSubStreams();
    bool IsPlaying(int winID) const;
    void Publish(const char* name, Foundation::IComInterface* method);

    HostContext* m_context;
    std::map<int, bool> m_pendingStarts;
    std::map<int, LiveSource> m_liveSources;
    std::map<int, int> m_sourceKinds;
    std::map<int, int> m_playingWindows;  // window -> kind playing there
    mutable QMutex m_lock{QMutex::Recursive};
    Foundation::CSharedPtr<CRealtimeStreamCtrl> m_live;
    Foundation::CSharedPtr<IPlayerMgr> m_playerMgr;
    Foundation::CSharedPtr<ISorquin> m_sorquin;
    int m_windowCount = 0;
    std::map<std::string, int> m_streamTypes;          // name -> stream-type number
    std::map<int, std::vector<int>> m_channelSubStreams;  // ascending
    bool m_hardwareDecoding = false;
    std::vector<Foundation::IComInterface*> m_methods;  // published, owned
};

}  // namespace Tolvane
