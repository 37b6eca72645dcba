#include <memory>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include <foundation/ComMethod.h>
#include <foundation/JsonRead.h>

using Foundation::IComInterface;
using Foundation::MakeComMethod;

namespace {

// Each member records how its parameter arrived.
struct Probe {
    std::string got = "<not called>";
    bool Int(int v) { got = std::to_string(v); return true; }
    bool Long(long v) { got = std::to_string(v); return true; }
    bool Float(float v) { std::ostringstream o; o << v; got = o.str(); return true; }
    bool Bool(bool v) { got = v ? "true" : "false"; return true; }
    bool String(std::string v) { got = "'" + v + "'"; return true; }
    bool CStr(const char* v) { got = "'" + std::string(v) + "'"; return true; }
    bool Value(Json::Value v) { got = Foundation::JsonFastText(v); got.pop_back(); return true; }
};

std::unique_ptr<IComInterface> MethodFor(Probe* p, const std::string& kind)
{
    if (kind == "int") return std::unique_ptr<IComInterface>(MakeComMethod(p, &Probe::Int, {"p"}));
    if (kind == "long") return std::unique_ptr<IComInterface>(MakeComMethod(p, &Probe::Long, {"p"}));
    if (kind == "float") return std::unique_ptr<IComInterface>(MakeComMethod(p, &Probe::Float, {"p"}));
    if (kind == "bool") return std::unique_ptr<IComInterface>(MakeComMethod(p, &Probe::Bool, {"p"}));
    if (kind == "string") return std::unique_ptr<IComInterface>(MakeComMethod(p, &Probe::String, {"p"}));
    if (kind == "cstr") return std::unique_ptr<IComInterface>(MakeComMethod(p, &Probe::CStr, {"p"}));
    return std::unique_ptr<IComInterface>(MakeComMethod(p, &Probe::Value, {"p"}));
}

struct ParamCase {
    const char* kind;
    const char* params;  // the request's "params" text
    bool accepted;
    const char* converted;
};

const ParamCase kParamCases[] = {
    {"int", R"({"p":3})", true, "3"},
    {"int", R"({"p":3.7})", true, "3"},
    {"int", R"({"p":-2.9})", true, "-2"},
    {"int", R"({"p":"3"})", false, "0"},
    {"int", R"({"p":true})", false, "0"},
    {"int", R"({"p":null})", false, "0"},
    {"int", R"({"p":[3]})", false, "0"},
    {"int", R"({"P":3})", false, "0"},
    {"int", R"({})", false, "0"},
    {"int", R"({"p":3000000000})", true, "-1294967296"},   // uint: low 32 bits
    {"int", R"({"p":-3000000000})", true, "1294967296"},   // 64-bit int: low 32 bits
    {"int", R"({"p":18446744073709551615})", true, "-1"},
    {"int", R"({"p":1e20})", true, "2147483647"},          // reals saturate
    {"int", R"({"p":-1e20})", true, "-2147483648"},
    {"long", R"({"p":-5})", true, "-5"},
    {"long", R"({"p":2.5})", true, "2"},
    {"long", R"({"p":"5"})", false, "0"},
    {"float", R"({"p":2})", true, "2"},
    {"float", R"({"p":-2.5})", true, "-2.5"},
    {"float", R"({"p":3000000000})", false, "0"},
    {"float", R"({"p":true})", false, "0"},
    {"float", R"({"p":"2.5"})", false, "0"},
    {"bool", R"({"p":true})", true, "true"},
    {"bool", R"({"p":false})", true, "false"},
    {"bool", R"({"p":1})", false, "false"},
    {"bool", R"({"p":"true"})", false, "false"},
    {"string", R"({"p":"abc"})", true, "'abc'"},
    {"string", R"({"p":""})", true, "''"},
    {"string", R"({"p":5})", false, "''"},
    {"string", R"({"p":null})", false, "''"},
    {"cstr", R"({"p":"x y"})", true, "'x y'"},
    {"cstr", R"({"p":7})", false, "''"},
    {"cstr", R"({})", false, "''"},
    {"value", R"({})", true, "null"},
    {"value", R"({"p":[1,2]})", true, "[1,2]"},
    {"value", R"({"p":{"a":1}})", true, R"({"a":1})"},
    {"value", R"({"p":"s"})", true, R"("s")"},
    // "params" that is not an object: every named lookup reads null
    {"int", R"([3])", false, "0"},
    {"string", R"("p")", false, "''"},
    {"value", R"([3])", true, "null"},
    {"value", R"(5)", true, "null"},
    {"value", R"(null)", true, "null"},
};

}  // namespace

