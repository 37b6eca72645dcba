// The exported PLAY_* functions: the port table, play groups and the test controls.
#include "port.h"

#include <array>
#include <map>
#include <set>

#define PLAY_EXPORT extern "C" __attribute__((visibility("default")))

namespace play {
namespace {

std::mutex g_mutex;
std::array<std::shared_ptr<Port>, PLAY_MAX_PORTS> g_ports;
int g_nextPort = 1;
std::map<int32_t, std::set<int32_t>> g_groups;
int32_t g_nextGroup = 1;

// The port, or null (with the error set). The fixed port exists without being asked for.
std::shared_ptr<Port> Find(int32_t number)
{
    if (number <= 0 || number >= PLAY_MAX_PORTS) {
        SetLastError(PLAY_ERR_PORT);
        return nullptr;
    }
    std::lock_guard<std::mutex> lk(g_mutex);
    auto &slot = g_ports[size_t(number)];
    if (!slot && number == PLAY_FIXED_PORT)
        slot = std::make_shared<Port>(number);
    if (!slot)
        SetLastError(PLAY_ERR_PORT);
    return slot;
}

std::vector<std::shared_ptr<Port>> GroupPorts(int32_t group, bool &found)
{
    std::vector<std::shared_ptr<Port>> ports;
    std::lock_guard<std::mutex> lk(g_mutex);
    auto it = g_groups.find(group);
    found = it != g_groups.end();
    if (!found) {
        SetLastError(PLAY_ERR_PARAM);
        return ports;
    }
    for (int32_t p : it->second) {
        if (g_ports[size_t(p)])
            ports.push_back(g_ports[size_t(p)]);
    }
    return ports;
}

// Applies fn to every member of a group; 1 when the group exists and every call succeeded.
template <typename Fn>
int32_t ForGroup(int32_t group, Fn fn)
{
    bool found = false;
    const auto ports = GroupPorts(group, found);
    if (!found)
        return 0;
    int32_t result = 1;
    for (const auto &port : ports)
        result &= fn(*port) ? 1 : 0;
    return result;
}

template <typename Fn>
int32_t WithPort(int32_t number, Fn fn)
{
    const std::shared_ptr<Port> port = Find(number);
    return port ? fn(*port) : 0;
}

}  // namespace
}  // namespace play

using play::Callbacks;
using play::Clock;
using play::Port;
using play::WithPort;

PLAY_EXPORT int32_t PLAY_GetFreePort(int32_t *port)
{
    if (!port) {
        play::SetLastError(PLAY_ERR_PARAM);
        return 0;
    }
    std::lock_guard<std::mutex> lk(play::g_mutex);
    for (int i = 0; i < PLAY_MAX_PORTS; ++i) {
        const int candidate = play::g_nextPort;
        play::g_nextPort = candidate + 1 >= PLAY_MAX_PORTS ? 1 : candidate + 1;
        if (candidate == PLAY_FIXED_PORT || play::g_ports[size_t(candidate)])
            continue;
        play::g_ports[size_t(candidate)] = std::make_shared<Port>(candidate);
        *port = candidate;
        return 1;
    }
    *port = 0;
    play::SetLastError(PLAY_ERR_PORT);
    return 0;
}

PLAY_EXPORT int32_t PLAY_ReleasePort(int32_t port)
{
    std::shared_ptr<Port> released;
    if (port <= 0 || port >= PLAY_MAX_PORTS) {
        play::SetLastError(PLAY_ERR_PORT);
        return 0;
    }
    {
        std::lock_guard<std::mutex> lk(play::g_mutex);
        released = std::move(play::g_ports[size_t(port)]);
        for (auto &group : play::g_groups)
            group.second.erase(port);
    }
    if (!released) {
        play::SetLastError(PLAY_ERR_PORT);
        return 0;
    }
    released->Release();
    return 1;
}

PLAY_EXPORT int32_t PLAY_SetStreamOpenMode(int32_t port, int32_t mode)
{
    return WithPort(port, [&](Port &p) { return p.SetStreamOpenMode(mode); });
}

PLAY_EXPORT int32_t PLAY_OpenStream(int32_t port, const void *, int32_t, int32_t bufferSize)
{
    return WithPort(port, [&](Port &p) { return p.OpenStream(bufferSize); });
}

