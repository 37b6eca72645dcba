#include "exceldataformaterfaces.h"

#include "exceldatafields.h"

namespace Tolvane {

using namespace ExcelField;

namespace {

const char kFacePicAnalyse[] = "FacePicAnalyse";

// The attribute read from the first object that has it, as text; the second object is
// asked only when the first gave an empty text.
std::string TextOfEither(const Json::Value& first, const Json::Value& second, const std::string& key)
{
    std::string text = TextIfHas(first, key);
    return text.empty() ? TextIfHas(second, key) : text;
}

// As a number from the first object that has the member.
std::string IntOfEither(const Json::Value& first, const Json::Value& second, const std::string& key)
{
    return Has(first, key) ? IntText(Member(first, key)) : IntTextIfHas(second, key);
}

}  // namespace

// --- face recognition and detection ---

std::string CExcelDataFormaterForFaceAttr::FormatCell(const std::string& key, const Json::Value& record) const
{
    const Json::Value& summary = Summary(record);
    const Json::Value& value = Member(summary, "Value");
    const Json::Value& candidates = Member(value, "Candidates");
    const Json::Value& person = Member(Element(candidates, 0), "Person");

    std::string text;
    if (KeyIs(key, "SnapLocation")) {
        text = Channel(record);
    } else if (KeyIs(key, "SnapTime")) {
        text = Text(Member(record, "StartTime"));
    } else if (KeyIs(key, "Type")) {
        text = Text(Member(summary, "Key"));
        if (KeyIs(text, "FaceRecognitionRecord")) {
            const bool recognised = candidates.isArray() && candidates.size() > 0;
            text = recognised ? "FaceRecognitionRecordNormal" : "FaceRecognitionRecordStranger";
        } else if (KeyIs(text, "FaceDetectionRecord") && IntValue(Member(value, "IsStranger")) == 2) {
            text = "FaceRecognitionRecordStranger";
        }
        text = Translate(text);
    } else if (KeyIsAny(key, {"Sex", "Emotion"})) {
        text = TextOfEither(value, Member(value, "Object"), key);
    } else if (KeyIsAny(key, {"Age", "Mask", "Beard", "Glasses"})) {
        text = IntOfEither(value, Member(value, "Object"), key);
    } else if (KeyIs(key, "Similarity")) {
        const Json::Value& similarity = Member(Element(candidates, 0), "Similarity");
        text = similarity.isNull() ? std::string() : IntText(similarity) + "%";
    } else if (KeyIsAny(key, {"Academe", "ClassName", "StudentID", "DormName"})) {
        text = Text(Member(Member(person, "CustomStudentInfo"), key));
    } else if (KeyIsAny(key, {"Post", "Department"})) {
        text = Text(Member(Member(person, "CustomProfessionInfo"), key));
    } else if (KeyIsAny(key, {"Name", "CertificateType"})) {
        text = Text(Member(person, key));
    } else if (KeyIsAny(key, {"IC", "Passport", "Military", "ID"})) {
        text = Text(Member(person, "ID"));
    } else if (KeyIs(key, "FaceDB")) {
        text = Text(Member(person, "GroupName"));
    } else if (KeyIs(key, "TaskName")) {
        text = UIntText(Member(record, "TaskID"));
    } else {
        text = PictureLink(key, record);
    }
    return TranslateValue(key, text);
}

void CExcelDataFormaterForFaceAttr::CollectPictures(Json::Value& record) const
{
    const Json::Value& value = Member(Summary(record), "Value");
    const std::string face = Text(Member(record, "FilePath"));
    const std::string faceDb = Text(Member(
        Element(Member(Member(Element(Member(value, "Candidates"), 0), "Person"), "Image"), 0), "FilePath"));
    const std::string target = Text(Member(Member(value, "ImageInfo"), "FilePath"));
    AddPicture("FacePic", face, "facePic", record, false);
    AddPicture("FaceDBPic", faceDb, "faceDBPic", record, false);
    AddPicture("TargetPic", target, "globalPic", record, false);
}

// --- face picture analysis ---

Json::Value CExcelDataFormaterForFaceImage::FillContent(const Json::Value& record) const
{
    const Json::Value& list = Member(record, "attrs");
    if (list.isNull()) {
        return IExcelDataFormater::FillContent(record);
    }

    Json::Value attributes(Json::objectValue);
    for (Json::ArrayIndex i = 0; list.isArray() && i < list.size(); ++i) {
        const Json::Value& element = list[i];
        std::string name = Text(Member(element, "name"));
        const Json::Value& origin = Member(element, "originValue");
        std::string value;
        if (KeyIs(name, "Gender") || KeyIs(name, "Expression")) {
            name = KeyIs(name, "Gender") ? "Sex" : "Emotion";
            value = Text(origin);
        } else {
            value = IntText(origin);
        }
        attributes[name] = TranslateValue(name, value);
    }

    Json::Value row;
    const Json::Value& headers = Headers();
    for (Json::ArrayIndex i = 0; headers.isArray() && i < headers.size(); ++i) {
        std::string text = FormatAttributeCell(Text(Member(headers[i], "Key")), record, attributes);
        if (text.empty()) {
            text = "NA";
        }
        row["Content"].append(Json::Value(text));
    }
    return row;
}

std::string CExcelDataFormaterForFaceImage::FormatAttributeCell(const std::string& key, const Json::Value& record,
                                                                const Json::Value& attributes) const
{
    if (KeyIs(key, "SnapLocation")) {
        return Channel(record);
    }
    if (KeyIs(key, "SnapTime")) {
        return Text(Member(record, "StartTime"));
    }
    if (KeyIs(key, "Type")) {
        return Translate(kFacePicAnalyse);
    }
    if (KeyIs(key, "Similarity")) {
        const Json::Value& similarity = Member(record, "similarity");
        return similarity.isNull() ? std::string() : IntText(similarity) + "%";
    }
    if (KeyIs(key, "FaceDB")) {
        return Text(Member(record, "GroupName"));
    }
    if (KeyIs(key, "Name")) {
        return Text(Member(record, "PersonName"));
    }
    if (KeyIsAny(key, {"Sex", "Emotion", "Age", "Mask", "Beard", "Glasses"})) {
        return Text(Member(attributes, key));
    }
    if (KeyIs(key, "TaskName")) {
        return UIntText(Member(record, "TaskID"));
    }
    return PictureLink(key, record);
}

std::string CExcelDataFormaterForFaceImage::FormatCell(const std::string& key, const Json::Value& record) const
{
    const Json::Value& person = Member(record, "Person");
    std::string text;
    if (KeyIs(key, "SnapLocation")) {
        text = Channel(record);
    } else if (KeyIs(key, "SnapTime")) {
        text = Text(Member(record, "Time"));
    } else if (KeyIs(key, "Type")) {
        text = Translate(kFacePicAnalyse);
    } else if (KeyIsAny(key, {"Sex", "Emotion", "Name"})) {
        text = TextIfHas(person, key);
    } else if (KeyIsAny(key, {"Age", "Mask", "Beard", "Glasses", "Eye", "Mouth", "Race"})) {
        text = IntTextIfHas(person, key);
    } else if (KeyIs(key, "FaceDB")) {
        text = TextIfHas(record, "Range");
    } else if (KeyIs(key, "Similarity")) {
        text = IntTextIfHas(record, key);
    } else if (KeyIs(key, "TaskName")) {
        text = Has(record, "TaskID") ? UIntText(Member(record, "TaskID")) : std::string();
    } else {
        text = PictureLink(key, record);
    }
    return TranslateValue(key, text);
}

void CExcelDataFormaterForFaceImage::CollectPictures(Json::Value& record) const
{
    std::string face;
    std::string target;
    if (Has(record, "attrs")) {
        face = Text(Member(record, "FilePath"));
        target = Text(Member(record, "SceneFilePath"));
    } else {
        face = Text(Member(Element(Member(Member(record, "Person"), "Image"), 0), "FilePath"));
        target = Text(Member(Member(record, "SceneImage"), "FilePath"));
    }
    AddPicture("FacePic", face, "facePic", record, false);
    AddPicture("TargetPic", target, "globalPic", record, false);
}

// --- person traits ---

std::string CExcelDataFormaterForHumanTrait::FormatCell(const std::string& key, const Json::Value& record) const
{
    const Json::Value& summary = Summary(record);
    const Json::Value& value = Member(summary, "Value");
    const Json::Value& face = Member(value, "FaceAttributes");
    const Json::Value& human = Member(value, "HumanAttributes");
    // Body attributes come from the person object when there is one, else from the value.
    const Json::Value& body = human.isNull() ? value : human;

    std::string text;
    if (KeyIs(key, "SnapLocation")) {
        text = Channel(record);
    } else if (KeyIs(key, "SnapTime")) {
        text = Text(Member(record, "StartTime"));
    } else if (KeyIs(key, "Type")) {
        text = Translate(Text(Member(summary, "Key")));
    } else if (KeyIs(key, "Sex")) {
        text = Has(human, key) ? Text(Member(human, key)) : TextIfHas(face, key);
    } else if (KeyIs(key, "Age")) {
        text = IntOfEither(face, human, key);
    } else if (KeyIs(key, "Emotion")) {
        text = TextIfHas(face, key);
    } else if (KeyIs(key, "Glasses")) {
        text = IntTextIfHas(face, "Glass");
    } else if (KeyIsAny(key, {"Mask", "Beard"})) {
        text = IntTextIfHas(face, key);
    } else if (KeyIsAny(key, {"CoatType", "TrousersType", "HasHat", "HasBag", "HairStyle", "HasUmbrella", "Bag",
                              "Cap", "RelateChan"})) {
        text = IntTextIfHas(body, key);
        // "2" means "carries one": show the kind of bag or cap, shifted by one.
        if (text == "2" && KeyIsAny(key, {"HasBag", "HasHat"})) {
            const char* kind = KeyIs(key, "HasBag") ? "Bag" : "Cap";
            if (Has(human, kind)) {
                text = NextIntText(Member(human, kind));
            }
        }
    } else if (KeyIsAny(key, {"CoatColor", "TrousersColor"})) {
        text = TextIfHas(body, key);
    } else if (KeyIs(key, "TaskName")) {
        text = UIntText(Member(record, "TaskID"));
    } else {
        text = PictureLink(key, record);
    }
    return TranslateValue(key, text);
}

void CExcelDataFormaterForHumanTrait::CollectPictures(Json::Value& record) const
{
    const Json::Value value = Member(Summary(record), "Value");
    if (!Member(value, "HumanAttributes").isNull()) {
        AddPicture("FacePic", Text(Member(value, "FacePath")), "facePic", record, false);
        AddPicture("FaceTargetPic", Text(Member(value, "FaceScenePath")), "globalPic", record, false);
        AddPicture("HumanPic", Text(Member(value, "HumanPath")), "humanPic", record, false);
        AddPicture("HumanTargetPic", Text(Member(value, "HumanSceneImage")), "globalPic", record, false);
    } else {
        AddPicture("FacePic", Text(Member(record, "FacePath")), "facePic", record, false);
        AddPicture("HumanPic", Text(Member(record, "FilePath")), "humanPic", record, false);
    }
}

}  // namespace Tolvane
