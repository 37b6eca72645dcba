#include "versioncompare.h"

#include <gtest/gtest.h>

namespace {

struct VersionCase {
    const char* a;
    const char* b;
    bool majorMinorGreater;   // CompareMajorMinor(a, b)
    bool atLeast;             // CompareVersion(a, b)
};

// Widths come from the longer of the two versions at each position, so "2.10" beats "2.9"
// while "2.05" and "2.5" tie.
const VersionCase kCases[] = {
    {"2.10", "2.9", true, true},              // 210 vs 209; short versions count as 0.0.0.0
    {"2.9", "2.10", false, true},
    {"2.1", "2.10", false, true},             // 201 vs 210
    {"2.05", "2.5", false, true},             // 205 each
    {"2.5", "2.05", false, true},
    {"1.2.3.4", "1.2.3.10", false, false},    // 12304 vs 12310
    {"1.2.3.10", "1.2.3.4", false, true},
    {"1.2.3.4", "1.2.3.4", false, true},
    {"1.2", "1.2.3.4", false, false},         // 1.2 counts as 0.0.0.0 on four parts
    {"3", "2.9", false, true},                // no dot: 0.0.0.0 in both
    {"1..3.4", "1.0.3.4", false, true},       // empty part: value 0, width 0
    {"1.x.3.4", "1.0.3.4", false, true},      // not a number: 0
    {"1.x.3.4", "1.1.3.4", false, false},
    {"3.1.9.9", "3.2.0.0", false, false},
    {"3.2.0.0", "3.1.9.9", true, true},
    {"1.2.3.4.9", "1.2.3.4", false, true},    // parts after the fourth are ignored
    // Date-stamped parts outgrow 32 bits; they must still order correctly.
    {"2.0.20230115.1", "2.0.20230116.1", false, false},
    {"2.0.20230116.1", "2.0.20230115.1", false, true},
    {"2.0.20230115.1", "1.9.20240101.1", true, true},
    {"4000000000.1", "3999999999.9", true, true},
};

class VersionCompareTest : public ::testing::TestWithParam<VersionCase> {};

TEST_P(VersionCompareTest, MatchesTable)
{
    const VersionCase& c = GetParam();
    EXPECT_EQ(CompareMajorMinor(QString::fromLatin1(c.a), QString::fromLatin1(c.b)), c.majorMinorGreater)
        << c.a << " vs " << c.b;
    EXPECT_EQ(CompareVersion(QString::fromLatin1(c.a), QString::fromLatin1(c.b)), c.atLeast)
        << c.a << " vs " << c.b;
}

INSTANTIATE_TEST_SUITE_P(Table, VersionCompareTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<VersionCase>& info) {
                             return "Row" + std::to_string(info.index);
                         });

} // namespace