PLAY_EXPORT int32_t PLAY_CloseStream(int32_t port)
{
    return WithPort(port, [&](Port &p) { return p.CloseStream(); });
}

PLAY_EXPORT int32_t PLAY_SetEngine(int32_t port, int32_t, int32_t)
{
    return WithPort(port, [&](Port &p) { return p.Accept(); });
}

PLAY_EXPORT int32_t PLAY_EnableLargePicAdjustment(int32_t port, int32_t)
{
    return WithPort(port, [&](Port &p) { return p.Accept(); });
}

PLAY_EXPORT int32_t PLAY_SetSecurityKey(int32_t port, const char *key, int32_t length)
{
    return WithPort(port, [&](Port &p) { return p.SetSecurityKey(key, length); });
}

PLAY_EXPORT int32_t PLAY_Play(int32_t port, void *window)
{
    return WithPort(port, [&](Port &p) { return p.Play(static_cast<PLAY_VIDEO_SINK *>(window), Clock::Now()); });
}

PLAY_EXPORT int32_t PLAY_Stop(int32_t port)
{
    return WithPort(port, [&](Port &p) { return p.Stop(); });
}

PLAY_EXPORT int32_t PLAY_Pause(int32_t port, int32_t pause)
{
    return WithPort(port, [&](Port &p) { return p.Pause(pause != 0, Clock::Now()); });
}

PLAY_EXPORT int32_t PLAY_OneByOne(int32_t port)
{
    return WithPort(port, [&](Port &p) { return p.Step(); });
}

PLAY_EXPORT int32_t PLAY_SetPlaySpeed(int32_t port, float speed)
{
    return WithPort(port, [&](Port &p) { return p.SetSpeed(speed, Clock::Now()); });
}

PLAY_EXPORT int32_t PLAY_SetPlayDirection(int32_t port, int32_t reverse)
{
    return WithPort(port, [&](Port &p) { return p.SetDirection(reverse != 0, Clock::Now()); });
}

PLAY_EXPORT int32_t PLAY_InputData(int32_t port, const void *data, int32_t size)
{
    return WithPort(port, [&](Port &p) { return p.InputData(data, size); });
}

PLAY_EXPORT int32_t PLAY_GetSourceBufferRemain(int32_t port)
{
    return WithPort(port, [&](Port &p) { return p.SourceRemain(); });
}

PLAY_EXPORT int32_t PLAY_GetBufferValue(int32_t port, int32_t kind)
{
    return WithPort(port, [&](Port &p) { return p.BufferValue(kind); });
}

PLAY_EXPORT int32_t PLAY_ResetBuffer(int32_t port, int32_t kind)
{
    return WithPort(port, [&](Port &p) { return p.ResetBuffer(kind); });
}

PLAY_EXPORT int32_t PLAY_ResetSourceBuffer(int32_t port)
{
    return WithPort(port, [&](Port &p) { return p.ResetSource(); });
}

PLAY_EXPORT int32_t PLAY_Flush(int32_t port)
{
    return WithPort(port, [&](Port &p) { return p.Flush(); });
}

PLAY_EXPORT int32_t PLAY_SetDemuxCallBack(int32_t port, PLAY_DemuxCallBack cb, void *user)
{
    return WithPort(port, [&](Port &p) { return p.SetCallback(&Callbacks::demux, &Callbacks::demuxUser, cb, user); });
}

PLAY_EXPORT int32_t PLAY_SetVisibleDecodeCallBack(int32_t port, PLAY_VisibleDecodeCallBack cb, void *user)
{
    return WithPort(port, [&](Port &p) { return p.SetCallback(&Callbacks::visible, &Callbacks::visibleUser, cb, user); });
}

PLAY_EXPORT int32_t PLAY_SetDataCallBack(int32_t port, PLAY_DataCallBack cb, void *user)
{
    return WithPort(port, [&](Port &p) { return p.SetCallback(&Callbacks::data, &Callbacks::dataUser, cb, user); });
}

