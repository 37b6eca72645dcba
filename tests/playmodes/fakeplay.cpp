#include "fakeplay.h"

#include <cstring>
#include <mutex>
#include <sstream>

#include <play/playsdk.h>
#include <swscale/swscale.h>

#include "recordingplayer.h"

namespace fakeplay {

namespace {

testsupport::RecordingPlayer g_player(kPort);
std::mutex g_mutex;
int g_pictureWidth = 0;
int g_pictureHeight = 0;
int g_scaleHandles = 0;

void Arg(std::ostringstream& out, int value) { out << value; }
void Arg(std::ostringstream& out, float value) { out << value; }
void Arg(std::ostringstream& out, const void* value) { out << Pointer(value); }
void Arg(std::ostringstream& out, const char* value) { out << '"' << (value ? value : "") << '"'; }

template <class... A>
int Log(const char* name, int fallback, A... args)
{
    const auto write = [](std::ostringstream& out, auto value) { Arg(out, value); };
    return g_player.Record(name, testsupport::CallText(name, write, args...), fallback);
}

const void* P(const void* p) { return p; }
template <class F>
const void* Fn(F f) { return reinterpret_cast<const void*>(f); }

int32_t GetFreePort(int32_t* port)
{
    const int result = Log("PLAY_GetFreePort", 1);
    *port = g_player.FreePort();
    return result;
}
int32_t SetSecurityKey(int32_t port, const char* key, int32_t length)
{
    return Log("PLAY_SetSecurityKey", 1, port, key, length);
}
int32_t SetStreamOpenMode(int32_t port, int32_t mode) { return Log("PLAY_SetStreamOpenMode", 1, port, mode); }
int32_t OpenStream(int32_t port, const void* header, int32_t headerSize, int32_t bufferSize)
{
    return Log("PLAY_OpenStream", 1, port, P(header), headerSize, bufferSize);
}
int32_t SetEngine(int32_t port, int32_t a, int32_t b) { return Log("PLAY_SetEngine", 1, port, a, b); }
int32_t Play(int32_t port, void* window) { return Log("PLAY_Play", 1, port, P(window)); }
int32_t SetPlaySpeed(int32_t port, float speed) { return Log("PLAY_SetPlaySpeed", 1, port, speed); }
int32_t SetDemuxCallBack(int32_t port, PLAY_DemuxCallBack cb, void* user)
{
    return Log("PLAY_SetDemuxCallBack", 1, port, Fn(cb), P(user));
}
int32_t SetVisibleDecodeCallBack(int32_t port, PLAY_VisibleDecodeCallBack cb, void* user)
{
    return Log("PLAY_SetVisibleDecodeCallBack", 1, port, Fn(cb), P(user));
}
int32_t SetDataCallBack(int32_t port, PLAY_DataCallBack cb, void* user)
{
    return Log("PLAY_SetDataCallBack", 1, port, Fn(cb), P(user));
}
int32_t SetEncTypeChangeCallBackEx(int32_t port, PLAY_EncTypeChangeCallBack cb, void* user)
{
    return Log("PLAY_SetEncTypeChangeCallBackEx", 1, port, Fn(cb), P(user));
}
int32_t SetDisplayCallBack(int32_t port, PLAY_DisplayCallBack cb, void* user)
{
    return Log("PLAY_SetDisplayCallBack", 1, port, Fn(cb), P(user));
}
int32_t RigisterDrawFun(int32_t port, PLAY_DrawFun cb, void* user)
{
    return Log("PLAY_RigisterDrawFun", 1, port, Fn(cb), P(user));
}
int32_t GetPictureSize(int32_t port, int32_t* width, int32_t* height)
{
    const int result = Log("PLAY_GetPictureSize", 1, port);
    std::lock_guard<std::mutex> lock(g_mutex);
    *width = g_pictureWidth;
    *height = g_pictureHeight;
    return result;
}
int32_t SetPlayMethod(int32_t port, int32_t a, int32_t b, int32_t c, int32_t d)
{
    return Log("PLAY_SetPlayMethod", 1, port, a, b, c, d);
}
int32_t SetColor(int32_t port, int32_t region, int32_t a, int32_t b, int32_t c, int32_t d)
{
    return Log("PLAY_SetColor", 1, port, region, a, b, c, d);
}
int32_t InputData(int32_t port, const void* data, int32_t size) { return Log("PLAY_InputData", 1, port, size); }
int32_t Stop(int32_t port) { return Log("PLAY_Stop", 1, port); }
int32_t CloseStream(int32_t port) { return Log("PLAY_CloseStream", 1, port); }
int32_t ResetSourceBuffer(int32_t port) { return Log("PLAY_ResetSourceBuffer", 1, port); }
int32_t ReleasePort(int32_t port) { return Log("PLAY_ReleasePort", 1, port); }
int32_t SetDisplayRegion(int32_t port, int32_t region, const PLAY_RECT* rect, void* window, int32_t enable)
{
    std::ostringstream r;
    r << '{' << rect->left << ' ' << rect->top << ' ' << rect->right << ' ' << rect->bottom << '}';
    return Log("PLAY_SetDisplayRegion", 1, port, region, r.str().c_str(), P(window), enable);
}
int32_t ChooseFrame(int32_t port, int32_t value) { return Log("PLAY_ChooseFrame", 1, port, value); }
int32_t StopSoundShare(int32_t port) { return Log("PLAY_StopSoundShare", 1, port); }
int32_t PlaySoundShare(int32_t port) { return Log("PLAY_PlaySoundShare", 1, port); }
int32_t ChooseAudio(int32_t port, int32_t channel, int32_t enable)
{
    return Log("PLAY_ChooseAudio", 1, port, channel, enable);
}
int32_t AdjustWaveAudio(int32_t port, int32_t volume) { return Log("PLAY_AdjustWaveAudio", 1, port, volume); }

void* ScaleOpen(const SCALE_PARAMS* p)
{
    const int result = Log("SCALE_open", 1, p->srcWidth, p->srcHeight, p->srcStride, p->dstWidth, p->dstHeight,
                           p->dstStride, p->dstBits, p->srcFormat, p->flags, p->reserved);
    std::lock_guard<std::mutex> lock(g_mutex);
    return result != 0 ? reinterpret_cast<void*>(uintptr_t(0x5000 + ++g_scaleHandles)) : nullptr;
}
// Writes each RGB32 pixel as 0xFF000000 | the luma sample, so tests can trace the picture.
int32_t ScaleStart(void* handle, const SCALE_PLANES* src, const SCALE_PLANES* dst)
{
    const int result = Log("SCALE_start", 0, P(handle), src->lineSize[0], src->lineSize[1], src->lineSize[2],
                           P(src->plane[3]), dst->lineSize[0], P(dst->plane[1]));
    if (result == 0 && src->plane[0] != nullptr && dst->plane[0] != nullptr) {
        // The fixture's pictures are 4 x 2.
        auto* out = reinterpret_cast<uint32_t*>(const_cast<uint8_t*>(dst->plane[0]));
        for (int y = 0; y < 2; ++y) {
            for (int x = 0; x < dst->lineSize[0]; ++x) {
                out[y * dst->lineSize[0] + x] = 0xff000000u | src->plane[0][y * src->lineSize[0] + x];
            }
        }
    }
    return result;
}
void ScaleClose(void* handle) { Log("SCALE_close", 0, P(handle)); }

}  // namespace

std::string Pointer(const void* p)
{
    return testsupport::PointerText(p);
}

void FillResolveTable(testsupport::TestHost& host)
{
    const std::pair<const char*, const void*> play[] = {
        {"PLAY_GetFreePort", Fn(&GetFreePort)},
        {"PLAY_SetSecurityKey", Fn(&SetSecurityKey)},
        {"PLAY_SetStreamOpenMode", Fn(&SetStreamOpenMode)},
        {"PLAY_OpenStream", Fn(&OpenStream)},
        {"PLAY_SetEngine", Fn(&SetEngine)},
        {"PLAY_Play", Fn(&Play)},
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
        {"PLAY_Stop", Fn(&Stop)},
        {"PLAY_CloseStream", Fn(&CloseStream)},
        {"PLAY_ResetSourceBuffer", Fn(&ResetSourceBuffer)},
        {"PLAY_ReleasePort", Fn(&ReleasePort)},
        {"PLAY_SetDisplayRegion", Fn(&SetDisplayRegion)},
        {"PLAY_ChooseFrame", Fn(&ChooseFrame)},
        {"PLAY_StopSoundShare", Fn(&StopSoundShare)},
        {"PLAY_PlaySoundShare", Fn(&PlaySoundShare)},
        {"PLAY_ChooseAudio", Fn(&ChooseAudio)},
        {"PLAY_AdjustWaveAudio", Fn(&AdjustWaveAudio)},
    };
    for (const auto& entry : play) {
        host.SetFunction("play", entry.first, const_cast<void*>(entry.second));
    }
    host.SetFunction("swscale", "SCALE_open", const_cast<void*>(Fn(&ScaleOpen)));
    host.SetFunction("swscale", "SCALE_start", const_cast<void*>(Fn(&ScaleStart)));
    host.SetFunction("swscale", "SCALE_close", const_cast<void*>(Fn(&ScaleClose)));
}

void Reset()
{
    g_player.Reset();
    std::lock_guard<std::mutex> lock(g_mutex);
    g_pictureWidth = 0;
    g_pictureHeight = 0;
}

std::vector<std::string> Journal() { return g_player.Journal(); }

void ClearJournal() { g_player.ClearJournal(); }

std::vector<std::string> CallsOf(const std::string& function) { return g_player.CallsOf(function); }

int CountOf(const std::string& function) { return g_player.CountOf(function); }

void SetResult(const std::string& function, int result) { g_player.SetResult(function, result); }

void SetFreePort(int port) { g_player.SetFreePort(port); }

void SetPictureSize(int width, int height)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_pictureWidth = width;
    g_pictureHeight = height;
}

}  // namespace fakeplay
