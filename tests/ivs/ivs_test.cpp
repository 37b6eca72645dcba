// The intelligent-video service: window records and their flags, rules and subscriptions
// against the scripted device library, the frame path to each window's overlay, the page
// events of the poll, and the release when a window closes.

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "aimanager.h"
#include "fakes.h"

namespace {

using devtest::QuillnetStandIn;
using ivstest::FakePlayMode;
using ivstest::ParseText;

// ---- the record's flags ----

TEST(AIManagerFlags, EntrySetsGiveTheOverlayParts)
{
    struct Entry {
        const char* type;
        bool s1, s2;
    };
    struct Case {
        const char* what;
        std::vector<Entry> entries;
        const char* updated;  // type passed to updateEnable
        // trace, board, rules, position, mask, crowd mask
        bool flags[6];
    };
    const Case cases[] = {
        {"pos with switch 1 gives position only", {{"pos", true, true}}, "pos", {0, 0, 0, 1, 0, 0}},
        {"pos without switch 1 reads the rest", {{"pos", false, true}}, "pos", {0, 1, 1, 0, 1, 1}},
        {"pos without switch 1 or 2", {{"pos", false, false}}, "pos", {0, 0, 1, 0, 1, 1}},
        {"other type, switch 1 is trace", {{"AITtpeCity", true, false}}, "AITtpeCity", {1, 0, 1, 0, 1, 1}},
        {"city and pos together", {{"AITtpeCity", true, true}, {"pos", true, false}}, "pos", {1, 1, 1, 1, 1, 1}},
        {"empty type clears everything", {{"AITtpeCity", true, true}}, "", {0, 0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Tolvane::AIManager record;
        for (const Entry& e : c.entries) {
            Tolvane::AIConfigEntry entry;
            entry.switches[0] = e.s1;
            entry.switches[1] = e.s2;
            entry.switches[3] = true;  // never read
            record.SetEntry(e.type, entry);
        }
        record.updateEnable(c.updated);
        const Tolvane::AIFlags& f = record.Flags();
        const bool got[6] = {f.trace, f.board, f.rules, f.position, f.mask, f.crowdMask};
        for (int i = 0; i < 6; ++i) {
            EXPECT_EQ(got[i], c.flags[i]) << "flag " << i;
        }
        EXPECT_EQ(record.Overlay() != nullptr, f.Any());
    }
}

// ---- configuration and rules ----

class IvsService : public ivstest::IvsTest {};

TEST_F(IvsService, ConfiguringALiveWindowFetchesRulesSubscribesAndFeedsTheOverlay)
{
    FakePlayMode* mode = AddMode(0, 2);
    m_players->AttachPlayMode(3, mode);
    QuillnetStandIn::Script("CLIENT_TransmitInfoForWebEx", R"({"answer": {"params": {"table": {"v": 1}}}})");
    QuillnetStandIn::Script("CLIENT_TransmitInfoForWebEx", R"({"answer": {"params": {"table": [7]}}})");
    QuillnetStandIn::Script("CLIENT_TransmitInfoForWebEx", R"({"answer": {"params": {"table": "g"}}})");

    ASSERT_TRUE(Configure(3, "pos", true, false));
    Service().WaitIdle();

    // Rule tables: two per channel, then the global one without a channel.
    const auto requests = QuillnetStandIn::CallsOf("CLIENT_TransmitInfoForWebEx");
    ASSERT_EQ(requests.size(), 3u);
    const char* expected[] = {
        R"({"method":"configManager.getConfig","params":{"channel":0,"name":"VideoAnalyseRule","onlyLocal":true}})",
        R"({"method":"configManager.getConfig","params":{"channel":0,"name":"AIDisplayRule","onlyLocal":true}})",
        R"({"method":"configManager.getConfig","params":{"name":"GlobalAIDisplayRule","onlyLocal":true}})"};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(ParseText(requests[i]["args"][1]["request"].asString()), ParseText(expected[i]));
        EXPECT_EQ(requests[i]["args"][3].asInt(), 3000);
    }
    // The subscription carries the slave channel; proc is channel + 1.
    const auto attach = QuillnetStandIn::CallsOf("CLIENT_AttachTransmitInfo");
    ASSERT_EQ(attach.size(), 1u);
    EXPECT_EQ(ParseText(attach[0]["args"][1]["request"].asString()),
              ParseText(R"({"method":"snapManager.attachFileProc","params":{"proc":1,"filter":{
                  "Channels":[0,2],"NeedData":true,"Flags":["Event","Manual"],"Paths":["LocalPath"],
                  "Internal":1,"Events":["All","*"]}}})"));
    EXPECT_NE(Service().SubscriptionOf(0), 0);
    std::vector<std::string> watched;
    for (const Json::Value& call : QuillnetStandIn::CallsOf("CLIENT_AttachConfigChange")) {
        watched.push_back(call["args"][1]["name"].asString());
    }
    EXPECT_EQ(watched, (std::vector<std::string>{"VideoAnalyseRule", "AIDisplayRule", "GlobalAIDisplayRule"}));