PLAY_EXPORT int32_t PLAY_SetEncTypeChangeCallBackEx(int32_t port, PLAY_EncTypeChangeCallBack cb, void *user)
{
    return WithPort(port, [&](Port &p) { return p.SetCallback(&Callbacks::encType, &Callbacks::encTypeUser, cb, user); });
}

PLAY_EXPORT int32_t PLAY_SetDisplayCallBack(int32_t port, PLAY_DisplayCallBack cb, void *user)
{
    return WithPort(port, [&](Port &p) { return p.SetCallback(&Callbacks::display, &Callbacks::displayUser, cb, user); });
}

PLAY_EXPORT int32_t PLAY_RigisterDrawFun(int32_t port, PLAY_DrawFun cb, void *user)
{
    return WithPort(port, [&](Port &p) { return p.SetCallback(&Callbacks::draw, &Callbacks::drawUser, cb, user); });
}

PLAY_EXPORT int32_t PLAY_SetDecCallBack(int32_t port, PLAY_DecCallBack cb)
{
    return WithPort(port, [&](Port &p) { return p.SetCallback<PLAY_DecCallBack>(&Callbacks::dec, nullptr, cb, nullptr); });
}

PLAY_EXPORT int32_t PLAY_SetWaterMarkCallBackEx(int32_t port, PLAY_WaterMarkCallBack cb, void *user)
{
    return WithPort(port, [&](Port &p) {
        return p.SetCallback(&Callbacks::watermark, &Callbacks::watermarkUser, cb, user);
    });
}

PLAY_EXPORT int32_t PLAY_SetDisplayRegion(int32_t port, int32_t region, const PLAY_RECT *rect, void *window, int32_t enable)
{
    return WithPort(port, [&](Port &p) {
        return p.SetDisplayRegion(region, rect, static_cast<PLAY_VIDEO_SINK *>(window), enable != 0);
    });
}

PLAY_EXPORT int32_t PLAY_SetColor(int32_t port, int32_t, int32_t, int32_t, int32_t, int32_t)
{
    return WithPort(port, [&](Port &p) { return p.Accept(); });
}

PLAY_EXPORT int32_t PLAY_ChooseFrame(int32_t port, int32_t)
{
    return WithPort(port, [&](Port &p) { return p.Accept(); });
}

PLAY_EXPORT int32_t PLAY_GetPictureSize(int32_t port, int32_t *width, int32_t *height)
{
    return WithPort(port, [&](Port &p) { return p.PictureSize(width, height); });
}

PLAY_EXPORT int32_t PLAY_SetPlayMethod(int32_t port, int32_t, int32_t, int32_t, int32_t)
{
    return WithPort(port, [&](Port &p) { return p.Accept(); });
}

PLAY_EXPORT int32_t PLAY_GetLastErrorEx(void)
{
    return play::LastError();
}

PLAY_EXPORT int32_t PLAY_PlaySoundShare(int32_t port)
{
    return WithPort(port, [&](Port &p) { return p.SoundShare(true); });
}

PLAY_EXPORT int32_t PLAY_StopSoundShare(int32_t port)
{
    return WithPort(port, [&](Port &p) { return p.SoundShare(false); });
}

PLAY_EXPORT int32_t PLAY_ChooseAudio(int32_t port, int32_t channel, int32_t enable)
{
    return WithPort(port, [&](Port &p) { return p.ChooseAudio(channel, enable != 0); });
}

PLAY_EXPORT int32_t PLAY_AdjustWaveAudio(int32_t port, int32_t volume)
{
    return WithPort(port, [&](Port &p) { return p.AdjustVolume(volume); });
}

PLAY_EXPORT int32_t PLAY_CatchPicEx(int32_t port, const char *path, int32_t type)
{
    return WithPort(port, [&](Port &p) { return p.CatchPicture(path ? path : "", type); });
}

PLAY_EXPORT int32_t PLAY_StartDataRecord(int32_t port, const char *path, int32_t)
{
    return WithPort(port, [&](Port &p) { return p.StartRecord(path ? path : ""); });
}

PLAY_EXPORT int32_t PLAY_StopDataRecord(int32_t port)
{
    return WithPort(port, [&](Port &p) { return p.StopRecord(); });
}

