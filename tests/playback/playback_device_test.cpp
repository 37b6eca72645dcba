// The playback control on the simulated device: a recording played back by time through
// the player library into a window's video sink, with the page's progress events.
#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <QThreadPool>

#include <foundation/HostCalls.h>
#include <foundation/JsonRead.h>
#include <foundation/TypeNames.h>

#include <play/playsdk.h>

#include "TestHost.h"
#include "sinksorquin.h"
#include "devicemgr.h"
#include "logfacade.h"
#include "moduletasks.h"
#include "playbackctrl.h"
#include "playermgr.h"
#include "timer.h"

namespace {

using testsupport::kClientFunctions;
using testsupport::kPlayFunctions;
using testsupport::SinkSorquin;

class PlaybackDeviceTest : public ::testing::Test {
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
        Tolvane::CPlayerMgr::CreateSvrObject(Context(), "");
        Tolvane::CTimer::CreateSvrObject(Context(), "");
        m_host->EmitImplComLoaded();
        ctrl = m_host->QueryService<Tolvane::CPlaybackCtrl>(Foundation::TypeName::CPlaybackCtrl);
        manager = m_host->QueryService<Tolvane::IPlayerMgr>(Foundation::TypeName::IPlayerMgr);
        ASSERT_TRUE(ctrl.get() != nullptr && manager.get() != nullptr);

        const std::string answer = m_host->CallMethod(
            "LoginDevice",
            R"({"ip":"127.0.0.1","port":37777,"userName":"admin","password":"admin123","loginSpacCap":0})");
        Json::Value reply;
        ASSERT_TRUE(Foundation::JsonParse(answer, reply)) << answer;
        ASSERT_EQ(reply.get("result", -1).asInt(), 0) << answer;
    }

    void TearDown() override
    {
        if (manager.get() != nullptr) {
            manager->CloseWindow(0);
        }
        Tolvane::ModuleTaskPool().waitForDone();
        ctrl = Foundation::CSharedPtr<Tolvane::CPlaybackCtrl>();
        manager = Foundation::CSharedPtr<Tolvane::IPlayerMgr>();
        m_host->EmitImplComPreRelease();
        m_host->ClearMethods();
        m_host->ClearObjects();
        m_host->StopWorker();
        Tolvane::SetModuleLogger(nullptr);
        m_host.reset();
    }

    HostContext* Context() { return m_host->Context(); }

    // Every "PlayProcessInfo" entry sent to the page so far.
    std::vector<Json::Value> ProgressEntries()
    {
        std::vector<Json::Value> entries;
        for (const std::string& text : m_host->SentTexts()) {
            Json::Value root;
            if (!Foundation::JsonParse(text, root) || root.get("event", "").asString() != "PlayProcessInfo") {
                continue;
            }
            for (const Json::Value& entry : root["params"]) {
                entries.push_back(entry);
            }
        }
        return entries;
    }

    bool WaitForEntry(const std::function<bool(const Json::Value&)>& wanted, int timeoutMs)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < end) {
            for (const Json::Value& entry : ProgressEntries()) {
                if (wanted(entry)) {
                    return true;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    SinkSorquin* sorquin = nullptr;
    Foundation::CSharedPtr<Tolvane::CPlaybackCtrl> ctrl;
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

TEST_F(PlaybackDeviceTest, ARecordingPlaysByTimeToItsEnd)
{
    Json::Value info(Json::objectValue);
    info["channel"] = 3;
    info["streamType"] = "Main";
    info["startTime"] = "2024-05-01 08:00:00";
    info["endTime"] = "2024-05-01 08:00:03";
    ASSERT_TRUE(ctrl->Playback(0, info, true));

    // The first shown frame, then the progress of later ones.
    EXPECT_TRUE(WaitForEntry(
        [](const Json::Value& e) {
            return e["winID"].asInt() == 0 && e["width"].asInt() == 176 && e["height"].asInt() == 144
                && e["time"].asString().rfind("2024-05-01 08:00:0", 0) == 0 && e["msecs"].isDouble();
        },
        10000));
    EXPECT_TRUE(WaitForEntry([](const Json::Value& e) { return e["status"].asString() == "streamEnd"; }, 15000));
    EXPECT_TRUE(WaitForEntry(
        [&info](const Json::Value& e) { return e["status"].asString() == "end" && e["fileInfo"] == info; }, 15000));
    EXPECT_GT(sorquin->pictures.load(), 3);
    EXPECT_EQ(sorquin->width.load(), 176);

    // Times reported run forward and stay inside the recording.
    std::string last;
    for (const Json::Value& entry : ProgressEntries()) {
        const std::string time = entry["time"].asString();
        if (time.empty()) {
            continue;
        }
        EXPECT_GE(time, last);
        EXPECT_GE(time, "2024-05-01 08:00:00");
        EXPECT_LE(time, "2024-05-01 08:00:03");
        last = time;
    }

    // Seeking back into the recording plays it again.
    EXPECT_TRUE(ctrl->SeekByTime(0, 2024, 5, 1, 8, 0, 1));
    const int before = sorquin->pictures.load();
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (sorquin->pictures.load() <= before && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_GT(sorquin->pictures.load(), before);
}

}  // namespace
