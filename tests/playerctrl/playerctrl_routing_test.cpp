// The player control's recording and local-file windows through its page methods: the
// starts and routed calls it makes to recording and local-file control fakes, the file
// info it accepts, restarts, refused starts, the playing limit, a device logout, and the
// text table the page hands over.
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <foundation/HostCalls.h>
#include <foundation/JsonRead.h>
#include <foundation/SharedPtr.h>
#include <foundation/TypeNames.h>

#include <ISorquin.h>

#include "TestHost.h"
#include "playerctrl.h"
#include "playermgr.h"
#include "stringsmanager.h"

namespace {

class FakeSorquin final : public ISorquin {
public:
    void SetBackgroundWidget(QWidget*) override {}
    void SetContentWidget(QWidget*) override {}
    void ReleaseWindows() override {}
    void MoveWindows(int, int) override {}
    void ViewActivated() override {}
    void WindowStateChanged() override {}
    bool IsWindowValid(int winID) override { return winID != kGone; }
    void* GetWindowHandle(int) override { return nullptr; }
    bool ShowFrame(int, const unsigned char*, long, int, const SorquinFrameInfo*) override { return true; }
    void SetVideoState(int, bool) override {}
    void SetOverlayState(int, bool) override {}
    bool SaveSnapshot(int, Json::Value) override { return false; }
    std::string GetSnapshotData(int) override { return {}; }
    QWidget* GetWindowWidget(int) override { return nullptr; }

    static constexpr int kGone = 99;
};

// Every call of both control fakes, as "rec.Pause(1)" or "local.SetSpeed(2,0.5)".
struct Journal {
    std::vector<std::string> calls;
    bool Add(const std::string& call, bool answer)
    {
        calls.push_back(call);
        return answer;
    }
};

std::string Text(float value)
{
    std::ostringstream out;
    out << value;
    return out.str();
}

class FakeRecording final : public Tolvane::IRecordingControl {
public:
    explicit FakeRecording(Journal& journal) : m_journal(journal) {}
    bool SetGpuFlag(bool flag) override { return m_journal.Add("rec.SetGpuFlag(" + std::to_string(flag) + ")", true); }
    bool Playback(int winID, const Json::Value& fileInfo, bool byTime) override
    {
        lastRequest = fileInfo;
        lastByTime = byTime;
        return m_journal.Add("rec.Playback(" + std::to_string(winID) + ")", playbackAnswer);
    }
    bool Pause(int winID) override { return Add("Pause", winID); }
    bool Resume(int winID) override { return Add("Resume", winID); }
    bool StepForward(int winID) override { return Add("StepForward", winID); }
    bool StepBackward(int winID) override { return Add("StepBackward", winID); }
    bool SetSpeed(int winID, float speed) override
    {
        return m_journal.Add("rec.SetSpeed(" + std::to_string(winID) + "," + Text(speed) + ")", answer);
    }
    bool SeekByTime(int winID, int year, int month, int day, int hour, int minute, int second) override
    {
        std::ostringstream call;
        call << "rec.SeekByTime(" << winID << "," << year << "," << month << "," << day << "," << hour << ","
             << minute << "," << second << ")";
        return m_journal.Add(call.str(), answer);
    }
    bool SetPlayRefWin(int winID, bool enable) override
    {
        return m_journal.Add("rec.SetPlayRefWin(" + std::to_string(winID) + "," + std::to_string(enable) + ")",
                             answer);
    }

    bool answer = true;
    bool playbackAnswer = true;
    Json::Value lastRequest;
    bool lastByTime = false;

private:
    bool Add(const char* name, int winID)
    {
        return m_journal.Add(std::string("rec.") + name + "(" + std::to_string(winID) + ")", answer);
    }
    Journal& m_journal;
};

class FakeLocal final : public Tolvane::ILocalFileControl {
public:
    explicit FakeLocal(Journal& journal) : m_journal(journal) {}
    bool SetGpuFlag(bool flag) override
    {
        return m_journal.Add("local.SetGpuFlag(" + std::to_string(flag) + ")", true);
    }
    bool PlayFile(int winID, const char* path) override
    {
        return m_journal.Add("local.PlayFile(" + std::to_string(winID) + "," + path + ")", answer);
    }
    bool Pause(int winID) override { return Add("Pause", winID); }
    bool Resume(int winID) override { return Add("Resume", winID); }
    bool Step(int winID) override { return Add("Step", winID); }
    bool SetSpeed(int winID, float speed) override
    {
        return m_journal.Add("local.SetSpeed(" + std::to_string(winID) + "," + Text(speed) + ")", answer);
    }

