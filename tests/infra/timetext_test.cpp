#include "timetext.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

using namespace Tolvane;

namespace {

// Central European time with its daylight-saving rule, independent of tzdata.
class TimeTextTest : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        const char* old = std::getenv("TZ");
        s_hadTz = old != nullptr;
        if (old)
            s_oldTz = old;
        setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
        tzset();
    }
    static void TearDownTestSuite()
    {
        if (s_hadTz)
            setenv("TZ", s_oldTz.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    static inline bool s_hadTz = false;
    static inline std::string s_oldTz;
};

const char kFmt[] = "yyyy-MM-dd hh:mm:ss";

TEST_F(TimeTextTest, AddSeconds)
{
    struct Case
    {
        const char* text;
        const char* format;
        int seconds;
        const char* expected;
    };
    const Case cases[] = {
        {"2023-05-01 10:00:00", kFmt, 1, "2023-05-01 10:00:01"},
        {"2023-05-01 10:00:00", kFmt, -1, "2023-05-01 09:59:59"},
        {"2023-12-31 23:59:59", kFmt, 1, "2024-01-01 00:00:00"},
        {"2024-02-28 12:00:00", kFmt, 86400, "2024-02-29 12:00:00"},
        // One real hour across the spring change skips 02:xx.
        {"2023-03-26 01:30:00", kFmt, 3600, "2023-03-26 03:30:00"},
        {"20230501100000", "yyyyMMddhhmmss", 60, "20230501100100"},
        {"not a time", kFmt, 1, ""},
        {"2023-13-01 10:00:00", kFmt, 1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(AddSecondsToTimeText(c.text, c.format, c.seconds), c.expected);
    }
}

TEST_F(TimeTextTest, Reformat)
{
    struct Case
    {
        const char* text;
        const char* in;
        const char* out;
        const char* expected;
    };
    const Case cases[] = {
        {"2023-05-01 10:20:30", kFmt, "yyyyMMddhhmmss", "20230501102030"},
        {"20230501102030", "yyyyMMddhhmmss", kFmt, "2023-05-01 10:20:30"},
        {"2023-05-01 10:20:30", kFmt, "hh:mm", "10:20"},
        {"2023-05-01", kFmt, "yyyyMMddhhmmss", ""},
        {"", kFmt, kFmt, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ReformatTimeText(c.text, c.in, c.out), c.expected);
    }
}

TEST_F(TimeTextTest, DiffSeconds)
{
    struct Case
    {
        const char* first;
        const char* second;
        int expected;
    };
    const Case cases[] = {
        {"2023-05-01 10:00:00", "2023-05-01 10:01:00", 60},
        {"2023-05-01 10:01:00", "2023-05-01 10:00:00", -60},
        {"2023-05-01 10:00:00", "2023-05-02 10:00:00", 86400},
        // The autumn night has 25 hours.
        {"2023-10-29 00:00:00", "2023-10-30 00:00:00", 90000},
        // Unreadable texts count as -1: 1970-01-01 01:00:10 local is 10 s after the epoch.
        {"bad", "1970-01-01 01:00:10", 11},
        {"1970-01-01 01:00:10", "bad", -11},
        {"bad", "bad", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.first) + " -> " + c.second);
        EXPECT_EQ(TimeTextDiffSecondsFmt(c.first, c.second), c.expected);
        EXPECT_EQ(TimeTextDiffSeconds(c.first, c.second, kFmt), c.expected);
    }
    EXPECT_EQ(TimeTextDiffSeconds("01/05/2023", "03/05/2023", "dd/MM/yyyy"), 2 * 86400);
}

TEST_F(TimeTextTest, ParseDeviceTimeText)
{
    struct Case
    {
        const char* text;
        bool ok;
        DeviceTimeFields fields;
    };
    const Case cases[] = {
        {"2023-05-01 10:20:30", true, {2023, 5, 1, 10, 20, 30}},
        {"2023-02-30 10:00:00", true, {2023, 2, 30, 10, 0, 0}},
        {"2023-13-45 23:59:59", true, {2023, 13, 45, 23, 59, 59}},
        {"2023-01-01 24:00:00", false, {2023, 1, 1, 24, 0, 0}},
        {"2023-01-01 10:60:00", false, {2023, 1, 1, 10, 60, 0}},
        {"2023-01-01 10:00:60", false, {2023, 1, 1, 10, 0, 60}},
        {"2023-01-01 -1:00:00", false, {2023, 1, 1, -1, 0, 0}},
        {"2023-01-01", true, {2023, 1, 1, 0, 0, 0}},
        {"2023-01", false, {2023, 1, 0, 0, 0, 0}},
        {"0000-01-01 00:00:00", false, {0, 1, 1, 0, 0, 0}},
        {"20230101", false, {2023, 0, 0, 0, 0, 0}},
        {"", false, {0, 0, 0, 0, 0, 0}},
        {nullptr, false, {0, 0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text ? c.text : "(null)");
        DeviceTimeFields fields{9, 9, 9, 9, 9, 9};
        EXPECT_EQ(ParseDeviceTimeText(fields, c.text), c.ok);
        EXPECT_EQ(fields.year, c.fields.year);
        EXPECT_EQ(fields.month, c.fields.month);
        EXPECT_EQ(fields.day, c.fields.day);
        EXPECT_EQ(fields.hour, c.fields.hour);
        EXPECT_EQ(fields.minute, c.fields.minute);
        EXPECT_EQ(fields.second, c.fields.second);
    }
}

} // namespace