    OSDManager* overlay = Service().OverlayOf(3);
    ASSERT_NE(overlay, nullptr);
    const QStringList calls = overlay->Calls();
    // Entries in key order, each followed by the split count.
    ASSERT_GE(calls.size(), 4);
    EXPECT_EQ(calls.mid(0, 2), (QStringList{"setAiConfig AITtpeCity", "setSplitCount 0"}));
    EXPECT_TRUE(calls.contains("setAiConfig pos"));
    const int load = calls.indexOf("setChannel 0");
    ASSERT_GT(load, 2);
    EXPECT_EQ(calls.mid(load - 3, 5), (QStringList{"updateConfig VideoAnalyseRule", "updateConfig AIDisplayRule",
                                                    "updateConfig GlobalAIDisplayRule", "setChannel 0",
                                                    "updateConfig InitConfig"}));
    EXPECT_EQ(overlay->Rule("VideoAnalyseRule"), ParseText(R"({"v": 1})"));
    EXPECT_EQ(overlay->Rule("GlobalAIDisplayRule"), Json::Value("g"));
    EXPECT_EQ(overlay->LastAiConfig("AITtpeCity").value("Mask").toMap().value("Enable"), QVariant(true));

    // Each handler is connected once however often the window is applied.
    EXPECT_EQ(mode->StreamHandlerCount(), 1);
    EXPECT_EQ(mode->DrawHandlerCount(), 1);
    EXPECT_EQ(m_sorquin.overlayStates.back(), std::make_pair(3, true));
    // Rules fetched once are kept.
    EXPECT_EQ(QuillnetStandIn::CallsOf("CLIENT_TransmitInfoForWebEx").size(), 3u);
}

TEST_F(IvsService, ConfigurationIsCheckedAfterTheCityEntryIsStored)
{
    const Json::Value result = Call("setAIConfig", R"({"winID": 4, "type": "pos",
        "config": {"TraceRule": {"Enable": 1}, "BoardRule": {"Enable": true}}})");
    EXPECT_EQ(result, Json::Value(false));
    EXPECT_TRUE(Service().HasWindow(4));
    EXPECT_TRUE(Service().FlagsOf(4).trace);
    EXPECT_FALSE(Service().FlagsOf(4).position);
    // Without a mode nothing is asked of the device.
    EXPECT_TRUE(QuillnetStandIn::CallsOf("CLIENT_AttachTransmitInfo").empty());
    EXPECT_EQ(Call("setAIConfig", R"({"winID": 4, "type": "x", "config": [1]})"), Json::Value(false));
}

TEST_F(IvsService, ObjectQueriesNeedAnIntegerPointAndAnOverlay)
{
    ASSERT_TRUE(Configure(1, "AITtpeCity"));
    Service().OverlayOf(1)->SetObjectIdAnswer(QVariant(42));
    struct Case {
        const char* params;
        Json::Value result;
        bool asked;
    };
    const Case cases[] = {
        {R"({"winID": 1, "rect": [10, 20]})", Json::Value(42), true},
        {R"({"winID": 1, "rect": [10, 20.5]})", Json::Value(), false},
        {R"({"winID": 1, "rect": [10.0, 20]})", Json::Value(), false},
        {R"({"winID": 1, "rect": [10, 20, 30]})", Json::Value(), false},
        {R"({"winID": 1, "rect": {"x": 1}})", Json::Value(), false},
        {R"({"winID": 9, "rect": [10, 20]})", Json::Value(), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.params);
        Service().OverlayOf(1)->ClearCalls();
        EXPECT_EQ(Call("getAIObjectId", c.params), c.result);
        EXPECT_EQ(Service().OverlayOf(1)->Calls().contains("getAIObjectId"), c.asked);
    }
    Service().OverlayOf(1)->SetSlaveModeAnswer(false);
    EXPECT_EQ(Call("setOpenSlaveMode", R"({"winID": 1, "enable": true})"), Json::Value(false));
    EXPECT_EQ(Call("setOpenSlaveMode", R"({"winID": 2, "enable": true})"), Json::Value());
}

