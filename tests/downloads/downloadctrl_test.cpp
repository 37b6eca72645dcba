// Download jobs: the plan written into each file item, the search job's folder, and the
// state a job reports.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "downloadctrl.h"
#include "downloadfixture.h"

namespace {

using dltest::Parse;

class Jobs : public dltest::DownloadTest {};

Json::Value PlainDescription(const char* saveType, bool byTime, const Json::Value& files)
{
    Json::Value description;
    description["SaveType"].append(saveType);
    description["ByTime"] = byTime;
    description["FileList"] = files;
    return description;
}

TEST_F(Jobs, PlainJobsPlanPicturesAndWidenedVideoSpans)
{
    struct Case {
        const char* what;
        const char* saveType;
        const char* item;
        const char* plan;  // expected "DownloadInfo" with S for the save folder
    };
    const Case cases[] = {
        {"picture", "jpg", R"({"filePath": "/p/a.jpg", "saveName": "a.jpg"})",
         R"({"Pic": {"FilePath": "/p/a.jpg", "SavedFileName": "S/a.jpg", "Needed": true}})"},
        {"video span", "video",
         R"({"FilePath": "/r/1.rec", "SaveName": "1.rkv", "StartTime": "2024-01-01 10:00:00",
             "EndTime": "2024-01-01 10:05:00"})",
         R"({"Video": {"FilePath": "/r/1.rec", "StartTime": "2024-01-01 10:00:00",
             "EndTime": "2024-01-01 10:05:00", "SavedFileName": "S/1.rkv", "ByTime": false, "Needed": true}})"},
        {"zero-length span is widened", "video",
         R"({"FilePath": "/r/2", "SaveName": "2.rkv", "StartTime": "2024-01-01 10:00:00",
             "EndTime": "2024-01-01 10:00:00"})",
         R"({"Video": {"FilePath": "/r/2", "StartTime": "2024-01-01 09:59:50",
             "EndTime": "2024-01-01 10:00:10", "SavedFileName": "S/2.rkv", "ByTime": false, "Needed": true}})"},
        {"empty start uses Time", "video",
         R"({"FilePath": "/r/3", "SaveName": "3.rkv", "StartTime": "", "Time": "2024-01-01 23:59:55"})",
         R"({"Video": {"FilePath": "/r/3", "StartTime": "2024-01-01 23:59:45",
             "EndTime": "2024-01-02 00:00:05", "SavedFileName": "S/3.rkv", "ByTime": false, "Needed": true}})"},
        {"video without a save name takes the device file's name", "video",
         R"({"FilePath": "/mnt/rec/2024-05-01/ch0-1.qvp", "StartTime": "2024-01-01 10:00:00",
             "EndTime": "2024-01-01 10:05:00"})",
         R"({"Video": {"FilePath": "/mnt/rec/2024-05-01/ch0-1.qvp", "StartTime": "2024-01-01 10:00:00",
             "EndTime": "2024-01-01 10:05:00", "SavedFileName": "S/ch0-1.rkv", "ByTime": false, "Needed": true}})"},
        {"video without a save name or path is named by its span", "video",
         R"({"Channel": 2, "StartTime": "2024-01-01 10:00:00", "EndTime": "2024-01-01 10:05:00"})",
         R"({"Video": {"FilePath": "", "StartTime": "2024-01-01 10:00:00", "EndTime": "2024-01-01 10:05:00",
             "SavedFileName": "S/2_20240101100000_20240101100500_20S.rkv", "ByTime": false, "Needed": true}})"},
        {"picture without a save name", "jpg", R"({"FilePath": "C:\\pics\\b.bmp"})",
         R"({"Pic": {"FilePath": "C:\\pics\\b.bmp", "SavedFileName": "S/b.bmp", "Needed": true}})"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Json::Value files(Json::arrayValue);
        files.append(Parse(c.item));
        Tolvane::CDownloadCtrl job(Context(), PlainDescription(c.saveType, false, files), "S");
        EXPECT_EQ(job.Description()["FileList"][0]["DownloadInfo"], Parse(c.plan));
    }
}

TEST_F(Jobs, VideoNeverOverwritesAnExistingFile)
{
    dltest::WriteFile(Folder() + "/v.rkv", "x");
    Json::Value files(Json::arrayValue);
    files.append(Parse(R"({"FilePath": "/r", "SaveName": "v.rkv", "Time": "2024-01-01 10:00:00"})"));
    Tolvane::CDownloadCtrl job(Context(), PlainDescription("video", true, files), Folder());
    const Json::Value video = job.Description()["FileList"][0]["DownloadInfo"]["Video"];
    EXPECT_EQ(video["SavedFileName"].asString(), Folder() + "/v (1).rkv");
    EXPECT_TRUE(video["ByTime"].asBool());
}

// Each file of a job gets a target of its own, so what a row links is what was written.
TEST_F(Jobs, FilesOfOneJobNeverShareATarget)
{
    const char* record = R"({"Channel": 0, "FilePath": "/r/a", "StartTime": "2024-05-01 08:00:00",
        "EndTime": "2024-05-01 08:01:00", "SaveName": "v.rkv"})";
    Json::Value files(Json::arrayValue);
    files.append(Parse(record));
    files.append(Parse(record));

    Tolvane::CDownloadCtrl plain(Context(), PlainDescription("video", false, files), Folder());
    EXPECT_EQ(plain.Description()["FileList"][0]["DownloadInfo"]["Video"]["SavedFileName"].asString(),
              Folder() + "/v.rkv");
    EXPECT_EQ(plain.Description()["FileList"][1]["DownloadInfo"]["Video"]["SavedFileName"].asString(),
              Folder() + "/v (1).rkv");

    Json::Value description = PlainDescription("rkv", false, files);
    description["SearchParam"]["Condition"] =
        Parse(R"({"StartTime": "2024-05-01 00:00:00", "EndTime": "2024-05-02 00:00:00"})");
    description["SearchParam"]["ToTalNum"] = 2;
    description["ExcelParam"]["SubPath"] = "aisearch";
    Tolvane::CDownloadCtrl search(Context(), description, Folder());
    const std::string video = search.GetJobFolder() + "/video/0_20240501080000_20240501080100_20S";
    EXPECT_EQ(search.Description()["FileList"][0]["DownloadInfo"]["Video"]["SavedFileName"].asString(),
              video + ".rkv");
    EXPECT_EQ(search.Description()["FileList"][1]["DownloadInfo"]["Video"]["SavedFileName"].asString(),
              video + " (1).rkv");
}

