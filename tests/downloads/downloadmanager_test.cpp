// The download service: tokens, the once-a-second scheduling of at most four jobs, the page
// records made from progress records, remote downloads with their events, disk space, and a
// real download from the simulated demo device.

#include <memory>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QThread>

#include "downloadctrl.h"
#include "downloadfixture.h"
#include "downloadmanager.h"
#include "quillnetdev.h"

namespace {

using devtest::QuillnetStandIn;
using dltest::Parse;
using dltest::ReadFile;

// A job whose progress record the test sets.
class ScriptedJob : public Tolvane::CDownloadCtrl {
public:
    explicit ScriptedJob(bool search) : m_search(search) {}
    bool Start() override
    {
        started = true;
        return true;
    }
    Json::Value GetProgress() override { return progress; }
    bool Stop(const Json::Value&) override
    {
        progress["State"] = 3;
        return true;
    }
    bool IsSearch() const { return m_search; }

    bool started = false;
    Json::Value progress = Parse(R"({"TotalCount": 1, "State": 0})");

private:
    bool m_search;
};

class ScriptedManager : public Tolvane::CDownloadManager {
public:
    explicit ScriptedManager(HostContext* context) : CDownloadManager(context, "") {}
    std::vector<ScriptedJob*> jobs;

protected:
    Tolvane::CDownloadCtrl* MakeJob(const Json::Value&, const std::string&) override
    {
        jobs.push_back(new ScriptedJob(false));
        return jobs.back();
    }
};

class Service : public dltest::DownloadTest {};

TEST(JobRecords, ProgressRecordsBecomePerFileRecords)
{
    struct Case {
        const char* what;
        const char* progress;
        const char* records;
    };
    const Case cases[] = {
        {"succeeded, current and waiting",
         R"({"TotalCount": 3, "SucceededFileIds": [1], "FailedFileIds": [], "DeletedFileIds": [],
             "ProcessingStates": [], "CurrentFileId": 2, "CurrentFileProcess": 40.5, "State": 2})",
         R"([{"token": 7, "fileId": 0, "process": 0.0, "state": 0},
             {"token": 7, "fileId": 1, "process": 100.0, "state": 3},
             {"token": 7, "fileId": 2, "process": 40.5, "state": 2}])"},
        {"failed, deleted and paused",
         R"({"TotalCount": 3, "SucceededFileIds": [], "FailedFileIds": [0], "DeletedFileIds": [1],
             "ProcessingStates": [{"FileId": 2, "Process": 12.0, "DownloadedSize": 9, "State": 4}],
             "CurrentFileId": -1, "State": 2})",
         R"([{"token": 7, "fileId": 0, "process": 0.0, "state": 5},
             {"token": 7, "fileId": 1, "process": 0.0, "state": 3},
             {"token": 7, "fileId": 2, "process": 12.0, "state": 4}])"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedJob job(false);
        job.progress = Parse(c.progress);
        Json::Value files(Json::arrayValue);
        Json::Value whole(Json::arrayValue);
        EXPECT_EQ(Tolvane::CDownloadManager::AppendJobRecords(7, &job, files, whole), 2);
        EXPECT_EQ(files, Parse(c.records));
        EXPECT_TRUE(whole.empty());
    }
}

TEST_F(Service, FiveJobsStartOnePerTickAndEndedJobsAreReportedOnceMore)
{
    ScriptedManager manager(Context());
    std::vector<int> tokens;
    for (int i = 0; i < 5; ++i) {
        tokens.push_back(manager.download(0, Json::Value(Json::arrayValue), Folder()));
    }
    for (int i = 1; i < 5; ++i) {
        EXPECT_EQ(tokens[i], tokens[i - 1] + 1);
    }
    EXPECT_FALSE(manager.dpause(tokens[0], Json::Value()));  // waiting jobs cannot be paused
    for (int tick = 0; tick < 4; ++tick) {
        manager.OnTick(1);
        EXPECT_TRUE(manager.jobs[tick]->started);
    }
    manager.OnTick(1);
    EXPECT_FALSE(manager.jobs[4]->started);
    EXPECT_TRUE(manager.dpause(tokens[0], Json::Value()));  // running now

    Host().ClearSentTexts();
    manager.jobs[1]->progress = Parse(R"({"TotalCount": 1, "SucceededFileIds": [0], "State": 3})");
    manager.OnTick(1);  // reported with its final state, removed, and the fifth starts
    EXPECT_TRUE(manager.jobs[4]->started);
    EXPECT_TRUE(manager.getState(tokens[1]).isNull());
    ASSERT_FALSE(Host().SentTexts().empty());
    const Json::Value event = Parse(Host().SentTexts().back());
    EXPECT_EQ(event["event"].asString(), "notifyDownloadProcess");
    EXPECT_EQ(event["params"][1], Parse(R"({"token": )" + std::to_string(tokens[1]) +
                                        R"(, "fileId": 0, "process": 100.0, "state": 3})"));

    EXPECT_TRUE(manager.stop(tokens[4], Json::Value()));
    EXPECT_FALSE(manager.stop(tokens[1], Json::Value()));
    EXPECT_EQ(manager.getState(tokens[4])[0]["state"].asInt(), 0);
}