TEST_F(IvsService, ClosingTheWindowReleasesOverlayHandlersSubscriptionAndWatches)
{
    FakePlayMode* mode = AddMode(1);
    m_players->AttachPlayMode(5, mode);
    ASSERT_TRUE(Configure(5, "AITtpeCity"));
    Service().WaitIdle();
    const long subscription = Service().SubscriptionOf(1);
    ASSERT_NE(subscription, 0);
    const int live = OSDManager::LiveCount();

    Service().OverlayOf(5)->SetCrowdModeAnswer(false);
    EXPECT_EQ(Call("setCrowdMode", R"({"winID": 5, "mode": 2, "enable": true})"), Json::Value(true));
    QuillnetStandIn::ClearJournal();

    m_players->CloseWindow(5);
    Service().WaitIdle();
    EXPECT_FALSE(Service().HasWindow(5));
    EXPECT_EQ(OSDManager::LiveCount(), live - 1);
    EXPECT_EQ(mode->StreamHandlerCount(), 0);
    EXPECT_EQ(mode->DrawHandlerCount(), 0);
    EXPECT_FALSE(Service().HasChannelRules(1));
    const auto detach = QuillnetStandIn::CallsOf("CLIENT_DetachTransmitInfo");
    ASSERT_EQ(detach.size(), 1u);
    EXPECT_EQ(detach[0]["args"][0].asInt64(), subscription);
    EXPECT_EQ(ParseText(detach[0]["args"][1]["request"].asString())["method"], Json::Value("snapManager.detachFileProc"));
    EXPECT_EQ(QuillnetStandIn::CallsOf("CLIENT_DetachConfigChange").size(), 3u);
    EXPECT_EQ(Call("setCrowdMode", R"({"winID": 5, "mode": 2, "enable": true})"), Json::Value(false));
}

TEST_F(IvsService, ModeWithoutChannelDropsTheRecord)
{
    m_players->AttachPlayMode(6, AddMode(-1));
    ASSERT_TRUE(Configure(6, "AITtpeCity"));
    EXPECT_FALSE(Service().HasWindow(6));
    EXPECT_EQ(m_sorquin.overlayStates.back(), std::make_pair(6, false));
}

// ---- frame path ----

TEST_F(IvsService, StreamDataAndDrawingReachOnlyTheWindowsThatNeedThem)
{
    FakePlayMode* mode = AddMode(0);
    m_players->AttachPlayMode(1, mode);
    m_players->AttachPlayMode(2, mode);
    ASSERT_TRUE(Configure(1, "AITtpeCity"));
    ASSERT_TRUE(Configure(2, "AITtpeCity"));
    Service().WaitIdle();
    EXPECT_EQ(mode->StreamHandlerCount(), 1);
    EXPECT_TRUE(Service().NeedsStreamData(1));

    Service().OverlayOf(1)->ClearCalls();
    Service().OverlayOf(2)->ClearCalls();
    char bytes[] = "abcdef";
    mode->FireStreamData(bytes, 6);
    // One handler on the mode serves each of its windows once.
    EXPECT_EQ(Service().OverlayOf(1)->Calls(), QStringList{"putPacket 6"});
    EXPECT_EQ(Service().OverlayOf(2)->Calls(), QStringList{"putPacket 6"});
    EXPECT_EQ(Service().OverlayOf(1)->LastPacketBytes(), QByteArray("abcdef"));

    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(Qt::black);
    {
        QPainter painter(&image);
        QRect rect = image.rect();
        mode->FireFrameDraw(1, &painter, &rect);
        mode->FireFrameDraw(8, &painter, &rect);  // a window without a record
    }
    EXPECT_EQ(Service().OverlayOf(1)->Calls().filter("draw"), QStringList{"draw 1"});
    EXPECT_TRUE(Service().OverlayOf(2)->Calls().filter("draw").isEmpty());
    EXPECT_NE(image.pixel(1, 1), QColor(Qt::black).rgb());  // the outline is visible
}