TEST(ComMethodTest, AcceptanceAndConversionPerParameterType)
{
    for (const ParamCase& c : kParamCases) {
        SCOPED_TRACE(std::string(c.kind) + " " + c.params);
        Probe probe;
        auto method = MethodFor(&probe, c.kind);
        const std::string request = std::string(R"({"method":"m","id":1,"params":)") + c.params + "}";
        Json::Value params;
        ASSERT_TRUE(Foundation::ParseJsonRequestParams(request.c_str(), params));

        EXPECT_EQ(method->CheckParams(1, params), c.accepted);
        EXPECT_EQ(method->CheckParamsText(1, request.c_str()), c.accepted);
        EXPECT_FALSE(method->CheckParams(0, params));
        EXPECT_FALSE(method->CheckParamsText(2, request.c_str()));

        // Invoke converts without checking again; nothing throws for any input.
        const std::string reply = method->Invoke(1, request.c_str());
        EXPECT_FALSE(reply.empty());
        EXPECT_EQ(probe.got, c.converted);
    }
}

TEST(ComMethodTest, RequestWithoutParamsOrWithNonObjectRoot)
{
    Probe probe;
    std::unique_ptr<IComInterface> value(MakeComMethod(&probe, &Probe::Value, {"p"}));
    std::unique_ptr<IComInterface> integer(MakeComMethod(&probe, &Probe::Int, {"p"}));
    for (const char* text : {R"({"id":1})", "[1,2]", "5", "null"}) {
        SCOPED_TRACE(text);
        EXPECT_TRUE(value->CheckParamsText(1, text));
        EXPECT_FALSE(integer->CheckParamsText(1, text));
        probe.got.clear();
        EXPECT_FALSE(value->Invoke(1, text).empty());
        EXPECT_EQ(probe.got, "null");
    }
}

TEST(ComMethodTest, TextThatDoesNotParseIsRejectedAndAnsweredEmpty)
{
    Probe probe;
    std::unique_ptr<IComInterface> method(MakeComMethod(&probe, &Probe::Value, {"p"}));
    const std::string deep = std::string(5000, '[') + std::string(5000, ']');
    for (const std::string& text : {std::string("not json"), std::string("{\"params\":"), std::string(""), deep}) {
        SCOPED_TRACE(text.substr(0, 20));
        EXPECT_FALSE(method->CheckParamsText(1, text.c_str()));
        EXPECT_EQ(method->Invoke(1, text.c_str()), "");
    }
    EXPECT_FALSE(method->CheckParamsText(1, nullptr));
    EXPECT_EQ(method->Invoke(1, nullptr), "");
    EXPECT_EQ(probe.got, "<not called>");
}

TEST(ComMethodTest, SeveralParametersMatchByNameWhateverTheirOrder)
{
    struct Service {
        std::string got;
        int Mix(int winID, const char* name, bool on, float scale, Json::Value extra)
        {
            std::ostringstream o;
            o << winID << "," << name << "," << on << "," << scale << "," << Foundation::JsonFastText(extra);
            got = o.str();
            return winID * 2;
        }
    } service;
    std::unique_ptr<IComInterface> method(
        MakeComMethod(&service, &Service::Mix, {"winID", "name", "on", "scale", "extra"}));
    const char* request =
        R"({"params":{"extra":{"k":[1]},"scale":0.5,"on":true,"name":"cam","winID":4,"ignored":1},"id":9})";
    EXPECT_TRUE(method->CheckParamsText(6, request) == false);  // the count is the caller's member count
    EXPECT_TRUE(method->CheckParamsText(5, request));
    EXPECT_EQ(method->Invoke(9, request), "{\n   \"id\" : 9,\n   \"result\" : 8\n}\n");
    EXPECT_EQ(service.got, "4,cam,1,0.5,{\"k\":[1]}\n");

    const char* oneWrong = R"({"params":{"extra":1,"scale":0.5,"on":1,"name":"cam","winID":4},"id":9})";
    EXPECT_FALSE(method->CheckParamsText(5, oneWrong));
}

TEST(ComMethodTest, ReplyBytesPerResultType)
{
    struct Service {
        bool Bool(int) { return true; }
        std::string Text() { return "a\"b"; }
        Json::Value Object()
        {
            Json::Value v;
            v["name"] = "x";
            v["list"].append(1);
            v["list"].append(2);
            return v;
        }
        int called = 0;
        void Nothing() { ++called; }
    } service;

    std::unique_ptr<IComInterface> boolMethod(MakeComMethod(&service, &Service::Bool, {"winID"}));
    EXPECT_EQ(boolMethod->Invoke(7, R"({"method":"m","params":{"winID":3},"id":7})"),
              "{\n   \"id\" : 7,\n   \"result\" : true\n}\n");

    std::unique_ptr<IComInterface> textMethod(MakeComMethod(&service, &Service::Text));
    EXPECT_EQ(textMethod->Invoke(-1, ""), "{\n   \"id\" : -1,\n   \"result\" : \"a\\\"b\"\n}\n");

    std::unique_ptr<IComInterface> objectMethod(MakeComMethod(&service, &Service::Object));
    EXPECT_EQ(objectMethod->Invoke(2, ""),
              "{\n   \"id\" : 2,\n   \"result\" : {\n      \"list\" : [ 1, 2 ],\n      \"name\" : \"x\"\n   }\n}\n");

    std::unique_ptr<IComInterface> voidMethod(MakeComMethod(&service, &Service::Nothing));
    EXPECT_EQ(voidMethod->Invoke(4, ""), "{\n   \"id\" : 4,\n   \"result\" : \"null\"\n}\n");
    EXPECT_EQ(service.called, 1);
}

