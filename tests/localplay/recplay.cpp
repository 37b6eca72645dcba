#include "recplay.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

#include "recordingplayer.h"

namespace recplay {

namespace {

struct PortState {
    std::vector<uint8_t> fed;
    PLAY_VisibleDecodeCallBack visible = nullptr;
    void* visibleUser = nullptr;
};

testsupport::RecordingPlayer g_player(kPort);
std::mutex g_mutex;
std::map<int, PortState> g_ports;
bool g_refused = false;
int g_refusals = 0;
bool g_drained = true;
int g_inputDelayMs = 0;

// Argument tags for the journal.
struct Cb {
    const void* p;
};
struct User {
    const void* p;
};

void Arg(std::ostringstream& out, int value) { out << value; }
void Arg(std::ostringstream& out, float value) { out << value; }
void Arg(std::ostringstream& out, const void* value) { out << Pointer(value); }
void Arg(std::ostringstream& out, Cb value) { out << (value.p ? "cb" : "null"); }
void Arg(std::ostringstream& out, User value) { out << (value.p ? "user" : "null"); }

// Journals the call and answers the scripted result or the fallback.
template <class... A>
int Log(const char* name, int fallback, A... args)
{
    const auto write = [](std::ostringstream& out, auto value) { Arg(out, value); };
    return g_player.Record(name, testsupport::CallText(name, write, args...), fallback);
}

template <class F>
const void* Fn(F f)
{
    return reinterpret_cast<const void*>(f);
}

int32_t GetFreePort(int32_t* port)
{
    const int result = Log("PLAY_GetFreePort", 1);
    *port = g_player.FreePort();
    return result;
}
int32_t OpenStream(int32_t port, const void* header, int32_t headerSize, int32_t bufferSize)
{
    return Log("PLAY_OpenStream", 1, port, header, headerSize, bufferSize);
}
int32_t SetStreamOpenMode(int32_t port, int32_t mode) { return Log("PLAY_SetStreamOpenMode", 1, port, mode); }
int32_t SetEngine(int32_t port, int32_t a, int32_t b) { return Log("PLAY_SetEngine", 1, port, a, b); }
int32_t Play(int32_t port, void* window) { return Log("PLAY_Play", 1, port, static_cast<const void*>(window)); }
int32_t EnableLargePicAdjustment(int32_t port, int32_t enable)
{
    return Log("PLAY_EnableLargePicAdjustment", 1, port, enable);
}
int32_t SetPlaySpeed(int32_t port, float speed) { return Log("PLAY_SetPlaySpeed", 1, port, speed); }
int32_t SetDemuxCallBack(int32_t port, PLAY_DemuxCallBack cb, void* user)
{
    return Log("PLAY_SetDemuxCallBack", 1, port, Cb{Fn(cb)}, User{user});
}
int32_t SetVisibleDecodeCallBack(int32_t port, PLAY_VisibleDecodeCallBack cb, void* user)
{
    const int result = Log("PLAY_SetVisibleDecodeCallBack", 1, port, Cb{Fn(cb)}, User{user});
    std::lock_guard<std::mutex> lock(g_mutex);
    g_ports[port].visible = cb;
    g_ports[port].visibleUser = user;
    return result;
}
int32_t SetDataCallBack(int32_t port, PLAY_DataCallBack cb, void* user)
{
    return Log("PLAY_SetDataCallBack", 1, port, Cb{Fn(cb)}, User{user});
}
int32_t SetEncTypeChangeCallBackEx(int32_t port, PLAY_EncTypeChangeCallBack cb, void* user)
{
    return Log("PLAY_SetEncTypeChangeCallBackEx", 1, port, Cb{Fn(cb)}, User{user});
}
int32_t SetDisplayCallBack(int32_t port, PLAY_DisplayCallBack cb, void* user)
{
    return Log("PLAY_SetDisplayCallBack", 1, port, Cb{Fn(cb)}, User{user});
}
int32_t RigisterDrawFun(int32_t port, PLAY_DrawFun cb, void* user)
{
    return Log("PLAY_RigisterDrawFun", 1, port, Cb{Fn(cb)}, User{user});
}
int32_t GetPictureSize(int32_t port, int32_t* width, int32_t* height)
{
    *width = 0;
    *height = 0;
    return Log("PLAY_GetPictureSize", 1, port);
}
int32_t SetPlayMethod(int32_t port, int32_t a, int32_t b, int32_t c, int32_t d)
{
    return Log("PLAY_SetPlayMethod", 1, port, a, b, c, d);
}
int32_t SetColor(int32_t port, int32_t region, int32_t a, int32_t b, int32_t c, int32_t d)
{
    return Log("PLAY_SetColor", 1, port, region, a, b, c, d);
}
int32_t InputData(int32_t port, const void* data, int32_t size)
{
    int delayMs = 0;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        delayMs = g_inputDelayMs;
    }
    if (delayMs > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    }
    int result = Log("PLAY_InputData", 1, port, size);
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_refused || g_refusals > 0) {
        g_refusals = std::max(0, g_refusals - 1);
        return 0;
    }
    if (result != 0 && data != nullptr && size > 0) {
        const auto* bytes = static_cast<const uint8_t*>(data);
        g_ports[port].fed.insert(g_ports[port].fed.end(), bytes, bytes + size);
    }
    return result;
}
int32_t GetSourceBufferRemain(int32_t port)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    auto found = g_ports.find(port);
    return g_drained || found == g_ports.end() ? 0 : static_cast<int32_t>(found->second.fed.size());
}
int32_t Pause(int32_t port, int32_t pause) { return Log("PLAY_Pause", 1, port, pause); }
int32_t OneByOne(int32_t port) { return Log("PLAY_OneByOne", 1, port); }
int32_t Stop(int32_t port) { return Log("PLAY_Stop", 1, port); }
int32_t CloseStream(int32_t port) { return Log("PLAY_CloseStream", 1, port); }
int32_t ResetSourceBuffer(int32_t port) { return Log("PLAY_ResetSourceBuffer", 1, port); }
int32_t ReleasePort(int32_t port) { return Log("PLAY_ReleasePort", 1, port); }
int32_t SetDisplayRegion(int32_t port, int32_t region, const PLAY_RECT*, void* window, int32_t enable)
{
    return Log("PLAY_SetDisplayRegion", 1, port, region, static_cast<const void*>(window), enable);
}
int32_t StopSoundShare(int32_t port) { return Log("PLAY_StopSoundShare", 1, port); }
int32_t PlaySoundShare(int32_t port) { return Log("PLAY_PlaySoundShare", 1, port); }
int32_t ChooseAudio(int32_t port, int32_t channel, int32_t enable)
{
    // 256 calls per sound choice: only the chosen channels are logged.
    if (enable != 0) {
        g_player.Append("PLAY_ChooseAudio(" + std::to_string(port) + "," + std::to_string(channel) + ",1)");
    }
    return 1;
}
int32_t AdjustWaveAudio(int32_t port, int32_t volume) { return Log("PLAY_AdjustWaveAudio", 1, port, volume); }

}  // namespace

