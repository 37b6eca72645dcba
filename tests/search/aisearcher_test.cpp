// The intelligent file search against scripted answers of the device library: pages, the
// batches handed to the sink, the requests sent and how failures end the search.

#include <future>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "searchfixture.h"
#include "streamsink.h"

namespace {

using devtest::QuillnetStandIn;
using searchtest::Compact;
using searchtest::Methods;
using searchtest::Parse;
using searchtest::ResultSink;

const char kCreate[] = "mediaFileFind.factory.create";
const char kFind[] = "mediaFileFind.findFile";
const char kNext[] = "mediaFileFind.findNextFile";
const char kDestroy[] = "mediaFileFind.destroy";

const char kCondition[] = R"({"Channel": [0, 1], "StartTime": "2024-05-01 00:00:00",
                             "EndTime": "2024-05-01 23:59:59", "Types": ["rec"]})";

std::string Answer(const std::string& answer)
{
    return R"({"answer": )" + answer + "}";
}

const std::string kTransportFailure = R"({"result": 0, "lastError": 11})";

// A page that reports `found` and carries `records` records numbered from `first`.
std::string Page(int found, int records, int first = 0)
{
    Json::Value answer;
    answer["result"] = true;
    answer["params"]["found"] = found;
    answer["params"]["infos"] = Json::Value(Json::arrayValue);
    for (int i = 0; i < records; ++i) {
        Json::Value record;
        record["FilePath"] = "/mnt/rec/" + std::to_string(first + i) + ".rec";
        answer["params"]["infos"].append(record);
    }
    Json::Value outcome;
    outcome["answer"] = answer;
    return Compact(outcome);
}

class AiSearcher : public devtest::ScriptedDeviceTest {
protected:
    void SetUp() override
    {
        devtest::ScriptedDeviceTest::SetUp();
        searchtest::RegisterDeviceMgr(Context(), &Device());
    }

    static void ScriptTransmits(const std::vector<std::string>& outcomes)
    {
        for (const std::string& outcome : outcomes) {
            QuillnetStandIn::Script("CLIENT_TransmitInfoForWebEx", outcome.c_str());
        }
    }

    // Runs a search until the finder is destroyed (or no worker ran) and deletes it.
    void RunSearch(int wanted, ResultSink& sink, bool expectWorker = true)
    {
        auto searcher = std::make_unique<Tolvane::CAiSearcher>(Context(), Parse(kCondition), wanted);
        EXPECT_TRUE(searcher->SetResultSink(sink.Delegate()));
        EXPECT_TRUE(searcher->Start());
        if (expectWorker) {
            EXPECT_TRUE(searchtest::WaitForDestroy());
        }
        searcher.reset();
    }
};

