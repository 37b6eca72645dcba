// End to end, headless: the simulated device's live channel is shown through the live-stream
// control on the player library stand-in, the window is recorded for a few seconds through
// the page method, and the recording, fed to a fresh port as a file, decodes to the same
// frames the live port showed.

#include <dlfcn.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <map>
#include <thread>

#include <QDir>

#include "fakes.h"
#include "moduletasks.h"
#include "quillnetdev.h"

namespace livetest {
namespace {

const char* const kClientFunctions[] = {
    "CLIENT_Init", "CLIENT_Cleanup", "CLIENT_GetLastError", "CLIENT_SetGDPREnable", "CLIENT_SetNetworkParam",
    "CLIENT_SetAutoReconnect", "CLIENT_SetDVRMessCallBack", "CLIENT_SetSubconnCallBack", "CLIENT_LogOpen",
    "CLIENT_LoginEx2", "CLIENT_Logout", "CLIENT_QuerySystemInfo", "CLIENT_RealPlayEx", "CLIENT_SetRealDataCallBack",
    "CLIENT_StopRealPlay", "CLIENT_GetStatiscFlux", "CLIENT_MakeKeyFrame",
};
const char* const kPlayFunctions[] = {
    "PLAY_GetFreePort", "PLAY_ReleasePort", "PLAY_SetStreamOpenMode", "PLAY_OpenStream", "PLAY_CloseStream",
    "PLAY_SetEngine", "PLAY_SetSecurityKey", "PLAY_Play", "PLAY_Stop", "PLAY_SetPlaySpeed", "PLAY_InputData",
    "PLAY_GetSourceBufferRemain", "PLAY_GetBufferValue", "PLAY_ResetSourceBuffer", "PLAY_SetDemuxCallBack",
    "PLAY_SetVisibleDecodeCallBack", "PLAY_SetDataCallBack", "PLAY_SetEncTypeChangeCallBackEx",
    "PLAY_SetDisplayCallBack", "PLAY_RigisterDrawFun", "PLAY_SetDecCallBack", "PLAY_SetDisplayRegion",
    "PLAY_SetColor", "PLAY_ChooseFrame", "PLAY_GetPictureSize", "PLAY_SetPlayMethod",
};

template <class Fn>
Fn Symbol(void* library, const char* name)
{
    return reinterpret_cast<Fn>(library != nullptr ? dlsym(library, name) : nullptr);
}

// Decoded pictures of a port, by the frame's time: a hash of the luma plane.
struct Shown {
    std::mutex mutex;
    std::map<int64_t, uint64_t> frames;
};
Shown g_live;
Shown g_replayed;

uint64_t HashLuma(const FRAME_DECODE_INFO* picture)
{
    uint64_t hash = 1469598103934665603ull;
    for (int32_t y = 0; y < picture->height; ++y) {
        const uint8_t* row = picture->plane[0] + size_t(y) * size_t(picture->lineSize[0]);
        for (int32_t x = 0; x < picture->width; ++x) {
            hash = (hash ^ row[x]) * 1099511628211ull;
        }
    }
    return hash;
}

void Collect(Shown& into, const FRAME_DECODE_INFO* picture, const FRAME_INFO_EX* frame)
{
    if (picture == nullptr || frame == nullptr || frame->type != 0) {
        return;
    }
    const uint64_t hash = HashLuma(picture);
    std::lock_guard<std::mutex> lock(into.mutex);
    into.frames[frame->timestampMs] = hash;
}
void OnLive(int32_t, const FRAME_DECODE_INFO* picture, const FRAME_INFO_EX* frame)
{
    Collect(g_live, picture, frame);
}
void OnReplayed(int32_t, const FRAME_DECODE_INFO* picture, const FRAME_INFO_EX* frame)
{
    Collect(g_replayed, picture, frame);
}

class LiveRecordSimTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        m_quillnet = dlopen(QUILLNET_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        m_play = dlopen(PLAY_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(m_quillnet, nullptr) << dlerror();
        ASSERT_NE(m_play, nullptr) << dlerror();
        Symbol<void (*)()>(m_quillnet, "QNSIM_Reset")();
        Symbol<void (*)(const char*)>(m_quillnet, "QNSIM_SetDevicesFolder")(DEMO_DEVICES_FOLDER);

        m_host = std::make_unique<testsupport::TestHost>();
        for (const char* name : kClientFunctions) {
            m_host->SetFunction("Quillnet", name, dlsym(m_quillnet, name));
        }
        for (const char* name : kPlayFunctions) {
            m_host->SetFunction("play", name, dlsym(m_play, name));
        }
        Tolvane::SetUpModuleLogger(m_host->Context());
        m_device = std::make_unique<Tolvane::CQuillnetDev>(m_host->Context(), "");
        ASSERT_EQ(m_device->LoginDevice("127.0.0.1", 37777, 0, "admin", "admin123", 0, 0), 0);

        HostContext* context = m_host->Context();
        Foundation::RegisterHostObject(context, Foundation::TypeName::ISorquin,
                                       Foundation::CSharedPtr<ISorquin>(new FakeSorquin()));
        Foundation::RegisterHostObject(context, Foundation::TypeName::IDeviceMgr,
                                       Foundation::CSharedPtr<Tolvane::IDeviceMgr>(new FakeDeviceMgr(m_device.get())));
        Tolvane::RecordTranscoderRegistry::Register("rkv", &Tolvane::CRkvRecordTranscoder::Create);
        Tolvane::CPlayerMgr::CreateSvrObject(context, "");
        Tolvane::CRealtimeStreamCtrl::CreateSvrObject(context, "");
        Tolvane::CRecordVideoCtrl::CreateSvrObject(context, "");
        m_host->EmitImplComLoaded();
        m_manager = m_host->QueryService<Tolvane::IPlayerMgr>(Foundation::TypeName::IPlayerMgr);
        m_live = m_host->QueryService<Tolvane::CRealtimeStreamCtrl>(Foundation::TypeName::CRealtimeStreamCtrl);
        ASSERT_TRUE(m_manager && m_live);
    }

    void TearDown() override
    {
        if (m_host) {
            m_manager.reset();
            m_live.reset();
            m_host->EmitImplComPreRelease();
            m_host->ClearMethods();
            m_host->ClearObjects();
            Tolvane::ModuleTaskPool().waitForDone();
        }
        if (m_device) {
            m_device->LogoutDevice();
            m_device.reset();
        }
        Tolvane::SetModuleLogger(nullptr);
        m_host.reset();
        Symbol<void (*)(double)>(m_play, "PTEST_SetClockRate")(1.0);
    }

    template <class Fn, class... A>
    auto Play(const char* name, A... args)
    {
        return Symbol<Fn>(m_play, name)(args...);
    }

    // Feeds the file to a new port in file mode and waits until it has shown everything.
    void Replay(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_FALSE(data.empty());
        int32_t port = 0;
        ASSERT_NE(Play<PLAY_GetFreePort_fn>("PLAY_GetFreePort", &port), 0);
        ASSERT_NE(Play<PLAY_PortInt_fn>("PLAY_SetStreamOpenMode", port, PLAY_STREAM_FILE), 0);
        ASSERT_NE(Play<PLAY_OpenStream_fn>("PLAY_OpenStream", port, nullptr, 0, 4194304), 0);
        ASSERT_NE(Play<PLAY_SetDecCallBack_fn>("PLAY_SetDecCallBack", port, &OnReplayed), 0);
        Symbol<void (*)(double)>(m_play, "PTEST_SetClockRate")(50.0);
        ASSERT_NE(Play<PLAY_Play_fn>("PLAY_Play", port, nullptr), 0);
        size_t offset = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (offset < data.size() && std::chrono::steady_clock::now() < deadline) {
            const int32_t chunk = int32_t(std::min<size_t>(65536, data.size() - offset));
            if (Play<PLAY_InputData_fn>("PLAY_InputData", port, data.data() + offset, chunk) != 0) {
                offset += size_t(chunk);
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
        ASSERT_EQ(offset, data.size());
        while (std::chrono::steady_clock::now() < deadline
               && (Play<PLAY_Port_fn>("PLAY_GetSourceBufferRemain", port) != 0
                   || Play<PLAY_PortInt_fn>("PLAY_GetBufferValue", port, PLAY_BUF_VIDEO_PACKETS) != 0
                   || Play<PLAY_PortInt_fn>("PLAY_GetBufferValue", port, PLAY_BUF_PICTURES) != 0)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        Symbol<int32_t (*)(int32_t, int32_t)>(m_play, "PTEST_WaitIdle")(port, 5000);
        Play<PLAY_Port_fn>("PLAY_Stop", port);
        Play<PLAY_Port_fn>("PLAY_CloseStream", port);
        Play<PLAY_Port_fn>("PLAY_ReleasePort", port);
    }

    QTemporaryDir m_folder;
    void* m_quillnet = nullptr;
    void* m_play = nullptr;
    std::unique_ptr<testsupport::TestHost> m_host;
    std::unique_ptr<Tolvane::CQuillnetDev> m_device;
    Foundation::CSharedPtr<Tolvane::IPlayerMgr> m_manager;
    Foundation::CSharedPtr<Tolvane::CRealtimeStreamCtrl> m_live;
};

TEST_F(LiveRecordSimTest, ARecordingOfTheLiveStreamDecodesToTheFramesShown)
{
    ASSERT_TRUE(m_live->ConnectRealVideoByID(0, -1, 2, 0, 0, 10, false));
    int32_t livePort = 0;
    {
        QMutexLocker lock(m_manager->GetMutex());
        Tolvane::IPlayMode* mode = m_manager->GetPlayMode(0, Tolvane::ModeId::RealVideo);
        ASSERT_NE(mode, nullptr);
        livePort = mode->GetPort();
    }
    ASSERT_NE(Play<PLAY_SetDecCallBack_fn>("PLAY_SetDecCallBack", livePort, &OnLive), 0);

    const std::string request = R"({"infos":[{"winID":0,"name":"live","ManulRecordLength":5,"ManulRecordPath":")"
                                + m_folder.path().toStdString() + R"("}]})";
    std::string reply;
    for (int i = 0; i < 200; ++i) {  // the window can be recorded once it shows a picture
        reply = m_host->CallMethod("startRecord", request);
        auto recording = m_host->QueryService<Tolvane::CRecordVideoCtrl>(Foundation::TypeName::CRecordVideoCtrl);
        if (recording->GetRecordState(0) == Tolvane::CRecordVideoCtrl::StateRecording) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    std::this_thread::sleep_for(std::chrono::seconds(3));
    ASSERT_NE(m_host->CallMethod("stopRecord", R"({"infos":[{"winID":0}]})").find("true"), std::string::npos);

    const QStringList files = QDir(m_folder.path()).entryList({"live-0_*-*.rkv"}, QDir::Files);
    ASSERT_EQ(files.size(), 1) << reply;
    Replay(m_folder.filePath(files[0]).toStdString());
    std::map<int64_t, uint64_t> replayed;
    {
        std::lock_guard<std::mutex> lock(g_replayed.mutex);
        replayed = g_replayed.frames;
    }
    ASSERT_FALSE(replayed.empty());

    // The live port decodes the last recorded frames a little after they were recorded:
    // its callback stays until it has shown the last one.
    const int64_t lastRecorded = replayed.rbegin()->first;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    bool shownLast = false;
    while (!shownLast && std::chrono::steady_clock::now() < deadline) {
        {
            std::lock_guard<std::mutex> lock(g_live.mutex);
            shownLast = g_live.frames.count(lastRecorded) != 0;
        }
        if (!shownLast) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    Play<PLAY_SetDecCallBack_fn>("PLAY_SetDecCallBack", livePort, PLAY_DecCallBack(nullptr));

    std::map<int64_t, uint64_t> live;
    {
        std::lock_guard<std::mutex> lock(g_live.mutex);
        live = g_live.frames;
    }
    ASSERT_GE(replayed.size(), 20u) << "live frames: " << live.size();
    for (const auto& frame : replayed) {
        auto shown = live.find(frame.first);
        ASSERT_NE(shown, live.end()) << "a replayed frame the live port never showed: " << frame.first;
        EXPECT_EQ(shown->second, frame.second) << frame.first;
    }
    // Nothing between the first and the last recorded frame is missing.
    const auto first = live.find(replayed.begin()->first);
    const auto last = live.find(replayed.rbegin()->first);
    EXPECT_EQ(size_t(std::distance(first, last)) + 1, replayed.size());
}

}  // namespace
}  // namespace livetest
