#include "exceldatafields.h"

#include <cmath>
#include <cstring>
#include <limits>

#include <QDate>
#include <QString>
#include <QTime>

#include "texthelpers.h"

namespace Tolvane {
namespace ExcelField {

const Json::Value& Null()
{
    static const Json::Value kNull;
    return kNull;
}

const Json::Value& Member(const Json::Value& value, const char* name)
{
    if (!value.isObject() || name == nullptr) {
        return Null();
    }
    const Json::Value* found = value.find(name, name + std::strlen(name));
    return found ? *found : Null();
}

const Json::Value& Member(const Json::Value& value, const std::string& name)
{
    if (!value.isObject()) {
        return Null();
    }
    const Json::Value* found = value.find(name.data(), name.data() + name.size());
    return found ? *found : Null();
}

const Json::Value& Element(const Json::Value& value, unsigned index)
{
    if (!value.isArray() || index >= value.size()) {
        return Null();
    }
    return value[index];
}

const Json::Value& FirstIfArray(const Json::Value& value)
{
    return value.isArray() ? Element(value, 0) : value;
}

const Json::Value& Summary(const Json::Value& record)
{
    return FirstIfArray(Member(record, "SummaryNew"));
}

bool Has(const Json::Value& value, const std::string& name)
{
    return value.isObject() && value.find(name.data(), name.data() + name.size()) != nullptr;
}

bool Present(const Json::Value& value, const std::string& name)
{
    return !Member(value, name).isNull();
}

std::string Text(const Json::Value& value)
{
    if (value.isString()) {
        return value.asString();
    }
    if (value.isBool()) {
        return value.asBool() ? "true" : "false";
    }
    return std::string();
}

int64_t IntValue(const Json::Value& value)
{
    switch (value.type()) {
    case Json::intValue:
        return value.asLargestInt();
    case Json::uintValue:
        return static_cast<int64_t>(value.asLargestUInt());
    case Json::realValue: {
        const double d = value.asDouble();
        if (std::isnan(d)) {
            return 0;
        }
        if (d >= static_cast<double>(std::numeric_limits<int64_t>::max())) {
            return std::numeric_limits<int64_t>::max();
        }
        if (d <= static_cast<double>(std::numeric_limits<int64_t>::min())) {
            return std::numeric_limits<int64_t>::min();
        }
        return static_cast<int64_t>(d);
    }
    case Json::booleanValue:
        return value.asBool() ? 1 : 0;
    default:
        return 0;
    }
}

uint64_t UIntValue(const Json::Value& value)
{
    if (value.type() == Json::uintValue) {
        return value.asLargestUInt();
    }
    const int64_t signedValue = IntValue(value);
    if (signedValue < 0) {
        return static_cast<uint32_t>(static_cast<uint64_t>(signedValue));
    }
    return static_cast<uint64_t>(signedValue);
}

std::string IntText(const Json::Value& value)
{
    if (value.type() == Json::uintValue) {
        return std::to_string(value.asLargestUInt());
    }
    return std::to_string(IntValue(value));
}

std::string UIntText(const Json::Value& value)
{
    return std::to_string(UIntValue(value));
}

std::string NextIntText(const Json::Value& value)
{
    const int64_t number = IntValue(value);
    return number < 0 ? std::to_string(number + 1) : std::to_string(static_cast<uint64_t>(number) + 1u);
}

std::string TextIfHas(const Json::Value& object, const std::string& name)
{
    return Has(object, name) ? Text(Member(object, name)) : std::string();
}

std::string IntTextIfHas(const Json::Value& object, const std::string& name)
{
    return Has(object, name) ? IntText(Member(object, name)) : std::string();
}

QDateTime ReadDeviceTime(const std::string& text)
{
    const QString q = QString::fromUtf8(text.data(), static_cast<int>(text.size()));
    if (q.size() != 19 || q.at(10) != QLatin1Char(' ')) {
        return QDateTime();
    }
    const QDate date = QDate::fromString(q.left(10), QStringLiteral("yyyy-MM-dd"));
    const QTime time = QTime::fromString(q.mid(11), QStringLiteral("hh:mm:ss"));
    if (!date.isValid() || !time.isValid()) {
        return QDateTime();
    }
    return QDateTime(date, time, Qt::UTC);
}

std::string CompactTime(const QDateTime& time)
{
    return time.isValid() ? time.toString(QStringLiteral("yyyyMMddhhmmss")).toStdString() : std::string();
}

bool KeyIs(const std::string& key, const char* name)
{
    const std::size_t length = std::strlen(name);
    bool ascii = true;
    for (unsigned char c : key) {
        ascii = ascii && c < 0x80;
    }
    if (!ascii) {
        return StringEqualsQt(key, name, true);
    }
    if (key.size() != length) {
        return false;
    }
    for (std::size_t i = 0; i < length; ++i) {
        const auto lower = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; };
        if (lower(static_cast<unsigned char>(key[i])) != lower(static_cast<unsigned char>(name[i]))) {
            return false;
        }
    }
    return true;
}

bool KeyIsAny(const std::string& key, std::initializer_list<const char*> names)
{
    for (const char* name : names) {
        if (KeyIs(key, name)) {
            return true;
        }
    }
    return false;
}

}  // namespace ExcelField
}  // namespace Tolvane
