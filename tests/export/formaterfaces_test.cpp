// Formatters of face recognition, face picture and person trait records.

#include "exceldataformaterfaces.h"
#include "formaterfixture.h"
#include "formaterrecords.h"

namespace {

using namespace exporttest;
using Strings = std::vector<std::string>;
using Tolvane::CExcelDataFormaterForFaceAttr;
using Tolvane::CExcelDataFormaterForFaceImage;
using Tolvane::CExcelDataFormaterForHumanTrait;

const char kNames[] = R"({"3": "Gate/1"})";

TEST(FaceAttrFormater, FullRow)
{
    const std::string rules = R"({"Sex": {"1": "Male"}, "Age": {"Adult": [18, 200]}})";
    const std::string translate = R"({"FaceRecognitionRecordNormal": "Known face"})";
    EXPECT_EQ(RowOf<CExcelDataFormaterForFaceAttr>(kFaceAttr.keys, kFaceAttr.record, rules, translate, kNames),
              (Strings{"Gate/1", "2020-05-01 08:00:00", "Known face", "Male", "Smile", "Adult", "1", "2", "NA",
                       "87%", "Eng", "C1", "S9", "D2", "Mgr", "Ops", "Li", "IC", "3301", "3301", "3301", "3301",
                       "Staff", "7", "file:///srv/export/result/facePic/Gate1_f1.jpg", "file:///srv/export/result/faceDBPic/Gate1_p1.jpg",
                       "file:///srv/export/result/globalPic/Gate1_s1.jpg", "NA"}));
}

TEST(FaceAttrFormater, Cells)
{
    const CellCase cases[] = {
        // Recognition records are known or strangers by their candidate list; keys ignore case.
        {"Type", R"({"SummaryNew": {"Key": "FaceRecognitionRecord", "Value": {"Candidates": []}}})",
         "FaceRecognitionRecordStranger"},
        {"type", R"({"SummaryNew": {"Key": "facerecognitionrecord", "Value": {"Candidates": [{}]}}})",
         "FaceRecognitionRecordNormal"},
        {"Type", R"({"SummaryNew": {"Key": "FaceDetectionRecord", "Value": {"IsStranger": 2}}})",
         "FaceRecognitionRecordStranger"},
        {"Type", R"({"SummaryNew": {"Key": "FaceDetectionRecord", "Value": {"IsStranger": 2.5}}})",
         "FaceRecognitionRecordStranger"},
        {"Type", R"({"SummaryNew": {"Key": "FaceDetectionRecord", "Value": {"IsStranger": "2"}}})",
         "FaceDetectionRecord"},
        {"Type", R"({"SummaryNew": {"Key": "Other"}})", "Shown other"},
        {"Type", R"({"SummaryNew": {"Key": 5}})", "NA"},
        // Attributes fall back to "Object": text when the first is empty, numbers when missing.
        {"Sex", R"({"SummaryNew": {"Value": {"Sex": "", "Object": {"Sex": "1"}}}})", "Male"},
        {"Sex", R"({"SummaryNew": {"Value": {"Sex": 1, "Object": {"Sex": "2"}}}})", "2"},
        {"sex", R"({"SummaryNew": {"Value": {"Sex": "1"}}})", "NA"},
        {"Age", R"({"SummaryNew": {"Value": {"Object": {"Age": 40.9}}}})", "40"},
        {"Age", R"({"SummaryNew": {"Value": {"Age": 0, "Object": {"Age": 40}}}})", "0"},
        {"Glasses", R"({"SummaryNew": {"Value": {"Glasses": true}}})", "1"},
        {"Glasses", R"({"SummaryNew": {"Value": {"Glasses": "1"}}})", "0"},
        // Similarity is a whole percentage; no candidate means no cell.
        {"Similarity", R"({"SummaryNew": {"Value": {"Candidates": [{"Similarity": 99.9}]}}})", "99%"},
        {"Similarity", R"({"SummaryNew": {"Value": {"Candidates": [{"Similarity": null}]}}})", "NA"},
        {"Similarity", R"({"SummaryNew": {"Value": {"Candidates": {"Similarity": 50}}}})", "NA"},
        {"Military", R"({"SummaryNew": {"Value": {"Candidates": [{"Person": {"ID": "X1"}}]}}})", "X1"},
        // Without "SummaryNew" only the record's own members show.
        {"SnapTime", R"({"StartTime": "2020-01-01 00:00:00"})", "2020-01-01 00:00:00"},
        {"TaskName", R"({})", "0"},
        {"TaskName", R"({"TaskID": -1})", "4294967295"},
        {"Name", R"({"SummaryNew": "garbage"})", "NA"},
        {"FacePic", R"({"FilePath": "/a/b.jpg", "channel": 3})", "file:///srv/export/result/facePic/Gate1_b.jpg"},
        {"TargetPic", R"({"SummaryNew": [{"Value": {"ImageInfo": {"FilePath": ""}}}]})", "NA"},
    };
    for (const CellCase& c : cases) {
        EXPECT_EQ(CellOf<CExcelDataFormaterForFaceAttr>(c, R"({"Sex": {"1": "Male"}})", R"({"Other": "Shown other"})",
                                                        kNames),
                  c.expected)
            << c;
    }
}

TEST(FaceImageFormater, FullRowWithAttributeList)
{
    // Attribute values are mapped once; the cells themselves are not mapped again.
    const std::string rules = R"({"Sex": {"1": "Male"}, "Age": {"Adult": [18, 200]}, "Mask": {"0": "No mask"},
                                  "TaskName": {"12": "Night shift"}, "Similarity": {"91%": "high"}})";
    const std::string translate = R"({"FacePicAnalyse": "Face analysis"})";
    EXPECT_EQ(RowOf<CExcelDataFormaterForFaceImage>(kFaceImageWithAttributes.keys, kFaceImageWithAttributes.record,
                                                    rules, translate, kNames),
              (Strings{"Gate/1", "2020-05-01 08:00:00", "Face analysis", "91%", "VIP", "Wang", "Male", "Smile",
                       "Adult", "No mask", "0", "NA", "12", "file:///srv/export/result/facePic/Gate1_f2.jpg",
                       "file:///srv/export/result/globalPic/Gate1_s2.jpg"}));
}