TEST_F(Service, RemoteDownloadReportsEachFile)
{
    Tolvane::CDownloadManager manager(Context(), "");
    QuillnetStandIn::Script("CLIENT_DownloadRemoteFile", R"({"data": "one"})");
    Json::Value request;
    request["filePath"] = "/mnt/pic/a.jpg";
    request["savePath"] = Folder() + "/remote";
    EXPECT_TRUE(manager.downloadRemoteFile(request));
    manager.WaitForBackgroundTasks();
    ASSERT_TRUE(Host().WaitForSentCount(1));
    EXPECT_EQ(Parse(Host().SentTexts().back())["params"],
              Parse(R"({"FilePath": ["/mnt/pic/a.jpg"], "TotalNum": 1, "SuccessedNum": 1})"));
    EXPECT_EQ(ReadFile(Folder() + "/remote/a.jpg"), "one");

    // Two contents, the second not decodable into a file name that can be written.
    Host().ClearSentTexts();
    Json::Value contents;
    contents["SavePath"] = Folder() + "/remote";
    contents["FileContents"] = Parse(R"(["base64,aGk=", "aGk="])");
    contents["SaveName"] = Parse(R"(["hi.txt", "missing/x.txt"])");
    manager.downloadRemoteFile(contents);
    manager.WaitForBackgroundTasks();
    ASSERT_TRUE(Host().WaitForSentCount(2));
    EXPECT_EQ(Parse(Host().SentTexts()[1])["params"]["SuccessedNum"].asInt(), 1);
    EXPECT_EQ(Parse(Host().SentTexts()[1])["params"]["FailedNum"].asInt(), 1);
    EXPECT_EQ(ReadFile(Folder() + "/remote/hi.txt"), "hi");

    // An array under a lower-case name is not read: nothing is fetched and nothing reported.
    Host().ClearSentTexts();
    Json::Value lower;
    lower["filePath"] = Parse(R"(["/a"])");
    manager.downloadRemoteFile(lower);
    manager.WaitForBackgroundTasks();
    EXPECT_TRUE(Host().SentTexts().empty());
}

TEST_F(Service, DiskFreeSpaceIsDigitsOrTheFailureText)
{
    Tolvane::CDownloadManager manager(Context(), "");
    const std::string free = manager.getDiskFreeSpace(Folder());
    ASSERT_FALSE(free.empty());
    EXPECT_EQ(free.find_first_not_of("0123456789"), std::string::npos) << free;
    EXPECT_EQ(manager.getDiskFreeSpace(""), "GetDiskFreeSpaceFailed");
}

// A video downloaded from the simulated demo device lands byte for byte.
TEST(DemoDownload, RecordingLandsByteIdentical)
{
    std::string error;
    ASSERT_TRUE(QuillnetStandIn::Load(&error)) << error;
    const std::string demo = std::string(DEMO_DEVICES_FOLDER) + "/demo";
    Json::Value config;
    ASSERT_TRUE(Foundation::JsonParse(ReadFile(demo + "/device.json"), config));
    Json::Value recording;
    for (const Json::Value& r : config["recordings"]) {
        if (r["channel"].asInt() == 3) {
            recording = r;
        }
    }
    ASSERT_FALSE(recording.isNull());

    QTemporaryDir dir;
    auto host = std::make_unique<testsupport::TestHost>();
    QuillnetStandIn::FillResolveTable(*host);
    QuillnetStandIn::StartSimulated(DEMO_DEVICES_FOLDER);
    {
        Tolvane::CQuillnetDev device(host->Context(), "");
        ASSERT_EQ(device.LoginDevice("127.0.0.1", 37777, 0, "admin", "admin123", 0, 0), 0);
        dltest::RegisterDevice(host->Context(), &device);
        Tolvane::CDownloadManager manager(host->Context(), "");

        Json::Value item;
        item["channel"] = 3;
        item["length"] = recording["length"];
        item["startTime"] = recording["startTime"];
        item["endTime"] = recording["endTime"];
        item["filePath"] = recording["filePath"];
        item["SaveName"] = "demo.rkv";
        Json::Value files(Json::arrayValue);
        files.append(item);
        const int token = manager.download(0, files, dir.path().toStdString());
        ASSERT_GE(token, 0);
        bool gone = false;
        for (int tick = 0; tick < 200 && !gone; ++tick) {
            manager.OnTick(1);
            gone = manager.getState(token).isNull();
            QThread::msleep(20);
        }
        ASSERT_TRUE(gone);
        const std::string expected = ReadFile(demo + "/" + recording["file"].asString());
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(ReadFile(dir.path().toStdString() + "/demo.rkv"), expected);
        manager.WaitForBackgroundTasks();
        device.LogoutDevice();
        host->ClearObjects();
    }
    QuillnetStandIn::StartScripted();
}

}  // namespace
