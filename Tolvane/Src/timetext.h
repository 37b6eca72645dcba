#pragma once

// Date and time texts. Formats are Qt date-time formats; texts are local times.
// A text that does not read gives an empty result.

#include <cstdint>
#include <string>

namespace Tolvane {

// Date and time as the device sends it, field by field.
struct DeviceTimeFields
{
    int32_t year;
    int32_t month;
    int32_t day;
    int32_t hour;
    int32_t minute;
    int32_t second;
};

std::string AddSecondsToTimeText(const std::string& text, const std::string& format, int seconds);
std::string ReformatTimeText(const std::string& text, const std::string& inFormat,
                             const std::string& outFormat);
// Seconds from first to second; a text that does not read counts as -1.
int TimeTextDiffSeconds(const std::string& first, const std::string& second,
                        const std::string& format);
// The same with "yyyy-MM-dd hh:mm:ss".
int TimeTextDiffSecondsFmt(const std::string& first, const std::string& second);
// Reads "YYYY-MM-DD hh:mm:ss" into record (all fields 0 first). True when year,
// month and day are not 0 and the time of day is in range; no calendar check.
bool ParseDeviceTimeText(DeviceTimeFields& record, const char* text);

} // namespace Tolvane
