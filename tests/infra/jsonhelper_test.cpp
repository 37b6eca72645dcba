#include "jsonhelper.h"

#include <QStringList>
#include <QtGlobal>
#include <gtest/gtest.h>
#include <json/reader.h>
#include <json/writer.h>

#include <string>
#include <vector>

using Tolvane::CJsonHelper;

namespace {

Json::Value parse(const std::string& text)
{
    Json::Value value;
    Json::Reader reader;
    EXPECT_TRUE(reader.parse(text, value)) << text;
    return value;
}

std::string compact(const Json::Value& value)
{
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    builder["emitUTF8"] = true;
    return Json::writeString(builder, value);
}

// Collects qDebug output while alive.
class DebugCapture
{
public:
    DebugCapture() { s_lines.clear(); m_previous = qInstallMessageHandler(&DebugCapture::handler); }
    ~DebugCapture() { qInstallMessageHandler(m_previous); }
    QStringList lines() const { return s_lines; }

private:
    static void handler(QtMsgType, const QMessageLogContext&, const QString& text) { s_lines << text; }
    static inline QStringList s_lines;
    QtMessageHandler m_previous;
};

const char kDropNotice[] = "CJsonHelper::ConvertQVarianToJson convert brower  some key failed";

TEST(JsonHelper, VariantToJson)
{
    QVariantMap nested{{"flag", true}, {"n", -3}};
    struct Case
    {
        const char* what;
        QVariant input;
        std::string before; // out before the call
        std::string after;
        int notices;
    };
    const Case cases[] = {
        {"bool", QVariant(true), "null", "true", 0},
        {"int", QVariant(-42), "null", "-42", 0},
        {"uint", QVariant(4000000000u), "null", "4000000000", 0},
        {"utf-8 string", QVariant(QString::fromUtf8("Grüße")), "null", "\"Grüße\"", 0},
        {"map", QVariant(QVariantMap{{"b", 2}, {"a", QVariantList{1, "x"}}, {"m", nested}}),
         "null", R"({"a":[1,"x"],"b":2,"m":{"flag":true,"n":-3}})", 0},
        {"map into an object keeps other members", QVariant(QVariantMap{{"k", 1}}),
         R"({"old":0})", R"({"k":1,"old":0})", 0},
        {"double in a map", QVariant(QVariantMap{{"d", 1.5}, {"i", 2}}), "null",
         R"({"d":null,"i":2})", 1},
        {"double in a list", QVariant(QVariantList{1.5, 2}), "null", "[null,2]", 1},
        {"empty map into null", QVariant(QVariantMap()), "null", "{}", 0},
        {"empty map into a value", QVariant(QVariantMap()), "7", "7", 0},
        {"empty list into null", QVariant(QVariantList()), "null", "[]", 0},
        {"empty list into a value", QVariant(QVariantList()), "\"s\"", "\"s\"", 0},
        {"double", QVariant(2.5), "\"keep\"", "\"keep\"", 1},
        {"string list", QVariant(QStringList{"a"}), "null", "null", 1},
        {"invalid", QVariant(), "5", "5", 1},
        {"map into a scalar", QVariant(QVariantMap{{"k", 1}}), "5", R"({"k":1})", 0},
        {"list into an object", QVariant(QVariantList{true}), R"({"a":1})", "[true]", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DebugCapture debug;
        Json::Value out = parse(c.before);
        CJsonHelper::ConvertQVarianToJson(c.input, out);
        EXPECT_EQ(compact(out), c.after);
        EXPECT_EQ(debug.lines().size(), c.notices);
        for (const QString& line : debug.lines())
            EXPECT_EQ(line.toStdString(), kDropNotice);
    }

    Json::Value out;
    CJsonHelper::ConvertQVarianToJson(QVariant(4000000000u), out);
    EXPECT_EQ(out.type(), Json::uintValue);
}

TEST(JsonHelper, JsonToVariant)
{
    struct Case
    {
        std::string json;
        QVariant expected;
    };
    const Case cases[] = {
        {"true", QVariant(true)},
        {"-7", QVariant(-7)},
        {"3000000000", QVariant(3000000000u)},
        {"10000000000", QVariant(static_cast<qulonglong>(10000000000ull))},
        {"-10000000000", QVariant(static_cast<qlonglong>(-10000000000ll))},
        {"0.25", QVariant(0.25)},
        {"\"Grüße\"", QVariant(QString::fromUtf8("Grüße"))},
        {"[1,[2,[3]],{\"k\":\"v\"},null,\"s\"]",
         QVariant(QVariantList{1, 2, 3, QVariantMap{{"k", "v"}}, "s"})},
        {"[[],[null]]", QVariant(QVariantList())},
        {R"({"b":[1,[2]],"a":{"x":null,"y":false},"ü":1})",
         QVariant(QVariantMap{{"a", QVariantMap{{"x", QVariant()}, {"y", false}}},
                              {"b", QVariantList{1, 2}},
                              {QString::fromUtf8("ü"), 1}})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json);
        QVariant out;
        CJsonHelper::ConvertJsonToQVariant(parse(c.json), out);
        EXPECT_EQ(out.userType(), c.expected.userType());
        EXPECT_EQ(out, c.expected);
    }

    QVariant untouched(5);
    CJsonHelper::ConvertJsonToQVariant(Json::Value(), untouched);
    EXPECT_EQ(untouched, QVariant(5));
}

TEST(JsonHelper, ListAndMapReadersIgnoreOtherShapes)
{
    QVariantList list{"kept"};
    CJsonHelper::JsonArrayToQVariantList(parse(R"({"a":1})"), list);
    CJsonHelper::JsonArrayToQVariantList(parse("3"), list);
    CJsonHelper::JsonArrayToQVariantList(parse("[true]"), list);
    EXPECT_EQ(list, (QVariantList{"kept", true}));

    QVariantMap map{{"kept", 1}};
    CJsonHelper::JsonObjectToQVariantMap(parse("[1,2]"), map);
    CJsonHelper::JsonObjectToQVariantMap(parse("\"s\""), map);
    EXPECT_EQ(map, (QVariantMap{{"kept", 1}}));
}

TEST(JsonHelper, RoundTripKeepsNonAsciiNames)
{
    const QVariantMap original{{QString::fromUtf8("Kanal ü"), QString::fromUtf8("日本")}};
    Json::Value json;
    CJsonHelper::ConvertQVarianToJson(QVariant(original), json);
    QVariantMap back;
    CJsonHelper::JsonObjectToQVariantMap(json, back);
    EXPECT_EQ(back, original);
}

TEST(JsonHelper, KeyFolding)
{
    struct Case
    {
        bool upper;
        std::string input;
        std::string expected;
    };
    const Case cases[] = {
        {true, R"({"name":"a","Name":"b"})", R"({"Name":"b","name":"a"})"},
        {true, R"({"name":"a"})", R"({"Name":"a","name":"a"})"},
        {true, R"({"Channels":[1,2],"hd":[1,[2]]})", R"({"Channels":[1,2],"hd":[1,[2]]})"},
        {true, R"({"items":[{"id":1},[{"x":2}],3],"cond":{"start":"t","Sub":{"q":0}}})",
         R"({"cond":{"Start":"t","Sub":{"Q":0,"q":0},"start":"t"},"items":[{"Id":1,"id":1},[{"X":2,"x":2}],3]})"},
        {true, R"({"":1,"n":null,"9":2})", R"({"":1,"9":2,"n":null})"},
        {true, R"({"":{"a":1}})", R"({"":{"A":1,"a":1}})"},
        {true, R"({"über":1})", R"({"Über":1,"über":1})"},
        {true, R"([{"a":1},{"b":2}])", R"([{"A":1,"a":1},{"B":2,"b":2}])"},
        {true, R"("text")", R"("text")"},
        {true, "null", "null"},
        {false, R"({"StartTime":"t","Length":5,"Files":[{"FilePath":"p"}]})",
         R"({"Files":[{"FilePath":"p","filePath":"p"}],"Length":5,"StartTime":"t","length":5,"startTime":"t"})"},
        {false, R"({"length":1,"Length":2})", R"({"Length":2,"length":1})"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        Json::Value value = parse(c.input);
        if (c.upper)
            CJsonHelper::UpperFirstLetterOfKeys(value);
        else
            CJsonHelper::LowerFirstLetterOfKeys(value);
        EXPECT_EQ(compact(value), c.expected);
    }
}

TEST(JsonHelper, RemoveArrayElement)
{
    struct Case
    {
        std::string input;
        int index;
        std::string expected;
    };
    const Case cases[] = {
        {"[1,2,3]", 1, "[1,3]"},     {"[1,2,3]", 0, "[2,3]"}, {"[1,2,3]", 2, "[1,2]"},
        {"[1,2,3]", 3, "[1,2,3]"},   {"[1,2,3]", -1, "[1,2,3]"}, {"[7]", 0, "[]"},
        {"null", 0, "null"},         {R"({"0":1})", 0, R"({"0":1})"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input + " without " + std::to_string(c.index));
        Json::Value value = parse(c.input);
        CJsonHelper::RemoveArrayElement(value, c.index);
        EXPECT_EQ(compact(value), c.expected);
    }
}

} // namespace

namespace {

TEST(JsonHelper, NoHelperThrowsOnOddShapes)
{
    std::vector<Json::Value> inputs;
    for (const char* text :
         {"null", "0", "-1", "1e300", "18446744073709551615", "-9223372036854775808", "\"\"",
          "[]", "{}", "[null,[[]],[[1]],\"s\",{}]", R"({"":null,"a":[1,"x",[{"":2}]],"b":{"c":[]}})",
          R"({"k":18446744073709551615,"m":-9223372036854775808,"r":1.5})"}) {
        inputs.push_back(parse(text));
    }
    Json::Value nulInName(Json::objectValue);
    nulInName[std::string("\0x", 2)] = 1;
    nulInName[std::string("\xff\xfe", 2)] = "bad utf-8";
    inputs.push_back(nulInName);

    for (const Json::Value& input : inputs) {
        SCOPED_TRACE(compact(input));
        EXPECT_NO_THROW({
            QVariant variant;
            CJsonHelper::ConvertJsonToQVariant(input, variant);
            Json::Value back = input;
            CJsonHelper::ConvertQVarianToJson(variant, back);
            QVariantList list;
            CJsonHelper::JsonArrayToQVariantList(input, list);
            QVariantMap map;
            CJsonHelper::JsonObjectToQVariantMap(input, map);
            Json::Value upper = input;
            CJsonHelper::UpperFirstLetterOfKeys(upper);
            Json::Value lower = input;
            CJsonHelper::LowerFirstLetterOfKeys(lower);
            Json::Value removed = input;
            CJsonHelper::RemoveArrayElement(removed, 0);
        });
    }
}

} // namespace