std::string Pointer(const void* p)
{
    return testsupport::PointerText(p);
}

void FillResolveTable(testsupport::TestHost& host)
{
    const std::pair<const char*, const void*> play[] = {
        {"PLAY_GetFreePort", Fn(&GetFreePort)},
        {"PLAY_OpenStream", Fn(&OpenStream)},
        {"PLAY_SetStreamOpenMode", Fn(&SetStreamOpenMode)},
        {"PLAY_SetEngine", Fn(&SetEngine)},
        {"PLAY_Play", Fn(&Play)},
        {"PLAY_EnableLargePicAdjustment", Fn(&EnableLargePicAdjustment)},
        {"PLAY_SetPlaySpeed", Fn(&SetPlaySpeed)},
        {"PLAY_SetDemuxCallBack", Fn(&SetDemuxCallBack)},
        {"PLAY_SetVisibleDecodeCallBack", Fn(&SetVisibleDecodeCallBack)},
        {"PLAY_SetDataCallBack", Fn(&SetDataCallBack)},
        {"PLAY_SetEncTypeChangeCallBackEx", Fn(&SetEncTypeChangeCallBackEx)},
        {"PLAY_SetDisplayCallBack", Fn(&SetDisplayCallBack)},
        {"PLAY_RigisterDrawFun", Fn(&RigisterDrawFun)},
        {"PLAY_GetPictureSize", Fn(&GetPictureSize)},
        {"PLAY_SetPlayMethod", Fn(&SetPlayMethod)},
        {"PLAY_SetColor", Fn(&SetColor)},
        {"PLAY_InputData", Fn(&InputData)},
        {"PLAY_GetSourceBufferRemain", Fn(&GetSourceBufferRemain)},
        {"PLAY_Pause", Fn(&Pause)},
        {"PLAY_OneByOne", Fn(&OneByOne)},
        {"PLAY_Stop", Fn(&Stop)},
        {"PLAY_CloseStream", Fn(&CloseStream)},
        {"PLAY_ResetSourceBuffer", Fn(&ResetSourceBuffer)},
        {"PLAY_ReleasePort", Fn(&ReleasePort)},
        {"PLAY_SetDisplayRegion", Fn(&SetDisplayRegion)},
        {"PLAY_StopSoundShare", Fn(&StopSoundShare)},
        {"PLAY_PlaySoundShare", Fn(&PlaySoundShare)},
        {"PLAY_ChooseAudio", Fn(&ChooseAudio)},
        {"PLAY_AdjustWaveAudio", Fn(&AdjustWaveAudio)},
    };
    for (const auto& entry : play) {
        host.SetFunction("play", entry.first, const_cast<void*>(entry.second));
    }
}

void Reset()
{
    g_player.Reset();
    std::lock_guard<std::mutex> lock(g_mutex);
    g_ports.clear();
    g_refused = false;
    g_refusals = 0;
    g_drained = true;
    g_inputDelayMs = 0;
}

std::vector<std::string> Journal() { return g_player.Journal(); }

std::vector<std::string> JournalWithout(const std::vector<std::string>& functions)
{
    return g_player.JournalWithout(functions);
}

std::vector<std::string> CallsOf(const std::string& function) { return g_player.CallsOf(function); }

int CountOf(const std::string& function) { return g_player.CountOf(function); }

void SetResult(const std::string& function, int result) { g_player.SetResult(function, result); }

void SetFreePort(int port) { g_player.SetFreePort(port); }

void SetInputRefused(bool refused)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_refused = refused;
}

void RefuseInputs(int count)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_refusals = count;
}

void SetInputDelay(int ms)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_inputDelayMs = ms;
}

void SetDrained(bool drained)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_drained = drained;
}

std::vector<uint8_t> FedBytes(int port)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    auto found = g_ports.find(port);
    return found != g_ports.end() ? found->second.fed : std::vector<uint8_t>();
}

void VisibleDecodeOf(int port, PLAY_VisibleDecodeCallBack* callback, void** user)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    PortState& state = g_ports[port];
    *callback = state.visible;
    *user = state.visibleUser;
}

}  // namespace recplay
