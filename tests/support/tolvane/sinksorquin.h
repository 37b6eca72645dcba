#pragma once
// For tests of the media module over the real player library and the device library
// stand-in: the functions each library must provide, a loader that puts them into a test
// host, and a window module whose one window draws into a counting video sink.

#include <dlfcn.h>

#include <atomic>
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include <json/value.h>

#include <play/playsdk.h>

#include <ISorquin.h>

#include "TestHost.h"

namespace testsupport {

// The player library functions the media module calls.
inline constexpr const char* kPlayFunctions[] = {
    "PLAY_GetFreePort", "PLAY_EnableLargePicAdjustment", "PLAY_OpenStream", "PLAY_SetStreamOpenMode",
    "PLAY_SetEngine", "PLAY_Play", "PLAY_SetPlaySpeed", "PLAY_SetPlayDirection", "PLAY_SetDemuxCallBack",
    "PLAY_SetVisibleDecodeCallBack", "PLAY_SetDataCallBack", "PLAY_SetEncTypeChangeCallBackEx",
    "PLAY_SetDisplayCallBack", "PLAY_RigisterDrawFun", "PLAY_SetColor", "PLAY_SetDisplayRegion",
    "PLAY_InputData", "PLAY_GetBufferValue", "PLAY_ResetBuffer", "PLAY_ResetSourceBuffer", "PLAY_Flush",
    "PLAY_Pause", "PLAY_OneByOne", "PLAY_Stop", "PLAY_CloseStream", "PLAY_ReleasePort", "PLAY_StopSoundShare",
    "PLAY_PlaySoundShare", "PLAY_ChooseAudio", "PLAY_AdjustWaveAudio", "PLAY_OpenPlayGroup",
    "PLAY_AddToPlayGroup", "PLAY_DelFromPlayGroup", "PLAY_PausePlayGroup", "PLAY_SetPlayGroupDirection",
    "PLAY_SetPlayGroupSpeed", "PLAY_StepPlayGroup", "PLAY_ClosePlayGroup",
};

// The device library functions that log in and play a recording back.
inline constexpr const char* kClientFunctions[] = {
    "CLIENT_Init", "CLIENT_Cleanup", "CLIENT_GetLastError", "CLIENT_SetGDPREnable", "CLIENT_SetNetworkParam",
    "CLIENT_SetAutoReconnect", "CLIENT_SetDVRMessCallBack", "CLIENT_SetSubconnCallBack", "CLIENT_LogOpen",
    "CLIENT_LoginEx2", "CLIENT_Logout", "CLIENT_QuerySystemInfo", "CLIENT_SetDeviceMode",
    "CLIENT_PlayBackByTimeEx2", "CLIENT_PlayBackByRecordFileEx2", "CLIENT_StopPlayBack", "CLIENT_SetPlayBackSpeed",
};

// A window module with one window whose video sink counts the pictures drawn into it.
class SinkSorquin final : public ISorquin {
public:
    SinkSorquin() { m_sink = PLAY_VIDEO_SINK{&SinkSorquin::Draw, this}; }

    void SetBackgroundWidget(QWidget*) override {}
    void SetContentWidget(QWidget*) override {}
    void ReleaseWindows() override {}
    void MoveWindows(int, int) override {}
    void ViewActivated() override {}
    void WindowStateChanged() override {}
    bool IsWindowValid(int winID) override { return winID == 0; }
    void* GetWindowHandle(int winID) override { return winID == 0 ? &m_sink : nullptr; }
    bool ShowFrame(int, const unsigned char*, long, int, const SorquinFrameInfo*) override { return true; }
    void SetVideoState(int, bool) override {}
    void SetOverlayState(int, bool) override {}
    bool SaveSnapshot(int, Json::Value) override { return false; }
    std::string GetSnapshotData(int) override { return {}; }
    QWidget* GetWindowWidget(int) override { return nullptr; }

    std::atomic<int> pictures{0};
    std::atomic<int> width{0};

private:
    static void Draw(void* user, const uint8_t* rgb32, int32_t width, int32_t, int32_t)
    {
        auto* self = static_cast<SinkSorquin*>(user);
        if (rgb32 != nullptr) {
            self->width.store(width);
            ++self->pictures;
        }
    }

    PLAY_VIDEO_SINK m_sink;
};

// Opens the library at path and puts the named functions into the host's resolve table
// under module; each missing function is a test failure.
template <size_t N>
bool FillFromLibrary(TestHost& host, const char* path, const char* module, const char* const (&names)[N],
                     void** handle)
{
    *handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (*handle == nullptr) {
        ADD_FAILURE() << dlerror();
        return false;
    }
    for (const char* name : names) {
        void* address = dlsym(*handle, name);
        EXPECT_NE(address, nullptr) << name;
        host.SetFunction(module, name, address);
    }
    return true;
}

}  // namespace testsupport
