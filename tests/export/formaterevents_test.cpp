// Formatters of rule, deposit, parking, violent-throw, crowd, kitchen and work-safety events.

#include "exceldataformaterevents.h"
#include "exceldataformaterscenes.h"
#include "formaterfixture.h"
#include "formaterrecords.h"

namespace {

using namespace exporttest;
using namespace Tolvane;
using Strings = std::vector<std::string>;

TEST(IvsFormater, FullRowAndObjectFolders)
{
    EXPECT_EQ(RowOf<CExcelDataFormaterForIVS>(kIvs.keys, kIvs.record, R"({"ObjectType": {"vehicle": "Motor vehicle"}})",
                                              R"({"CrossLine": "Line crossing"})"),
              (Strings{"2", "2020-06-01 12:00:00", "Line crossing", "Motor vehicle", "Car",
                       "file:///srv/export/result/vehiclePic/2_o.jpg", "file:///srv/export/result/globalPic/2_t.jpg"}));

    const CellCase cases[] = {
        {"ObjectPic", R"({"Summary": {"IVS": {"ObjectType": "HUMAN", "ImageInfo": {"FilePath": "/o.jpg"}}}})",
         "file:///srv/export/result/humanPic/_o.jpg"},
        {"ObjectPic", R"({"Summary": {"IVS": {"ObjectType": "NonMotor", "ImageInfo": {"FilePath": "/o.jpg"}}}})",
         "file:///srv/export/result/non-MotorPic/_o.jpg"},
        {"ObjectPic", R"({"Summary": {"IVS": {"ImageInfo": {"FilePath": "/o.jpg"}}}})",
         "file:///srv/export/result/unknownTypePic/_o.jpg"},
        {"ObjectPic", R"({"Summary": {"IVS": {"ObjectType": 1, "ImageInfo": {"FilePath": "/o.jpg"}}}})",
         "file:///srv/export/result/unknownTypePic/_o.jpg"},
        // Without "Summary" the scene picture and the record's own members still show.
        {"TargetPic", R"({"FilePath": "/t.jpg"})", "file:///srv/export/result/globalPic/_t.jpg"},
        {"Type", R"({"FilePath": "/t.jpg"})", "NA"},
        {"ObjectType", R"({"SummaryNew": {"IVS": {"ObjectType": "Human"}}})", "NA"},
        {"Category", R"({"Summary": [{"IVS": {"Category": null}}]})", "NA"},
    };
    for (const CellCase& c : cases) {
        EXPECT_EQ(CellOf<CExcelDataFormaterForIVS>(c), c.expected) << c;
    }
    EXPECT_EQ(CellOf<CExcelDataFormaterForIVS>({"Type", R"({})", ""}, R"({"Type": {"": "No rule"}})"), "No rule");
}

TEST(DepositAndParkingFormaters, FullRows)
{
    EXPECT_EQ(RowOf<CExcelDataFormaterForDeposit>(kDeposit.keys, kDeposit.record),
              (Strings{"4", "2020-06-02 12:00:00", "Deposit", "Hall", "80", "2", "file:///srv/export/result/globalPic/4_t.jpg"}));
    EXPECT_EQ(RowOf<CExcelDataFormaterForMixedPlate>(kMixedPlate.keys, kMixedPlate.record,
                                                     R"({"ParkingSpaceStatus": {"1": "Occupied"}})"),
              (Strings{"5", "2020-06-03 12:00:00", "ParkingSpace", "A-12", "ABC123", "Occupied", "0",
                       "file:///srv/export/result/platePic/5_p.jpg", "file:///srv/export/result/globalPic/5_g.jpg"}));
}

TEST(DepositAndParkingFormaters, MissingValueRegistersNoPicture)
{
    const char* record = R"({"FilePath": "/t.jpg", "SummaryNew": {"Key": "K", "PlateFilePath": "/p.jpg"}})";
    EXPECT_TRUE(PictureKeys<CExcelDataFormaterForDeposit>(record).empty());
    EXPECT_TRUE(PictureKeys<CExcelDataFormaterForMixedPlate>(record).empty());
    EXPECT_EQ(CellOf<CExcelDataFormaterForMixedPlate>({"ParkingSpaceStatus", R"({"SummaryNew": {"Value": {}}})", ""}),
              "NA");
    EXPECT_EQ(CellOf<CExcelDataFormaterForMixedPlate>({"ParkingSpaceStatus",
                                                       R"({"SummaryNew": {"Value": {"ParkingSpaceStatus": "1"}}})", ""}),
              "0");
    EXPECT_EQ(CellOf<CExcelDataFormaterForDeposit>({"GridState", R"({"SummaryNew": {"Value": {"GridState": false}}})", ""}),
              "0");
}

TEST(SceneFormaters, FullRows)
{
    EXPECT_EQ(RowOf<CExcelDataFormaterForViolentThrow>(kViolentThrow.keys, kViolentThrow.record),
              (Strings{"9", "2020-08-01 01:00:00", "HighToss", "Tower A", "NA", "file:///srv/export/result/globalPic/9_g.jpg"}));
    EXPECT_EQ(RowOf<CExcelDataFormaterForCrowdDensity>(kCrowdDensity.keys, kCrowdDensity.record, "{}", "{}",
                                                       R"({"10": "Square"})"),
              (Strings{"10", "NA", "Square", "2020-08-02 01:00:00", "NA", "file:///srv/export/result/globalPic/Square_g.jpg"}));
    EXPECT_EQ(RowOf<CExcelDataFormaterForSmartKitchen>(kSmartKitchen.keys, kSmartKitchen.record,
                                                       R"({"Mask": {"1": "Worn"}})"),
              (Strings{"11", "2020-08-03 01:00:00", "Kitchen", "Worn", "0", "2", "Hot line",
                       "file:///srv/export/result/facePic/11_f.jpg", "file:///srv/export/result/humanTargetPic/11_h.jpg",
                       "file:///srv/export/result/globalPic/11_s.jpg"}));
    const std::string rules = R"({"CoatColor": {"Yellow": "Safety yellow"}, "Helmet": {"Safety yellow": "x"}})";
    EXPECT_EQ(RowOf<CExcelDataFormaterForWorkOperation>(kWorkOperation.keys, kWorkOperation.record, rules),
              (Strings{"12", "2020-08-04 01:00:00", "Helmet", "Safety yellow", "file:///srv/export/result/humanPic/12_h.jpg",
                       "file:///srv/export/result/globalPic/12_s.jpg"}));
}

TEST(SceneFormaters, Cells)
{
    EXPECT_EQ(CellOf<CExcelDataFormaterForSmartKitchen>({"Mask", R"({"SummaryNew": {"Value": {}}})", ""}), "0");
    EXPECT_EQ(CellOf<CExcelDataFormaterForSmartKitchen>({"ChefHat", R"({})", ""}, R"({"ChefHat": {"0": "None"}})"),
              "None");
    EXPECT_EQ(CellOf<CExcelDataFormaterForCrowdDensity>({"Channel", R"({"Channel": 4})", ""}), "0");
    EXPECT_EQ(CellOf<CExcelDataFormaterForCrowdDensity>({"Type", R"({"SummaryNew": {"Key": "Crowd"}})", ""}), "NA");
    for (const char* record : {R"({"SummaryNew": {"Key": "K"}})", R"({"SummaryNew": []})"}) {
        EXPECT_TRUE(PictureKeys<CExcelDataFormaterForViolentThrow>(record).empty()) << record;
        EXPECT_TRUE(PictureKeys<CExcelDataFormaterForSmartKitchen>(record).empty()) << record;
    }
}

TEST(WorkOperationFormater, HelmetCell)
{
    const std::string rules = R"({"CoatColor": {"Red": "Red coat"}, "HasHelmet": {"1": "No helmet", "0": 5},
                                  "Helmet": {"No helmet": "never used", "Blue": "never used"}})";
    const CellCase cases[] = {
        {"Helmet", R"({"SummaryNew": {"Value": {"Helmet": {"HasHelmet": 2, "HelmetColor": "Red"}}}})", "Red coat"},
        {"helmet", R"({"SummaryNew": {"Value": {"Helmet": {"HasHelmet": 2, "HelmetColor": "Blue"}}}})", "Blue"},
        {"Helmet", R"({"SummaryNew": {"Value": {"Helmet": {"HasHelmet": 2.0}}}})", "NA"},
        {"Helmet", R"({"SummaryNew": {"Value": {"Helmet": {"HasHelmet": 1}}}})", "No helmet"},
        {"Helmet", R"({"SummaryNew": {"Value": {"Helmet": {"HasHelmet": 0}}}})", "NA"},
        {"Helmet", R"({"SummaryNew": {"Value": {"Helmet": {"HasHelmet": 3}}}})", "NA"},
        {"Helmet", R"({"SummaryNew": {"Value": {"Helmet": "none"}}})", "NA"},
    };
    for (const CellCase& c : cases) {
        EXPECT_EQ(CellOf<CExcelDataFormaterForWorkOperation>(c, rules), c.expected) << c;
    }
    EXPECT_EQ(CellOf<CExcelDataFormaterForWorkOperation>(cases[3]), "NA");
}

}  // namespace
