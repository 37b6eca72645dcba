// Formatters of city-management, classroom and person picture records.

#include "exceldataformatercity.h"
#include "exceldataformaterpeople.h"
#include "formaterfixture.h"
#include "formaterrecords.h"

namespace {

using namespace exporttest;
using Strings = std::vector<std::string>;
using Tolvane::CExcelDataFormaterForHumanImage;
using Tolvane::CExcelDataFormaterForIntelliCityMgr;
using Tolvane::CExcelDataFormaterForIntelliRoomMgr;

TEST(CityManagementFormater, FullRowWithFolderLinks)
{
    EXPECT_EQ(RowOf<CExcelDataFormaterForIntelliCityMgr>(kCityManagement.keys, kCityManagement.record, "{}",
                                                         R"({"CityMotorParking": "Parking"})"),
              (Strings{"13", "Parking", "2020-09-01", "B777", "1 Main St", "4", "Corner", "600",
                       "file:///srv/export/result/OriginalPic/20200901063000_7/",
                       "file:///srv/export/result/MosaicPic/20200901063000_7/",
                       "file:///srv/export/result/OriginalPic/20200901063000_8/13_o2.jpg", "NA"}));
}

TEST(CityManagementFormater, EveryGroupPictureIsNeeded)
{
    auto formater = Make<CExcelDataFormaterForIntelliCityMgr>(Parameters({"Other"}));
    Json::Value record = Parse(kCityManagement.record);
    formater->CollectPictures(record);
    EXPECT_EQ(record["DownloadInfo"], Parse(R"({
        "OriginalPicPath0": {"FilePath": "/c/o1.jpg", "Needed": true,
                             "SavedFileName": "/srv/export/result/OriginalPic/20200901063000_7/13_o1.jpg"},
        "OriginalPicPath1": {"FilePath": "/c/o2.jpg", "Needed": true,
                             "SavedFileName": "/srv/export/result/OriginalPic/20200901063000_8/13_o2.jpg"},
        "MosaicPicPath0": {"FilePath": "/c/m1.jpg", "Needed": true,
                           "SavedFileName": "/srv/export/result/MosaicPic/20200901063000_7/13_m1.jpg"}})"));
}

TEST(CityManagementFormater, Cells)
{
    const CellCase cases[] = {
        {"ViolationDuration", R"({"SummaryNew": {"Value": {"Event": "citymotorparking",
                                  "TrafficCar": {"ParkingDuration": 30}, "ViolationDuration": 5}}})", "30"},
        {"ViolationDuration", R"({"SummaryNew": {"Value": {"Event": "CityStall",
                                  "TrafficCar": {"ParkingDuration": 30}, "ViolationDuration": 5}}})", "5"},
        {"ViolationDuration", R"({"SummaryNew": {"Value": {}}})", "0"},
        {"OriginalPicPath", R"({"StartTime": "2020-09-01 06:30:00"})",
         "file:///srv/export/result/OriginalPic/20200901063000_0/"},
        {"OriginalPicPath", R"({"StartTime": "2020/09/01"})", "file:///srv/export/result/OriginalPic/_0/"},
        {"SnapLocation", R"({"channel": 1})", "NA"},
        {"PresetID", R"({"SummaryNew": {"Value": {"PresetID": "4"}}})", "0"},
    };
    for (const CellCase& c : cases) {
        EXPECT_EQ(CellOf<CExcelDataFormaterForIntelliCityMgr>(c), c.expected) << c;
    }
}

TEST(ClassroomFormater, FullRowAndCells)
{
    EXPECT_EQ(RowOf<CExcelDataFormaterForIntelliRoomMgr>(kClassroom.keys, kClassroom.record,
                                                         R"({"Age": {"Teen": [13, 19]}})",
                                                         R"({"HandRaise": "Raises hand"})"),
              (Strings{"14", "2020-09-02 08:00:00", "87%", "Teen", "NA", "0", "NA", "1", "NA", "Chen",
                       "Raises hand", "3", "0", "Class 1", "NA", "file:///srv/export/result/facePic/14_f.jpg",
                       "file:///srv/export/result/globalPic/14_s.jpg"}));
    const CellCase cases[] = {
        {"Similarity", R"({"SummaryNew": {"Value": {"Candidate": {}}}})", "NA"},
        {"ActionType", R"({"SummaryNew": {"Value": {"Action": 5}}})", "NA"},
        {"ActionType", R"({"SummaryNew": {"Value": {"Action": true}}})", "NA"},
        {"FaceDB", R"({"SummaryNew": {"Value": {"Candidate": {"FaceDB": null}}}})", "NA"},
        {"PresetPoints", R"({"SummaryNew": {"Value": {"PresetID": null}}})", "NA"},
    };
    for (const CellCase& c : cases) {
        EXPECT_EQ(CellOf<CExcelDataFormaterForIntelliRoomMgr>(c), c.expected) << c;
    }
}

TEST(HumanImageFormater, FullRowAndCarriedObjects)
{
    EXPECT_EQ(RowOf<CExcelDataFormaterForHumanImage>(kHumanImage.keys, kHumanImage.record,
                                                     R"({"HasBag": {"4": "Backpack"}})"),
              (Strings{"15", "2020-10-01 10:00:00", "FacePicAnalyse", "1", "40", "Happy", "Sun", "1", "NA",
                       "Backpack", "2", "NA", "Green", "Staff", "66", "2", "file:///srv/export/result/facePic/15_f.jpg",
                       "file:///srv/export/result/globalPic/15_s.jpg", "file:///srv/export/result/humanPic/15_h.jpg",
                       "file:///srv/export/result/globalPic/15_s.jpg"}));
    const CellCase cases[] = {
        {"HasBag", R"({"Human": {"HasBag": 2}})", "2"},
        {"HasBag", R"({"Human": {"HasBag": 1, "Bag": 3}})", "1"},
        {"HasBag", R"({"Human": {"HasBag": 2, "Bag": 9223372036854775807}})", "9223372036854775808"},
        {"HasHat", R"({"Human": {"HasHat": 2, "Cap": -9223372036854775808}})", "-9223372036854775807"},
        {"hasbag", R"({"Human": {"hasbag": 2, "bag": 3, "Bag": 7}})", "4"},
        {"HasHat", R"({"Human": {"HasHat": 2, "Hat": 9}})", "2"},
        {"SnapTime", R"({"StartTime": "S"})", "NA"},
        {"Type", R"({})", "FacePicAnalyse"},
        {"Similarity", R"({})", "0"},
        {"Sex", R"({"Human": {"Sex": null}})", "NA"},
    };
    for (const CellCase& c : cases) {
        EXPECT_EQ(CellOf<CExcelDataFormaterForHumanImage>(c), c.expected) << c;
    }
}

}  // namespace
