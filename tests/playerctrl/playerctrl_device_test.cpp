// The player control on the simulated device: a recording set by the page's
// "setVodStreamSource" and started by "startPlayer" plays through the player library into a
// window's video sink, and the page's controls reach it until the window is stopped.
#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QThreadPool>

#include <foundation/HostCalls.h>
#include <foundation/JsonRead.h>
#include <foundation/TypeNames.h>

#include <play/playsdk.h>

#include "TestHost.h"
#include "sinksorquin.h"
#include "devicemgr.h"
#include "localplayctrl.h"
#include "logfacade.h"
#include "moduletasks.h"
#include "playbackctrl.h"
#include "playerctrl.h"
#include "playermgr.h"
#include "timer.h"

namespace {

using testsupport::kClientFunctions;
using testsupport::kPlayFunctions;
using testsupport::SinkSorquin;

bool WaitFor(const std::function<bool()>& done, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

class PlayerCtrlDeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_host = std::make_unique<testsupport::TestHost>();
        Tolvane::SetUpModuleLogger(Context());
        ASSERT_TRUE(Fill(PLAY_LIBRARY_PATH, "play", kPlayFunctions, &m_play));
        ASSERT_TRUE(Fill(QUILLNET_LIBRARY_PATH, "Quillnet", kClientFunctions, &m_quillnet));
        reinterpret_cast<void (*)()>(dlsym(m_quillnet, "QNSIM_Reset"))();
        reinterpret_cast<void (*)(const char*)>(dlsym(m_quillnet, "QNSIM_SetDevicesFolder"))(DEVICES_DIR);

        sorquin = new SinkSorquin();
        Foundation::RegisterHostObject(Context(), Foundation::TypeName::ISorquin,
                                       Foundation::CSharedPtr<ISorquin>(sorquin));
        Tolvane::CDeviceMgr::CreateSvrObject(Context(), "");
        Tolvane::CPlaybackCtrl::CreateSvrObject(Context(), "");
        Tolvane::CLocalPlayCtrl::CreateSvrObject(Context(), "");
        Tolvane::CPlayerMgr::CreateSvrObject(Context(), "");
        Tolvane::CTimer::CreateSvrObject(Context(), "");
        Tolvane::PlayerCtrl::CreateSvrObject(Context(), "");
        m_host->EmitImplComLoaded();
        manager = m_host->QueryService<Tolvane::IPlayerMgr>(Foundation::TypeName::IPlayerMgr);
        ASSERT_TRUE(manager.get() != nullptr);

        const Json::Value reply = Call(
            "LoginDevice", R"({"ip":"127.0.0.1","port":37777,"userName":"admin","password":"admin123","loginSpacCap":0})");
        ASSERT_EQ(reply, 0);
    }

    void TearDown() override
    {
        if (manager.get() != nullptr) {
            manager->CloseWindow(0);
        }
        Tolvane::ModuleTaskPool().waitForDone();
        manager = Foundation::CSharedPtr<Tolvane::IPlayerMgr>();
        m_host->EmitImplComPreRelease();
        m_host->ClearMethods();
        m_host->ClearObjects();
        m_host->StopWorker();
        Tolvane::SetModuleLogger(nullptr);
        m_host.reset();
    }

    HostContext* Context() { return m_host->Context(); }

    Json::Value Call(const std::string& method, const std::string& params)
    {
        const std::string reply = m_host->CallMethod(method, params);
        Json::Value parsed;
        EXPECT_TRUE(Foundation::JsonParse(reply, parsed)) << reply;
        return Foundation::JsonMember(parsed, "result");
    }

    SinkSorquin* sorquin = nullptr;
    Foundation::CSharedPtr<Tolvane::IPlayerMgr> manager;

private:
    template <std::size_t N>
    bool Fill(const char* path, const char* module, const char* const (&names)[N], void** handle)
    {
        return testsupport::FillFromLibrary(*m_host, path, module, names, handle);
    }

    std::unique_ptr<testsupport::TestHost> m_host;
    void* m_play = nullptr;
    void* m_quillnet = nullptr;
};

TEST_F(PlayerCtrlDeviceTest, ARecordingSetByThePagePlaysIntoTheWindow)
{
    ASSERT_EQ(Call("setVodStreamSource", R"({"winID":0,"fileInfo":{"Channel":3,"VideoStream":"Main",
        "StartTime":"2024-05-01 08:00:00","EndTime":"2024-05-01 08:00:03"}})"),
              true);
    EXPECT_EQ(sorquin->pictures.load(), 0);
    ASSERT_EQ(Call("startPlayer", R"({"winID":0})"), true);
    EXPECT_TRUE(WaitFor([this] { return sorquin->pictures.load() > 0; }, 10000));
    EXPECT_EQ(sorquin->width.load(), 176);
    EXPECT_TRUE(WaitFor([this] { return Call("getResolution", R"({"winID":0})")["height"] == 144; }, 5000));

    EXPECT_EQ(Call("pause", R"({"winID":0})"), true);
    EXPECT_EQ(Call("resume", R"({"winID":0})"), true);
    EXPECT_EQ(Call("seekByTime", R"({"winID":0,"year":2024,"month":5,"day":1,"hour":8,"minute":0,"second":1})"),
              true);

    ASSERT_EQ(Call("stopPlayer", R"({"winID":0})"), true);
    EXPECT_EQ(Call("pause", R"({"winID":0})"), false);
    EXPECT_EQ(Call("getResolution", R"({"winID":0})")["width"], 0);

    // A local file takes the window over from a recording through the local play control;
    // a file that cannot be opened answers false and leaves the window empty.
    ASSERT_EQ(Call("setVodStreamSource", R"({"winID":0,"fileInfo":{"Channel":3,"VideoStream":"Main",
        "StartTime":"2024-05-01 08:00:00","EndTime":"2024-05-01 08:00:03"}})"),
              true);
    ASSERT_EQ(Call("startPlayer", R"({"winID":0})"), true);
    ASSERT_EQ(Call("setFileStreamSource", R"({"winID":0,"path":"/nonexistent/clip.rkv"})"), true);
    EXPECT_EQ(Call("startPlayer", R"({"winID":0})"), false);
    {
        QMutexLocker lock(manager->GetMutex());
        EXPECT_EQ(manager->GetPlayMode(0, Tolvane::ModeId::Playback), nullptr);
        EXPECT_EQ(manager->GetPlayMode(0, Tolvane::ModeId::LocalPlay), nullptr);
    }
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QFile clip(folder.filePath(QStringLiteral("clip.rkv")));
    ASSERT_TRUE(clip.open(QIODevice::WriteOnly));
    clip.write(QByteArray(1000, 'x'));
    clip.close();
    ASSERT_EQ(Call("setFileStreamSource", R"({"winID":0,"path":")" + clip.fileName().toStdString() + R"("})"),
              true);
    ASSERT_EQ(Call("startPlayer", R"({"winID":0})"), true);
    QMutexLocker lock(manager->GetMutex());
    EXPECT_EQ(manager->GetPlayMode(0, Tolvane::ModeId::Playback), nullptr);
    EXPECT_NE(manager->GetPlayMode(0, Tolvane::ModeId::LocalPlay), nullptr);
}

}  // namespace
