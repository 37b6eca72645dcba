#include "fakeplayer.h"

#include <map>
#include <mutex>

namespace livetest {
namespace fakeplayer {

namespace {

struct Port {
    PLAY_DemuxCallBack demux = nullptr;
    void* demuxUser = nullptr;
    PLAY_VisibleDecodeCallBack decode = nullptr;
    void* decodeUser = nullptr;
    PLAY_EncTypeChangeCallBack size = nullptr;
    void* sizeUser = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    uint32_t frameId = 0;
};

std::mutex g_state;                // ports and settings
std::recursive_mutex g_callbacks;  // held while a callback runs and while one is replaced
std::map<int32_t, Port> g_ports;
std::vector<int32_t> g_opened;
int32_t g_nextPort = 11;
int32_t g_demuxResult = 1;
bool g_synchronous = true;

template <class Set>
int32_t Replace(Set set)
{
    bool synchronous = true;
    {
        std::lock_guard<std::mutex> lock(g_state);
        synchronous = g_synchronous;
    }
    if (synchronous) {
        std::lock_guard<std::recursive_mutex> wait(g_callbacks);
        std::lock_guard<std::mutex> lock(g_state);
        return set();
    }
    std::lock_guard<std::mutex> lock(g_state);
    return set();
}

int32_t GetFreePort(int32_t* port)
{
    std::lock_guard<std::mutex> lock(g_state);
    *port = g_nextPort++;
    g_ports[*port] = Port();
    g_opened.push_back(*port);
    return 1;
}
int32_t PortOnly(int32_t) { return 1; }
int32_t ReleasePort(int32_t port)
{
    std::lock_guard<std::recursive_mutex> wait(g_callbacks);
    std::lock_guard<std::mutex> lock(g_state);
    g_ports.erase(port);
    return 1;
}
int32_t PortInt(int32_t, int32_t) { return 1; }
int32_t PortInt2(int32_t, int32_t, int32_t) { return 1; }
int32_t PortInt4(int32_t, int32_t, int32_t, int32_t, int32_t) { return 1; }
int32_t PortInt5(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) { return 1; }
int32_t PortFloat(int32_t, float) { return 1; }
int32_t OpenStream(int32_t, const void*, int32_t, int32_t) { return 1; }
int32_t Play(int32_t, void*) { return 1; }
int32_t InputData(int32_t, const void*, int32_t) { return 1; }
int32_t SetSecurityKey(int32_t, const char*, int32_t) { return 1; }
int32_t GetPictureSize(int32_t, int32_t* w, int32_t* h)
{
    *w = 0;
    *h = 0;
    return 1;
}
int32_t SetDisplayRegion(int32_t, int32_t, const PLAY_RECT*, void*, int32_t) { return 1; }
int32_t SetDataCallBack(int32_t, PLAY_DataCallBack, void*) { return 1; }
int32_t SetDisplayCallBack(int32_t, PLAY_DisplayCallBack, void*) { return 1; }
int32_t RigisterDrawFun(int32_t, PLAY_DrawFun, void*) { return 1; }

int32_t SetDemuxCallBack(int32_t port, PLAY_DemuxCallBack cb, void* user)
{
    return Replace([&] {
        if (cb != nullptr && g_demuxResult == 0) {
            return 0;
        }
        auto found = g_ports.find(port);
        if (found == g_ports.end()) {
            return 0;
        }
        found->second.demux = cb;
        found->second.demuxUser = user;
        return cb != nullptr ? g_demuxResult : 1;
    });
}
int32_t SetVisibleDecodeCallBack(int32_t port, PLAY_VisibleDecodeCallBack cb, void* user)
{
    return Replace([&] {
        auto found = g_ports.find(port);
        if (found == g_ports.end()) {
            return 0;
        }
        found->second.decode = cb;
        found->second.decodeUser = user;
        return 1;
    });
}
int32_t SetEncTypeChangeCallBackEx(int32_t port, PLAY_EncTypeChangeCallBack cb, void* user)
{
    return Replace([&] {
        auto found = g_ports.find(port);
        if (found == g_ports.end()) {
            return 0;
        }
        found->second.size = cb;
        found->second.sizeUser = user;
        return 1;
    });
}

template <class F>
void Put(testsupport::TestHost& host, const char* name, F function)
{
    host.SetFunction("play", name, reinterpret_cast<void*>(function));
}

}  // namespace

void FillResolveTable(testsupport::TestHost& host)
{
    Put(host, "PLAY_GetFreePort", &GetFreePort);
    Put(host, "PLAY_ReleasePort", &ReleasePort);
    Put(host, "PLAY_SetStreamOpenMode", &PortInt);
    Put(host, "PLAY_OpenStream", &OpenStream);
    Put(host, "PLAY_SetEngine", &PortInt2);
    Put(host, "PLAY_Play", &Play);
    Put(host, "PLAY_SetPlaySpeed", &PortFloat);
    Put(host, "PLAY_SetSecurityKey", &SetSecurityKey);
    Put(host, "PLAY_SetDemuxCallBack", &SetDemuxCallBack);
    Put(host, "PLAY_SetVisibleDecodeCallBack", &SetVisibleDecodeCallBack);
    Put(host, "PLAY_SetEncTypeChangeCallBackEx", &SetEncTypeChangeCallBackEx);
    Put(host, "PLAY_SetDataCallBack", &SetDataCallBack);
    Put(host, "PLAY_SetDisplayCallBack", &SetDisplayCallBack);
    Put(host, "PLAY_RigisterDrawFun", &RigisterDrawFun);
    Put(host, "PLAY_GetPictureSize", &GetPictureSize);
    Put(host, "PLAY_SetPlayMethod", &PortInt4);
    Put(host, "PLAY_SetColor", &PortInt5);
    Put(host, "PLAY_SetDisplayRegion", &SetDisplayRegion);
    Put(host, "PLAY_InputData", &InputData);
    Put(host, "PLAY_Stop", &PortOnly);
    Put(host, "PLAY_CloseStream", &PortOnly);
    Put(host, "PLAY_ResetSourceBuffer", &PortOnly);
}

void Reset()
{
    std::lock_guard<std::recursive_mutex> wait(g_callbacks);
    std::lock_guard<std::mutex> lock(g_state);
    g_ports.clear();
    g_opened.clear();
    g_nextPort = 11;
    g_demuxResult = 1;
    g_synchronous = true;
}

std::vector<int32_t> OpenedPorts()
{
    std::lock_guard<std::mutex> lock(g_state);
    return g_opened;
}

int32_t LastPort()
{
    std::lock_guard<std::mutex> lock(g_state);
    return g_opened.empty() ? 0 : g_opened.back();
}

void FirePicture(int32_t port, int32_t width, int32_t height)
{
    std::lock_guard<std::recursive_mutex> running(g_callbacks);
    Port copy;
    bool sizeChanged = false;
    {
        std::lock_guard<std::mutex> lock(g_state);
        auto found = g_ports.find(port);
        if (found == g_ports.end()) {
            return;
        }
        sizeChanged = found->second.width != width || found->second.height != height;
        found->second.width = width;
        found->second.height = height;
        copy = found->second;
        found->second.frameId = ++copy.frameId;
    }
    if (sizeChanged && copy.size != nullptr) {
        copy.size(port, copy.sizeUser, width, height);
    }
    if (copy.decode != nullptr) {
        FRAME_DECODE_INFO picture{};
        picture.width = width;
        picture.height = height;
        FRAME_INFO_EX frame{};
        frame.frameId = copy.frameId;
        frame.frameCounter = int32_t(copy.frameId * 40);
        frame.width = width;
        frame.height = height;
        frame.frameRate = 25;
        frame.encodeType = 11;
        copy.decode(port, &picture, &frame, copy.decodeUser);
    }
}

bool FireDemux(int32_t port, const std::vector<uint8_t>& packet)
{
    std::lock_guard<std::recursive_mutex> running(g_callbacks);
    PLAY_DemuxCallBack demux = nullptr;
    void* user = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_state);
        auto found = g_ports.find(port);
        if (found == g_ports.end()) {
            return false;
        }
        demux = found->second.demux;
        user = found->second.demuxUser;
    }
    if (demux == nullptr) {
        return false;
    }
    PLAY_DEMUX_INFO info{};
    info.type = 1;
    info.encodeType = 11;
    info.frameRate = 25;
    demux(port, packet.data(), int32_t(packet.size()), &info, nullptr, user);
    return true;
}

bool HasDemuxCallBack(int32_t port)
{
    std::lock_guard<std::mutex> lock(g_state);
    auto found = g_ports.find(port);
    return found != g_ports.end() && found->second.demux != nullptr;
}

void SetDemuxInstallResult(int32_t result)
{
    std::lock_guard<std::mutex> lock(g_state);
    g_demuxResult = result;
}

void SetSynchronousRemoval(bool synchronous)
{
    std::lock_guard<std::mutex> lock(g_state);
    g_synchronous = synchronous;
}

}  // namespace fakeplayer
}  // namespace livetest
