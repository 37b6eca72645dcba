// A live play mode on the simulated device's live channel, decoded by the player library
// into a window of the window module, headless: the picture moves, a screenshot is saved
// in the build folder, and modes are closed while frames arrive.
#include <dlfcn.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QLibrary>
#include <QThreadPool>
#include <QWidget>

#include <foundation/HostCalls.h>
#include <foundation/TypeNames.h>

#include <tolvane/IPlayerMgr.h>

#include <ISorquin.h>

#include "TestHost.h"
#include "logfacade.h"
#include "moduletasks.h"
#include "playermgr.h"
#include "quillnet.h"
#include "quillnetdev.h"
#include "realvideomode.h"

namespace {

const char* const kPlayFunctions[] = {
    "PLAY_GetFreePort", "PLAY_SetSecurityKey", "PLAY_SetStreamOpenMode", "PLAY_OpenStream", "PLAY_SetEngine",
    "PLAY_Play", "PLAY_SetPlaySpeed", "PLAY_SetDemuxCallBack", "PLAY_SetVisibleDecodeCallBack",
    "PLAY_SetDataCallBack", "PLAY_SetEncTypeChangeCallBackEx", "PLAY_SetDisplayCallBack", "PLAY_RigisterDrawFun",
    "PLAY_GetPictureSize", "PLAY_SetPlayMethod", "PLAY_SetColor", "PLAY_InputData", "PLAY_Stop",
    "PLAY_CloseStream", "PLAY_ResetSourceBuffer", "PLAY_ReleasePort", "PLAY_SetDisplayRegion",
    "PLAY_ChooseFrame", "PLAY_StopSoundShare", "PLAY_PlaySoundShare", "PLAY_ChooseAudio", "PLAY_AdjustWaveAudio",
};

const char* const kClientFunctions[] = {
    "CLIENT_Init", "CLIENT_Cleanup", "CLIENT_GetLastError", "CLIENT_SetGDPREnable", "CLIENT_SetNetworkParam",
    "CLIENT_SetAutoReconnect", "CLIENT_SetDVRMessCallBack", "CLIENT_SetSubconnCallBack", "CLIENT_LogOpen",
    "CLIENT_LoginEx2", "CLIENT_Logout", "CLIENT_QuerySystemInfo", "CLIENT_RealPlayEx",
    "CLIENT_SetRealDataCallBack", "CLIENT_StopRealPlay", "CLIENT_GetStatiscFlux", "CLIENT_MakeKeyFrame",
};

// Puts the named functions of a library into the host's resolve table under the module name.
bool FillFromLibrary(testsupport::TestHost& host, const char* path, const char* module,
                     const std::vector<const char*>& names, void** handle)
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

bool WaitFor(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) {
            return false;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

double ChangedShare(const QImage& a, const QImage& b)
{
    if (a.size() != b.size() || a.isNull()) {
        return 0.0;
    }
    int64_t changed = 0;
    for (int y = 0; y < a.height(); y += 2) {
        for (int x = 0; x < a.width(); x += 2) {
            changed += a.pixel(x, y) != b.pixel(x, y) ? 1 : 0;
        }
    }
    return double(changed) / double((a.height() / 2) * (a.width() / 2));
}

int ColouredShare(const QImage& image)
{
    int64_t coloured = 0;
    int64_t all = 0;
    for (int y = 0; y < image.height(); y += 4) {
        for (int x = 0; x < image.width(); x += 4) {
            coloured += (image.pixel(x, y) & 0xffffffu) != 0 ? 1 : 0;
            ++all;
        }
    }
    return all > 0 ? int(coloured * 100 / all) : 0;
}

// Counts frame-decoded reports and reads the mode's frame record from the pool thread.
struct FrameListener {
    std::atomic<int> decoded{0};
    std::atomic<int> recordsRead{0};
    void OnDecoded(Tolvane::IPlayMode* mode, long)
    {
        Tolvane::PlayFrameRecord record;
        if (mode->GetFrameRecord(&record, 0)) {
            ++recordsRead;
        }
        ++decoded;
    }
};

class LiveHeadlessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_host = std::make_unique<testsupport::TestHost>();
        Tolvane::SetUpModuleLogger(Context());

        // The window module, through its entry points.
        m_sorquinLibrary.setFileName(QStringLiteral(SORQUIN_LIBRARY_PATH));
        ASSERT_TRUE(m_sorquinLibrary.load()) << m_sorquinLibrary.errorString().toStdString();
        auto init = reinterpret_cast<void (*)(HostContext*)>(m_sorquinLibrary.resolve("InitModule"));
        auto load = reinterpret_cast<bool (*)(HostContext*, const char*)>(m_sorquinLibrary.resolve("LoadImplObjects"));
        m_clear = reinterpret_cast<void (*)(void*)>(m_sorquinLibrary.resolve("ClearModule"));
        ASSERT_TRUE(init && load && m_clear);
        init(Context());
        ASSERT_TRUE(load(Context(), ""));
        sorquin = m_host->QueryService<ISorquin>(Foundation::TypeName::ISorquin);
        ASSERT_TRUE(sorquin.get() != nullptr);

        ASSERT_TRUE(FillFromLibrary(*m_host, PLAY_LIBRARY_PATH, "play",
                                    std::vector<const char*>(std::begin(kPlayFunctions), std::end(kPlayFunctions)),
                                    &m_play));
        ASSERT_TRUE(FillFromLibrary(*m_host, QUILLNET_LIBRARY_PATH, "Quillnet",
                                    std::vector<const char*>(std::begin(kClientFunctions), std::end(kClientFunctions)),
                                    &m_quillnet));
        reinterpret_cast<void (*)()>(dlsym(m_quillnet, "QNSIM_Reset"))();
        reinterpret_cast<void (*)(const char*)>(dlsym(m_quillnet, "QNSIM_SetDevicesFolder"))(DEVICES_DIR);

        Tolvane::CPlayerMgr::CreateSvrObject(Context(), "");
        manager = m_host->QueryService<Tolvane::IPlayerMgr>(Foundation::TypeName::IPlayerMgr);
        ASSERT_TRUE(manager.get() != nullptr);

        content = std::make_unique<QWidget>();
        content->resize(640, 360);
        content->show();
        sorquin->SetContentWidget(content.get());
        const std::string answer = m_host->CallMethod(
            "setVideoWindowLayout", "{\"rows\":1,\"columns\":2,\"left\":0,\"top\":0,\"width\":640,\"height\":360}");
        ASSERT_NE(answer.find("true"), std::string::npos) << answer;

        Tolvane::CQuillnetDev::CQuillnetDeviceFactory factory;
        device.reset(factory.CreateDevice(Context(), ""));
        ASSERT_EQ(device->LoginDevice("127.0.0.1", 37777, 37777, "admin", "admin123", 0, 0), 0);
    }