TEST(FaceImageFormater, FullRowWithoutAttributeList)
{
    const std::string rules = R"({"Sex": {"1": "Male"}, "Age": {"Adult": [18, 200]}, "TaskName": {"5": "Day shift"}})";
    const std::string translate = R"({"FacePicAnalyse": "Face analysis"})";
    EXPECT_EQ(RowOf<CExcelDataFormaterForFaceImage>(kFaceImage.keys, kFaceImage.record, rules, translate, kNames),
              (Strings{"Gate/1", "2020-05-02 09:00:00", "Face analysis", "Male", "NA", "Zhao", "17", "1", "2", "NA",
                       "Blacklist", "80", "Day shift", "file:///srv/export/result/facePic/Gate1_p3.jpg",
                       "file:///srv/export/result/globalPic/Gate1_s3.jpg"}));
}

TEST(FaceImageFormater, Cells)
{
    const std::string rules = R"({"Sex": {"1": "Male", "": "Unknown"}, "Age": {"Adult": [18, 200]}})";
    const CellCase cases[] = {
        {"Sex", R"({"attrs": [{"name": "gender", "originValue": "1"}]})", "Male"},
        {"Sex", R"({"attrs": [{"name": "Gender", "originValue": 1}]})", "Unknown"},
        {"Age", R"({"attrs": [{"name": "Age", "originValue": "30"}]})", "0"},
        {"Age", R"({"attrs": [{"name": "Age", "originValue": 230}]})", "230"},
        {"Emotion", R"({"attrs": [{"name": "Expression", "originValue": "Calm"}, {"name": "Emotion",
                                   "originValue": 3}]})", "3"},
        {"Similarity", R"({"attrs": [], "similarity": null})", "NA"},
        {"Similarity", R"({"attrs": [], "Similarity": 50})", "NA"},
        {"TaskName", R"({"attrs": [], "TaskID": 77})", "77"},
        {"TaskName", R"({"attrs": "not a list"})", "0"},
        // "attrs" present but null: the cells of a record without attribute list.
        {"SnapTime", R"({"attrs": null, "Time": "T", "StartTime": "S"})", "T"},
        {"Similarity", R"({"attrs": null, "Similarity": 50})", "50"},
        {"TaskName", R"({})", "NA"},
        {"Race", R"({"Person": {"Race": 2.2}})", "2"},
        {"Age", R"({"Person": {"Age": 25}})", "Adult"},
        {"Name", R"({"Person": "Zhao"})", "NA"},
    };
    for (const CellCase& c : cases) {
        EXPECT_EQ(CellOf<CExcelDataFormaterForFaceImage>(c, rules), c.expected) << c;
    }
}

