#include "jsonhelper.h"

#include <QDebug>
#include <QString>

#include <limits>
#include <string>

namespace Tolvane {

namespace {

QVariant scalarToVariant(const Json::Value& value)
{
    switch (value.type()) {
    case Json::booleanValue:
        return QVariant(value.asBool());
    case Json::intValue:
        if (value.isInt())
            return QVariant(value.asInt());
        return QVariant(static_cast<qlonglong>(value.asInt64()));
    case Json::uintValue:
        if (value.isUInt())
            return QVariant(value.asUInt());
        return QVariant(static_cast<qulonglong>(value.asUInt64()));
    case Json::realValue:
        return QVariant(value.asDouble());
    case Json::stringValue: {
        const char* begin = nullptr;
        const char* end = nullptr;
        value.getString(&begin, &end);
        return QVariant(QString::fromUtf8(begin, static_cast<int>(end - begin)));
    }
    default:
        return QVariant();
    }
}

// Makes out a container of the given type unless it is one already or null.
void prepareContainer(Json::Value& out, Json::ValueType type)
{
    if (!out.isNull() && out.type() != type)
        out = Json::Value(type);
}

enum class Fold
{
    Upper,
    Lower,
};

// The name with its first character case-changed; empty when the name is empty.
std::string foldedName(const std::string& name, Fold fold)
{
    const QString text = QString::fromStdString(name);
    if (text.isEmpty())
        return std::string();
    const int firstLength = text.at(0).isHighSurrogate() && text.size() > 1 ? 2 : 1;
    const QString first = text.left(firstLength);
    const QString changed = fold == Fold::Upper ? first.toUpper() : first.toLower();
    return (changed + text.mid(firstLength)).toStdString();
}

void foldKeys(Json::Value& value, Fold fold)
{
    if (value.isArray()) {
        for (Json::Value& element : value)
            foldKeys(element, fold);
        return;
    }
    if (!value.isObject())
        return;

    for (const std::string& name : value.getMemberNames()) {
        Json::Value& member = value[name];
        if (member.isArray() || member.isObject() || member.isNull()) {
            foldKeys(member, fold);
            continue;
        }
        if (name.empty())
            continue;
        const std::string newName = foldedName(name, fold);
        if (!newName.empty() && !value.isMember(newName))
            value[newName] = Json::Value(member);
    }
}

} // namespace

void CJsonHelper::ConvertQVarianToJson(const QVariant& value, Json::Value& out)
{
    switch (value.type()) {
    case QVariant::Bool:
        out = Json::Value(value.toBool());
        break;
    case QVariant::Int:
        out = Json::Value(value.toInt());
        break;
    case QVariant::UInt:
        out = Json::Value(value.toUInt());
        break;
    case QVariant::String:
        out = Json::Value(value.toString().toStdString());
        break;
    case QVariant::Map: {
        const QVariantMap map = value.toMap();
        if (map.isEmpty()) {
            if (out.isNull())
                out = Json::Value(Json::objectValue);
            break;
        }
        prepareContainer(out, Json::objectValue);
        for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
            Json::Value converted;
            ConvertQVarianToJson(it.value(), converted);
            out[it.key().toStdString()] = converted;
        }
        break;
    }
    case QVariant::List: {
        const QVariantList list = value.toList();
        if (list.isEmpty()) {
            if (out.isNull())
                out = Json::Value(Json::arrayValue);
            break;
        }
        prepareContainer(out, Json::arrayValue);
        for (int i = 0; i < list.size(); ++i) {
            Json::Value converted;
            ConvertQVarianToJson(list.at(i), converted);
            out[static_cast<Json::ArrayIndex>(i)] = converted;
        }
        break;
    }
    default:
        qDebug() << "CJsonHelper::ConvertQVarianToJson convert brower  some key failed";
        break;
    }
}

void CJsonHelper::ConvertJsonToQVariant(const Json::Value& value, QVariant& out)
{
    switch (value.type()) {
    case Json::nullValue:
        break;
    case Json::arrayValue: {
        QVariantList list;
        JsonArrayToQVariantList(value, list);
        out = QVariant(list);
        break;
    }
    case Json::objectValue: {
        QVariantMap map;
        JsonObjectToQVariantMap(value, map);
        out = QVariant(map);
        break;
    }
    default:
        out = scalarToVariant(value);
        break;
    }
}

void CJsonHelper::JsonArrayToQVariantList(const Json::Value& array, QVariantList& out)
{
    if (!array.isArray())
        return;
    for (const Json::Value& element : array) {
        switch (element.type()) {
        case Json::nullValue:
            break;
        case Json::arrayValue: {
            QVariantList nested;
            JsonArrayToQVariantList(element, nested);
            out.append(nested);
            break;
        }
        case Json::objectValue: {
            QVariantMap map;
            JsonObjectToQVariantMap(element, map);
            out.append(QVariant(map));
            break;
        }
        default:
            out.append(scalarToVariant(element));
            break;
        }
    }
}

void CJsonHelper::JsonObjectToQVariantMap(const Json::Value& object, QVariantMap& out)
{
    if (!object.isObject())
        return;
    for (const std::string& name : object.getMemberNames()) {
        QVariant converted;
        ConvertJsonToQVariant(object[name], converted);
        out[QString::fromStdString(name)] = converted;
    }
}

void CJsonHelper::UpperFirstLetterOfKeys(Json::Value& object)
{
    foldKeys(object, Fold::Upper);
}

void CJsonHelper::LowerFirstLetterOfKeys(Json::Value& object)
{
    foldKeys(object, Fold::Lower);
}

void CJsonHelper::RemoveArrayElement(Json::Value& array, int index)
{
    if (!array.isArray())
        return;
    const Json::Value copy = array;
    array.clear();
    for (Json::ArrayIndex i = 0; i < copy.size(); ++i) {
        if (static_cast<long long>(i) != index)
            array.append(copy[i]);
    }
}

} // namespace Tolvane
