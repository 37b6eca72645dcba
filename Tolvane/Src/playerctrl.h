#pragma once
// The player control service: the page gives a video window a source (live video of a
// device channel, a recording on the device or a local file) and starts or stops it; the
// live-stream control, the playback control and the local play control do the playing. A
// window is started once for each source set. Pause, resume, speed, single frames and
// seeking go to the control of the kind that plays in the window. While the page shows more
// than four windows, live windows asking for the main stream get a sub-stream instead, and
// the windows playing live then are lowered. When a login ends, the live video of every
// window is closed and every source forgotten.
//
// One recursive lock guards every window record; starts and the routed controls run under
// it (a setter restarts a playing window under it), so it is taken before the controls' and
// the player manager's locks.

#include <cstdint>
#include <map>
#include <memory>
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

// What the player control asks of the playback control.
class IRecordingControl {
public:
    virtual ~IRecordingControl() = default;
    virtual bool SetGpuFlag(bool flag) = 0;
    virtual bool Playback(int winID, const Json::Value& fileInfo, bool byTime) = 0;
    virtual bool Pause(int winID) = 0;
    virtual bool Resume(int winID) = 0;
    virtual bool StepForward(int winID) = 0;
    virtual bool StepBackward(int winID) = 0;
    virtual bool SetSpeed(int winID, float speed) = 0;
    virtual bool SeekByTime(int winID, int year, int month, int day, int hour, int minute, int second) = 0;
    virtual bool SetPlayRefWin(int winID, bool enable) = 0;
};

// What the player control asks of the local play control.
class ILocalFileControl {
public:
    virtual ~ILocalFileControl() = default;
    virtual bool SetGpuFlag(bool flag) = 0;
    virtual bool PlayFile(int winID, const char* path) = 0;
    virtual bool Pause(int winID) = 0;
    virtual bool Resume(int winID) = 0;
    virtual bool Step(int winID) = 0;
    virtual bool SetSpeed(int winID, float speed) = 0;
};

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
    // Hands the page's key -> text object to the web-view library's text table.
    bool setTranslate(const Json::Value& translate);
    // The sub-streams ("Extra1" ...) the channel offers; false for anything but an array of known names.
    bool setRealStreamTypes(int channel, const Json::Value& streamTypes);
    // A recording on the device: "Channel" (int), "VideoStream", "StartTime", "EndTime"
    // (device time texts) are required; "SeekTime", "Speed", "Disk", "Cluster", "Length",
    // "FilePath", "AnalysisTask" are optional. With "Cluster" the file plays, else the time range.
    bool setVodStreamSource(int winID, const Json::Value& fileInfo);
    bool setFileStreamSource(int winID, const char* path);
    // Routed to the control of the recording or local file that plays in the window; a
    // window that plays nothing or live video answers false.
    bool pause(int winID);
    bool resume(int winID);
    bool setSpeed(int winID, float speed);
    bool stepFrame(int winID, bool forward);
    bool seekByTime(int winID, int year, int month, int day, int hour, int minute, int second);
    // The reference window of synchronised playback.
    bool setPlayRefWin(int winID, bool enable);

    // Replaces the controls fetched from the registry.
    void SetControls(std::shared_ptr<IRecordingControl> recording, std::shared_ptr<ILocalFileControl> local);

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

    struct PlaybackFileInfo {
        int channel = 0;
        std::string streamType;
        std::string startTime;
        std::string endTime;
        std::string seekTime;
        float speed = 1.0f;
        uint32_t disk = 0;
        uint32_t cluster = 0;
        double length = 0.0;
        std::string filePath;
        bool byTime = true;
        int analysisTask = -1;  // none
    };

    bool SetLiveSource(int winID, int channel, const char* streamType, int slaveChannel, int timeout);
    // Under the lock.
    int SubStreamFor(int channel) const;
    void SwitchToSubStreams();
    bool IsPlaying(int winID) const;
    // The kind playing in the window, -1 for none.
    int PlayingKind(int winID) const;
    bool StartRecording(int winID);
    bool StartFile(int winID);
    // Records the source, then restarts the window when it plays that kind.
    bool SetSource(int winID, int kind);
    void Publish(const char* name, Foundation::IComInterface* method);

    HostContext* m_context;
    std::map<int, bool> m_pendingStarts;
    std::map<int, PlaybackFileInfo> m_recordSources;
    std::map<int, LiveSource> m_liveSources;
    std::map<int, std::string> m_fileSources;
    std::map<int, int> m_sourceKinds;
    std::map<int, int> m_playingWindows;  // window -> kind playing there
    mutable QMutex m_lock{QMutex::Recursive};
    Foundation::CSharedPtr<CRealtimeStreamCtrl> m_live;
    std::shared_ptr<IRecordingControl> m_recording;
    std::shared_ptr<ILocalFileControl> m_local;
    Foundation::CSharedPtr<IPlayerMgr> m_playerMgr;
    Foundation::CSharedPtr<ISorquin> m_sorquin;
    int m_windowCount = 0;
    std::map<std::string, int> m_streamTypes;          // name -> stream-type number
    std::map<int, std::vector<int>> m_channelSubStreams;  // ascending
    bool m_hardwareDecoding = false;
    std::vector<Foundation::IComInterface*> m_methods;  // published, owned
};

}  // namespace Tolvane
