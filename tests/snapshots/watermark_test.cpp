// The watermark check against a recording player: the port it opens, the feed, the
// progress and result events, stopping, and what the library's callback reports.

#include <algorithm>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <foundation/HostCalls.h>
#include <foundation/JsonRead.h>
#include <foundation/TypeNames.h>

#include "TestHost.h"
#include "logfacade.h"
#include "fakeplay.h"
#include "watermark.h"

namespace snaptest {
namespace {

using Tolvane::CWatermark;

// {pos, total, status} of a "WaterMarkPos" event.
struct Pos {
    int pos, total, status;
    bool operator==(const Pos& o) const { return pos == o.pos && total == o.total && status == o.status; }
};

std::ostream& operator<<(std::ostream& out, const Pos& p)
{
    return out << "{" << p.pos << "," << p.total << "," << p.status << "}";
}

const std::vector<std::string> kOpenCalls = {
    "PLAY_SetStreamOpenMode(90,1)",          "PLAY_OpenStream(90,null,0,102400)", "PLAY_SetDisplayCallBack(90,null,null)",
    "PLAY_SetDecCallBack(90,null)",          "PLAY_Play(90,null)",                "PLAY_SetWaterMarkCallBackEx(90,fn,user)",
};

bool WaitFor(const std::function<bool()>& done, int timeoutMs = 5000)
{
    for (int waited = 0; !done(); waited += 2) {
        if (waited > timeoutMs) {
            return false;
        }
        QThread::msleep(2);
    }
    return true;
}

class WatermarkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        fakeplay::Reset();
        m_host = std::make_unique<testsupport::TestHost>();
        Tolvane::SetUpModuleLogger(m_host->Context());
        fakeplay::FillResolveTable(*m_host);
        CWatermark::CreateSvrObject(m_host->Context(), "");
        m_host->EmitImplComLoaded();
        check = m_host->QueryService<CWatermark>(Foundation::TypeName::CWatermark);
        ASSERT_TRUE(check);
    }

    void TearDown() override
    {
        check->StopVerifyWatermark();
        check.reset();
        m_host->EmitImplComPreRelease();
        m_host->ClearMethods();
        m_host->ClearObjects();
        Tolvane::SetModuleLogger(nullptr);
        m_host.reset();
    }