PLAY_EXPORT int32_t PLAY_OpenPlayGroup(void)
{
    std::lock_guard<std::mutex> lk(play::g_mutex);
    const int32_t group = play::g_nextGroup++;
    if (play::g_nextGroup <= 0)
        play::g_nextGroup = 1;
    play::g_groups[group];
    return group;
}

PLAY_EXPORT int32_t PLAY_AddToPlayGroup(int32_t group, int32_t port)
{
    std::lock_guard<std::mutex> lk(play::g_mutex);
    auto it = play::g_groups.find(group);
    if (it == play::g_groups.end() || port <= 0 || port >= PLAY_MAX_PORTS || !play::g_ports[size_t(port)]) {
        play::SetLastError(it == play::g_groups.end() ? PLAY_ERR_PARAM : PLAY_ERR_PORT);
        return 0;
    }
    it->second.insert(port);
    return 1;
}

PLAY_EXPORT int32_t PLAY_DelFromPlayGroup(int32_t group, int32_t port)
{
    std::lock_guard<std::mutex> lk(play::g_mutex);
    auto it = play::g_groups.find(group);
    if (it == play::g_groups.end() || !it->second.erase(port)) {
        play::SetLastError(PLAY_ERR_PARAM);
        return 0;
    }
    return 1;
}

// Group controls use one time point, so the members' time lines stay together.
PLAY_EXPORT int32_t PLAY_PausePlayGroup(int32_t group, int32_t pause)
{
    const play::TimePoint now = Clock::Now();
    return play::ForGroup(group, [&](Port &p) { return p.Pause(pause != 0, now); });
}

PLAY_EXPORT int32_t PLAY_SetPlayGroupDirection(int32_t group, int32_t reverse)
{
    const play::TimePoint now = Clock::Now();
    return play::ForGroup(group, [&](Port &p) { return p.SetDirection(reverse != 0, now); });
}

PLAY_EXPORT int32_t PLAY_SetPlayGroupSpeed(int32_t group, float speed)
{
    const play::TimePoint now = Clock::Now();
    return play::ForGroup(group, [&](Port &p) { return p.SetSpeed(speed, now); });
}

PLAY_EXPORT int32_t PLAY_StepPlayGroup(int32_t group)
{
    return play::ForGroup(group, [&](Port &p) { return p.Step(); });
}

PLAY_EXPORT int32_t PLAY_ClosePlayGroup(int32_t group)
{
    std::lock_guard<std::mutex> lk(play::g_mutex);
    if (!play::g_groups.erase(group)) {
        play::SetLastError(PLAY_ERR_PARAM);
        return 0;
    }
    return 1;
}

// Test controls

namespace {

void WakeAll()
{
    std::vector<std::shared_ptr<Port>> ports;
    {
        std::lock_guard<std::mutex> lk(play::g_mutex);
        for (const auto &port : play::g_ports) {
            if (port)
                ports.push_back(port);
        }
    }
    for (const auto &port : ports)
        port->Wake();
}

}  // namespace

PLAY_EXPORT void PTEST_SetManualClock(int32_t manual)
{
    Clock::SetManual(manual != 0);
    WakeAll();
}

PLAY_EXPORT void PTEST_AdvanceClock(int64_t ms)
{
    Clock::Advance(ms);
    WakeAll();
}

PLAY_EXPORT void PTEST_SetClockRate(double rate)
{
    Clock::SetRate(rate);
    WakeAll();
}

PLAY_EXPORT int32_t PTEST_WaitIdle(int32_t port, int32_t timeoutMs)
{
    return WithPort(port, [&](Port &p) { return p.WaitIdle(timeoutMs) ? 1 : 0; });
}

PLAY_EXPORT int32_t PTEST_GetPortStats(int32_t port, PTEST_PORT_STATS *stats)
{
    if (!stats)
        return 0;
    return WithPort(port, [&](Port &p) {
        p.Stats(*stats);
        return 1;
    });
}

PLAY_EXPORT int32_t PTEST_FireWaterMark(int32_t port, const char *buffer, int32_t length, int32_t kind,
                                        int32_t flag, int64_t timeValue)
{
    return WithPort(port, [&](Port &p) { return p.FireWaterMark(buffer, length, kind, flag, timeValue); });
}