    bool answer = true;

private:
    bool Add(const char* name, int winID)
    {
        return m_journal.Add(std::string("local.") + name + "(" + std::to_string(winID) + ")", answer);
    }
    Journal& m_journal;
};

const char* const kFullInfo = R"({"Channel":3,"VideoStream":"Extra1","StartTime":"2024-05-01 08:00:00",
    "EndTime":"2024-05-01 09:00:00","SeekTime":"2024-05-01 08:30:00","Speed":2,"Disk":1,"Cluster":7,
    "Length":12.5,"FilePath":"/mnt/dvr/0001.rec","AnalysisTask":4})";
const char* const kShortInfo = R"({"Channel":0,"VideoStream":"Main","StartTime":"2024-05-01 08:00:00",
    "EndTime":"2024-05-01 08:00:03"})";

class PlayerCtrlRoutingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_host = std::make_unique<testsupport::TestHost>();
        Foundation::RegisterHostObject(Context(), Foundation::TypeName::ISorquin,
                                       Foundation::CSharedPtr<ISorquin>(new FakeSorquin()));
        Tolvane::CPlayerMgr::CreateSvrObject(Context(), "");
        Tolvane::PlayerCtrl::CreateSvrObject(Context(), "");
        m_host->EmitImplComLoaded();
        control = m_host->QueryService<Tolvane::PlayerCtrl>(Foundation::TypeName::PlayerCtrl);
        ASSERT_TRUE(control);
        control->SetControls(recording, local);
    }
    void TearDown() override
    {
        control.reset();
        m_host->EmitImplComPreRelease();
        m_host->ClearMethods();
        m_host->ClearObjects();
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
    bool Vod(int winID, const std::string& fileInfo)
    {
        return Call("setVodStreamSource", "{\"winID\":" + std::to_string(winID) + ",\"fileInfo\":" + fileInfo + "}")
               == true;
    }
    bool File(int winID, const std::string& path)
    {
        return Call("setFileStreamSource", "{\"winID\":" + std::to_string(winID) + ",\"path\":\"" + path + "\"}")
               == true;
    }
    bool Start(int winID) { return Call("startPlayer", "{\"winID\":" + std::to_string(winID) + "}") == true; }
    // The calls since the last look.
    std::vector<std::string> Taken()
    {
        std::vector<std::string> calls;
        calls.swap(journal.calls);
        return calls;
    }

    Journal journal;
    std::shared_ptr<FakeRecording> recording = std::make_shared<FakeRecording>(journal);
    std::shared_ptr<FakeLocal> local = std::make_shared<FakeLocal>(journal);
    Foundation::CSharedPtr<Tolvane::PlayerCtrl> control;
    std::unique_ptr<testsupport::TestHost> m_host;
};

using Calls = std::vector<std::string>;

