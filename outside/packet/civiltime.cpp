// Plain calendar timestamps: milliseconds since 1970-01-01 00:00:00, no time zone.
#include "packetfmt.h"

#include <cstdio>
#include <ctime>
#include <sys/time.h>

namespace packetfmt {

namespace {

int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + int64_t(doe) - 719468;
}

void CivilFromDays(int64_t z, int &y, int &m, int &d)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = int(doy - (153 * mp + 2) / 5 + 1);
    m = int(mp < 10 ? mp + 3 : mp - 9);
    y = int(int64_t(yoe) + era * 400 + (m <= 2));
}

int DaysInMonth(int y, int m)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0))
        return 29;
    return days[m - 1];
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

}  // namespace

int64_t CivilToMs(const CivilTime &t)
{
    const int64_t days = DaysFromCivil(t.year, unsigned(t.month), unsigned(t.day));
    return ((days * 24 + t.hour) * 60 + t.minute) * 60000 + int64_t(t.second) * 1000 + t.millisecond;
}

CivilTime MsToCivil(int64_t ms)
{
    CivilTime t;
    const int64_t days = FloorDiv(ms, 86400000);
    int64_t rest = ms - days * 86400000;
    CivilFromDays(days, t.year, t.month, t.day);
    t.hour = int(rest / 3600000);
    rest %= 3600000;
    t.minute = int(rest / 60000);
    rest %= 60000;
    t.second = int(rest / 1000);
    t.millisecond = int(rest % 1000);
    return t;
}

bool ParseTimeText(const std::string &text, int64_t &ms)
{
    CivilTime t;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &t.year, &t.month, &t.day, &t.hour,
                    &t.minute, &t.second, &tail) != 6)
        return false;
    if (t.year < 1 || t.month < 1 || t.month > 12 || t.day < 1 || t.day > DaysInMonth(t.year, t.month) ||
        t.hour < 0 || t.hour > 23 || t.minute < 0 || t.minute > 59 || t.second < 0 || t.second > 59)
        return false;
    ms = CivilToMs(t);
    return true;
}

std::string FormatTimeText(int64_t ms)
{
    const CivilTime t = MsToCivil(ms);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    return buf;
}

int64_t LocalNowMs()
{
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    struct tm local;
    const time_t secs = tv.tv_sec;
    localtime_r(&secs, &local);
    CivilTime t;
    t.year = local.tm_year + 1900;
    t.month = local.tm_mon + 1;
    t.day = local.tm_mday;
    t.hour = local.tm_hour;
    t.minute = local.tm_min;
    t.second = local.tm_sec;
    t.millisecond = int(tv.tv_usec / 1000);
    return CivilToMs(t);
}

}  // namespace packetfmt
