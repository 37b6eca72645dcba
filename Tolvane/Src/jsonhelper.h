#pragma once

// Conversions between JSON values and QVariant trees, and first-letter case
// folding of member names. None of them throws, whatever the input.

#include <QVariant>
#include <QVariantList>
#include <QVariantMap>
#include <json/value.h>

namespace Tolvane {

class CJsonHelper
{
public:
    // Bool, Int, UInt, String, Map and List are converted; any other type leaves
    // out unchanged and prints a notice.
    static void ConvertQVarianToJson(const QVariant& value, Json::Value& out);
    // A null value leaves out unchanged.
    static void ConvertJsonToQVariant(const Json::Value& value, QVariant& out);
    // Appends the elements of an array; nested arrays are flattened into out and
    // null elements skipped.
    static void JsonArrayToQVariantList(const Json::Value& array, QVariantList& out);
    static void JsonObjectToQVariantMap(const Json::Value& object, QVariantMap& out);

    // Every scalar member also gets a copy under its name with the first
    // character upper-cased (lower-cased), unless that name exists; array and
    // object members keep their names and are folded inside.
    static void UpperFirstLetterOfKeys(Json::Value& object);
    static void LowerFirstLetterOfKeys(Json::Value& object);

    // Rebuilds an array without element index; other indexes change nothing.
    static void RemoveArrayElement(Json::Value& array, int index);
};

} // namespace Tolvane
