#include "exceldataformaterscenes.h"

#include "exceldatafields.h"

namespace Tolvane {

using namespace ExcelField;

// --- violent throwing ---

std::string CExcelDataFormaterForViolentThrow::FormatCell(const std::string& key, const Json::Value& record) const
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
    } else {
        text = PictureLink(key, record);
    }
    return TranslateValue(key, text);
}

void CExcelDataFormaterForViolentThrow::CollectPictures(Json::Value& record) const
{
    const Json::Value& value = Member(Summary(record), "Value");
    if (!value.isNull()) {
        const std::string target = Text(Member(value, "GlobalSceneFilePath"));
        AddPicture("TargetPic", target, "globalPic", record, false);
    }
}

// --- crowd density ---

std::string CExcelDataFormaterForCrowdDensity::FormatCell(const std::string& key, const Json::Value& record) const
{
    std::string text;
    if (key == "Channel") {
        text = IntText(Member(record, "channel"));
    } else if (KeyIs(key, "SnapLocation")) {
        text = Channel(record);
    } else if (KeyIs(key, "SnapTime")) {
        text = Text(Member(record, "StartTime"));
    } else {
        text = PictureLink(key, record);
    }
    return TranslateValue(key, text);
}

void CExcelDataFormaterForCrowdDensity::CollectPictures(Json::Value& record) const
{
    const std::string target = Text(Member(record, "FilePath"));
    AddPicture("TargetPic", target, "globalPic", record, false);
}

// --- kitchen dress rules ---

std::string CExcelDataFormaterForSmartKitchen::FormatCell(const std::string& key, const Json::Value& record) const
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
    } else if (KeyIs(key, "Mask")) {
        text = IntText(Member(value, "HasMask"));
    } else if (KeyIs(key, "ChefHat")) {
        text = IntText(Member(value, "HasChefHat"));
    } else if (KeyIs(key, "ChefClothes")) {
        text = IntText(Member(value, "HasChefClothes"));
    } else if (KeyIs(key, "RegionName")) {
        text = TextIfHas(value, key);
    } else {
        text = PictureLink(key, record);
    }
    return TranslateValue(key, text);
}

void CExcelDataFormaterForSmartKitchen::CollectPictures(Json::Value& record) const
{
    const Json::Value& value = Member(Summary(record), "Value");
    if (value.isNull()) {
        return;
    }
    const std::string face = Text(Member(value, "FaceImagePath"));
    const std::string human = Text(Member(value, "HumanImagePath"));
    const std::string target = Text(Member(value, "SceneImagePath"));
    AddPicture("FacePic", face, "facePic", record, false);
    AddPicture("HumanTargetPic", human, "humanTargetPic", record, false);
    AddPicture("TargetPic", target, "globalPic", record, false);
}

// --- work safety ---

std::string CExcelDataFormaterForWorkOperation::FormatCell(const std::string& key, const Json::Value& record) const
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
    } else if (KeyIs(key, "Helmet")) {
        return HelmetCell(value);
    } else {
        text = PictureLink(key, record);
    }
    return TranslateValue(key, text);
}

// A helmet worn (2) shows its colour through the coat-colour map; any other state shows
// the page's text for it, or nothing.
std::string CExcelDataFormaterForWorkOperation::HelmetCell(const Json::Value& value) const
{
    const Json::Value& helmet = Member(value, "Helmet");
    const uint64_t state = UIntValue(Member(helmet, "HasHelmet"));
    if (state == 2) {
        const std::string color = Text(Member(helmet, "HelmetColor"));
        const Json::Value& colors = Member(Rules(), "CoatColor");
        return Has(colors, color) ? Text(Member(colors, color)) : color;
    }
    return Text(Member(Member(Rules(), "HasHelmet"), std::to_string(state)));
}

void CExcelDataFormaterForWorkOperation::CollectPictures(Json::Value& record) const
{
    const Json::Value& value = Member(Summary(record), "Value");
    const std::string human = Text(Member(value, "HumanPath"));
    const std::string target = Text(Member(value, "HumanSceneImage"));
    AddPicture("HumanPic", human, "humanPic", record, false);
    AddPicture("TargetPic", target, "globalPic", record, false);
}

}  // namespace Tolvane