    std::string WriteFile(const std::string& name, qint64 size)
    {
        const QString path = m_folder.path() + "/" + QString::fromStdString(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        QByteArray bytes(int(size), '\0');
        for (int i = 0; i < bytes.size(); ++i) {
            bytes[i] = char(i * 7);
        }
        file.write(bytes);
        return path.toStdString();
    }
    std::string Folder() const { return m_folder.path().toStdString(); }

    // The "result" member of the method's reply.
    Json::Value Call(const std::string& method, const std::string& params)
    {
        Json::Value reply;
        const std::string text = m_host->CallMethod(method, params);
        EXPECT_TRUE(Foundation::JsonParse(text, reply)) << text;
        return Foundation::JsonMember(reply, "result");
    }
    Json::Value Start(const std::string& path)
    {
        Json::Value params(Json::objectValue);
        params["fullPath"] = path;
        return Call("StartVerifyWatermark", Foundation::JsonFastText(params));
    }
    // Runs a whole check of the file.
    void Check(const std::string& path)
    {
        EXPECT_EQ(Start(path)["result"], Json::Value(1));
        check->WaitForCheck();
        EXPECT_FALSE(check->IsRunning());
    }

    std::vector<Json::Value> Events(const std::string& name)
    {
        std::vector<Json::Value> events;
        for (const std::string& text : m_host->SentTexts()) {
            Json::Value event;
            if (Foundation::JsonParse(text, event) && Foundation::JsonMember(event, "event") == Json::Value(name)) {
                events.push_back(Foundation::JsonMember(event, "params"));
            }
        }
        return events;
    }
    std::vector<Pos> Positions()
    {
        std::vector<Pos> positions;
        for (const Json::Value& p : Events("WaterMarkPos")) {
            positions.push_back({Foundation::JsonToInt(p["pos"]), Foundation::JsonToInt(p["total"]),
                                 Foundation::JsonToInt(p["status"])});
        }
        return positions;
    }

    testsupport::TestHost& Host() { return *m_host; }

    Foundation::CSharedPtr<CWatermark> check;

private:
    QTemporaryDir m_folder;
    std::unique_ptr<testsupport::TestHost> m_host;
};

TEST_F(WatermarkTest, WholeFileIsFedThroughPortNinetyWithProgress)
{
    Check(WriteFile("rec.rkv", 10000));

    std::vector<std::string> expected = kOpenCalls;
    expected.push_back("PLAY_Stop(90)");
    expected.push_back("PLAY_CloseStream(90)");
    EXPECT_EQ(fakeplay::Calls(), expected);
    EXPECT_EQ(fakeplay::AcceptedBlocks(), (std::vector<int32_t>{4096, 4096, 1808}));
    EXPECT_EQ(Positions(), (std::vector<Pos>{{0, 100, 0}, {40, 100, 0}, {81, 100, 0}, {100, 100, 1}}));
    EXPECT_TRUE(Events("WaterMarkInfo").empty());
}

TEST_F(WatermarkTest, ProgressIsSentOnlyWhenThePercentChanges)
{
    Check(WriteFile("long.rkv", 4096 * 300));
    EXPECT_EQ(fakeplay::AcceptedBlocks().size(), 300u);
    const std::vector<Pos> positions = Positions();
    ASSERT_EQ(positions.size(), 101u);
    for (size_t i = 0; i < 100; ++i) {
        EXPECT_EQ(positions[i], (Pos{int(i), 100, 0}));
    }
    EXPECT_EQ(positions.back(), (Pos{100, 100, 1}));
}

TEST_F(WatermarkTest, FileProblemsAreReportedWithTheirStatus)
{
    struct Case {
        const char* what;
        std::string path;
        Pos expected;
    };
    const Case cases[] = {
        {"missing file", Folder() + "/absent.rkv", {0, 100, -3}},
        {"empty file", WriteFile("empty.rkv", 0), {0, 100, -2}},
        {"empty path", "", {0, 100, -3}},
    };
    for (const Case& c : cases) {
        fakeplay::Reset();
        Host().ClearSentTexts();
        Check(c.path);
        EXPECT_EQ(Positions(), std::vector<Pos>{c.expected}) << c.what;
        EXPECT_TRUE(fakeplay::AcceptedBlocks().empty()) << c.what;
        const std::vector<std::string> calls = fakeplay::Calls();
        ASSERT_GE(calls.size(), 2u);
        EXPECT_EQ(calls[calls.size() - 2], "PLAY_Stop(90)") << c.what;
        EXPECT_EQ(calls.back(), "PLAY_CloseStream(90)") << c.what;
    }
}

TEST_F(WatermarkTest, PortThatDoesNotOpenEndsTheCheckWithAFailure)
{
    for (size_t failing = 0; failing < kOpenCalls.size(); ++failing) {
        const std::string name = kOpenCalls[failing].substr(0, kOpenCalls[failing].find('('));
        fakeplay::Reset();
        fakeplay::FailFunction(name);
        Host().ClearSentTexts();
        Check(WriteFile("rec.rkv", 5000));

        std::vector<std::string> expected(kOpenCalls.begin(), kOpenCalls.begin() + failing + 1);
        expected.push_back("PLAY_CloseStream(90)");
        EXPECT_EQ(fakeplay::Calls(), expected) << name;
        EXPECT_TRUE(fakeplay::AcceptedBlocks().empty()) << name;
        EXPECT_EQ(Positions(), std::vector<Pos>{(Pos{0, 100, -3})}) << name;
    }

    // A host without the player library at all.
    Host().ClearSentTexts();
    for (const char* name : {"PLAY_SetStreamOpenMode", "PLAY_CloseStream"}) {
        Host().SetFunction("play", name, nullptr);
    }
    Check(WriteFile("rec.rkv", 5000));
    EXPECT_EQ(Positions(), std::vector<Pos>{(Pos{0, 100, -3})});
}

TEST_F(WatermarkTest, StopEndsTheFeedWithTheLastPercent)
{
    const std::string path = WriteFile("rec.rkv", 4096 * 3);
    fakeplay::SetInputBudget(2);  // the third block is refused until the check stops
    EXPECT_EQ(Start(path)["result"], Json::Value(1));
    ASSERT_TRUE(WaitFor([] { return fakeplay::RefusedInputs() >= 3; }));
    EXPECT_TRUE(check->IsRunning());

    const std::string other = WriteFile("other.rkv", 100);
    Json::Value busy(Json::objectValue);
    busy["result"] = 0;
    busy["params"] = Json::Value();
    EXPECT_EQ(Start(other), busy)
        << "a check is running";

    Json::Value stopped = Call("StopVerifyWatermark", "{}");
    EXPECT_EQ(stopped["result"], Json::Value(1));
    EXPECT_TRUE(stopped.isMember("params") && stopped["params"].isNull());
    check->WaitForCheck();
    EXPECT_FALSE(check->IsRunning());
    EXPECT_EQ(Positions(), (std::vector<Pos>{{0, 100, 0}, {33, 100, 0}, {66, 100, 0}, {66, 100, -1}}));
    EXPECT_EQ(fakeplay::AcceptedBlocks(), (std::vector<int32_t>{4096, 4096}));
    EXPECT_EQ(fakeplay::Calls().back(), "PLAY_CloseStream(90)");

    // The next check runs normally.
    fakeplay::SetInputBudget(-1);
    Host().ClearSentTexts();
    Check(other);
    EXPECT_EQ(Positions(), (std::vector<Pos>{{0, 100, 0}, {100, 100, 1}}));
}

TEST_F(WatermarkTest, StopBeforeAnyProgressReportsMinusOne)
{
    fakeplay::SetInputOpen(false);
    EXPECT_EQ(Start(WriteFile("rec.rkv", 100))["result"], Json::Value(1));
    ASSERT_TRUE(WaitFor([] { return fakeplay::RefusedInputs() >= 1; }));
    check->StopVerifyWatermark();
    check->WaitForCheck();
    EXPECT_EQ(Positions(), (std::vector<Pos>{{0, 100, 0}, {0, 100, -1}}));
}

TEST_F(WatermarkTest, CallbackReportsTheFirstTextAndEveryFault)
{
    fakeplay::SetInputOpen(false);  // the check stays running while the library reports
    EXPECT_EQ(Start(WriteFile("rec.rkv", 100))["result"], Json::Value(1));
    ASSERT_TRUE(WaitFor([] { return fakeplay::HasWaterMarkCallBack(); }));

    const int64_t when = 1700000000;
    const std::string longText(256, 'L');
    const std::string longestText(255, 'M');
    struct Call {
        const char* buffer;
        int32_t length;
        int32_t kind;
        int32_t flag;
    };
    const Call calls[] = {
        {"ACME", 4, 1, 0},
        {"ACME", 4, 1, 0},                       // known text: no event
        {"OTHER\0junk", 10, 1, 0},               // kept as "OTHER", no event
        {"FLAGGED", 7, 1, 1},                    // not a text report
        {longText.c_str(), 256, 1, 0},           // too long
        {longestText.c_str(), 255, 1, 0},        // kept
        {nullptr, 4, 1, 0},
        {"ACME", -1, 1, 0},
        {"X", 1, 0, 0},
        {"X", 1, 7, 0},
        {"", 0, 2, 0},
        {"", 0, 3, 0},
        {"", 0, 4, 0},
        {"", 0, 5, 0},
        {"", 0, 6, 1},
    };
    for (const Call& c : calls) {
        EXPECT_EQ(fakeplay::FireWaterMark(c.buffer, c.length, c.kind, c.flag, when), 0);
    }

    std::tm parts{};
    const std::time_t seconds = when;
    localtime_r(&seconds, &parts);
    char time[64];
    std::strftime(time, sizeof time, "%Y-%m-%d %H:%M:%S", &parts);

    const std::vector<Json::Value> infos = Events("WaterMarkInfo");
    ASSERT_EQ(infos.size(), 6u);
    EXPECT_EQ(infos[0]["waterMark"], Json::Value("ACME"));
    EXPECT_EQ(infos[0]["waterMarkNo"], Json::Value(1));
    EXPECT_EQ(infos[0]["errNo"], Json::Value(0));
    EXPECT_EQ(infos[0]["errType"], Json::Value(1));
    EXPECT_EQ(infos[0]["time"], Json::Value(""));
    for (int i = 1; i < 6; ++i) {
        EXPECT_EQ(infos[i]["waterMark"], Json::Value(""));
        EXPECT_EQ(infos[i]["waterMarkNo"], Json::Value(0));
        EXPECT_EQ(infos[i]["errNo"], Json::Value(i));
        EXPECT_EQ(infos[i]["errType"], Json::Value(i + 1));
        EXPECT_EQ(infos[i]["time"], Json::Value(time));
    }
    const std::vector<CWatermark::Entry> found = check->FoundEntries();
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].text, "ACME");
    EXPECT_EQ(found[1].text, "OTHER");
    EXPECT_EQ(found[2].text, longestText);
    EXPECT_EQ(found[2].number, 3);

    // A new check starts counting afresh: its first text is reported again.
    check->StopVerifyWatermark();
    check->WaitForCheck();
    Host().ClearSentTexts();
    EXPECT_EQ(Start(WriteFile("next.rkv", 100))["result"], Json::Value(1));
    ASSERT_TRUE(WaitFor([] { return fakeplay::HasWaterMarkCallBack(); }));
    fakeplay::FireWaterMark("OTHER", 5, 1, 0, 0);
    fakeplay::FireWaterMark("", 0, 2, 0, when);
    const std::vector<Json::Value> again = Events("WaterMarkInfo");
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(again[0]["waterMark"], Json::Value("OTHER"));
    EXPECT_EQ(again[0]["waterMarkNo"], Json::Value(1));
    EXPECT_EQ(again[1]["errNo"], Json::Value(1));
    EXPECT_EQ(check->FoundEntries().size(), 1u);
}

