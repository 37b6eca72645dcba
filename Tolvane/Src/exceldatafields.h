#pragma once
// How spreadsheet formatters read record members: a missing member or a value of another
// type never throws. Read as text, a string is itself, a boolean "true"/"false", anything
// else empty; read as a number, integers stay whole, reals are cut toward zero, booleans
// give 1 or 0 and anything else 0.

#include <cstdint>
#include <initializer_list>
#include <string>

#include <QDateTime>

#include <json/json.h>

namespace Tolvane {
namespace ExcelField {

// A shared null value.
const Json::Value& Null();
// The member of an object, or null.
const Json::Value& Member(const Json::Value& value, const char* name);
const Json::Value& Member(const Json::Value& value, const std::string& name);
// The element of an array, or null.
const Json::Value& Element(const Json::Value& value, unsigned index);
// The value itself, or its first element when it is an array.
const Json::Value& FirstIfArray(const Json::Value& value);
// The record's "SummaryNew" (its first element when an array).
const Json::Value& Summary(const Json::Value& record);

// The object has a member of that exact name (its value may be null).
bool Has(const Json::Value& value, const std::string& name);
// The object has the member and it is not null.
bool Present(const Json::Value& value, const std::string& name);

std::string Text(const Json::Value& value);
int64_t IntValue(const Json::Value& value);
// Negative numbers wrap as 32-bit values do.
uint64_t UIntValue(const Json::Value& value);
std::string IntText(const Json::Value& value);
std::string UIntText(const Json::Value& value);
// The number after the integer, as text; the largest integer has a next one too.
std::string NextIntText(const Json::Value& value);
// Empty when the object has no member of that name.
std::string TextIfHas(const Json::Value& object, const std::string& name);
std::string IntTextIfHas(const Json::Value& object, const std::string& name);

// "yyyy-MM-dd hh:mm:ss" read as a moment without time zone (no daylight-saving gaps);
// invalid when the text is in another layout.
QDateTime ReadDeviceTime(const std::string& text);
// "yyyyMMddhhmmss", or empty for an invalid moment.
std::string CompactTime(const QDateTime& time);

// The column key names this column, ignoring case.
bool KeyIs(const std::string& key, const char* name);
bool KeyIsAny(const std::string& key, std::initializer_list<const char*> names);

}  // namespace ExcelField
}  // namespace Tolvane
