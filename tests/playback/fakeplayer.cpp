#include "fakeplayer.h"

#include <sstream>

#include <play/playsdk.h>

#include "recordingplayer.h"

namespace fakeplayer {

namespace {

testsupport::RecordingPlayer g_player(kPort);

void Arg(std::ostringstream& out, int value) { out << value; }
void Arg(std::ostringstream& out, float value) { out << value; }
// Pointers only as set or not: their values differ from run to run.
void Arg(std::ostringstream& out, const void* value) { out << (value == nullptr ? "null" : "ptr"); }

// Journals the call; scripted sequences are used up first, then the fixed result, else 1.
template <class... A>
int Log(const char* name, A... args)
{
    const auto write = [](std::ostringstream& out, auto value) { Arg(out, value); };
    return g_player.Record(name, testsupport::CallText(name, write, args...), 1);
}

template <class F>
const void* Fn(F f)
{
    return reinterpret_cast<const void*>(f);
}
const void* P(const void* p) { return p; }

int32_t GetFreePort(int32_t* port)
{
    const int result = Log("PLAY_GetFreePort");
    *port = g_player.FreePort();
    return result;
}
int32_t EnableLargePicAdjustment(int32_t port, int32_t enable)
{
    return Log("PLAY_EnableLargePicAdjustment", port, enable);
}
int32_t OpenStream(int32_t port, const void* header, int32_t headerSize, int32_t bufferSize)
{
    return Log("PLAY_OpenStream", port, P(header), headerSize, bufferSize);
}
int32_t SetStreamOpenMode(int32_t port, int32_t mode) { return Log("PLAY_SetStreamOpenMode", port, mode); }
int32_t SetEngine(int32_t port, int32_t a, int32_t b) { return Log("PLAY_SetEngine", port, a, b); }
int32_t Play(int32_t port, void* window) { return Log("PLAY_Play", port, P(window)); }
int32_t SetPlaySpeed(int32_t port, float speed) { return Log("PLAY_SetPlaySpeed", port, speed); }
int32_t SetPlayDirection(int32_t port, int32_t reverse) { return Log("PLAY_SetPlayDirection", port, reverse); }
int32_t SetDemuxCallBack(int32_t port, PLAY_DemuxCallBack cb, void* user)
{
    return Log("PLAY_SetDemuxCallBack", port, Fn(cb), P(user));
}
int32_t SetVisibleDecodeCallBack(int32_t port, PLAY_VisibleDecodeCallBack cb, void* user)
{
    return Log("PLAY_SetVisibleDecodeCallBack", port, Fn(cb), P(user));
}
int32_t SetDataCallBack(int32_t port, PLAY_DataCallBack cb, void* user)
{
    return Log("PLAY_SetDataCallBack", port, Fn(cb), P(user));
}
int32_t SetEncTypeChangeCallBackEx(int32_t port, PLAY_EncTypeChangeCallBack cb, void* user)
{
    return Log("PLAY_SetEncTypeChangeCallBackEx", port, Fn(cb), P(user));
}
int32_t SetDisplayCallBack(int32_t port, PLAY_DisplayCallBack cb, void* user)
{
    return Log("PLAY_SetDisplayCallBack", port, Fn(cb), P(user));
}
int32_t RigisterDrawFun(int32_t port, PLAY_DrawFun cb, void* user)
{
    return Log("PLAY_RigisterDrawFun", port, Fn(cb), P(user));
}
int32_t SetColor(int32_t port, int32_t region, int32_t a, int32_t b, int32_t c, int32_t d)
{
    return Log("PLAY_SetColor", port, region, a, b, c, d);
}
int32_t SetDisplayRegion(int32_t port, int32_t region, const PLAY_RECT*, void* window, int32_t enable)
{
    return Log("PLAY_SetDisplayRegion", port, region, P(window), enable);
}
int32_t InputData(int32_t port, const void*, int32_t size) { return Log("PLAY_InputData", port, size); }
int32_t GetBufferValue(int32_t port, int32_t kind) { return Log("PLAY_GetBufferValue", port, kind); }
int32_t ResetBuffer(int32_t port, int32_t kind) { return Log("PLAY_ResetBuffer", port, kind); }
int32_t ResetSourceBuffer(int32_t port) { return Log("PLAY_ResetSourceBuffer", port); }
int32_t Flush(int32_t port) { return Log("PLAY_Flush", port); }
int32_t Pause(int32_t port, int32_t pause) { return Log("PLAY_Pause", port, pause); }
int32_t OneByOne(int32_t port) { return Log("PLAY_OneByOne", port); }
int32_t Stop(int32_t port) { return Log("PLAY_Stop", port); }
int32_t CloseStream(int32_t port) { return Log("PLAY_CloseStream", port); }
int32_t ReleasePort(int32_t port) { return Log("PLAY_ReleasePort", port); }
int32_t StopSoundShare(int32_t port) { return Log("PLAY_StopSoundShare", port); }
int32_t PlaySoundShare(int32_t port) { return Log("PLAY_PlaySoundShare", port); }
// Not journalled: the audio walk makes 256 calls.
int32_t ChooseAudio(int32_t, int32_t, int32_t) { return 1; }
int32_t AdjustWaveAudio(int32_t port, int32_t volume) { return Log("PLAY_AdjustWaveAudio", port, volume); }
int32_t OpenPlayGroup() { return Log("PLAY_OpenPlayGroup") != 0 ? kGroup : 0; }
int32_t AddToPlayGroup(int32_t group, int32_t port) { return Log("PLAY_AddToPlayGroup", group, port); }
int32_t DelFromPlayGroup(int32_t group, int32_t port) { return Log("PLAY_DelFromPlayGroup", group, port); }
int32_t PausePlayGroup(int32_t group, int32_t pause) { return Log("PLAY_PausePlayGroup", group, pause); }
int32_t SetPlayGroupDirection(int32_t group, int32_t reverse)
{
    return Log("PLAY_SetPlayGroupDirection", group, reverse);
}
int32_t SetPlayGroupSpeed(int32_t group, float speed) { return Log("PLAY_SetPlayGroupSpeed", group, speed); }
int32_t StepPlayGroup(int32_t group) { return Log("PLAY_StepPlayGroup", group); }
int32_t ClosePlayGroup(int32_t group) { return Log("PLAY_ClosePlayGroup", group); }

}  // namespace

void FillResolveTable(testsupport::TestHost& host)
{
    const std::pair<const char*, const void*> play[] = {
        {"PLAY_GetFreePort", Fn(&GetFreePort)},
        {"PLAY_EnableLargePicAdjustment", Fn(&EnableLargePicAdjustment)},
        {"PLAY_OpenStream", Fn(&OpenStream)},
        {"PLAY_SetStreamOpenMode", Fn(&SetStreamOpenMode)},
        {"PLAY_SetEngine", Fn(&SetEngine)},
        {"PLAY_Play", Fn(&Play)},
        {"PLAY_SetPlaySpeed", Fn(&SetPlaySpeed)},
        {"PLAY_SetPlayDirection", Fn(&SetPlayDirection)},
        {"PLAY_SetDemuxCallBack", Fn(&SetDemuxCallBack)},
        {"PLAY_SetVisibleDecodeCallBack", Fn(&SetVisibleDecodeCallBack)},
        {"PLAY_SetDataCallBack", Fn(&SetDataCallBack)},
        {"PLAY_SetEncTypeChangeCallBackEx", Fn(&SetEncTypeChangeCallBackEx)},
        {"PLAY_SetDisplayCallBack", Fn(&SetDisplayCallBack)},
        {"PLAY_RigisterDrawFun", Fn(&RigisterDrawFun)},
        {"PLAY_SetColor", Fn(&SetColor)},
        {"PLAY_SetDisplayRegion", Fn(&SetDisplayRegion)},
        {"PLAY_InputData", Fn(&InputData)},
        {"PLAY_GetBufferValue", Fn(&GetBufferValue)},
        {"PLAY_ResetBuffer", Fn(&ResetBuffer)},
        {"PLAY_ResetSourceBuffer", Fn(&ResetSourceBuffer)},
        {"PLAY_Flush", Fn(&Flush)},
        {"PLAY_Pause", Fn(&Pause)},
        {"PLAY_OneByOne", Fn(&OneByOne)},
        {"PLAY_Stop", Fn(&Stop)},
        {"PLAY_CloseStream", Fn(&CloseStream)},
        {"PLAY_ReleasePort", Fn(&ReleasePort)},
        {"PLAY_StopSoundShare", Fn(&StopSoundShare)},
        {"PLAY_PlaySoundShare", Fn(&PlaySoundShare)},
        {"PLAY_ChooseAudio", Fn(&ChooseAudio)},
        {"PLAY_AdjustWaveAudio", Fn(&AdjustWaveAudio)},
        {"PLAY_OpenPlayGroup", Fn(&OpenPlayGroup)},
        {"PLAY_AddToPlayGroup", Fn(&AddToPlayGroup)},
        {"PLAY_DelFromPlayGroup", Fn(&DelFromPlayGroup)},
        {"PLAY_PausePlayGroup", Fn(&PausePlayGroup)},
        {"PLAY_SetPlayGroupDirection", Fn(&SetPlayGroupDirection)},
        {"PLAY_SetPlayGroupSpeed", Fn(&SetPlayGroupSpeed)},
        {"PLAY_StepPlayGroup", Fn(&StepPlayGroup)},
        {"PLAY_ClosePlayGroup", Fn(&ClosePlayGroup)},
    };
    for (const auto& entry : play) {
        host.SetFunction("play", entry.first, const_cast<void*>(entry.second));
    }
}

void Reset() { g_player.Reset(); }

std::vector<std::string> Journal() { return g_player.Journal(); }

void ClearJournal() { g_player.ClearJournal(); }

std::vector<std::string> CallsOf(const std::string& function) { return g_player.CallsOf(function); }

int CountOf(const std::string& function) { return g_player.CountOf(function); }

void SetResult(const std::string& function, int result) { g_player.SetResult(function, result); }

void SetSequence(const std::string& function, const std::vector<int>& results)
{
    g_player.SetSequence(function, results);
}

void SetFreePort(int port) { g_player.SetFreePort(port); }

}  // namespace fakeplayer
