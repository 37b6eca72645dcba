// The row builder: which formatter serves a kind, the header row, and the columns it reports.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "exceldataformater.h"
#include "exceldataformaterregistry.h"
#include "excelrowbuilder.h"
#include "searchfixture.h"

namespace {

using searchtest::Parse;

// Formatters whose cells say which one wrote them.
template <const char* Label>
class LabelFormater : public Tolvane::IExcelDataFormater {
public:
    using IExcelDataFormater::IExcelDataFormater;
    void CollectPictures(Json::Value& record) const override { record["DownloadInfo"]["By"] = Label; }
    std::string FormatCell(const std::string& key, const Json::Value&) const override
    {
        return std::string(Label) + ":" + key;
    }
};

constexpr char kAttr[] = "attr";
constexpr char kImage[] = "image";
constexpr char kLate[] = "late";

class ExcelRowBuilder : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        Tolvane::RegisterExcelDataFormater("Face_Attr", &Tolvane::MakeExcelDataFormater<LabelFormater<kAttr>>);
        Tolvane::RegisterExcelDataFormater("Face_Image", &Tolvane::MakeExcelDataFormater<LabelFormater<kImage>>);
    }

    static Json::Value Parameters(const std::string& aiType, const std::string& headers = R"([{"Key": "A", "Value": "a"}])")
    {
        Json::Value parameters = Parse(headers.empty() ? "{}" : R"({"Headers": )" + headers + "}");
        parameters["AiType"] = aiType;
        return parameters;
    }
};

TEST_F(ExcelRowBuilder, FaceKindIsDecidedByTheFirstRecord)
{
    struct Case {
        const char* aiType;
        const char* first;
        const char* later;
        const char* cell;  // of both rows; null: no formatter
    };
    const Case cases[] = {
        {"Face", R"({"SummaryNew": {"Value": 1}})", "{}", "attr:A"},
        {"Face", "{}", R"({"SummaryNew": {"Value": 1}})", "image:A"},
        {"FACE", R"({"SummaryNew": [{"Value": 1}]})", "{}", "attr:A"},
        {"face", R"({"SummaryNew": [null, {"Value": 1}]})", R"({"SummaryNew": {}})", "image:A"},
        {"face", R"({"SummaryNew": []})", "{}", "image:A"},
        {"Face_Attr", "{}", "{}", "attr:A"},
        {"face_attr", R"({"SummaryNew": {}})", "{}", nullptr},
        {"Faces", R"({"SummaryNew": {}})", "{}", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.aiType) + " " + c.first);
        Tolvane::CExcelRowBuilder builder(Parameters(c.aiType), "/srv/out", "Face.xls", Json::Value());
        for (const char* record : {c.first, c.later}) {
            const Json::Value row = builder.BuildRow(Parse(record));
            if (c.cell == nullptr) {
                EXPECT_TRUE(row.isNull());
            } else {
                EXPECT_EQ(row, Parse(std::string(R"({"Content": [")") + c.cell + "\"]}"));
            }
        }
        EXPECT_EQ(builder.ColumnOf("A"), c.cell ? 0 : -1);
        Json::Value record = Parse(c.later);
        builder.CollectPictures(record);
        EXPECT_EQ(record.isMember("DownloadInfo"), c.cell != nullptr);
    }
}

TEST_F(ExcelRowBuilder, AKindWithoutFormaterIsTriedAgainLater)
{
    Tolvane::CExcelRowBuilder builder(Parameters("SearchLateKind"), "/srv/out", "late.xls", Json::Value());
    EXPECT_EQ(builder.GetFormater(Parse("{}")), nullptr);
    EXPECT_TRUE(builder.BuildRow(Parse("{}")).isNull());
    EXPECT_EQ(builder.ColumnOf("A"), -1);
    // The header row needs no formatter.
    EXPECT_EQ(builder.BuildHeaderRow(), Parse(R"({"Content": ["a"]})"));

    Tolvane::RegisterExcelDataFormater("SearchLateKind", &Tolvane::MakeExcelDataFormater<LabelFormater<kLate>>);
    EXPECT_EQ(builder.BuildRow(Parse("{}")), Parse(R"({"Content": ["late:A"]})"));
    EXPECT_EQ(builder.ColumnOf("A"), 0);
}

TEST_F(ExcelRowBuilder, HeaderRowAndVideoColumn)
{
    struct Case {
        const char* headers;  // empty: no "Headers"
        const char* content;
        int videoColumn;
    };
    const Case cases[] = {
        {R"([{"Key": "SnapTime", "Value": "Time"}, {"Key": "VideoName", "Value": ""},
             {"Key": "VideoName", "Value": "Video again"}])",
         R"(["Time", "NA", "Video again"])", 1},
        {R"([{"Key": "videoname", "Value": "v"}, {"Value": 5}, "junk", {"Key": "VideoName "}])",
         R"(["v", "NA", "NA", "NA"])", -1},
        {"[]", "[]", -1},
        {"", "[]", -1},
        {R"({"Key": "VideoName", "Value": "x"})", "[]", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.headers);
        Tolvane::CExcelRowBuilder builder(Parameters("ivs", c.headers), "/srv/out", "ivs.xls", Json::Value());
        EXPECT_EQ(builder.BuildHeaderRow(), Parse(std::string(R"({"Content": )") + c.content + "}"));
        EXPECT_EQ(builder.VideoColumn(), c.videoColumn);
    }
}

}  // namespace
