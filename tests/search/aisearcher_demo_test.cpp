// The intelligent file search against the simulated demo device: its recordings come back as
// one batch, and a second search on the same device finds them again.

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "quillnetdev.h"
#include "searchfixture.h"

namespace {

using devtest::QuillnetStandIn;
using searchtest::Parse;
using searchtest::ResultSink;

const std::string kDemoFolder = std::string(DEMO_DEVICES_FOLDER) + "/demo";

class DemoDeviceSearch : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(QuillnetStandIn::Load(&error)) << error;
        std::ifstream in(kDemoFolder + "/device.json", std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_TRUE(Foundation::JsonParse(text, m_config)) << "no demo device in " << kDemoFolder;
        m_host = std::make_unique<testsupport::TestHost>();
        QuillnetStandIn::FillResolveTable(*m_host);
        QuillnetStandIn::StartSimulated(DEMO_DEVICES_FOLDER);
        m_device = std::make_unique<Tolvane::CQuillnetDev>(m_host->Context(), "");
        ASSERT_EQ(m_device->LoginDevice("127.0.0.1", 37777, 0, "admin", "admin123", 0, 0), 0);
        searchtest::RegisterDeviceMgr(m_host->Context(), m_device.get());
    }

    void TearDown() override
    {
        if (m_device) {
            m_device->LogoutDevice();
        }
        m_host->ClearObjects();
        m_device.reset();
        QuillnetStandIn::StartScripted();
        m_host.reset();
    }

    std::vector<std::string> RecordedPaths() const
    {
        std::vector<std::string> paths;
        for (const Json::Value& recording : m_config["recordings"]) {
            paths.push_back(recording["filePath"].asString());
        }
        return paths;
    }

    Json::Value m_config;
    std::unique_ptr<testsupport::TestHost> m_host;
    std::unique_ptr<Tolvane::CQuillnetDev> m_device;
};

TEST_F(DemoDeviceSearch, FindsTheDeviceRecordingsEachTime)
{
    const std::vector<std::string> expected = RecordedPaths();
    ASSERT_FALSE(expected.empty());
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        QuillnetStandIn::ClearJournal();
        ResultSink sink;
        {
            Tolvane::CAiSearcher searcher(
                m_host->Context(),
                Parse(R"({"Channel": [0, 1, 3], "StartTime": "2024-05-01 00:00:00", "EndTime": "2024-05-01 23:59:59"})"),
                100);
            searcher.SetResultSink(sink.Delegate());
            ASSERT_TRUE(searcher.Start());
            ASSERT_TRUE(searchtest::WaitForDestroy());
        }
        const std::vector<Json::Value> batches = sink.Batches();
        ASSERT_EQ(batches.size(), 1u);
        std::vector<std::string> paths;
        for (const Json::Value& record : batches[0]) {
            paths.push_back(record["FilePath"].asString());
        }
        EXPECT_EQ(paths, expected);
        EXPECT_EQ(searchtest::Methods(),
                  (std::vector<std::string>{"mediaFileFind.factory.create", "mediaFileFind.findFile",
                                            "mediaFileFind.findNextFile", "mediaFileFind.destroy"}));
    }
}

// Fewer wanted than the device holds: the batch stops at the wanted number.
TEST_F(DemoDeviceSearch, StopsAtTheWantedNumber)
{
    ResultSink sink;
    {
        Tolvane::CAiSearcher searcher(m_host->Context(), Parse(R"({"Channel": [0]})"), 2);
        searcher.SetResultSink(sink.Delegate());
        ASSERT_TRUE(searcher.Start());
        ASSERT_TRUE(searchtest::WaitForDestroy());
    }
    ASSERT_EQ(sink.Sizes(), std::vector<int>{2});
    EXPECT_EQ(sink.Batches()[0][1]["FilePath"].asString(), RecordedPaths()[1]);
}

}  // namespace