TEST_F(PlayerCtrlRoutingTest, ARecordingStartsOncePerSourceWithItsFileInfo)
{
    ASSERT_TRUE(Vod(1, kFullInfo));
    EXPECT_EQ(Taken(), Calls{});  // nothing until the page starts it
    m_host->EmitGpuChange(true);
    ASSERT_TRUE(Start(1));
    EXPECT_EQ(Taken(), (Calls{"rec.SetGpuFlag(1)", "rec.Playback(1)", "rec.SetSpeed(1,2)"}));
    Json::Value expected;
    ASSERT_TRUE(Foundation::JsonParse(R"({"channel":3,"streamType":"Extra1","startTime":"2024-05-01 08:00:00",
        "endTime":"2024-05-01 09:00:00","seekTime":"2024-05-01 08:30:00","speed":2.0,"disk":1,"cluster":7,
        "length":12.5,"filePath":"/mnt/dvr/0001.rec","AnalysisTask":4})",
                                      expected));
    // Compared as text: the page's numbers and the stored unsigned ones differ in JSON type only.
    EXPECT_EQ(Foundation::JsonStyledText(recording->lastRequest), Foundation::JsonStyledText(expected));
    EXPECT_FALSE(recording->lastByTime);  // "Cluster" names a file
    EXPECT_TRUE(Start(1));                // started already for this source
    EXPECT_EQ(Taken(), Calls{});

    // Without the optional members: by time, normal speed, no analysis task.
    m_host->EmitGpuChange(false);
    ASSERT_TRUE(Vod(2, kShortInfo));
    ASSERT_TRUE(Start(2));
    EXPECT_EQ(Taken(), (Calls{"rec.SetGpuFlag(0)", "rec.Playback(2)", "rec.SetSpeed(2,1)"}));
    EXPECT_TRUE(recording->lastByTime);
    EXPECT_EQ(recording->lastRequest["seekTime"], "");
    EXPECT_EQ(recording->lastRequest["disk"].asUInt(), 0u);
    EXPECT_FALSE(recording->lastRequest.isMember("AnalysisTask"));

    // A local file.
    ASSERT_TRUE(File(3, "/tmp/a b.rkv"));
    ASSERT_TRUE(Start(3));
    EXPECT_EQ(Taken(), (Calls{"local.SetGpuFlag(0)", "local.PlayFile(3,/tmp/a b.rkv)"}));
}

TEST_F(PlayerCtrlRoutingTest, FileInfoIsCheckedBeforeAnythingIsStored)
{
    struct Case {
        const char* what;
        std::string fileInfo;
        bool accepted;
        bool byTime;
    };
    const std::string times = R"("StartTime":"2024-05-01 08:00:00","EndTime":"2024-05-01 08:00:03")";
    const std::string base = R"({"Channel":1,"VideoStream":"Main",)" + times;
    // Refusals first: window 1 has no source until the first accepted case.
    const Case cases[] = {
        {"channel as text", R"({"Channel":"1","VideoStream":"Main",)" + times + "}", false, false},
        {"no stream", R"({"Channel":1,)" + times + "}", false, false},
        {"stream not text", R"({"Channel":1,"VideoStream":2,)" + times + "}", false, false},
        {"second 60", R"({"Channel":1,"VideoStream":"Main","StartTime":"2024-05-01 08:00:00",
            "EndTime":"2024-05-01 08:00:60"})", false, false},
        {"hour 24", R"({"Channel":1,"VideoStream":"Main","StartTime":"2024-05-01 24:00:00",
            "EndTime":"2024-05-01 08:00:03"})", false, false},
        {"day 0", R"({"Channel":1,"VideoStream":"Main","StartTime":"2024-05-00 08:00:00",
            "EndTime":"2024-05-01 08:00:03"})", false, false},
        {"not a time", R"({"Channel":1,"VideoStream":"Main","StartTime":"yesterday",
            "EndTime":"2024-05-01 08:00:03"})", false, false},
        {"not an object", R"(["Channel",1])", false, false},
        {"text", R"("Channel")", false, false},
        {"cluster as int", base + R"(,"Cluster":0})", true, false},
        {"cluster as bool", base + R"(,"Cluster":true})", true, false},
        {"cluster as real", base + R"(,"Cluster":7.5})", true, true},
        {"cluster as text", base + R"(,"Cluster":"7"})", true, true},
        {"odd optional members", base + R"(,"Disk":-1,"Length":"long","Speed":"fast","AnalysisTask":[1]})", true,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(Vod(1, c.fileInfo), c.accepted);
        EXPECT_EQ(Start(1), c.accepted);  // a refused source left no source to start
        if (c.accepted) {
            EXPECT_EQ(recording->lastByTime, c.byTime);
        }
        Taken();
    }
    EXPECT_FALSE(Vod(FakeSorquin::kGone, kShortInfo));
    EXPECT_FALSE(File(FakeSorquin::kGone, "/tmp/a.rkv"));
    EXPECT_FALSE(Start(FakeSorquin::kGone));
}

