#include "fakes.h"

#include <QString>
#include <QThreadPool>
#include <QtGlobal>

#include <foundation/JsonRead.h>

#include "logfacade.h"
#include "moduletasks.h"
#include "playermgr.h"
#include "playmode.h"

namespace pbtest {

Json::Value FileInfo(const std::string& start, const std::string& end)
{
    Json::Value info(Json::objectValue);
    info["channel"] = 0;
    info["streamType"] = "Main";
    info["startTime"] = "2024-05-01 " + start;
    info["endTime"] = "2024-05-01 " + end;
    return info;
}

std::vector<Json::Value> Events(testsupport::TestHost& host, const std::string& name)
{
    std::vector<Json::Value> events;
    for (const std::string& text : host.SentTexts()) {
        Json::Value root;
        if (Foundation::JsonParse(text, root) && Foundation::JsonMember(root, "event").asString() == name) {
            events.push_back(Foundation::JsonMember(root, "params"));
        }
    }
    return events;
}

void ShowFrame(Tolvane::IPlayMode* mode, uint32_t frameId, const std::string& time, int width, int height)
{
    static uint8_t plane[16] = {};
    FRAME_DECODE_INFO picture{};
    for (int i = 0; i < 3; ++i) {
        picture.plane[i] = plane;
        picture.lineSize[i] = 4;
    }
    picture.width = width;
    picture.height = height;
    FRAME_INFO_EX frame{};
    frame.frameId = frameId;
    frame.frameCounter = static_cast<int32_t>(frameId * 40);
    frame.width = width;
    frame.height = height;
    frame.frameRate = 25;
    frame.year = 2024;
    frame.month = 5;
    frame.day = 1;
    frame.hour = static_cast<uint16_t>(std::stoi(time.substr(0, 2)));
    frame.minute = static_cast<uint16_t>(std::stoi(time.substr(3, 2)));
    frame.second = static_cast<uint16_t>(std::stoi(time.substr(6, 2)));
    Tolvane::CPlayMode::VisibleDecodeCallBack(mode->GetPort(), &picture, &frame,
                                              static_cast<void*>(dynamic_cast<Tolvane::CPlayMode*>(mode)));
    Tolvane::ModuleTaskPool().waitForDone();
}

void PlaybackTest::SetUp()
{
    fakeplayer::Reset();
    m_host = std::make_unique<testsupport::TestHost>();
    fakeplayer::FillResolveTable(*m_host);
    Tolvane::SetUpModuleLogger(Context());

    sorquin = new FakeSorquin();
    Foundation::RegisterHostObject(Context(), Foundation::TypeName::ISorquin, Foundation::CSharedPtr<ISorquin>(sorquin));
    deviceMgr = new FakeDeviceMgr(&device);
    Foundation::RegisterHostObject(Context(), Foundation::TypeName::IDeviceMgr,
                                   Foundation::CSharedPtr<Tolvane::IDeviceMgr>(deviceMgr));
    timer = new FakeTimer();
    Foundation::RegisterHostObject(Context(), Foundation::TypeName::ITimer,
                                   Foundation::CSharedPtr<Tolvane::ITimer>(timer));
    Tolvane::CPlayerMgr::CreateSvrObject(Context(), "");
    manager = m_host->QueryService<Tolvane::IPlayerMgr>(Foundation::TypeName::IPlayerMgr);
    ASSERT_TRUE(manager.get() != nullptr);
}

void PlaybackTest::TearDown()
{
    Tolvane::ModuleTaskPool().waitForDone();
    DropManager();
    m_host->ClearMethods();
    m_host->ClearObjects();
    m_host->StopWorker();
    m_host.reset();
    Tolvane::SetModuleLogger(nullptr);
}

}  // namespace pbtest
