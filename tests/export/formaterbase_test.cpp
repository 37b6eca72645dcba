// What every spreadsheet formatter shares: rows, header lookup, value maps, channel labels,
// picture registration and links, clip names.

#include <QDir>

#include "formaterfixture.h"

namespace {

using namespace exporttest;

// Shows the shared operations; a column "Empty" has nothing, any other shows its key.
class ProbeFormater : public Tolvane::IExcelDataFormater
{
public:
    using IExcelDataFormater::IExcelDataFormater;
    using IExcelDataFormater::AddPicture;
    using IExcelDataFormater::PictureLink;
    using IExcelDataFormater::TranslateValue;
    void CollectPictures(Json::Value&) const override {}
    std::string FormatCell(const std::string& key, const Json::Value&) const override
    {
        return key == "Empty" ? std::string() : "<" + key + ">";
    }
};

std::unique_ptr<ProbeFormater> Probe(const Json::Value& parameters, const std::string& channelNames = "{}",
                                     const std::string& fileName = kFileName)
{
    return std::make_unique<ProbeFormater>(parameters, kSaveFolder, fileName, Parse(channelNames));
}

TEST(FormaterRow, OneTextPerHeaderAndNaForEmpty)
{
    auto probe = Probe(Parameters({"A", "Empty", "B"}));
    EXPECT_EQ(Cells(probe->FillContent(Json::Value())), (std::vector<std::string>{"<A>", "NA", "<B>"}));

    for (const char* parameters : {R"({"Headers": []})", R"({})", R"({"Headers": "A"})", R"([1, 2])"}) {
        EXPECT_TRUE(Probe(Parse(parameters))->FillContent(Json::Value()).isNull()) << parameters;
    }
    // A header without a text key asks for the empty key.
    auto odd = Probe(Parse(R"({"Headers": [{"Key": 5}, "x", {"Value": "A"}]})"));
    EXPECT_EQ(Cells(odd->FillContent(Json::Value())), (std::vector<std::string>{"<>", "<>", "<>"}));
}

TEST(FormaterRow, HeaderIndexIsExactAndTakesTheLast)
{
    auto probe = Probe(Parameters({"FacePic", "TargetPic", "FacePic"}));
    EXPECT_EQ(probe->HeaderIndex("FacePic"), 2);
    EXPECT_EQ(probe->HeaderIndex("TargetPic"), 1);
    EXPECT_EQ(probe->HeaderIndex("facepic"), -1);
    EXPECT_EQ(probe->HeaderIndex("Other"), -1);
}

TEST(FormaterTranslateValue, MapsByColumnAndAgesByRange)
{
    const std::string rules = R"({
        "Age": {"Child": [0, 17], "Adult": [18, 200], "Odd": [1], "Text": "x"},
        "age": {"Any": [0, 1000]},
        "Sex": {"1": "Male", "": "Unknown", "3": 7},
        "Plain": "not a map"})";
    auto probe = Probe(Parameters({}, rules));
    const struct {
        const char* key;
        const char* raw;
        const char* expected;
    } cases[] = {
        {"Age", "25", "Adult"},
        {"Age", "230", "230"},
        {"Age", "17 years", "Child"},
        {"Age", "abc", "Child"},  // no leading number reads 0
        {"Age", "-5", "-5"},
        {"Age", "", ""},
        {"AGE", "25", "25"},  // the map is looked up by the key as sent
        {"age", "25", "Any"},
        {"Sex", "1", "Male"},
        {"Sex", "2", "2"},
        {"Sex", "", "Unknown"},
        {"Sex", "3", ""},  // a mapped value that is not a text
        {"sex", "1", "1"},
        {"Plain", "1", "1"},
        {"Mask", "1", "1"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(probe->TranslateValue(c.key, c.raw), c.expected) << c.key << " " << c.raw;
    }
    auto noRules = Probe(Parse(R"({"Rules": [1, 2]})"));
    EXPECT_EQ(noRules->TranslateValue("Age", "25"), "25");
    EXPECT_EQ(noRules->TranslateValue("Sex", "1"), "1");
}

