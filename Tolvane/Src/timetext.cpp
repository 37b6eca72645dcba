#include "timetext.h"

#include <QDateTime>
#include <QString>

#include <cstdio>
#include <limits>

namespace Tolvane {

namespace {

QDateTime readTime(const std::string& text, const std::string& format)
{
    return QDateTime::fromString(QString::fromStdString(text), QString::fromStdString(format));
}

std::string writeTime(const QDateTime& time, const std::string& format)
{
    if (!time.isValid())
        return std::string();
    return time.toString(QString::fromStdString(format)).toStdString();
}

// Seconds since 1970 as an unsigned 32-bit count; invalid or out of range is all ones.
uint32_t unsignedSeconds(const QDateTime& time)
{
    if (!time.isValid())
        return std::numeric_limits<uint32_t>::max();
    const qint64 seconds = time.toSecsSinceEpoch();
    if (seconds < 0 || seconds >= std::numeric_limits<uint32_t>::max())
        return std::numeric_limits<uint32_t>::max();
    return static_cast<uint32_t>(seconds);
}

} // namespace

std::string AddSecondsToTimeText(const std::string& text, const std::string& format, int seconds)
{
    return writeTime(readTime(text, format).addSecs(seconds), format);
}

std::string ReformatTimeText(const std::string& text, const std::string& inFormat,
                             const std::string& outFormat)
{
    return writeTime(readTime(text, inFormat), outFormat);
}

int TimeTextDiffSeconds(const std::string& first, const std::string& second,
                        const std::string& format)
{
    const uint32_t difference =
        unsignedSeconds(readTime(second, format)) - unsignedSeconds(readTime(first, format));
    return static_cast<int32_t>(difference);
}

int TimeTextDiffSecondsFmt(const std::string& first, const std::string& second)
{
    return TimeTextDiffSeconds(first, second, "yyyy-MM-dd hh:mm:ss");
}

bool ParseDeviceTimeText(DeviceTimeFields& record, const char* text)
{
    record = DeviceTimeFields{0, 0, 0, 0, 0, 0};
    if (!text)
        return false;
    std::sscanf(text, "%04d-%02d-%02d %02d:%02d:%02d", &record.year, &record.month, &record.day,
                &record.hour, &record.minute, &record.second);
    return record.year != 0 && record.month != 0 && record.day != 0
        && static_cast<uint32_t>(record.hour) <= 23 && static_cast<uint32_t>(record.minute) <= 59
        && static_cast<uint32_t>(record.second) <= 59;
}

} // namespace Tolvane
