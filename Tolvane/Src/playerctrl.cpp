#include "playerctrl.h"

#include <algorithm>

#include <QDebug>

#include <foundation/HostCalls.h>
#include <foundation/JsonRead.h>
#include <foundation/TypeNames.h>

#include "localplayctrl.h"
#include "logfacade.h"
#include "playbackctrl.h"
#include "realtimestreamctrl.h"
#include "stringsmanager.h"
#include "timetext.h"

namespace Tolvane {

namespace {

using HostHandler = fastdelegate::FastDelegate<void()>;
using LoginoutHandler = fastdelegate::FastDelegate<void(long)>;
using GpuHandler = fastdelegate::FastDelegate<void(bool)>;

constexpr int kMainStream = 2;

class RegistryRecordingControl final : public IRecordingControl {
public:
    explicit RegistryRecordingControl(const Foundation::CSharedPtr<CPlaybackCtrl>& control) : m_control(control) {}
    bool SetGpuFlag(bool flag) override { return m_control->SetGpuFlag(flag); }
    bool Playback(int winID, const Json::Value& fileInfo, bool byTime) override
    {
        return m_control->Playback(winID, fileInfo, byTime);
    }
    bool Pause(int winID) override { return m_control->Pause(winID); }
    bool Resume(int winID) override { return m_control->Resume(winID); }
    bool StepForward(int winID) override { return m_control->StepForward(winID); }
    bool StepBackward(int winID) override { return m_control->StepBackward(winID); }
    bool SetSpeed(int winID, float speed) override { return m_control->SetSpeed(winID, speed); }
    bool SeekByTime(int winID, int year, int month, int day, int hour, int minute, int second) override
    {
        return m_control->SeekByTime(winID, year, month, day, hour, minute, second);
    }
    bool SetPlayRefWin(int winID, bool enable) override { return m_control->SetPlayRefWin(winID, enable); }

private:
    Foundation::CSharedPtr<CPlaybackCtrl> m_control;
};

class RegistryLocalFileControl final : public ILocalFileControl {
public:
    explicit RegistryLocalFileControl(const Foundation::CSharedPtr<CLocalPlayCtrl>& control) : m_control(control) {}
    bool SetGpuFlag(bool flag) override { return m_control->SetGpuFlag(flag); }
    bool PlayFile(int winID, const char* path) override { return m_control->PlayFile(winID, path); }
    bool Pause(int winID) override { return m_control->Pause(winID); }
    bool Resume(int winID) override { return m_control->Resume(winID); }
    bool Step(int winID) override { return m_control->Step(winID); }
    bool SetSpeed(int winID, float speed) override { return m_control->SetSpeed(winID, speed); }

private:
    Foundation::CSharedPtr<CLocalPlayCtrl> m_control;
};

bool IsIntegral(const Json::Value& value)
{
    const Json::ValueType type = value.type();
    return type == Json::intValue || type == Json::uintValue || type == Json::booleanValue;
}

bool IsNumeric(const Json::Value& value)
{
    return Foundation::JsonIsNumber(value) || value.isBool();
}

// Numbers and booleans as a double; anything else reads 0.
double NumberOrZero(const Json::Value* value)
{
    if (value == nullptr) {
        return 0.0;
    }
    if (value->isBool()) {
        return value->asBool() ? 1.0 : 0.0;
    }
    return Foundation::JsonToDouble(*value);
}

// Numbers and booleans as an int (reals cut towards zero); anything else reads 0.
int IntOrZero(const Json::Value* value)
{
    if (value == nullptr) {
        return 0;
    }
    return value->isBool() ? (value->asBool() ? 1 : 0) : Foundation::JsonToInt(*value);
}

uint32_t UnsignedOrZero(const Json::Value* value)
{
    if (value != nullptr && value->type() == Json::uintValue) {
        return static_cast<uint32_t>(value->asLargestUInt());
    }
    return static_cast<uint32_t>(IntOrZero(value));
}

std::string TextOrEmpty(const Json::Value* value)
{
    return value != nullptr ? Foundation::JsonStringOrEmpty(*value) : std::string();
}

bool IsDeviceTime(const std::string& text)
{
    DeviceTimeFields fields;
    return ParseDeviceTimeText(fields, text.c_str());
}

}  // namespace

PlayerCtrl::PlayerCtrl(HostContext* context, const char* /*argument*/) : m_context(context)
{
    Foundation::ConnectHostSignal(m_context, "ImplComLoaded", HostHandler(this, &PlayerCtrl::OnImplLoaded));
    Foundation::ConnectHostSignal(m_context, "ImplComPreRelease", HostHandler(this, &PlayerCtrl::OnImplPreRelease));

    static const char* const kWin[] = {"winID"};
    static const char* const kLive[] = {"winID", "channel", "streamType"};
    static const char* const kLiveTimeout[] = {"winID", "channel", "streamType", "timeout"};
    static const char* const kLiveSlave[] = {"winID", "channel", "slaveChannel", "streamType"};
    static const char* const kTypes[] = {"channel", "streamTypes"};
    static const char* const kSpeed[] = {"winID", "speed"};
    static const char* const kStep[] = {"winID", "forward"};
    static const char* const kVod[] = {"winID", "fileInfo"};
    static const char* const kFile[] = {"winID", "path"};
    static const char* const kSeek[] = {"winID", "year", "month", "day", "hour", "minute", "second"};
    static const char* const kRefWin[] = {"winID", "enable"};
    static const char* const kTranslate[] = {"translate"};
    Publish("startPlayer", Foundation::MakeComMethod(this, &PlayerCtrl::startPlayer, kWin, true));
    Publish("stopPlayer", Foundation::MakeComMethod(this, &PlayerCtrl::stopPlayer, kWin, true));
    Publish("pause", Foundation::MakeComMethod(this, &PlayerCtrl::pause, kWin, true));
    Publish("resume", Foundation::MakeComMethod(this, &PlayerCtrl::resume, kWin, true));
    Publish("setSpeed", Foundation::MakeComMethod(this, &PlayerCtrl::setSpeed, kSpeed, true));
    Publish("stepFrame", Foundation::MakeComMethod(this, &PlayerCtrl::stepFrame, kStep, true));
    Publish("setRealStreamSource", Foundation::MakeComMethod(this, &PlayerCtrl::setRealStreamSource, kLive, true));
    Publish("setRealStreamSource",
            Foundation::MakeComMethod(this, &PlayerCtrl::setRealStreamSourceTimeout, kLiveTimeout, true));
    Publish("setVodStreamSource", Foundation::MakeComMethod(this, &PlayerCtrl::setVodStreamSource, kVod, true));
    Publish("setFileStreamSource", Foundation::MakeComMethod(this, &PlayerCtrl::setFileStreamSource, kFile, true));
    Publish("getResolution", Foundation::MakeComMethod(this, &PlayerCtrl::getResolution, kWin, true));
    Publish("setTranslate", Foundation::MakeComMethod(this, &PlayerCtrl::setTranslate, kTranslate, true));
    Publish("seekByTime", Foundation::MakeComMethod(this, &PlayerCtrl::seekByTime, kSeek, true));
    Publish("setPlayRefWin", Foundation::MakeComMethod(this, &PlayerCtrl::setPlayRefWin, kRefWin, true));
    Publish("setRealStreamSourceWithSlave",
            Foundation::MakeComMethod(this, &PlayerCtrl::setRealStreamSourceWithSlave, kLiveSlave, true));
    Publish("setRealStreamTypes", Foundation::MakeComMethod(this, &PlayerCtrl::setRealStreamTypes, kTypes, true));

    m_streamTypes = {{"Main", 2}, {"Extra1", 3}, {"Extra2", 4}, {"Extra3", 5}};
}

PlayerCtrl::~PlayerCtrl()
{
    Foundation::DisconnectHostSignal(m_context, "ImplComLoaded", HostHandler(this, &PlayerCtrl::OnImplLoaded));
    Foundation::DisconnectHostSignal(m_context, "ImplComPreRelease",
                                     HostHandler(this, &PlayerCtrl::OnImplPreRelease));
    Foundation::DisconnectHostSignal(m_context, "GPU_Change", GpuHandler(this, &PlayerCtrl::OnGpuChange));
    OnImplPreRelease();
    for (Foundation::IComInterface* method : m_methods) {
        delete method;
    }
}

void PlayerCtrl::CreateSvrObject(HostContext* context, const char* argument)
{
    TOLVANE_TRACE("Tolvane", "Tolvane::CreateSvrObject", "CreateSvrObject");
    Foundation::CreateSvrObject<PlayerCtrl>(context, argument, Foundation::TypeName::PlayerCtrl);
}

void PlayerCtrl::Publish(const char* name, Foundation::IComInterface* method)
{
    m_methods.push_back(method);
    Foundation::RegisterHostMethod(m_context, name, method);
}

void PlayerCtrl::OnImplLoaded()
{
    m_live = Foundation::QueryHostService<CRealtimeStreamCtrl>(m_context, Foundation::TypeName::CRealtimeStreamCtrl);
    const auto playback = Foundation::QueryHostService<CPlaybackCtrl>(m_context, Foundation::TypeName::CPlaybackCtrl);
    const auto local = Foundation::QueryHostService<CLocalPlayCtrl>(m_context, Foundation::TypeName::CLocalPlayCtrl);
    SetControls(playback ? std::make_shared<RegistryRecordingControl>(playback) : nullptr,
                local ? std::make_shared<RegistryLocalFileControl>(local) : nullptr);
    m_playerMgr = Foundation::QueryHostService<IPlayerMgr>(m_context, Foundation::TypeName::IPlayerMgr);
    m_sorquin = Foundation::QueryHostService<ISorquin>(m_context, Foundation::TypeName::ISorquin);
    Foundation::ConnectHostSignal(m_context, "deviceLoginoutSignal",
                                  LoginoutHandler(this, &PlayerCtrl::OnDeviceLoginout));
    Foundation::ConnectHostSignal(m_context, "ViewNodeChange",
                                  SorquinViewNodeHandler(this, &PlayerCtrl::OnViewNodeChange));
    Foundation::ConnectHostSignal(m_context, "GPU_Change", GpuHandler(this, &PlayerCtrl::OnGpuChange));
}

void PlayerCtrl::OnImplPreRelease()
{
    Foundation::DisconnectHostSignal(m_context, "deviceLoginoutSignal",
                                     LoginoutHandler(this, &PlayerCtrl::OnDeviceLoginout));
    Foundation::DisconnectHostSignal(m_context, "ViewNodeChange",
                                     SorquinViewNodeHandler(this, &PlayerCtrl::OnViewNodeChange));
}

void PlayerCtrl::SetControls(std::shared_ptr<IRecordingControl> recording, std::shared_ptr<ILocalFileControl> local)
{
    QMutexLocker lock(&m_lock);
    m_recording = std::move(recording);
    m_local = std::move(local);
}

void PlayerCtrl::OnGpuChange(bool enable)
{
    QMutexLocker lock(&m_lock);
    m_hardwareDecoding = enable;
}

bool PlayerCtrl::IsPlaying(int winID) const
{
    return m_playingWindows.count(winID) != 0;
}

int PlayerCtrl::PlayingKind(int winID) const
{
    auto found = m_playingWindows.find(winID);
    return found != m_playingWindows.end() ? found->second : -1;
}

int PlayerCtrl::SubStreamFor(int channel) const
{
    auto found = m_channelSubStreams.find(channel);
    if (found != m_channelSubStreams.end()) {
        for (int type : found->second) {
            if (type > kMainStream) {
                return type;
            }
        }
    }
    return 3;
}

bool PlayerCtrl::SetLiveSource(int winID, int channel, const char* streamType, int slaveChannel, int timeout)
{
    if (!m_sorquin || !m_sorquin->IsWindowValid(winID)) {
        return false;
    }
    if (channel < 0 || streamType == nullptr || *streamType == '\0') {
        return false;
    }
    QMutexLocker lock(&m_lock);
    LiveSource source;
    source.channel = channel;
    source.slaveChannel = slaveChannel;
    auto named = m_streamTypes.find(streamType);
    source.streamType = named != m_streamTypes.end() ? named->second : kMainStream;
    source.timeout = timeout;
    if (m_windowCount > kSubStreamThreshold && source.streamType == kMainStream) {
        source.streamType = SubStreamFor(channel);
        source.decoderStream = true;
        if (IsPlaying(winID)) {
            return false;
        }
    }
    m_liveSources[winID] = source;
    m_sourceKinds[winID] = KindLive;
    m_pendingStarts[winID] = true;
    auto playing = m_playingWindows.find(winID);
    if (playing != m_playingWindows.end() && playing->second == KindLive) {
        return startPlayer(winID);
    }
    return true;
}

bool PlayerCtrl::setRealStreamSource(int winID, int channel, const char* streamType)
{
    return SetLiveSource(winID, channel, streamType, -1, kDefaultTimeout);
}

bool PlayerCtrl::setRealStreamSourceTimeout(int winID, int channel, const char* streamType, int timeout)
{
    return SetLiveSource(winID, channel, streamType, -1, timeout);
}

bool PlayerCtrl::setRealStreamSourceWithSlave(int winID, int channel, int slaveChannel, const char* streamType)
{
    return SetLiveSource(winID, channel, streamType, slaveChannel, kDefaultTimeout);
}

bool PlayerCtrl::startPlayer(int winID)
{
    QMutexLocker lock(&m_lock);
    if (static_cast<int>(m_playingWindows.size()) >= kPlayingLimit && !IsPlaying(winID)) {
        return false;
    }
    auto kind = m_sourceKinds.find(winID);
    if (kind == m_sourceKinds.end()) {
        return false;
    }
    auto pending = m_pendingStarts.find(winID);
    if (pending == m_pendingStarts.end() || !pending->second) {
        return true;  // started once already for this source
    }
    bool result = false;
    if (kind->second == KindLive) {
        auto source = m_liveSources.find(winID);
        if (source == m_liveSources.end() || !m_live) {
            return false;
        }
        m_live->SetHardwareDecoding(m_hardwareDecoding);
        const LiveSource& live = source->second;
        result = m_live->ConnectRealVideoByID(live.channel, live.slaveChannel, live.streamType, 0, winID,
                                              live.timeout, live.decoderStream);
    } else if (kind->second == KindRecording) {
        if (m_recordSources.count(winID) == 0 || !m_recording) {
            return false;
        }
        result = StartRecording(winID);
    } else if (kind->second == KindFile) {
        if (m_fileSources.count(winID) == 0 || !m_local) {
            return false;
        }
        result = StartFile(winID);
    }
    if (result) {
        m_playingWindows[winID] = kind->second;
    }
    m_pendingStarts[winID] = false;
    return result;
}

bool PlayerCtrl::StartRecording(int winID)
{
    const PlaybackFileInfo& info = m_recordSources[winID];
    m_recording->SetGpuFlag(m_hardwareDecoding);
    Json::Value request(Json::objectValue);
    request["channel"] = info.channel;
    request["startTime"] = info.startTime;
    request["endTime"] = info.endTime;
    request["seekTime"] = info.seekTime;
    request["streamType"] = info.streamType;
    request["speed"] = static_cast<double>(info.speed);
    request["disk"] = Json::UInt(info.disk);
    request["cluster"] = Json::UInt(info.cluster);
    request["length"] = info.length;
    request["filePath"] = info.filePath;
    if (info.analysisTask != -1) {
        request["AnalysisTask"] = info.analysisTask;
    }
    if (!m_recording->Playback(winID, request, info.byTime)) {
        return false;
    }
    m_recording->SetSpeed(winID, info.speed);
    return true;
}

bool PlayerCtrl::StartFile(int winID)
{
    m_local->SetGpuFlag(m_hardwareDecoding);
    return m_local->PlayFile(winID, m_fileSources[winID].c_str());
}

bool PlayerCtrl::SetSource(int winID, int kind)
{
    m_sourceKinds[winID] = kind;
    m_pendingStarts[winID] = true;
    if (PlayingKind(winID) == kind) {
        return startPlayer(winID);
    }
    return true;
}

bool PlayerCtrl::setVodStreamSource(int winID, const Json::Value& fileInfo)
{
    if (!m_sorquin || !m_sorquin->IsWindowValid(winID)) {
        return false;
    }
    const Json::Value* channel = Foundation::JsonFind(fileInfo, "Channel");
    const Json::Value* stream = Foundation::JsonFind(fileInfo, "VideoStream");
    const Json::Value* start = Foundation::JsonFind(fileInfo, "StartTime");
    const Json::Value* end = Foundation::JsonFind(fileInfo, "EndTime");
    if (channel == nullptr || !channel->isInt() || stream == nullptr || !stream->isString() || start == nullptr
        || !start->isString() || end == nullptr || !end->isString()) {
        return false;
    }
    PlaybackFileInfo info;
    info.channel = channel->asInt();
    info.streamType = stream->asString();
    info.startTime = start->asString();
    info.endTime = end->asString();
    info.seekTime = TextOrEmpty(Foundation::JsonFind(fileInfo, "SeekTime"));
    info.filePath = TextOrEmpty(Foundation::JsonFind(fileInfo, "FilePath"));
    info.disk = UnsignedOrZero(Foundation::JsonFind(fileInfo, "Disk"));
    const Json::Value* cluster = Foundation::JsonFind(fileInfo, "Cluster");
    info.cluster = UnsignedOrZero(cluster);
    info.byTime = cluster == nullptr || !IsIntegral(*cluster);
    info.length = NumberOrZero(Foundation::JsonFind(fileInfo, "Length"));
    if (const Json::Value* task = Foundation::JsonFind(fileInfo, "AnalysisTask")) {
        info.analysisTask = IntOrZero(task);
    }
    const Json::Value* speed = Foundation::JsonFind(fileInfo, "Speed");
    if (speed != nullptr && IsNumeric(*speed)) {
        info.speed = static_cast<float>(NumberOrZero(speed));
    }
    if (!IsDeviceTime(info.startTime) || !IsDeviceTime(info.endTime)) {
        return false;
    }
    QMutexLocker lock(&m_lock);
    m_recordSources[winID] = info;
    return SetSource(winID, KindRecording);
}

bool PlayerCtrl::setFileStreamSource(int winID, const char* path)
{
    if (!m_sorquin || !m_sorquin->IsWindowValid(winID)) {
        return false;
    }
    QMutexLocker lock(&m_lock);
    m_fileSources[winID] = path != nullptr ? path : "";
    return SetSource(winID, KindFile);
}

bool PlayerCtrl::pause(int winID)
{
    QMutexLocker lock(&m_lock);
    switch (PlayingKind(winID)) {
    case KindRecording:
        return m_recording && m_recording->Pause(winID);
    case KindFile:
        return m_local && m_local->Pause(winID);
    default:
        return false;
    }
}

bool PlayerCtrl::resume(int winID)
{
    QMutexLocker lock(&m_lock);
    switch (PlayingKind(winID)) {
    case KindRecording:
        return m_recording && m_recording->Resume(winID);
    case KindFile:
        return m_local && m_local->Resume(winID);
    default:
        return false;
    }
}

bool PlayerCtrl::setSpeed(int winID, float speed)
{
    QMutexLocker lock(&m_lock);
    switch (PlayingKind(winID)) {
    case KindRecording:
        return m_recording && m_recording->SetSpeed(winID, speed);
    case KindFile:
        return speed > 0.0f && m_local && m_local->SetSpeed(winID, speed);
    default:
        return false;
    }
}

bool PlayerCtrl::stepFrame(int winID, bool forward)
{
    QMutexLocker lock(&m_lock);
    switch (PlayingKind(winID)) {
    case KindRecording:
        if (!m_recording) {
            return false;
        }
        return forward ? m_recording->StepForward(winID) : m_recording->StepBackward(winID);
    case KindFile:
        return forward && m_local && m_local->Step(winID);
    default:
        return false;
    }
}

bool PlayerCtrl::seekByTime(int winID, int year, int month, int day, int hour, int minute, int second)
{
    QMutexLocker lock(&m_lock);
    return PlayingKind(winID) == KindRecording && m_recording
           && m_recording->SeekByTime(winID, year, month, day, hour, minute, second);
}

bool PlayerCtrl::setPlayRefWin(int winID, bool enable)
{
    QMutexLocker lock(&m_lock);
    return m_recording && m_recording->SetPlayRefWin(winID, enable);
}

bool PlayerCtrl::stopPlayer(int winID)
{
    if (!m_playerMgr) {
        return false;
    }
    // The pending switch goes first: a first picture that comes later finds nothing to
    // attach to the window being stopped.
    if (m_live) {
        m_live->DropPendingWindow(winID);
    }
    if (!m_playerMgr->CloseWindow(winID)) {
        return false;
    }
    QMutexLocker lock(&m_lock);
    m_playingWindows.erase(winID);
    return true;
}

Json::Value PlayerCtrl::getResolution(int winID)
{
    int width = 0;
    int height = 0;
    if (m_sorquin && m_sorquin->IsWindowValid(winID) && m_playerMgr) {
        QMutexLocker managerLock(m_playerMgr->GetMutex());
        IPlayMode* mode = m_playerMgr->GetOpenPlayMode(winID);
        PlayFrameRecord record;
        if (mode != nullptr && mode->GetFrameRecord(&record, 0)) {
            width = record.width;
            height = record.height;
        }
    }
    Json::Value answer(Json::objectValue);
    answer["width"] = width;
    answer["height"] = height;
    return answer;
}

bool PlayerCtrl::setTranslate(const Json::Value& translate)
{
    return CStringsManager::instance()->insertStringToMap(translate);
}

bool PlayerCtrl::setRealStreamTypes(int channel, const Json::Value& streamTypes)
{
    QMutexLocker lock(&m_lock);
    std::vector<int>& list = m_channelSubStreams[channel];
    list.clear();
    if (!streamTypes.isNull() && !streamTypes.isArray()) {
        qDebug().noquote() << "setChannelStreamTypes Error: streamTypes is invalid!";
        qDebug().noquote() << QString::fromStdString(Foundation::JsonStyledText(streamTypes));
        return false;
    }
    std::vector<int> types;
    for (Json::ArrayIndex i = 0; streamTypes.isArray() && i < streamTypes.size(); ++i) {
        const std::string name = Foundation::JsonStringOrEmpty(streamTypes[i]);
        auto found = m_streamTypes.find(name);
        if (found == m_streamTypes.end()) {
            qDebug().noquote() << QString::fromStdString("setChannelStreamTypes Error: streamTypes is invalid! " + name
                                                         + " is not a stream type!");
            qDebug().noquote() << QString::fromStdString(Foundation::JsonStyledText(streamTypes));
            return false;
        }
        types.push_back(found->second);
    }
    std::sort(types.begin(), types.end());
    list = types;
    return true;
}

void PlayerCtrl::OnDeviceLoginout(long /*loginId*/)
{
    // The live video of the session that ends stops with it: no switch still waiting for a
    // picture goes on (dropped first, so that a first picture coming meanwhile attaches
    // nothing), and each window showing it is cleared as "stopPlayer" clears it.
    if (m_live) {
        m_live->DropPendingWindows();
    }
    std::vector<int> liveWindows;
    if (m_playerMgr) {
        QMutexLocker managerLock(m_playerMgr->GetMutex());
        for (const auto& window : m_playerMgr->GetModeMap()) {
            if (window.second.count(ModeId::RealVideo) != 0) {
                liveWindows.push_back(window.first);
            }
        }
    }
    for (int winID : liveWindows) {
        m_playerMgr->CloseWindow(winID);
    }

    QMutexLocker lock(&m_lock);
    m_pendingStarts.clear();
    m_recordSources.clear();
    m_liveSources.clear();
    m_fileSources.clear();
    m_sourceKinds.clear();
    m_playingWindows.clear();
    m_channelSubStreams.clear();
}

void PlayerCtrl::OnViewNodeChange(int winID, enum __ViewListEvent event)
{
    if (event == ViewNodeLeft && m_live) {
        m_live->DropPendingWindow(winID);
    }
    QMutexLocker lock(&m_lock);
    if (event == ViewNodeLeft) {
        m_playingWindows.erase(winID);
        m_liveSources.erase(winID);
        --m_windowCount;
    } else if (event == ViewNodeJoined) {
        ++m_windowCount;
    }
    SwitchToSubStreams();
}

void PlayerCtrl::SwitchToSubStreams()
{
    if (m_windowCount <= kSubStreamThreshold || !m_live) {
        return;
    }
    for (auto& entry : m_liveSources) {
        const int winID = entry.first;
        LiveSource& source = entry.second;
        // Only windows that play live now: a stopped or never started source stays as it is.
        if (PlayingKind(winID) != KindLive) {
            continue;
        }
        if (source.streamType > kMainStream) {
            continue;
        }
        source.streamType = SubStreamFor(source.channel);
        m_live->ConnectRealVideoByID(source.channel, source.slaveChannel, source.streamType, 0, winID,
                                     source.timeout, true);
    }
}

}  // namespace Tolvane
