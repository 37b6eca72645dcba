#include "Infra/printlog.h"
#include "stdoutcapture.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <unistd.h>

using Tarvo::Infra::PrintLog;

namespace {

std::string threadId()
{
    return std::to_string(static_cast<int>(::gettid()));
}

TEST(PrintLog, PrefixByLevelVersionAndFile)
{
    struct Case
    {
        int level;
        const char* version;
        const char* file;
        const char* expectedMiddle; // between the time and the thread id
        const char* expectedFile;
    };
    const Case cases[] = {
        {PrintLog::kFatal, "", "Packet", "fatal Mod ", "Packet"},
        {PrintLog::kError, "", "Packet", "error Mod ", "Packet"},
        {PrintLog::kWarn, "Unknown", "Packet", "warn Mod ", "Packet"},
        {PrintLog::kInfo, "2.1", "Packet", "info Mod:2.1 ", "Packet"},
        {PrintLog::kInfo, nullptr, "C:\\src\\infra\\Packet.cpp", "info Mod ", "Packet.cpp"},
        {PrintLog::kInfo, "", "/work/src/Memory/packet.cpp", "info Mod ", "packet.cpp"},
        {0, "", "Packet", "fatal Mod ", "Packet"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expectedMiddle);
        StdoutCapture capture;
        const int produced = PrintLog::log(c.level, "Mod", c.file, "Func", 165, c.version,
                                           "value %d %s\n", 7, "x");
        const std::string out = capture.take();
        const std::regex line("\\[[0-2][0-9]:[0-5][0-9]:[0-5][0-9] (.*)\\]value 7 x\n");
        std::smatch match;
        ASSERT_TRUE(std::regex_match(out, match, line)) << out;
        EXPECT_EQ(match[1].str(), std::string(c.expectedMiddle) + threadId() + " "
                      + c.expectedFile + ":165");
        EXPECT_EQ(produced, static_cast<int>(out.size()));
    }
}

TEST(PrintLog, LevelsAboveInfoAreDropped)
{
    for (int level : {5, 6, 7}) {
        StdoutCapture capture;
        EXPECT_EQ(PrintLog::log(level, "Mod", "f", "", 1, "", "dropped\n"), 0);
        EXPECT_EQ(capture.take(), "");
    }
}

TEST(PrintLog, TextWithoutNewlineIsContinued)
{
    StdoutCapture capture;
    const int first = PrintLog::log(PrintLog::kWarn, "Mod", "f", "", 1, "", "part one, ");
    const int second = PrintLog::log(PrintLog::kError, "Other", "g", "", 2, "", "part %s\n", "two");
    const int third = PrintLog::message("next\n");
    const std::string out = capture.take();

    const std::regex lines("\\[\\d\\d:\\d\\d:\\d\\d warn Mod \\d+ f:1\\]part one, part two\n"
                           "\\[\\d\\d:\\d\\d:\\d\\d info Unknown \\d+ Unknown:0\\]next\n");
    EXPECT_TRUE(std::regex_match(out, lines)) << out;
    EXPECT_EQ(second, 9);
    EXPECT_EQ(first + second + third, static_cast<int>(out.size()));
}

TEST(PrintLog, OverlongTextIsCutAndEndsTheLine)
{
    const std::string longText(10000, 'x');
    StdoutCapture capture;
    const int produced = PrintLog::log(PrintLog::kInfo, "Mod", "f", "", 1, "", "%s", longText.c_str());
    PrintLog::message("after\n");
    const std::string out = capture.take();
    EXPECT_EQ(produced, PrintLog::kBufferSize - 1);
    ASSERT_GT(out.size(), static_cast<size_t>(produced));
    EXPECT_EQ(out[produced - 1], 'x');
    EXPECT_EQ(out[produced], '[') << "the next call starts with a prefix";
}

} // namespace