TEST(FaceImageFormater, PicturesFollowTheRecordShape)
{
    EXPECT_EQ(PictureKeys<CExcelDataFormaterForFaceImage>(R"({"attrs": null, "FilePath": "/a.jpg",
                                                              "SceneFilePath": "/b.jpg",
                                                              "SceneImage": {"FilePath": "/c.jpg"}})"),
              (Strings{"FacePic", "TargetPic"}));
    auto formater = Make<CExcelDataFormaterForFaceImage>(Parameters({}));
    Json::Value record = Parse(R"({"attrs": null, "FilePath": "/a.jpg", "SceneFilePath": "/b.jpg"})");
    formater->CollectPictures(record);
    EXPECT_EQ(record["DownloadInfo"]["TargetPic"]["FilePath"].asString(), "/b.jpg");
    record = Parse(R"({"FilePath": "/a.jpg", "Person": {"Image": [{"FilePath": "/p.jpg"}]},
                       "SceneImage": {"FilePath": "/c.jpg"}})");
    formater->CollectPictures(record);
    EXPECT_EQ(record["DownloadInfo"]["FacePic"]["FilePath"].asString(), "/p.jpg");
    EXPECT_EQ(record["DownloadInfo"]["TargetPic"]["FilePath"].asString(), "/c.jpg");
}

TEST(HumanTraitFormater, FullRow)
{
    const std::string rules = R"({"HasBag": {"4": "Backpack"}})";
    const std::string translate = R"({"HumanTrait": "Person"})";
    EXPECT_EQ(RowOf<CExcelDataFormaterForHumanTrait>(kHumanTrait.keys, kHumanTrait.record, rules, translate),
              (Strings{"1", "2020-05-03 10:00:00", "Person", "1", "33", "Calm", "1", "0", "1", "1", "1",
                       "Backpack", "1", "NA", "Red", "NA", "9", "file:///srv/export/result/facePic/1_f.jpg",
                       "file:///srv/export/result/globalPic/1_fs.jpg", "file:///srv/export/result/humanPic/1_h.jpg",
                       "file:///srv/export/result/globalPic/1_hs.jpg"}));
}

TEST(HumanTraitFormater, Cells)
{
    const CellCase cases[] = {
        {"HasBag", R"({"SummaryNew": {"Value": {"HumanAttributes": {"HasBag": 1, "Bag": 3}}}})", "1"},
        {"HasBag", R"({"SummaryNew": {"Value": {"HumanAttributes": {"HasBag": 2}}}})", "2"},
        // The device's largest number, and a negative one, shifted without overflow.
        {"HasBag", R"({"SummaryNew": {"Value": {"HumanAttributes": {"HasBag": 2, "Bag": 9223372036854775807}}}})",
         "9223372036854775808"},
        {"HasHat", R"({"SummaryNew": {"Value": {"HumanAttributes": {"HasHat": 2, "Cap": -5}}}})", "-4"},
        {"HasHat", R"({"SummaryNew": {"Value": {"HumanAttributes": {"HasHat": 2, "Hat": 5, "Cap": 0}}}})", "1"},
        {"Bag", R"({"SummaryNew": {"Value": {"HumanAttributes": {"Bag": 2, "Cap": 5}}}})", "2"},
        // Without body attributes the body columns come from the value itself.
        {"CoatType", R"({"SummaryNew": {"Value": {"CoatType": 3}}})", "3"},
        {"HasBag", R"({"SummaryNew": {"Value": {"HasBag": 2, "Bag": 3}}})", "2"},
        {"CoatColor", R"({"SummaryNew": {"Value": {"HumanAttributes": null, "CoatColor": "Blue"}}})", "Blue"},
        {"Sex", R"({"SummaryNew": {"Value": {"FaceAttributes": {"Sex": "2"}}}})", "2"},
        {"Age", R"({"SummaryNew": {"Value": {"HumanAttributes": {"Age": 50}}}})", "50"},
        {"Glasses", R"({"SummaryNew": {"Value": {"FaceAttributes": {"Glasses": 1}}}})", "NA"},
        {"TaskName", R"({"SummaryNew": 3})", "0"},
    };
    for (const CellCase& c : cases) {
        EXPECT_EQ(CellOf<CExcelDataFormaterForHumanTrait>(c), c.expected) << c;
    }
    EXPECT_EQ(PictureKeys<CExcelDataFormaterForHumanTrait>(R"({"SummaryNew": {"Value": {"FacePath": "/x.jpg"}},
                                                              "FacePath": "/f.jpg", "FilePath": "/h.jpg"})"),
              (Strings{"FacePic", "HumanPic"}));
}

}  // namespace