    void TearDown() override
    {
        if (manager.get() != nullptr) {
            manager->CloseWindow(0);
            manager->CloseWindow(1);
        }
        manager = Foundation::CSharedPtr<Tolvane::IPlayerMgr>();
        Tolvane::ModuleTaskPool().waitForDone();
        if (device) {
            device->LogoutDevice();
            device.reset();
        }
        sorquin = Foundation::CSharedPtr<ISorquin>();
        m_host->ClearMethods();
        m_host->ClearObjects();
        if (m_clear != nullptr) {
            m_clear(Context());
        }
        m_host->StopWorker();
        Tolvane::SetModuleLogger(nullptr);
        m_host.reset();
        content.reset();
        m_sorquinLibrary.unload();
    }

    HostContext* Context() { return m_host->Context(); }

    // A live mode of the channel drawn into the window, filed with the manager.
    Tolvane::CRealVideoMode* Connect(int winID, int channel, FrameListener* listener)
    {
        auto* mode = new Tolvane::CRealVideoMode(Context(), false, sorquin->GetWindowHandle(winID), false);
        if (listener != nullptr) {
            mode->AttachFrameDecoded(Tolvane::IPlayMode::FrameDecodedHandler(listener, &FrameListener::OnDecoded));
        }
        if (!mode->ConnectRealVideo(device.get(), channel, -1, 2, 0)) {
            mode->Close();
            mode->Dispose();
            return nullptr;
        }
        manager->AttachPlayMode(winID, mode);
        return mode;
    }