TEST_F(IvsService, DeviceEventDataReachesBoardWindowsAndThePage)
{
    FakePlayMode* mode = AddMode(0);
    m_players->AttachPlayMode(1, mode);
    ASSERT_TRUE(Configure(1, "AITtpeCity"));
    Service().WaitIdle();
    const long subscription = Service().SubscriptionOf(0);
    ASSERT_NE(subscription, 0);
    Service().OverlayOf(1)->ClearCalls();

    const unsigned char binary[] = {1, 2, 3, 4, 5};
    const char* text = R"({"method":"x","params":{"info":{"Objects":[{"ObjectID":9,"BoundingBox":[0,0,4096,4096]}]}}})";
    ASSERT_EQ(QuillnetStandIn::FireTransmit(subscription, text, binary, sizeof(binary)), 1);
    ASSERT_EQ(QuillnetStandIn::FireTransmit(subscription, "{broken", binary, sizeof(binary)), 1);
    ASSERT_EQ(QuillnetStandIn::FireTransmit(subscription + 1000, text, binary, sizeof(binary)), -1);
    Service().WaitIdle();

    OSDManager* overlay = Service().OverlayOf(1);
    EXPECT_EQ(overlay->Calls(), QStringList{"ivsCallBack 5"});
    EXPECT_EQ(overlay->LastEventInfo()["Objects"][0]["ObjectID"], Json::Value(9));
    const QByteArray header = overlay->LastFrameHeader();
    ASSERT_EQ(header.size(), 128);
    uint32_t length = 0;
    std::memcpy(&length, header.constData() + 24, 4);
    EXPECT_EQ(length, 5u);
    EXPECT_EQ(header[1], 1);
    EXPECT_EQ(header[2], 1);
    EXPECT_EQ(Call("getAIObjectId", R"({"winID": 1, "rect": [100, 100]})"), Json::Value(9));

    ASSERT_EQ(m_timer.interval, 500);
    EXPECT_EQ(m_timer.Fire(), 1);
    const auto events = PageEvents();
    ASSERT_EQ(events.size(), 2u);  // the rules loaded and the event
    EXPECT_EQ(events[0]["event"], Json::Value("FaceEvent"));
    EXPECT_EQ(events[0]["params"]["WinID"], Json::Value(1));
    EXPECT_EQ(events[0]["params"]["events"][0]["Objects"][0]["ObjectID"], Json::Value(9));
    EXPECT_EQ(events[1]["event"], Json::Value("notifyAnalyseRule"));
    // Null rules are left out; only the init record was not null.
    EXPECT_EQ(Foundation::JsonMemberNames(events[1]["params"]["events"]), std::vector<std::string>{"InitConfig"});
}

TEST_F(IvsService, PollSendsEachKindInOrderOnceAndNotForCalibratedFishEye)
{
    FakePlayMode* mode = AddMode(0);
    m_players->AttachPlayMode(1, mode);
    ASSERT_TRUE(Configure(1, "AITtpeCity"));
    Service().WaitIdle();
    m_timer.Fire();
    Host().ClearSentTexts();

    OSDManager* overlay = Service().OverlayOf(1);
    overlay->PushEvent(QVariant(QStringLiteral("face")));
    overlay->PushMaskEvent(QVariant(1));
    overlay->PushCrowMaskEvent(QVariant(2));
    overlay->updateConfig(ParseText(R"({"r": 1})"), "VideoAnalyseRule");
    m_timer.Fire();
    std::vector<std::string> names;
    for (const Json::Value& e : PageEvents()) {
        names.push_back(e["event"].asString());
    }
    EXPECT_EQ(names, (std::vector<std::string>{"notifyCrowMaskEvent", "notifyMaskEvent", "FaceEvent",
                                               "notifyAnalyseRule"}));
    Host().ClearSentTexts();
    m_timer.Fire();
    EXPECT_TRUE(Host().SentTexts().empty());

    m_fishCalibrate.Emit(1, true);
    EXPECT_EQ(overlay->Calls().last(), "setFishEyeStatus true");
    overlay->PushEvent(QVariant(QStringLiteral("face")));
    m_timer.Fire();
    EXPECT_TRUE(Host().SentTexts().empty());
    m_fishCalibrate.Emit(1, false);
    m_timer.Fire();
    EXPECT_EQ(PageEvents().size(), 1u);

    // Logged out: nothing is polled.
    m_devices->SetLoggedIn(false);
    overlay->PushEvent(QVariant(QStringLiteral("face")));
    Host().ClearSentTexts();
    m_timer.Fire();
    EXPECT_TRUE(Host().SentTexts().empty());
}

