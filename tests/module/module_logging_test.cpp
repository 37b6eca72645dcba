// "GetLogInfo" and "SetLogLevel" answered through the module's published method objects,
// and the logger's lines as the module prints them.

#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <json/json.h>

#include "loadedmodule.h"

namespace {

// A styled reply {"id": id, "result": <literal result text>}.
std::string Reply(const std::string& resultText, int id = 1)
{
    return "{\n   \"id\" : " + std::to_string(id) + ",\n   \"result\" : " + resultText + "\n}\n";
}

// A text as a JSON string literal.
std::string Quoted(const std::string& text)
{
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '\n') {
            quoted += "\\n";
        } else if (c == '"') {
            quoted += "\\\"";
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

// The styled text of the level list, head first.
std::string LevelsText(const std::vector<std::pair<std::string, int>>& levels)
{
    std::string text = "[\n";
    for (std::size_t i = 0; i < levels.size(); ++i) {
        text += "   {\n      \"level\" : " + std::to_string(levels[i].second) + ",\n      \"name\" : \""
              + levels[i].first + "\"\n   }";
        text += i + 1 < levels.size() ? ",\n" : "\n";
    }
    return text + "]\n";
}

const std::vector<std::pair<std::string, int>> kAfterSetUp = {
    {"StreamLib", 3}, {"Watermark", 3}, {"VideoAnlyse", 3}, {"Downlaod", 3}, {"RealVideo", 3},
    {"Playback", 3},  {"Stream", 3},    {"Plugin", 3},      {"UI", 3},       {"Tolvane", 3}};

using ModuleLogging = LoadedModuleTest;

TEST_F(ModuleLogging, WithoutLoggerGetLogInfoAnswersNullAndSetLogLevelFalse)
{
    ASSERT_TRUE(loadImplObjects(Context(), ""));
    EXPECT_EQ(Host().CallMethod("GetLogInfo", "null"), Reply("\"null\""));
    EXPECT_EQ(Host().CallMethod("SetLogLevel", R"({"module":"Playback","level":1})"), Reply("false"));
    EXPECT_EQ(Host().LogLevels()->head, nullptr);
}

TEST_F(ModuleLogging, GetLogInfoAnswersTheListAsStyledText)
{
    LoadModule();
    EXPECT_EQ(Host().CallMethod("GetLogInfo", "null", 7), Reply(Quoted(LevelsText(kAfterSetUp)), 7));
}

TEST_F(ModuleLogging, SetLogLevelChangesOrAddsAndGetLogInfoShowsIt)
{
    LoadModule();
    struct Case {
        const char* params;
        std::vector<std::pair<std::string, int>> expected;
    };
    auto changed = kAfterSetUp;
    changed[5].second = 1;  // "Playback"
    auto added = changed;
    added.insert(added.begin(), {"Decoder", 2});
    auto unchecked = added;
    unchecked[0].second = -40;
    const Case cases[] = {
        {R"({"module":"Playback","level":1})", changed},
        {R"({"module":"Decoder","level":2})", added},      // a new name goes to the head
        {R"({"module":"Decoder","level":-40})", unchecked},  // no range check
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.params);
        EXPECT_EQ(Host().CallMethod("SetLogLevel", c.params, 3), Reply("true", 3));
        EXPECT_EQ(Host().CallMethod("GetLogInfo", "null"), Reply(Quoted(LevelsText(c.expected))));
    }
}

TEST_F(ModuleLogging, CreationTraceLinePassesOnlyAtTraceLevel)
{
    LoadModule();
    const std::regex traceLine(
        R"(\[Tolvane\]\[\S*Src/(loginit|timer)\.cpp:\d+ Tolvane::CreateSvrObject\] CreateSvrObject)");
    auto traceLines = [&] {
        int count = 0;
        for (const std::string& line : messages.Lines()) {
            count += std::regex_match(line, traceLine) ? 1 : 0;
        }
        return count;
    };
    EXPECT_EQ(traceLines(), 0);  // default level 3

    ASSERT_EQ(Host().CallMethod("SetLogLevel", R"({"module":"Tolvane","level":1})"), Reply("true"));
    messages.Clear();
    ASSERT_TRUE(loadImplObjects(Context(), ""));
    EXPECT_EQ(traceLines(), 2) << ::testing::PrintToString(messages.Lines());
}

}  // namespace