    QImage Grab(int winID)
    {
        QWidget* widget = sorquin->GetWindowWidget(winID);
        return widget != nullptr ? widget->grab().toImage() : QImage();
    }

    Foundation::CSharedPtr<ISorquin> sorquin;
    Foundation::CSharedPtr<Tolvane::IPlayerMgr> manager;
    std::unique_ptr<Tolvane::IDevice> device;
    std::unique_ptr<QWidget> content;

private:
    std::unique_ptr<testsupport::TestHost> m_host;
    QLibrary m_sorquinLibrary;
    void (*m_clear)(void*) = nullptr;
    void* m_play = nullptr;
    void* m_quillnet = nullptr;
};

TEST_F(LiveHeadlessTest, LiveChannelMovesInTheWindow)
{
    FrameListener listener;
    Tolvane::CRealVideoMode* mode = Connect(0, 0, &listener);
    ASSERT_NE(mode, nullptr);
    ASSERT_TRUE(Connect(1, 3, nullptr) != nullptr) << "the I420 channel";

    ASSERT_TRUE(WaitFor([&] { return !sorquin->GetSnapshotData(0).empty() && !sorquin->GetSnapshotData(1).empty(); },
                        10000));
    const QImage first = Grab(0);
    WaitFor([] { return false; }, 700);
    const QImage later = Grab(0);
    EXPECT_GT(ColouredShare(later), 20);
    EXPECT_GT(ChangedShare(first, later), 0.001) << "the test picture does not move";
    EXPECT_GT(ColouredShare(Grab(1)), 20);

    EXPECT_GT(listener.decoded.load(), 5);
    EXPECT_GT(listener.recordsRead.load(), 0);
    Tolvane::PlayFrameRecord record;
    ASSERT_TRUE(mode->GetFrameRecord(&record, 0));
    EXPECT_GT(record.width, 0);
    EXPECT_GT(record.height, 0);
    EXPECT_GT(mode->GetFrameRate(), 0);
    EXPECT_GT(mode->GetStatiscFlux(), 0);

    const QString shot = QDir(QStringLiteral(SCREENSHOT_DIR)).filePath(QStringLiteral("live-play-mode.png"));
    EXPECT_TRUE(content->grab().save(shot, "PNG")) << shot.toStdString();

    EXPECT_TRUE(manager->CloseWindow(0));
    EXPECT_EQ(manager->GetOpenPlayMode(0), nullptr);
    EXPECT_TRUE(sorquin->GetSnapshotData(0).empty()) << "the closed window is cleared";
}

// Modes are closed and disposed of while the device feeds them and frame tasks run.
TEST_F(LiveHeadlessTest, ClosingWhileFramesArriveIsClean)
{
    FrameListener listener;
    for (int round = 0; round < 6; ++round) {
        const int before = listener.decoded.load();
        ASSERT_NE(Connect(0, round % 4, &listener), nullptr) << round;
        ASSERT_TRUE(WaitFor([&] { return listener.decoded.load() > before + 2; }, 10000)) << round;
        if (round % 2 == 0) {
            EXPECT_TRUE(manager->CloseWindow(0));
        } else {
            // A new mode replaces the playing one in the window.
            ASSERT_NE(Connect(0, (round + 1) % 4, &listener), nullptr) << round;
            WaitFor([] { return false; }, 50);
            EXPECT_TRUE(manager->CloseWindow(0));
        }
    }
    Tolvane::ModuleTaskPool().waitForDone();
    EXPECT_TRUE(manager->GetModeMap().empty());
}

}  // namespace