TEST(FormaterChannelLabel, NumberOrDisplayName)
{
    const Json::Value names = Parse(R"({"3": "Gate/1", "": "none", "1": 5})");
    const struct {
        const char* record;
        const char* expected;
    } cases[] = {
        {R"({"channel": 3})", "Gate/1"},
        {R"({"Channel": 2})", "2"},
        {R"({"channel": 2, "Channel": 3})", "2"},
        {R"({"channel": 2.9})", "2"},
        {R"({"channel": -4})", "-4"},
        {R"({"channel": "3"})", "0"},
        {R"({"channel": 1})", ""},
        {R"({})", "none"},
        {R"([3])", "none"},
        {R"("channel")", "none"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Tolvane::ChannelLabel(Parse(c.record), names), c.expected) << c.record;
    }
    EXPECT_EQ(Tolvane::ChannelLabel(Parse(R"({"channel": 3})"), Json::Value("x")), "3");
}

TEST(FormaterFileNames, SanitizeRemovesReservedCharacters)
{
    EXPECT_EQ(Tolvane::SanitizeFileName("Gate/1"), "Gate1");
    EXPECT_EQ(Tolvane::SanitizeFileName(R"(a:b*c?d"e<f>g|h#i\j k)"), R"(abcdefghi\j k)");
    EXPECT_EQ(Tolvane::SanitizeFileName("Tür Süd"), "Tür Süd");
    EXPECT_EQ(Tolvane::SanitizeFileName(std::string(300, 'x')), std::string(255, 'x'));
    // 254 letters and a character outside the basic plane: the pair is not split.
    const std::string clef = "\xF0\x9D\x84\x9E";
    EXPECT_EQ(Tolvane::SanitizeFileName(std::string(254, 'x') + clef + "yy"), std::string(254, 'x'));
}

TEST(FormaterFileNames, VideoClipNames)
{
    const Json::Value names = Parse(R"({"5": "Gate/1"})");
    const struct {
        const char* record;
        const char* expected;
    } cases[] = {
        {R"({"channel": 2, "StartTime": "2020-01-01 10:00:00", "EndTime": "2020-01-01 10:00:00"})",
         "2_20200101095950_20200101100010_20S.rkv"},
        {R"({"channel": 2, "StartTime": "2020-01-01 10:00:00", "EndTime": "2020-01-01 10:05:00"})",
         "2_20200101100000_20200101100500_20S.rkv"},
        {R"({"channel": 5, "StartTime": "2020-01-01 00:00:05", "EndTime": "2020-01-01 00:00:05"})",
         "Gate1_20191231235955_20200101000015_20S.rkv"},
        {R"({"channel": 1, "Time": "2021-06-30 23:59:55"})", "1_20210630235945_20210701000005_20S.rkv"},
        {R"({"channel": 1, "StartTime": "", "Time": "2021-06-30 12:00:00"})",
         "1_20210630115950_20210630120010_20S.rkv"},
        {R"({"channel": 1, "StartTime": "2021-06-30 12:00:00"})", "1_20210630120000__20S.rkv"},
        {R"({"channel": 1, "StartTime": "30/06/2021", "EndTime": 7})", "1___20S.rkv"},
        {R"({})", "___20S.rkv"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Tolvane::VideoFileName(Parse(c.record), names), c.expected) << c.record;
    }
}

TEST(FormaterPictures, PictureRootBesideTheSheet)
{
    EXPECT_EQ(Probe(Parameters({}))->PictureRoot(), "/srv/export/result");
    EXPECT_EQ(Probe(Parameters({}), "{}", "a.b.xls")->PictureRoot(), "/srv/export/a.b");
    auto relative = std::make_unique<ProbeFormater>(Parameters({}), "out", "r.xls", Json::Value());
    EXPECT_EQ(relative->PictureRoot(), QDir::current().absoluteFilePath("out/r").toStdString());
}

TEST(FormaterPictures, RegisteredWithSavedNameAndNeededFlag)
{
    const Json::Value names = Parse(R"({"3": "Gate/1"})");
    Json::Value record = Parse(R"({"channel": 3})");

    auto sheet = Probe(Parameters({"FacePic", "facepic2"}, "{}", "{}", 4 | 2), R"({"3": "Gate/1"})");
    sheet->AddPicture("FacePic", "/mnt/sd/2020/a.jpg", "facePic", record, false);
    sheet->AddPicture("TargetPic", R"(C:\pics\b.jpg)", "globalPic", record, false);
    sheet->AddPicture("Forced", "c.jpg", "x", record, true);
    sheet->AddPicture("Skipped", "", "x", record, true);
    EXPECT_EQ(record["DownloadInfo"], Parse(R"({
        "FacePic": {"FilePath": "/mnt/sd/2020/a.jpg", "SavedFileName": "/srv/export/result/facePic/Gate1_a.jpg",
                    "Needed": true},
        "TargetPic": {"FilePath": "C:\\pics\\b.jpg", "SavedFileName": "/srv/export/result/globalPic/Gate1_b.jpg",
                      "Needed": false},
        "Forced": {"FilePath": "c.jpg", "SavedFileName": "/srv/export/result/x/Gate1_c.jpg", "Needed": true}})"));

    // Without the spreadsheet bit nothing is needed, forced or not.
    auto noSheet = Probe(Parameters({"FacePic"}, "{}", "{}", 3));
    Json::Value other = Parse(R"({"DownloadInfo": "broken"})");
    noSheet->AddPicture("FacePic", "a.jpg", "facePic", other, false);
    noSheet->AddPicture("Forced", "a.jpg", "facePic", other, true);
    EXPECT_FALSE(other["DownloadInfo"]["FacePic"]["Needed"].asBool());
    EXPECT_FALSE(other["DownloadInfo"]["Forced"]["Needed"].asBool());
    EXPECT_EQ(other["DownloadInfo"]["FacePic"]["SavedFileName"].asString(), "/srv/export/result/facePic/_a.jpg");

    // A record that is not an object is left alone.
    Json::Value list = Parse("[1]");
    noSheet->AddPicture("FacePic", "a.jpg", "facePic", list, false);
    EXPECT_EQ(list, Parse("[1]"));
}

// Links are absolute file URLs: "file://" followed by a relative path would name a host.
TEST(FormaterPictures, LinksAreAbsoluteFileUrls)
{
    auto probe = Probe(Parameters({}));
    Json::Value record = Parse(R"({"channel": 1, "DownloadInfo": {
        "Video": {"SavedFileName": "/srv/export/result/1_x.rkv"},
        "Empty": {"FilePath": "a"},
        "Elsewhere": {"SavedFileName": "/srv/other/p.jpg"},
        "Odd": {"SavedFileName": "/srv/export/job (1)/50%/a#b.jpg"}}})");
    probe->AddPicture("FacePic", "/mnt/a.jpg", "facePic", record, false);
    EXPECT_EQ(probe->PictureLink("FacePic", record), "file:///srv/export/result/facePic/1_a.jpg");
    EXPECT_EQ(probe->PictureLink("VideoName", record), "file:///srv/export/result/1_x.rkv");
    EXPECT_EQ(probe->PictureLink("videoname", record), "file:///srv/export/result/1_x.rkv");
    EXPECT_EQ(probe->PictureLink("Elsewhere", record), "file:///srv/other/p.jpg");
    EXPECT_EQ(probe->PictureLink("Odd", record), "file:///srv/export/job (1)/50%25/a%23b.jpg");
    EXPECT_EQ(probe->PictureLink("facepic", record), "");
    EXPECT_EQ(probe->PictureLink("Empty", record), "");
    EXPECT_EQ(probe->PictureLink("FacePic", Parse(R"({"DownloadInfo": 3})")), "");
}

}  // namespace
