// Formatters of non-motor vehicle and motor vehicle records.

#include "exceldataformatervehicles.h"
#include "formaterfixture.h"
#include "formaterrecords.h"

namespace {

using namespace exporttest;
using Strings = std::vector<std::string>;
using Tolvane::CExcelDataFormaterForNonMotorVehicle;
using Tolvane::CExcelDataFormaterForVehicle;

TEST(NonMotorFormater, FullRowAndCells)
{
    EXPECT_EQ(RowOf<CExcelDataFormaterForNonMotorVehicle>(kNonMotor.keys, kNonMotor.record),
              (Strings{"6", "2020-07-01 07:00:00", "NonMotorDetect", "2", "Black", "Bicycle", "1", "3",
                       "file:///srv/export/result/facePic/6_f.jpg", "file:///srv/export/result/non-MotorPic/6_v.jpg",
                       "file:///srv/export/result/globalPic/6_t.jpg"}));
    const CellCase cases[] = {
        {"Occupancy", R"({"SummaryNew": {"Value": {}}})", "NA"},
        {"Occupancy", R"({"SummaryNew": {"Value": {"NumOfCycling": 0}}})", "0"},
        {"occupancy", R"({"SummaryNew": {"Value": {"NumOfCycling": 2}}})", "NA"},
        {"Non-MotorVehicleColor", R"({"SummaryNew": [{"Value": {"Color": 3}}]})", "NA"},
        {"Helmet", R"({"SummaryNew": {"Value": {"Helmet": 1.9}}})", "1"},
        {"TaskName", R"({})", "0"},
        {"snaptime", R"({"StartTime": "S"})", "S"},
    };
    for (const CellCase& c : cases) {
        EXPECT_EQ(CellOf<CExcelDataFormaterForNonMotorVehicle>(c), c.expected) << c;
    }
}

TEST(VehicleFormater, FullRowWithValue)
{
    // Plate and vehicle columns come from the value; the older columns from the traffic car.
    const std::string rules = R"({"Attachment": {"Tissue": "Tissue box"}, "PlateColor": {"1": "Yellow"}})";
    EXPECT_EQ(RowOf<CExcelDataFormaterForVehicle>(kVehicle.keys, kVehicle.record, rules,
                                                  R"({"TrafficJunction": "Junction"})"),
              (Strings{"7", "2020-07-02 07:00:00", "Junction", "\u4eacA12345", "\u4eac", "CN", "Yellow", "2", "3",
                       "4", "5", "Fastened", "1", "0", "Down", "11", "2019", "Tissue box+Pendant", "Watch", "Black",
                       "4", "Pump 3", "8", "file:///srv/export/result/platePic/7_p.jpg", "file:///srv/export/result/vehiclePic/7_v.jpg",
                       "file:///srv/export/result/globalPic/7_t.jpg"}));
}

TEST(VehicleFormater, FullRowOfAnOlderRecord)
{
    EXPECT_EQ(RowOf<CExcelDataFormaterForVehicle>(kTrafficCar.keys, kTrafficCar.record),
              (Strings{"TrafficJunction", "NA", "NA", "Blue", "SUV", "Tesla", "1", "NA", "1", "0",
                       "file:///srv/export/result/platePic/8_p.jpg", "file:///srv/export/result/vehiclePic/8_v.jpg",
                       "file:///srv/export/result/globalPic/8_t.jpg"}));
}

TEST(VehicleFormater, Cells)
{
    const CellCase cases[] = {
        {"Type", R"({"Summary": {"TrafficCar": {"CandidateVehicle": {}}}})", "VehicleRecognition"},
        {"Type", R"({"Summary": {"TrafficCar": {"CandidateVehicle": null}}})", "TrafficJunction"},
        {"Type", R"({"SummaryNew": {"Value": {}, "Key": "K"}})", "K"},
        {"plateNumber", R"({"SummaryNew": {"Value": {"PlateNumber": "A1"}}})", "NA"},
        {"PlateNumber", R"({"SummaryNew": {"Value": {}}, "Summary": {"TrafficCar": {"PlateNumber": "T1"}}})", "NA"},
        {"PlateColor", R"({"Summary": {"TrafficCar": {"PlateColor": 1}}})", "NA"},
        {"Calling", R"({"SummaryNew": {"Value": {"Calling": 0}}, "Summary": {"TrafficCar": {"Calling": 1}}})", "1"},
        {"Province", R"({"SummaryNew": {"Value": {"PlateNumber": "\ud840\udc0bB"}}})", "\U0002000B"},
        {"Province", R"({"SummaryNew": {"Value": {"PlateNumber": 12}}})", "NA"},
        {"Attachment", R"({"Summary": {"TrafficCar": {"Attachment": [{"Type": "A"}]}}})", "A"},
        {"Attachment", R"({"Summary": {"TrafficCar": {"Attachment": [{"Type": "A"}, {"Type": 3}, {"Type": "B"}]}}})",
         "A+B"},
        {"Attachment", R"({"Summary": {"TrafficCar": {"Attachment": []}}})", "NA"},
        {"Attachment", R"({"Summary": {"TrafficCar": {"Attachment": {"Type": "A"}}}})", "NA"},
        {"channelNo", R"({"Channel": 0})", "1"},
        {"CHANNELNO", R"({"Channel": 4.7})", "5"},
        {"Summary", R"({"Summary": "x"})", "NA"},
    };
    for (const CellCase& c : cases) {
        EXPECT_EQ(CellOf<CExcelDataFormaterForVehicle>(c), c.expected) << c;
    }
    // The whole joined text is mapped once more.
    EXPECT_EQ(CellOf<CExcelDataFormaterForVehicle>(
                  {"Attachment", R"({"Summary": {"TrafficCar": {"Attachment": [{"Type": "A"}, {"Type": "B"}]}}})", ""},
                  R"({"Attachment": {"A": "a", "a+B": "both"}})"),
              "both");
}

TEST(VehicleFormater, PicturesFollowTheLayout)
{
    auto formater = Make<CExcelDataFormaterForVehicle>(Parameters({}));
    Json::Value record = Parse(kVehicle.record);
    formater->CollectPictures(record);
    EXPECT_EQ(record["DownloadInfo"]["PlatePic"]["FilePath"].asString(), "/v/p.jpg");
    EXPECT_EQ(record["DownloadInfo"]["TargetPic"]["FilePath"].asString(), "/v/t.jpg");
    record = Parse(kTrafficCar.record);
    formater->CollectPictures(record);
    EXPECT_EQ(record["DownloadInfo"]["PlatePic"]["FilePath"].asString(), "/w/p.jpg");
    EXPECT_EQ(record["DownloadInfo"]["TargetPic"]["FilePath"].asString(), "/w/t.jpg");
}

}  // namespace
