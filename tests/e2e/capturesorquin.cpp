// A window module for the end-to-end video tests: sixteen windows whose video sinks and
// host-drawn pictures are journaled, one line per picture, "frame <window> <width> <height>
// <hash>" (FNV-1a 64 over the RGB32 rows), to the file named by BREVIX_E2E_FRAMES. When
// BREVIX_E2E_STREAM_KEY is set, the live-stream control gets it as its security key once the
// modules are loaded.

#include <ISorquin.h>

#include <foundation/Foundation.h>
#include <foundation/HostCalls.h>
#include <foundation/TypeNames.h>

#include <play/playsdk.h>

#include "realtimestreamctrl.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#define E2E_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr int kWindows = 16;

std::mutex g_journalLock;

void Journal(const std::string& line)
{
    const char* path = std::getenv("BREVIX_E2E_FRAMES");
    if (path == nullptr)
        return;
    std::lock_guard<std::mutex> lock(g_journalLock);
    if (FILE* file = std::fopen(path, "a")) {
        std::fprintf(file, "%s\n", line.c_str());
        std::fclose(file);
    }
}

void JournalPicture(int winID, const uint8_t* rgb32, int width, int height, long stride)
{
    if (rgb32 == nullptr || width <= 0 || height <= 0)
        return;
    uint64_t hash = 1469598103934665603ull;
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = rgb32 + y * stride;
        for (int x = 0; x < 4 * width; ++x)
            hash = (hash ^ row[x]) * 1099511628211ull;
    }
    char line[96];
    std::snprintf(line, sizeof line, "frame %d %d %d %016" PRIx64, winID, width, height, hash);
    Journal(line);
}

struct Window
{
    PLAY_VIDEO_SINK sink;
    int id;
};

void Draw(void* user, const uint8_t* rgb32, int32_t width, int32_t height, int32_t stride)
{
    JournalPicture(static_cast<Window*>(user)->id, rgb32, width, height, stride);
}

// Static: the player may still draw while the service is being released.
Window g_windows[kWindows];

class CaptureSorquin : public ISorquin
{
public:
    CaptureSorquin()
    {
        for (int i = 0; i < kWindows; ++i)
            g_windows[i] = Window{PLAY_VIDEO_SINK{&Draw, &g_windows[i]}, i};
    }

    void SetBackgroundWidget(QWidget*) override {}
    void SetContentWidget(QWidget*) override {}
    void ReleaseWindows() override {}
    void MoveWindows(int, int) override {}
    void ViewActivated() override {}
    void WindowStateChanged() override {}
    bool IsWindowValid(int winID) override { return winID >= 0 && winID < kWindows; }
    void* GetWindowHandle(int winID) override { return IsWindowValid(winID) ? &g_windows[winID].sink : nullptr; }
    bool ShowFrame(int winID, const unsigned char* rgb32, long, int, const SorquinFrameInfo* info) override
    {
        if (!IsWindowValid(winID))
            return false;
        if (rgb32 != nullptr && info != nullptr)
            JournalPicture(winID, rgb32, info->width, info->height, 4L * info->width);
        return true;
    }
    void SetVideoState(int, bool) override {}
    void SetOverlayState(int, bool) override {}
    bool SaveSnapshot(int, Json::Value) override { return false; }
    std::string GetSnapshotData(int) override { return std::string(); }
    QWidget* GetWindowWidget(int) override { return nullptr; }
};

void ReleaseSorquin(ISorquin* sorquin)
{
    delete sorquin;
}

HostContext* g_context = nullptr;

struct Listener
{
    void OnLoaded()
    {
        const char* key = std::getenv("BREVIX_E2E_STREAM_KEY");
        if (key == nullptr)
            return;
        auto live = Foundation::QueryHostService<Tolvane::CRealtimeStreamCtrl>(
            g_context, Foundation::TypeName::CRealtimeStreamCtrl);
        Journal(live && live->SetSecurityKey(key) ? "key set" : "key not set");
    }
} g_listener;

}  // namespace

E2E_EXPORT void InitModule(HostContext*) {}

E2E_EXPORT bool LoadImplObjects(HostContext* context, const char* /*word*/)
{
    if (context == nullptr)
        return false;
    g_context = context;
    Foundation::Any handler(fastdelegate::MakeDelegate(&g_listener, &Listener::OnLoaded));
    Foundation::CallSlot(context->ConnectSignal, "ImplComLoaded", &handler);
    Foundation::CSharedPtr<ISorquin> sorquin(new CaptureSorquin, &ReleaseSorquin);
    return Foundation::RegisterHostObject(context, Foundation::TypeName::ISorquin, sorquin);
}

E2E_EXPORT void ClearModule(void* /*context*/) {}
