#include "exceldataformaterevents.h"

#include "exceldatafields.h"

namespace Tolvane {

using namespace ExcelField;

// --- rule events ---

std::string CExcelDataFormaterForIVS::FormatCell(const std::string& key, const Json::Value& record) const
{
    const Json::Value& ivs = Member(FirstIfArray(Member(record, "Summary")), "IVS");
    std::string text;
    if (KeyIs(key, "SnapLocation")) {
        text = Channel(record);
    } else if (KeyIs(key, "SnapTime")) {
        text = Text(Member(record, "StartTime"));
    } else if (KeyIs(key, "Type")) {
        text = Translate(Text(Member(ivs, "Rule")));
    } else if (KeyIsAny(key, {"ObjectType", "Category"})) {
        text = TextIfHas(ivs, key);
    } else {
        text = PictureLink(key, record);
    }
    return TranslateValue(key, text);
}

void CExcelDataFormaterForIVS::CollectPictures(Json::Value& record) const
{
    const Json::Value& ivs = Member(FirstIfArray(Member(record, "Summary")), "IVS");
    if (!ivs.isNull()) {
        const std::string objectType = Text(Member(ivs, "ObjectType"));
        const char* folder = "unknownTypePic";
        if (KeyIs(objectType, "Human")) {
            folder = "humanPic";
        } else if (KeyIs(objectType, "Vehicle")) {
            folder = "vehiclePic";
        } else if (KeyIs(objectType, "NonMotor")) {
            folder = "non-MotorPic";
        }
        const std::string source = Text(Member(Member(ivs, "ImageInfo"), "FilePath"));
        AddPicture("ObjectPic", source, folder, record, false);
    }
    const std::string target = Text(Member(record, "FilePath"));
    AddPicture("TargetPic", target, "globalPic", record, false);
}

// --- deposit events ---

std::string CExcelDataFormaterForDeposit::FormatCell(const std::string& key, const Json::Value& record) const
{
    const Json::Value& summary = Summary(record);
    const Json::Value& value = Member(summary, "Value");
    std::string text;
    if (KeyIs(key, "SnapLocation")) {
        text = Channel(record);
    } else if (KeyIs(key, "SnapTime")) {
        text = Text(Member(record, "StartTime"));
    } else if (KeyIs(key, "Type")) {
        text = Translate(Text(Member(summary, "Key")));
    } else if (KeyIs(key, "RegionName")) {
        text = TextIfHas(value, key);
    } else if (KeyIsAny(key, {"StackThreshold", "GridState"})) {
        text = IntTextIfHas(value, key);
    } else {
        text = PictureLink(key, record);
    }
    return TranslateValue(key, text);
}

void CExcelDataFormaterForDeposit::CollectPictures(Json::Value& record) const
{
    const Json::Value& value = Member(Summary(record), "Value");
    if (!value.isNull()) {
        const std::string target = Text(Member(value, "FilePath"));
        AddPicture("TargetPic", target, "globalPic", record, false);
    }
}

// --- parking spaces ---

std::string CExcelDataFormaterForMixedPlate::FormatCell(const std::string& key, const Json::Value& record) const
{
    const Json::Value& summary = Summary(record);
    const Json::Value& value = Member(summary, "Value");
    std::string text;
    if (KeyIs(key, "SnapLocation")) {
        text = Channel(record);
    } else if (KeyIs(key, "SnapTime")) {
        text = Text(Member(record, "StartTime"));
    } else if (KeyIs(key, "Type")) {
        text = Translate(Text(Member(summary, "Key")));
    } else if (KeyIsAny(key, {"ParkingNum", "PlateNumber"})) {
        text = TextIfHas(value, key);
    } else if (KeyIsAny(key, {"ParkingSpaceStatus", "DrivingDirection"})) {
        text = IntTextIfHas(value, key);
    } else {
        text = PictureLink(key, record);
    }
    return TranslateValue(key, text);
}

void CExcelDataFormaterForMixedPlate::CollectPictures(Json::Value& record) const
{
    const Json::Value& value = Member(Summary(record), "Value");
    if (!value.isNull()) {
        const std::string plate = Text(Member(value, "PlateFilePath"));
        const std::string target = Text(Member(value, "GlobalSceneFilePath"));
        AddPicture("PlatePic", plate, "platePic", record, false);
        AddPicture("TargetPic", target, "globalPic", record, false);
    }
}

}  // namespace Tolvane