TEST_F(WatermarkTest, ConcurrentStartsBeginOneCheck)
{
    fakeplay::SetInputOpen(false);
    const std::string path = WriteFile("rec.rkv", 100);
    std::vector<int> results(8, -1);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < results.size(); ++i) {
        threads.emplace_back([&, i] { results[i] = Foundation::JsonToInt(check->StartVerifyWatermark(path)["result"]); });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    EXPECT_EQ(std::count(results.begin(), results.end(), 1), 1);
    EXPECT_EQ(std::count(results.begin(), results.end(), 0), 7);
    check->StopVerifyWatermark();
    check->WaitForCheck();
    const std::vector<std::string> calls = fakeplay::Calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "PLAY_OpenStream(90,null,0,102400)"), 1);
}

TEST_F(WatermarkTest, MethodsTakeTheirNamedParameters)
{
    const Json::Value stopped = Call("StopVerifyWatermark", "{}");
    EXPECT_EQ(stopped["result"], Json::Value(1)) << "stopping while idle is fine";
    const std::string wrongType = Host().CallMethod("StartVerifyWatermark", R"({"fullPath":5})");
    EXPECT_NE(wrongType.find("Method not exist"), std::string::npos) << wrongType;
    EXPECT_TRUE(fakeplay::Calls().empty());
}

}  // namespace
}  // namespace snaptest