TEST_F(PlayerCtrlRoutingTest, ControlsGoToTheKindThatPlaysInTheWindow)
{
    ASSERT_TRUE(Vod(1, kShortInfo));
    ASSERT_TRUE(Start(1));
    ASSERT_TRUE(File(2, "/tmp/a.rkv"));
    ASSERT_TRUE(Start(2));
    ASSERT_TRUE(Vod(3, kShortInfo));  // set, not started
    Taken();

    struct Case {
        const char* method;
        const char* params;
        bool answer;
        const char* call;  // "" = no call
    };
    const Case cases[] = {
        {"pause", R"({"winID":1})", true, "rec.Pause(1)"},
        {"pause", R"({"winID":2})", true, "local.Pause(2)"},
        {"pause", R"({"winID":3})", false, ""},
        {"resume", R"({"winID":1})", true, "rec.Resume(1)"},
        {"resume", R"({"winID":2})", true, "local.Resume(2)"},
        {"resume", R"({"winID":4})", false, ""},
        {"setSpeed", R"({"winID":1,"speed":-1})", true, "rec.SetSpeed(1,-1)"},
        {"setSpeed", R"({"winID":1,"speed":0.5})", true, "rec.SetSpeed(1,0.5)"},
        {"setSpeed", R"({"winID":2,"speed":4})", true, "local.SetSpeed(2,4)"},
        {"setSpeed", R"({"winID":2,"speed":0})", false, ""},
        {"setSpeed", R"({"winID":2,"speed":-2})", false, ""},
        {"setSpeed", R"({"winID":3,"speed":2})", false, ""},
        {"stepFrame", R"({"winID":1,"forward":true})", true, "rec.StepForward(1)"},
        {"stepFrame", R"({"winID":1,"forward":false})", true, "rec.StepBackward(1)"},
        {"stepFrame", R"({"winID":2,"forward":true})", true, "local.Step(2)"},
        {"stepFrame", R"({"winID":2,"forward":false})", false, ""},
        {"stepFrame", R"({"winID":3,"forward":true})", false, ""},
        {"seekByTime", R"({"winID":1,"year":2024,"month":5,"day":1,"hour":8,"minute":0,"second":1})", true,
         "rec.SeekByTime(1,2024,5,1,8,0,1)"},
        {"seekByTime", R"({"winID":2,"year":2024,"month":5,"day":1,"hour":8,"minute":0,"second":1})", false, ""},
        {"setPlayRefWin", R"({"winID":7,"enable":true})", true, "rec.SetPlayRefWin(7,1)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.method) + " " + c.params);
        EXPECT_EQ(Call(c.method, c.params), c.answer);
        EXPECT_EQ(Taken(), *c.call != '\0' ? Calls{c.call} : Calls{});
    }

    // The controls' refusals reach the page.
    recording->answer = false;
    local->answer = false;
    EXPECT_EQ(Call("pause", R"({"winID":1})"), false);
    EXPECT_EQ(Call("stepFrame", R"({"winID":2,"forward":true})"), false);
    EXPECT_EQ(Call("setPlayRefWin", R"({"winID":1,"enable":false})"), false);
}

TEST_F(PlayerCtrlRoutingTest, ASourceOfThePlayingKindRestartsTheWindow)
{
    ASSERT_TRUE(Vod(1, kShortInfo));
    ASSERT_TRUE(Start(1));
    Taken();
    ASSERT_TRUE(Vod(1, kFullInfo));  // no startPlayer needed
    EXPECT_EQ(Taken(), (Calls{"rec.SetGpuFlag(0)", "rec.Playback(1)", "rec.SetSpeed(1,2)"}));

    // Another kind waits for the page's start, then takes over the routing.
    ASSERT_TRUE(File(1, "/tmp/a.rkv"));
    EXPECT_EQ(Taken(), Calls{});
    EXPECT_EQ(Call("pause", R"({"winID":1})"), true);
    EXPECT_EQ(Taken(), Calls{"rec.Pause(1)"});
    ASSERT_TRUE(Start(1));
    ASSERT_TRUE(File(1, "/tmp/b.rkv"));
    EXPECT_EQ(Taken(), (Calls{"local.SetGpuFlag(0)", "local.PlayFile(1,/tmp/a.rkv)", "local.SetGpuFlag(0)",
                              "local.PlayFile(1,/tmp/b.rkv)"}));
    EXPECT_EQ(Call("pause", R"({"winID":1})"), true);
    EXPECT_EQ(Taken(), Calls{"local.Pause(1)"});
}

TEST_F(PlayerCtrlRoutingTest, ARefusedStartNeedsANewSource)
{
    recording->playbackAnswer = false;
    ASSERT_TRUE(Vod(1, kShortInfo));
    EXPECT_FALSE(Start(1));
    EXPECT_EQ(Taken(), (Calls{"rec.SetGpuFlag(0)", "rec.Playback(1)"}));  // no speed after a refusal
    EXPECT_TRUE(Start(1));
    EXPECT_EQ(Taken(), Calls{});
    EXPECT_EQ(Call("pause", R"({"winID":1})"), false);  // it does not play

    recording->playbackAnswer = true;
    ASSERT_TRUE(Vod(1, kShortInfo));
    EXPECT_TRUE(Start(1));
    EXPECT_EQ(Call("pause", R"({"winID":1})"), true);
}

TEST_F(PlayerCtrlRoutingTest, SixteenWindowsPlayAtMost)
{
    for (int winID = 0; winID < Tolvane::PlayerCtrl::kPlayingLimit; ++winID) {
        ASSERT_TRUE(File(winID, "/tmp/a.rkv"));
        ASSERT_TRUE(Start(winID));
    }
    ASSERT_TRUE(Vod(16, kShortInfo));
    EXPECT_FALSE(Start(16));
    ASSERT_TRUE(Vod(3, kShortInfo));  // one of the sixteen is admitted
    Taken();
    EXPECT_TRUE(Start(3));
    EXPECT_EQ(Taken(), (Calls{"rec.SetGpuFlag(0)", "rec.Playback(3)", "rec.SetSpeed(3,1)"}));
}

TEST_F(PlayerCtrlRoutingTest, ALogoutForgetsRecordingsAndFiles)
{
    ASSERT_TRUE(Vod(1, kShortInfo));
    ASSERT_TRUE(File(2, "/tmp/a.rkv"));
    ASSERT_TRUE(Start(2));
    control->OnDeviceLoginout(1);
    EXPECT_FALSE(Start(1));
    EXPECT_FALSE(Start(2));
    EXPECT_EQ(Call("pause", R"({"winID":2})"), false);
}

// The table is process-wide: the keys here are used by no other case.
TEST_F(PlayerCtrlRoutingTest, TranslateFillsTheTextTableWithStringsOnly)
{
    CStringsManager* table = CStringsManager::instance();
    EXPECT_EQ(Call("setTranslate", R"({"translate":{"tr.play":"Abspielen","tr.count":3,"tr.list":["x"],
        "tr.nested":{"a":"b"},"tr.empty":""}})"),
              true);
    EXPECT_EQ(table->getString("tr.play"), "Abspielen");
    EXPECT_TRUE(table->contains("tr.empty"));
    for (const char* skipped : {"tr.count", "tr.list", "tr.nested"})
        EXPECT_FALSE(table->contains(skipped)) << skipped;
    EXPECT_EQ(table->getString("tr.count", "fallback"), "fallback");

    // A later table replaces texts under the same key and keeps the others.
    EXPECT_EQ(Call("setTranslate", R"({"translate":{"tr.play":"Play \u00e9"}})"), true);
    EXPECT_EQ(table->getString("tr.play"), QString::fromUtf8("Play \xc3\xa9"));
    EXPECT_TRUE(table->contains("tr.empty"));

    // Anything but an object is refused and changes nothing.
    for (const char* params : {R"({"translate":"tr.play"})", R"({"translate":["tr.play","x"]})",
                               R"({"translate":null})", R"({"translate":7})"}) {
        EXPECT_EQ(Call("setTranslate", params), false) << params;
        EXPECT_EQ(table->getString("tr.play"), QString::fromUtf8("Play \xc3\xa9")) << params;
    }
}

}  // namespace