TEST(PictureLabels, EntryNamesPickTheFolder)
{
    const std::pair<const char*, const char*> cases[] = {
        {"FaceTargetPic", "globalPic"},
        {"targetpic", "globalPic"},
        {"PlatePic", "snapPic"},
        {"Non-MotorVehiclePic", "snapPic"},
        {"OriginalPicPath0", "OriginalPic/20240101100000_7"},
        {"MosaicPicPath", "MosaicPic/20240101100000_7"},
        {"mosaicpicpath", ""},
        {"SceneImage", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Tolvane::CDownloadCtrl::PictureLabel(c.first, "20240101100000", "7"), c.second) << c.first;
    }
}

TEST_F(Jobs, SearchJobsGetAFolderOfTheirOwnAndPlanPicturesUnderIt)
{
    Json::Value description;
    description["SaveType"] = Parse(R"(["jpg"])");
    description["FileList"] = Parse(R"([{"StartTime": "2024-01-01 10:00:00", "DownloadInfo": {
        "FaceTargetPic": {"FilePath": "/d/G.jpg", "SavedFileName": "x/g.jpg", "Needed": true},
        "HumanTargetPic": {"FilePath": "/D/g.JPG", "SavedFileName": "x/h.jpg", "Needed": true},
        "FacePic": {"FilePath": "/d/f.jpg", "SavedFileName": "x/f.jpg", "Needed": false}}}])");
    description["SearchParam"]["Condition"] =
        Parse(R"({"StartTime": "2024-01-01 00:00:00", "EndTime": "2024-01-02 00:00:00"})");
    description["SearchParam"]["ToTalNum"] = 1;
    description["ExcelParam"]["SubPath"] = "aisearch";

    Tolvane::CDownloadCtrl first(Context(), description, Folder());
    Tolvane::CDownloadCtrl second(Context(), description, Folder());
    const std::string folder = Folder() + "/aisearch_20240101000000_20240102000000";
    EXPECT_EQ(first.GetJobFolder(), folder);
    EXPECT_EQ(second.GetJobFolder(), folder + " (1)");

    const Json::Value plan = first.Description()["FileList"][0]["DownloadInfo"];
    EXPECT_EQ(plan["Pic_FacePic"]["SavedFileName"].asString(), folder + "/pics/snapPic/f.jpg");
    EXPECT_EQ(plan["Pic_FaceTargetPic"]["SavedFileName"].asString(), folder + "/pics/globalPic/g.jpg");
    // The same source under both target names is fetched once.
    EXPECT_TRUE(plan["Pic_FaceTargetPic"]["Needed"].asBool());
    EXPECT_FALSE(plan["Pic_HumanTargetPic"]["Needed"].asBool());
    EXPECT_FALSE(plan.isMember("Pic_Pic_FacePic"));
}

TEST_F(Jobs, StoppedJobEndsAndRefusesFurtherSearchBatches)
{
    Json::Value files(Json::arrayValue);
    Tolvane::CDownloadCtrl job(Context(), PlainDescription("video", false, files), Folder());
    EXPECT_EQ(job.OnSearchResult(nullptr, Json::Value(Json::arrayValue)), 1);
    job.Pause(Json::Value());
    EXPECT_EQ(job.OnSearchResult(nullptr, Json::Value(Json::arrayValue)), 0);
    EXPECT_TRUE(job.Stop(Json::Value()));
    EXPECT_EQ(job.OnSearchResult(nullptr, Json::Value(Json::arrayValue)), -1);
    EXPECT_EQ(job.GetProgress(), Parse(R"({"Process": 100, "State": 3})"));
}

// Only null or an empty list stands for the whole job: another list that names no file of
// the job stops nothing.
TEST_F(Jobs, StopOfIdsThatNameNoFileLeavesTheJobAlone)
{
    const Json::Value files = Parse(R"([{"FilePath": "/mnt/a.rkv", "SaveName": "a.rkv"},
                                        {"FilePath": "/mnt/b.rkv", "SaveName": "b.rkv"}])");
    Tolvane::CDownloadCtrl job(Context(), PlainDescription("video", false, files), Folder());
    for (const char* ids : {R"("a")", "7", "{}", R"(["a", null, {}, [1]])", "[7, -1]"}) {
        SCOPED_TRACE(ids);
        EXPECT_TRUE(job.Stop(Parse(ids)));
        const Json::Value progress = job.GetProgress();
        EXPECT_EQ(progress["State"].asInt(), Tolvane::CDownloadCtrl::StateWaiting);
        EXPECT_EQ(progress["DeletedFileIds"], Parse("[]"));
    }
    EXPECT_TRUE(job.Stop(Parse("[1, 1]")));
    EXPECT_EQ(job.GetProgress()["DeletedFileIds"], Parse("[1]"));
    EXPECT_TRUE(job.Stop(Parse("[]")));
    EXPECT_EQ(job.GetProgress()["State"].asInt(), Tolvane::CDownloadCtrl::StateEnded);
}

}  // namespace
