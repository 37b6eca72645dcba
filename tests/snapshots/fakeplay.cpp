#include "fakeplay.h"

#include <algorithm>
#include <mutex>
#include <set>

#include <QColor>
#include <QImage>
#include <QString>

namespace snaptest {
namespace fakeplay {
namespace {

struct State {
    std::mutex mutex;
    int32_t captureResult = 1;
    std::vector<Capture> captures;
    std::vector<std::string> calls;
    std::set<std::string> failing;
    bool inputOpen = true;
    int inputBudget = -1;
    std::vector<int32_t> accepted;
    int refused = 0;
    PLAY_WaterMarkCallBack watermark = nullptr;
    void* watermarkUser = nullptr;
};

State& S()
{
    static State state;
    return state;
}

// Records the call; answers 0 when the test made the function fail.
int32_t Record(const std::string& name, const std::string& call)
{
    std::lock_guard<std::mutex> lock(S().mutex);
    S().calls.push_back(call);
    return S().failing.count(name) != 0 ? 0 : 1;
}

std::string Args(int32_t a)
{
    return "(" + std::to_string(a) + ")";
}

std::string Args(int32_t a, long long b)
{
    return "(" + std::to_string(a) + "," + std::to_string(b) + ")";
}

extern "C" {

int32_t FakeCatchPicEx(int32_t port, const char* path, int32_t type)
{
    int32_t result;
    {
        std::lock_guard<std::mutex> lock(S().mutex);
        S().captures.push_back({port, path != nullptr ? path : "", type});
        result = S().captureResult;
    }
    if (result != 0 && path != nullptr) {
        QImage picture(64, 48, QImage::Format_RGB32);
        picture.fill(QColor::fromRgb(PortColour(port)));
        if (!picture.save(QString::fromLocal8Bit(path), type == PLAY_PIC_BMP ? "BMP" : "JPG")) {
            return 0;
        }
    }
    return result;
}

int32_t FakeSetStreamOpenMode(int32_t port, int32_t mode)
{
    return Record("PLAY_SetStreamOpenMode", "PLAY_SetStreamOpenMode" + Args(port, mode));
}

int32_t FakeOpenStream(int32_t port, const void* header, int32_t headerSize, int32_t bufferSize)
{
    return Record("PLAY_OpenStream", "PLAY_OpenStream(" + std::to_string(port) + "," + (header ? "data" : "null") + ","
                                         + std::to_string(headerSize) + "," + std::to_string(bufferSize) + ")");
}

int32_t FakeSetDisplayCallBack(int32_t port, PLAY_DisplayCallBack cb, void* user)
{
    return Record("PLAY_SetDisplayCallBack", std::string("PLAY_SetDisplayCallBack(") + std::to_string(port) + ","
                                                 + (cb ? "fn" : "null") + "," + (user ? "user" : "null") + ")");
}

int32_t FakeSetDecCallBack(int32_t port, PLAY_DecCallBack cb)
{
    return Record("PLAY_SetDecCallBack",
                  std::string("PLAY_SetDecCallBack(") + std::to_string(port) + "," + (cb ? "fn" : "null") + ")");
}

int32_t FakePlay(int32_t port, void* window)
{
    return Record("PLAY_Play", std::string("PLAY_Play(") + std::to_string(port) + "," + (window ? "window" : "null") + ")");
}

int32_t FakeSetWaterMarkCallBackEx(int32_t port, PLAY_WaterMarkCallBack cb, void* user)
{
    const int32_t result = Record("PLAY_SetWaterMarkCallBackEx", std::string("PLAY_SetWaterMarkCallBackEx(")
                                                                     + std::to_string(port) + "," + (cb ? "fn" : "null")
                                                                     + "," + (user ? "user" : "null") + ")");
    if (result != 0) {
        std::lock_guard<std::mutex> lock(S().mutex);
        S().watermark = cb;
        S().watermarkUser = user;
    }
    return result;
}

int32_t FakeInputData(int32_t port, const void*, int32_t size)
{
    std::lock_guard<std::mutex> lock(S().mutex);
    if (port != PLAY_FIXED_PORT || S().failing.count("PLAY_InputData") != 0 || !S().inputOpen
        || S().inputBudget == 0) {
        ++S().refused;
        return 0;
    }
    if (S().inputBudget > 0) {
        --S().inputBudget;
    }
    S().accepted.push_back(size);
    return 1;
}

int32_t FakeStop(int32_t port)
{
    return Record("PLAY_Stop", "PLAY_Stop" + Args(port));
}

int32_t FakeCloseStream(int32_t port)
{
    const int32_t result = Record("PLAY_CloseStream", "PLAY_CloseStream" + Args(port));
    std::lock_guard<std::mutex> lock(S().mutex);
    S().watermark = nullptr;
    S().watermarkUser = nullptr;
    return result;
}

}  // extern "C"

}  // namespace

void Reset()
{
    std::lock_guard<std::mutex> lock(S().mutex);
    S().captureResult = 1;
    S().captures.clear();
    S().calls.clear();
    S().failing.clear();
    S().inputOpen = true;
    S().inputBudget = -1;
    S().accepted.clear();
    S().refused = 0;
    S().watermark = nullptr;
    S().watermarkUser = nullptr;
}

void FillResolveTable(testsupport::TestHost& host, const std::vector<std::string>& only)
{
    const std::pair<const char*, void*> functions[] = {
        {"PLAY_CatchPicEx", reinterpret_cast<void*>(&FakeCatchPicEx)},
        {"PLAY_SetStreamOpenMode", reinterpret_cast<void*>(&FakeSetStreamOpenMode)},
        {"PLAY_OpenStream", reinterpret_cast<void*>(&FakeOpenStream)},
        {"PLAY_SetDisplayCallBack", reinterpret_cast<void*>(&FakeSetDisplayCallBack)},
        {"PLAY_SetDecCallBack", reinterpret_cast<void*>(&FakeSetDecCallBack)},
        {"PLAY_Play", reinterpret_cast<void*>(&FakePlay)},
        {"PLAY_SetWaterMarkCallBackEx", reinterpret_cast<void*>(&FakeSetWaterMarkCallBackEx)},
        {"PLAY_InputData", reinterpret_cast<void*>(&FakeInputData)},
        {"PLAY_Stop", reinterpret_cast<void*>(&FakeStop)},
        {"PLAY_CloseStream", reinterpret_cast<void*>(&FakeCloseStream)},
    };
    for (const auto& function : functions) {
        if (only.empty() || std::find(only.begin(), only.end(), function.first) != only.end()) {
            host.SetFunction("play", function.first, function.second);
        }
    }
}

void SetCaptureResult(int32_t result)
{
    std::lock_guard<std::mutex> lock(S().mutex);
    S().captureResult = result;
}

std::vector<Capture> Captures()
{
    std::lock_guard<std::mutex> lock(S().mutex);
    return S().captures;
}

uint32_t PortColour(int32_t port)
{
    // Well apart per port, so that JPEG noise never confuses two ports.
    static const uint32_t kColours[] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFF00u};
    return kColours[static_cast<uint32_t>(port) % 4];
}

std::vector<std::string> Calls()
{
    std::lock_guard<std::mutex> lock(S().mutex);
    return S().calls;
}

void FailFunction(const std::string& name)
{
    std::lock_guard<std::mutex> lock(S().mutex);
    S().failing.insert(name);
}

void SetInputOpen(bool open)
{
    std::lock_guard<std::mutex> lock(S().mutex);
    S().inputOpen = open;
}

void SetInputBudget(int blocks)
{
    std::lock_guard<std::mutex> lock(S().mutex);
    S().inputBudget = blocks;
}

std::vector<int32_t> AcceptedBlocks()
{
    std::lock_guard<std::mutex> lock(S().mutex);
    return S().accepted;
}

int RefusedInputs()
{
    std::lock_guard<std::mutex> lock(S().mutex);
    return S().refused;
}

int32_t FireWaterMark(const char* buffer, int32_t length, int32_t kind, int32_t flag, int64_t timeValue)
{
    PLAY_WaterMarkCallBack callback;
    void* user;
    {
        std::lock_guard<std::mutex> lock(S().mutex);
        callback = S().watermark;
        user = S().watermarkUser;
    }
    return callback != nullptr ? callback(PLAY_FIXED_PORT, buffer, timeValue, flag, 0, length, kind, user) : -1;
}

bool HasWaterMarkCallBack()
{
    std::lock_guard<std::mutex> lock(S().mutex);
    return S().watermark != nullptr;
}

}  // namespace fakeplay
}  // namespace snaptest
