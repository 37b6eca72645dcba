// Records of any shape: every member of each kind's full record replaced in turn by values
// of other types never makes a formatter throw or drop a column.

#include <functional>

#include "exceldataformatercity.h"
#include "exceldataformaterevents.h"
#include "exceldataformaterfaces.h"
#include "exceldataformaterpeople.h"
#include "exceldataformaterregistry.h"
#include "exceldataformaterscenes.h"
#include "exceldataformatervehicles.h"
#include "formaterfixture.h"
#include "formaterrecords.h"

namespace {

using namespace exporttest;
using namespace Tolvane;

using Factory = ExcelDataFormaterFactory;

struct Kind {
    const char* name;
    Factory factory;
    const KindSample* sample;
};

const Kind kKinds[] = {
    {"Face_Attr", &MakeExcelDataFormater<CExcelDataFormaterForFaceAttr>, &kFaceAttr},
    {"Face_Image", &MakeExcelDataFormater<CExcelDataFormaterForFaceImage>, &kFaceImageWithAttributes},
    {"Face_Image", &MakeExcelDataFormater<CExcelDataFormaterForFaceImage>, &kFaceImage},
    {"HumanTrait", &MakeExcelDataFormater<CExcelDataFormaterForHumanTrait>, &kHumanTrait},
    {"ivs", &MakeExcelDataFormater<CExcelDataFormaterForIVS>, &kIvs},
    {"Deposit", &MakeExcelDataFormater<CExcelDataFormaterForDeposit>, &kDeposit},
    {"MixedPlate", &MakeExcelDataFormater<CExcelDataFormaterForMixedPlate>, &kMixedPlate},
    {"Non-Motor", &MakeExcelDataFormater<CExcelDataFormaterForNonMotorVehicle>, &kNonMotor},
    {"vehicle", &MakeExcelDataFormater<CExcelDataFormaterForVehicle>, &kVehicle},
    {"vehicle", &MakeExcelDataFormater<CExcelDataFormaterForVehicle>, &kTrafficCar},
    {"ViolentThrow", &MakeExcelDataFormater<CExcelDataFormaterForViolentThrow>, &kViolentThrow},
    {"CrowdDetection", &MakeExcelDataFormater<CExcelDataFormaterForCrowdDensity>, &kCrowdDensity},
    {"SmartKitchen", &MakeExcelDataFormater<CExcelDataFormaterForSmartKitchen>, &kSmartKitchen},
    {"IntelliCityMgr", &MakeExcelDataFormater<CExcelDataFormaterForIntelliCityMgr>, &kCityManagement},
    {"ClassroomBehavior", &MakeExcelDataFormater<CExcelDataFormaterForIntelliRoomMgr>, &kClassroom},
    {"Operation", &MakeExcelDataFormater<CExcelDataFormaterForWorkOperation>, &kWorkOperation},
    {"HumanImage", &MakeExcelDataFormater<CExcelDataFormaterForHumanImage>, &kHumanImage},
};

const char* const kOddValues[] = {"null", "-7", "4294967296", "1e300", "-2.5", "true", "\"\"", "\"x\"",
                                  "[]", "[null]", "{}"};

// Calls visit with the record changed at each member and element in turn.
void ForEachVariant(const Json::Value& record, const std::function<void(const Json::Value&)>& visit)
{
    std::function<void(Json::Value&, Json::Value&)> walk = [&](Json::Value& root, Json::Value& node) {
        std::vector<Json::Value*> children;
        if (node.isObject()) {
            for (const std::string& name : node.getMemberNames()) {
                children.push_back(&node[name]);
            }
        } else if (node.isArray()) {
            for (Json::ArrayIndex i = 0; i < node.size(); ++i) {
                children.push_back(&node[i]);
            }
        }
        for (Json::Value* child : children) {
            const Json::Value kept = *child;
            for (const char* odd : kOddValues) {
                *child = Parse(odd);
                visit(root);
            }
            *child = kept;
            walk(root, *child);
        }
    };
    Json::Value copy = record;
    walk(copy, copy);
}

TEST(FormaterRobustness, OddMembersNeverThrowNorDropColumns)
{
    const std::string rules = R"({"Age": {"A": [0, 10], "B": "x", "C": [1, 2, 3]}, "Sex": {"1": 1}})";
    for (const Kind& kind : kKinds) {
        std::unique_ptr<IExcelDataFormater> formater(kind.factory(
            Parameters(kind.sample->keys, rules, R"({"x": null})"), kSaveFolder, kFileName, Parse(R"({"1": []})")));
        int variants = 0;
        ForEachVariant(Parse(kind.sample->record), [&](const Json::Value& variant) {
            ++variants;
            Json::Value record = variant;
            Json::Value row;
            ASSERT_NO_THROW({
                formater->CollectPictures(record);
                row = formater->FillContent(record);
            }) << kind.name << ": " << variant.toStyledString();
            ASSERT_EQ(row["Content"].size(), kind.sample->keys.size()) << kind.name;
        });
        EXPECT_GT(variants, 10) << kind.name;

        for (const char* whole : kOddValues) {
            Json::Value record = Parse(whole);
            EXPECT_NO_THROW({
                formater->CollectPictures(record);
                formater->FillContent(record);
            }) << kind.name << ": " << whole;
        }
    }
}

TEST(FormaterRobustness, OddParametersNeverThrow)
{
    const char* const parameters[] = {
        "null", "[]", R"({"Headers": {"Key": "SnapTime"}})", R"({"Headers": [null, 3, {"Key": null}]})",
        R"({"Headers": [{"Key": "Age"}], "Rules": [1], "Translate": "x", "SaveType": "4"})",
        R"({"Headers": [{"Key": "Type"}], "Rules": {"Type": []}, "Translate": {"": 1}, "SaveType": 1e40})",
    };
    for (const Kind& kind : kKinds) {
        for (const char* text : parameters) {
            EXPECT_NO_THROW({
                std::unique_ptr<IExcelDataFormater> formater(
                    kind.factory(Parse(text), "", "", Parse("[1]")));
                Json::Value record = Parse(kind.sample->record);
                formater->CollectPictures(record);
                formater->FillContent(record);
                formater->HeaderIndex("Age");
            }) << kind.name << ": " << text;
        }
    }
}

}  // namespace