TEST(ComMethodTest, MethodWithoutParameters)
{
    struct Service {
        int calls = 0;
        bool Ping() { ++calls; return true; }
    } service;
    std::unique_ptr<IComInterface> method(MakeComMethod(&service, &Service::Ping, false));
    Json::Value emptyObject(Json::objectValue);
    EXPECT_TRUE(method->CheckParams(0, Json::Value()));
    EXPECT_FALSE(method->CheckParams(0, emptyObject));
    EXPECT_FALSE(method->CheckParams(1, Json::Value()));
    EXPECT_TRUE(method->CheckParamsText(0, "not even json"));
    EXPECT_FALSE(method->CheckParamsText(1, R"({"params":{}})"));
    EXPECT_EQ(method->Invoke(5, "not even json"), "{\n   \"id\" : 5,\n   \"result\" : true\n}\n");
    EXPECT_EQ(service.calls, 1);
    char names[10][100] = {};
    EXPECT_TRUE(method->GetParamNames(names, 0));
    EXPECT_FALSE(method->GetParamNames(names, 1));
    EXPECT_FALSE(method->GetFlag());
}

TEST(ComMethodTest, ParameterNamesAreCopiedWhenTheyFit)
{
    struct Service {
        bool Two(int, int) { return true; }
    } service;
    const std::string name98(98, 'a');
    const std::string name99(99, 'b');
    std::unique_ptr<IComInterface> fits(MakeComMethod(&service, &Service::Two, {"first", name98.c_str()}));
    std::unique_ptr<IComInterface> tooLong(MakeComMethod(&service, &Service::Two, {"first", name99.c_str()}));

    char names[10][100] = {};
    EXPECT_FALSE(fits->GetParamNames(names, 1));
    EXPECT_TRUE(fits->GetParamNames(names, 2));
    EXPECT_STREQ(names[0], "first");
    EXPECT_EQ(std::string(names[1]), name98);
    EXPECT_FALSE(tooLong->GetParamNames(names, 2));
    EXPECT_TRUE(fits->GetFlag());
}

namespace {

bool g_freeCalled = false;
bool FreeWriter(const char* fileName, bool append)
{
    g_freeCalled = std::string(fileName) == "a.txt" && append;
    return g_freeCalled;
}

}  // namespace

TEST(ComMethodTest, FreeFunctionsAndThrowingMembers)
{
    std::unique_ptr<IComInterface> free(Foundation::MakeComFunction(&FreeWriter, {"fileName", "append"}));
    EXPECT_EQ(free->Invoke(1, R"({"params":{"fileName":"a.txt","append":true}})"),
              "{\n   \"id\" : 1,\n   \"result\" : true\n}\n");
    EXPECT_TRUE(g_freeCalled);

    struct Service {
        bool Fails(int) { throw std::runtime_error("boom"); }
    } service;
    std::unique_ptr<IComInterface> throwing(MakeComMethod(&service, &Service::Fails, {"p"}));
    EXPECT_EQ(throwing->Invoke(1, R"({"params":{"p":1}})"), "");
}

TEST(JsonReadTest, GuardedReadersNeverThrow)
{
    const Json::Value array(Json::arrayValue);
    const Json::Value number(5);
    EXPECT_EQ(Foundation::JsonFind(array, "a"), nullptr);
    EXPECT_EQ(Foundation::JsonFind(number, "a"), nullptr);
    EXPECT_TRUE(Foundation::JsonMember(number, "a").isNull());
    EXPECT_TRUE(Foundation::JsonMemberNames(array).empty());
    EXPECT_EQ(Foundation::JsonMemberCount(number), 0);
    EXPECT_EQ(Foundation::JsonToInt(Json::Value(std::nan("")), 4), 0);
    EXPECT_EQ(Foundation::JsonToInt(Json::Value("7"), 4), 4);
    EXPECT_EQ(Foundation::JsonStringOrEmpty(number), "");
    EXPECT_STREQ(Foundation::JsonCStringOrEmpty(array), "");

    Json::Value kept(3);
    EXPECT_FALSE(Foundation::JsonParse("{", kept));
    EXPECT_EQ(kept, Json::Value(3));
    Json::Value params(3);
    EXPECT_FALSE(Foundation::ParseJsonRequestParams("{", params));
    EXPECT_EQ(params, Json::Value(3));
}