TEST_F(AiSearcher, PagesUntilTheDeviceRunsOutOrEnoughAreFound)
{
    const std::string created = Answer(R"({"result": 7})");
    const std::string found = Answer(R"({"result": true})");
    const std::string destroyed = Answer(R"({"result": true})");
    struct Case {
        const char* what;
        int wanted;
        std::vector<std::string> outcomes;
        std::vector<int> batches;
        std::vector<std::string> methods;
    };
    const Case cases[] = {
        {"150 wanted of 400", 150, {created, found, Page(100, 100, 0), Page(100, 100, 100), destroyed},
         {100, 50}, {kCreate, kFind, kNext, kNext, kDestroy}},
        {"37 matches", 500, {created, found, Page(37, 37), destroyed}, {37}, {kCreate, kFind, kNext, kDestroy}},
        {"no match", 10, {created, found, Page(0, 0), destroyed}, {}, {kCreate, kFind, kNext, kDestroy}},
        {"a full page is all that is wanted", 100, {created, found, Page(100, 100), destroyed}, {100},
         {kCreate, kFind, kNext, kDestroy}},
        {"the device sends fewer records than it reports", 500,
         {created, found, Page(100, 3), Page(0, 0), destroyed}, {3}, {kCreate, kFind, kNext, kNext, kDestroy}},
        {"a failing page ends the search", 500, {created, found, Page(100, 100), kTransportFailure, destroyed},
         {100}, {kCreate, kFind, kNext, kNext, kDestroy}},
        {"a page the device refuses ends the search", 500, {created, found, Answer(R"({"result": false})")},
         {}, {kCreate, kFind, kNext, kDestroy}},
        {"find refused: the finder is destroyed at once", 10, {created, Answer(R"({"result": false})"), destroyed},
         {}, {kCreate, kFind, kDestroy}},
        {"find fails in transport", 10, {created, kTransportFailure, destroyed}, {}, {kCreate, kFind, kDestroy}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QuillnetStandIn::ClearScript();
        QuillnetStandIn::ClearJournal();
        ScriptTransmits(c.outcomes);
        ResultSink sink;
        RunSearch(c.wanted, sink);
        EXPECT_EQ(sink.Sizes(), c.batches);
        EXPECT_EQ(Methods(), c.methods);
    }
}

TEST_F(AiSearcher, NoFinderNoFurtherRequests)
{
    struct Case {
        const char* what;
        std::string outcome;
    };
    const Case cases[] = {
        {"no id in the answer", Answer(R"({"result": true})")},
        {"id 0", Answer(R"({"result": 0})")},
        {"negative id", Answer(R"({"result": -5})")},
        {"id as text", Answer(R"({"result": "7"})")},
        {"transport failure", kTransportFailure},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QuillnetStandIn::ClearScript();
        QuillnetStandIn::ClearJournal();
        ScriptTransmits({c.outcome});
        ResultSink sink;
        RunSearch(10, sink, false);
        EXPECT_TRUE(sink.Batches().empty());
        EXPECT_EQ(Methods(), std::vector<std::string>{kCreate});
    }
}

TEST_F(AiSearcher, RequestsCarryTheFinderAndTheCondition)
{
    ScriptTransmits({Answer(R"({"result": 4000000000})"), Answer(R"({"result": true})"), Page(100, 100, 0),
                     Page(30, 30, 100), Answer("{}")});
    ResultSink sink;
    RunSearch(1000, sink);
    const std::vector<Json::Value> requests = searchtest::Requests();
    ASSERT_EQ(requests.size(), 5u);
    EXPECT_EQ(Compact(requests[0]), R"({"method":"mediaFileFind.factory.create","params":""})");
    EXPECT_EQ(Compact(requests[1]), R"({"method":"mediaFileFind.findFile","object":4000000000,"params":{"condition":)" +
                                        Compact(Parse(kCondition)) + "}}");
    EXPECT_EQ(Compact(requests[2]), R"({"method":"mediaFileFind.findNextFile","object":4000000000,"params":{"count":100}})");
    EXPECT_EQ(requests[3], requests[2]);
    EXPECT_EQ(Compact(requests[4]), R"({"method":"mediaFileFind.destroy","object":4000000000,"params":""})");
    for (const Json::Value& call : QuillnetStandIn::CallsOf("CLIENT_TransmitInfoForWebEx")) {
        EXPECT_EQ(call["args"][3].asInt(), 3000);
    }
    // The batches are the device's records in order.
    const std::vector<Json::Value> batches = sink.Batches();
    ASSERT_EQ(sink.Sizes(), (std::vector<int>{100, 30}));
    EXPECT_EQ(batches[0][0]["FilePath"].asString(), "/mnt/rec/0.rec");
    EXPECT_EQ(batches[1][29]["FilePath"].asString(), "/mnt/rec/129.rec");
}

TEST_F(AiSearcher, OnlyRecordsAreHandedOn)
{
    ScriptTransmits({Answer(R"({"result": 7})"), Answer(R"({"result": true})"),
                     Answer(R"({"result": true, "params": {"found": 4,
                                "infos": [{"FilePath": "a"}, "junk", null, {"FilePath": "b"}]}})"),
                     Answer(R"({"result": true})")});
    ResultSink sink;
    RunSearch(10, sink);
    const std::vector<Json::Value> batches = sink.Batches();
    ASSERT_EQ(batches.size(), 1u);
    EXPECT_EQ(batches[0], Parse(R"([{"FilePath": "a"}, {"FilePath": "b"}])"));
}

