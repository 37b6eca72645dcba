#include "playerctrl.h"

#include <algorithm>

#include <QDebug>

#include <foundation/HostCalls.h>
#include <foundation/JsonRead.h>
#include <foundation/TypeNames.h>

#include "logfacade.h"
#include "realtimestreamctrl.h"

namespace Tolvane {

namespace {

using HostHandler = fastdelegate::FastDelegate<void()>;
using LoginoutHandler = fastdelegate::FastDelegate<void(long)>;
using GpuHandler = fastdelegate::FastDelegate<void(bool)>;

constexpr int kMainStream = 2;

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
    Publish("startPlayer", Foundation::MakeComMethod(this, &PlayerCtrl::startPlayer, kWin, true));
    Publish("stopPlayer", Foundation::MakeComMethod(this, &PlayerCtrl::stopPlayer, kWin, true));
    Publish("setRealStreamSource", Foundation::MakeComMethod(this, &PlayerCtrl::setRealStreamSource, kLive, true));
    Publish("setRealStreamSource",
            Foundation::MakeComMethod(this, &PlayerCtrl::setRealStreamSourceTimeout, kLiveTimeout, true));
    Publish("getResolution", Foundation::MakeComMethod(this, &PlayerCtrl::getResolution, kWin, true));
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

void PlayerCtrl::OnGpuChange(bool enable)
{
    QMutexLocker lock(&m_lock);
    m_hardwareDecoding = enable;
}

bool PlayerCtrl::IsPlaying(int winID) const
{
    return m_playingWindows.count(winID) != 0;
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
    }
    if (result) {
        m_playingWindows[winID] = kind->second;
    }
    m_pendingStarts[winID] = false;
    return result;
}

bool PlayerCtrl::stopPlayer(int winID)
{
    if (!m_playerMgr || !m_playerMgr->CloseWindow(winID)) {
        return false;
    }
    if (m_live) {
        m_live->DropPendingWindow(winID);
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
    QMutexLocker lock(&m_lock);
    m_pendingStarts.clear();
    m_liveSources.clear();
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
        if (static_cast<int>(m_playingWindows.size()) >= kPlayingLimit && !IsPlaying(winID)) {
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
