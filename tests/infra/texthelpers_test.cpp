#include "perfcounter.h"
#include "texthelpers.h"

#include <gtest/gtest.h>

using namespace Tolvane;

namespace {

TEST(TextHelpers, StringEqualsQt)
{
    struct Case
    {
        const char* a;
        const char* b;
        bool ignoreCase;
        bool equal;
    };
    const Case cases[] = {
        {"Channel", "channel", false, false}, {"Channel", "channel", true, true},
        {"Grüße", "GRÜSSE", true, false},     {"Ärger", "ärger", true, true},
        {"abc", "abd", true, false},          {"", "", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " / " + c.b);
        EXPECT_EQ(StringEqualsQt(c.a, c.b, c.ignoreCase), c.equal);
    }
}

TEST(TextHelpers, StringEqualsNoNull)
{
    EXPECT_TRUE(StringEqualsNoNull("abc", "abc"));
    EXPECT_FALSE(StringEqualsNoNull("abc", "ABC"));
    EXPECT_FALSE(StringEqualsNoNull(nullptr, "abc"));
    EXPECT_FALSE(StringEqualsNoNull("abc", nullptr));
    EXPECT_FALSE(StringEqualsNoNull(nullptr, nullptr));
}

TEST(TextHelpers, ToLowerKeepsUtf8)
{
    EXPECT_EQ(ToLowerStdString("ÄRGER Mit ÜBER"), "ärger mit über");
    EXPECT_EQ(ToLowerStdString(""), "");
}

TEST(TextHelpers, Utf8ToLocal8BitIsTheIdentityHere)
{
    const char text[] = "Aufnahme_äöü_日本.rkv";
    EXPECT_EQ(Utf8ToLocal8Bit(QByteArray(text)), QByteArray(text));
    EXPECT_EQ(Utf8ToLocal8BitStd(text), text);
    EXPECT_EQ(Utf8ToLocal8BitStd(nullptr), "");
}

TEST(Clock, CountsForward)
{
    const uint64_t first = PerfCounterMicroseconds();
    const uint64_t seconds = PerfCounterSeconds();
    const uint64_t second = PerfCounterMicroseconds();
    EXPECT_LE(first, second);
    EXPECT_GE(seconds, first / 1000000);
    EXPECT_LE(seconds, second / 1000000);
}

} // namespace
