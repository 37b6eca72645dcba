#pragma once
// Guarded JSON reading and writing. The JSON library throws on member access of a
// non-object, on out-of-range integer reads and on very deep nesting; every helper here
// answers a defined value instead and never throws.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include <json/json.h>

namespace Foundation {

// The member named `name` of an object, or null when `value` is not an object or has no
// such member.
inline const Json::Value* JsonFind(const Json::Value& value, const std::string& name) noexcept
{
    if (!value.isObject()) {
        return nullptr;
    }
    return value.find(name.data(), name.data() + name.size());
}

// A copy of the member, or a null value.
inline Json::Value JsonMember(const Json::Value& value, const std::string& name)
{
    const Json::Value* member = JsonFind(value, name);
    return member ? *member : Json::Value();
}

// Members of an object, elements of an array, 0 for any other value.
inline int JsonMemberCount(const Json::Value& value) noexcept
{
    return (value.isObject() || value.isArray()) ? static_cast<int>(value.size()) : 0;
}

inline std::vector<std::string> JsonMemberNames(const Json::Value& value)
{
    return value.isObject() ? value.getMemberNames() : std::vector<std::string>();
}

inline bool JsonIsNumber(const Json::Value& value) noexcept
{
    const Json::ValueType t = value.type();
    return t == Json::intValue || t == Json::uintValue || t == Json::realValue;
}

// A number as a 32-bit int: integers keep their low 32 bits (two's complement), reals are
// truncated toward zero and saturated at the int range (NaN reads 0). Any other value
// gives the fallback.
inline int JsonToInt(const Json::Value& value, int fallback = 0) noexcept
{
    switch (value.type()) {
    case Json::intValue:
        return static_cast<int>(static_cast<uint32_t>(static_cast<uint64_t>(value.asLargestInt())));
    case Json::uintValue:
        return static_cast<int>(static_cast<uint32_t>(value.asLargestUInt()));
    case Json::realValue: {
        const double d = value.asDouble();
        if (std::isnan(d)) {
            return 0;
        }
        if (d >= static_cast<double>(std::numeric_limits<int>::max())) {
            return std::numeric_limits<int>::max();
        }
        if (d <= static_cast<double>(std::numeric_limits<int>::min())) {
            return std::numeric_limits<int>::min();
        }
        return static_cast<int>(d);
    }
    default:
        return fallback;
    }
}

inline double JsonToDouble(const Json::Value& value, double fallback = 0.0) noexcept
{
    return JsonIsNumber(value) ? value.asDouble() : fallback;
}

inline bool JsonToBool(const Json::Value& value, bool fallback = false) noexcept
{
    return value.isBool() ? value.asBool() : fallback;
}

// The value's string when it is a string value, else the empty string.
inline std::string JsonStringOrEmpty(const Json::Value& value)
{
    return value.isString() ? value.asString() : std::string();
}

// Pointer to the characters of a string value (owned by `value`), else "".
inline const char* JsonCStringOrEmpty(const Json::Value& value) noexcept
{
    return value.isString() ? value.asCString() : "";
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

// Parses the whole text (comments not collected). On failure `root` is left as it was.
inline bool JsonParse(const char* text, Json::Value& root) noexcept
{
    if (text == nullptr) {
        return false;
    }
    try {
        Json::Reader reader;
        Json::Value parsed;
        if (!reader.parse(text, text + std::strlen(text), parsed, false)) {
            return false;
        }
        root.swap(parsed);
        return true;
    } catch (...) {
        return false;
    }
}

inline bool JsonParse(const std::string& text, Json::Value& root) noexcept
{
    try {
        Json::Reader reader;
        Json::Value parsed;
        if (!reader.parse(text.data(), text.data() + text.size(), parsed, false)) {
            return false;
        }
        root.swap(parsed);
        return true;
    } catch (...) {
        return false;
    }
}

// Styled text: one member per line, three spaces of indentation, closing newline.
inline std::string JsonStyledText(const Json::Value& value)
{
    Json::StyledWriter writer;
    return writer.write(value);
}

// Compact one-line text with a closing newline.
inline std::string JsonFastText(const Json::Value& value)
{
    Json::FastWriter writer;
    return writer.write(value);
}

#pragma GCC diagnostic pop

// Parses a request text; on success `params` becomes its member "params" (null when there
// is none or the root is not an object). On failure `params` is left as it was.
inline bool ParseJsonRequestParams(const char* requestText, Json::Value& params) noexcept
{
    Json::Value root;
    if (!JsonParse(requestText, root)) {
        return false;
    }
    try {
        params = JsonMember(root, "params");
    } catch (...) {
        return false;
    }
    return true;
}

}  // namespace Foundation