TEST_F(AiSearcher, SinkAnswersDecideBetweenRetryAndEnd)
{
    struct Case {
        const char* what;
        std::deque<int> answers;
        std::vector<int> batches;
        std::vector<std::string> methods;
    };
    const Case cases[] = {
        // Two refusals: the same batch comes three times, a second apart.
        {"not taken twice", {0, 0, 1}, {100, 100, 100, 20}, {kCreate, kFind, kNext, kNext, kDestroy}},
        {"end asked for", {-1}, {100}, {kCreate, kFind, kNext, kDestroy}},
        {"other answers take the batch", {2, 7}, {100, 20}, {kCreate, kFind, kNext, kNext, kDestroy}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QuillnetStandIn::ClearScript();
        QuillnetStandIn::ClearJournal();
        ScriptTransmits({Answer(R"({"result": 7})"), Answer(R"({"result": true})"), Page(100, 100), Page(20, 20, 100),
                         Answer(R"({"result": true})")});
        ResultSink sink(c.answers);
        RunSearch(1000, sink);
        EXPECT_EQ(sink.Sizes(), c.batches);
        EXPECT_EQ(Methods(), c.methods);
        const std::vector<Json::Value> batches = sink.Batches();
        for (size_t i = 1; i + 1 < batches.size() && c.answers.front() == 0; ++i) {
            EXPECT_EQ(batches[i], batches[0]);
        }
    }
}

TEST_F(AiSearcher, DestroyingStopsASinkThatNeverTakes)
{
    ScriptTransmits({Answer(R"({"result": 7})"), Answer(R"({"result": true})"), Page(100, 100),
                     Answer(R"({"result": true})")});
    ResultSink sink({}, 0);
    auto searcher = std::make_unique<Tolvane::CAiSearcher>(Context(), Parse(kCondition), 1000);
    searcher->SetResultSink(sink.Delegate());
    ASSERT_TRUE(searcher->Start());
    ASSERT_TRUE(searchtest::WaitFor([&] { return !sink.Batches().empty(); }));
    std::future<void> destroyed = std::async(std::launch::async, [&] { searcher.reset(); });
    ASSERT_EQ(destroyed.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(Methods(), (std::vector<std::string>{kCreate, kFind, kNext, kDestroy}));
}

TEST_F(AiSearcher, OnceEndedItDoesNotStartAgain)
{
    ScriptTransmits({Answer(R"({"result": 7})"), Answer(R"({"result": true})"), Page(5, 5),
                     Answer(R"({"result": true})")});
    ResultSink sink;
    Tolvane::CAiSearcher searcher(Context(), Parse(kCondition), 10);
    searcher.SetResultSink(sink.Delegate());
    ASSERT_TRUE(searcher.Start());
    ASSERT_TRUE(searchtest::WaitForDestroy());
    QuillnetStandIn::ClearJournal();
    EXPECT_FALSE(searcher.Start());
    EXPECT_TRUE(Methods().empty());
}

TEST_F(AiSearcher, WithoutADeviceNothingIsSent)
{
    struct Case {
        const char* what;
        bool manager;
    };
    for (const Case& c : {Case{"no device manager", false}, Case{"logged out", true}}) {
        SCOPED_TRACE(c.what);
        testsupport::TestHost host;
        if (c.manager) {
            searchtest::RegisterDeviceMgr(host.Context(), nullptr);
        }
        QuillnetStandIn::ClearJournal();
        ResultSink sink;
        {
            Tolvane::CAiSearcher searcher(host.Context(), Parse(kCondition), 10);
            searcher.SetResultSink(sink.Delegate());
            EXPECT_TRUE(searcher.Start());
        }
        EXPECT_TRUE(sink.Batches().empty());
        EXPECT_TRUE(QuillnetStandIn::Journal().empty());
        host.ClearObjects();
    }
}

}  // namespace
