#include "exceldataformaterpeople.h"

#include <QString>

#include "exceldatafields.h"

namespace Tolvane {

using namespace ExcelField;

namespace {

// Integer cell when the member exists and is not null.
std::string IntTextIfPresent(const Json::Value& object, const std::string& name)
{
    return Present(object, name) ? IntText(Member(object, name)) : std::string();
}

std::string TextIfPresent(const Json::Value& object, const std::string& name)
{
    return Present(object, name) ? Text(Member(object, name)) : std::string();
}

}  // namespace

// --- classroom behaviour ---

std::string CExcelDataFormaterForIntelliRoomMgr::FormatCell(const std::string& key, const Json::Value& record) const
{
    const Json::Value& value = Member(Summary(record), "Value");
    const Json::Value& candidate = Member(value, "Candidate");
    const Json::Value& face = Member(value, "FaceAttributes");
    std::string text;
    if (KeyIs(key, "SnapLocation")) {
        text = Channel(record);
    } else if (KeyIs(key, "SnapTime")) {
        text = Text(Member(record, "StartTime"));
    } else if (KeyIs(key, "Similarity")) {
        text = Present(candidate, "Similarity") ? IntText(Member(candidate, "Similarity")) + "%" : std::string();
    } else if (KeyIsAny(key, {"Age", "Mask", "Beard", "Glasses"})) {
        text = IntTextIfPresent(face, key);
    } else if (KeyIsAny(key, {"Emotion", "Sex"})) {
        text = TextIfPresent(face, key);
    } else if (KeyIs(key, "Name")) {
        text = TextIfPresent(candidate, key);
    } else if (KeyIs(key, "ActionType")) {
        const Json::Value& action = Member(value, "Action");
        text = Translate(action.isString() ? action.asString() : std::string());
    } else if (KeyIs(key, "PresetPoints")) {
        text = IntTextIfPresent(value, "PresetID");
    } else if (KeyIs(key, "IsStranger")) {
        text = IntTextIfPresent(value, key);
    } else if (KeyIs(key, "FaceDB")) {
        // The column key decides whether there is a database; the name is always "FaceDB".
        text = Present(candidate, key) ? Text(Member(candidate, "FaceDB")) : std::string();
    } else {
        text = PictureLink(key, record);
    }
    return TranslateValue(key, text);
}

void CExcelDataFormaterForIntelliRoomMgr::CollectPictures(Json::Value& record) const
{
    const Json::Value& value = Member(Summary(record), "Value");
    const std::string face = Text(Member(value, "FacePath"));
    const std::string target = Text(Member(value, "ScenePath"));
    AddPicture("FacePic", face, "facePic", record, false);
    AddPicture("TargetPic", target, "globalPic", record, false);
}

// --- person pictures ---

std::string CExcelDataFormaterForHumanImage::FormatCell(const std::string& key, const Json::Value& record) const
{
    const Json::Value& human = Member(record, "Human");
    const Json::Value& person = Member(record, "Person");
    std::string text;
    if (KeyIs(key, "SnapLocation")) {
        text = Channel(record);
    } else if (KeyIs(key, "SnapTime")) {
        text = Text(Member(record, "Time"));
    } else if (KeyIs(key, "Type")) {
        text = Translate("FacePicAnalyse");
    } else if (KeyIs(key, "Sex")) {
        text = TextIfHas(human, key);
    } else if (KeyIs(key, "Age")) {
        text = IntTextIfHas(human, key);
    } else if (KeyIsAny(key, {"Emotion", "Name"})) {
        text = TextIfHas(person, key);
    } else if (KeyIsAny(key, {"Mask", "Beard", "Glasses"})) {
        text = IntTextIfHas(person, key);
    } else if (KeyIsAny(key, {"CoatType", "TrousersType", "HasHat", "HasBag", "HairStyle", "HasUmbrella", "Bag",
                              "Cap"})) {
        text = IntTextIfHas(human, key);
        // "2" means "carries one": show the kind ("Bag", or "Cap" for a hat), shifted by one.
        if (text == "2" && KeyIsAny(key, {"HasBag", "HasHat"})) {
            std::string kind = QString::fromStdString(key).mid(3).toStdString();
            if (KeyIs(kind, "Hat")) {
                kind = "Cap";
            }
            if (Has(human, kind)) {
                text = NextIntText(Member(human, kind));
            }
        }
    } else if (KeyIsAny(key, {"CoatColor", "TrousersColor"})) {
        text = TextIfHas(human, key);
    } else if (KeyIs(key, "FaceDB")) {
        text = Text(Member(record, "Range"));
    } else if (KeyIs(key, "Similarity")) {
        text = UIntText(Member(record, "Similarity"));
    } else if (KeyIs(key, "TaskName")) {
        text = UIntText(Member(record, "TaskID"));
    } else {
        text = PictureLink(key, record);
    }
    return TranslateValue(key, text);
}

void CExcelDataFormaterForHumanImage::CollectPictures(Json::Value& record) const
{
    const std::string face =
        Text(Member(Element(Member(Member(record, "Person"), "Image"), 0), "FilePath"));
    const std::string scene = Text(Member(record, "SceneImage"));
    const std::string human = Text(Member(Member(Member(record, "Human"), "Image"), "FilePath"));
    AddPicture("FacePic", face, "facePic", record, false);
    AddPicture("FaceTargetPic", scene, "globalPic", record, false);
    AddPicture("HumanPic", human, "humanPic", record, false);
    AddPicture("HumanTargetPic", scene, "globalPic", record, false);
}

}  // namespace Tolvane