TEST_F(IvsService, ViewNodeChangesPassTheSplitCountOn)
{
    ASSERT_TRUE(Configure(1, "AITtpeCity"));
    m_viewNode.Emit(0, ViewNodeLeft);
    EXPECT_EQ(Service().OverlayOf(1)->SplitCount(), -1);
    m_viewNode.Emit(0, ViewNodeJoined);
    m_viewNode.Emit(1, ViewNodeJoined);
    EXPECT_EQ(Service().OverlayOf(1)->SplitCount(), 1);
}

// ---- rule changes and the connection ----

TEST_F(IvsService, RuleChangesReplaceKeptRulesPerChannelAndGlobally)
{
    FakePlayMode* first = AddMode(0);
    FakePlayMode* second = AddMode(1);
    m_players->AttachPlayMode(1, first);
    m_players->AttachPlayMode(2, second);
    ASSERT_TRUE(Configure(1, "AITtpeCity"));
    ASSERT_TRUE(Configure(2, "AITtpeCity"));
    Service().WaitIdle();
    // Watched once, however many windows.
    ASSERT_EQ(QuillnetStandIn::CallsOf("CLIENT_AttachConfigChange").size(), 3u);
    const long handles[3] = {Service().RuleWatchOf(0), Service().RuleWatchOf(1), Service().RuleWatchOf(2)};
    ASSERT_NE(handles[0], 0);
    ASSERT_NE(handles[2], 0);
    // A notice that does not parse changes nothing.
    ASSERT_EQ(QuillnetStandIn::FireConfigChange(handles[0], "VideoAnalyseRule", "not json"), 0);

    OSDManager* one = Service().OverlayOf(1);
    OSDManager* two = Service().OverlayOf(2);
    ASSERT_EQ(QuillnetStandIn::FireConfigChange(handles[0], "VideoAnalyseRule",
                                                R"({"params": {"table": [{"a": 0}]}})"),
              0);
    Service().WaitIdle();
    EXPECT_EQ(one->Rule("VideoAnalyseRule"), ParseText(R"({"a": 0})"));
    // Channel 1 lies past the table's end: a null rule.
    EXPECT_TRUE(two->Rule("VideoAnalyseRule").isNull());
    EXPECT_TRUE(two->Calls().contains("updateConfig VideoAnalyseRule"));

    ASSERT_EQ(QuillnetStandIn::FireConfigChange(handles[2], "GlobalAIDisplayRule",
                                                R"({"params": {"table": {"g": true}}})"),
              0);
    Service().WaitIdle();
    EXPECT_EQ(one->Rule("GlobalAIDisplayRule"), ParseText(R"({"g": true})"));
    EXPECT_EQ(two->Rule("GlobalAIDisplayRule"), ParseText(R"({"g": true})"));
}

TEST_F(IvsService, DisconnectEndsSubscriptionsAndReconnectRenewsThem)
{
    m_players->AttachPlayMode(1, AddMode(0));
    ASSERT_TRUE(Configure(1, "AITtpeCity"));
    Service().WaitIdle();
    const long before = Service().SubscriptionOf(0);
    ASSERT_NE(before, 0);
    QuillnetStandIn::ClearJournal();

    QuillnetStandIn::FireDisconnect(Login(), "10.0.0.1", 37777);
    EXPECT_EQ(QuillnetStandIn::CallsOf("CLIENT_DetachTransmitInfo").size(), 1u);
    EXPECT_EQ(QuillnetStandIn::CallsOf("CLIENT_DetachConfigChange").size(), 3u);
    EXPECT_EQ(Service().SubscriptionOf(0), before);  // kept for the reconnect

    QuillnetStandIn::ClearJournal();
    QuillnetStandIn::FireReconnect(Login(), "10.0.0.1", 37777);
    EXPECT_EQ(QuillnetStandIn::CallsOf("CLIENT_DetachTransmitInfo").size(), 1u);
    EXPECT_EQ(QuillnetStandIn::CallsOf("CLIENT_AttachTransmitInfo").size(), 1u);
    EXPECT_EQ(QuillnetStandIn::CallsOf("CLIENT_AttachConfigChange").size(), 3u);
    EXPECT_NE(Service().SubscriptionOf(0), 0);
}

}  // namespace
