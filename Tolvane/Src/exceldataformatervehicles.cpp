#include "exceldataformatervehicles.h"

#include <QString>

#include "exceldatafields.h"

namespace Tolvane {

using namespace ExcelField;

namespace {

// A column read from a record member, as a number or as text.
struct MemberColumn {
    const char* column;  // compared exactly
    const char* member;
    bool numeric;
};

const MemberColumn kNonMotorColumns[] = {
    {"Occupancy", "NumOfCycling", true},
    {"Non-MotorVehicleColor", "Color", false},
    {"Non-MotorVehicleType", "Category", false},
    {"Helmet", "Helmet", true},
};

const MemberColumn kVehicleValueColumns[] = {
    {"PlateNumber", "PlateNumber", false},
    {"Country", "Country", false},
    {"PlateColor", "PlateColor", true},
    {"PlateType", "PlateType", true},
    {"VehicleColor", "VehicleColor", true},
    {"VehicleType", "Type", true},
    {"Brand", "Brand", true},
};

const MemberColumn kTrafficCarColumns[] = {
    {"PlateNumber", "PlateNumber", false},
    {"Country", "Country", false},
    {"PlateColor", "PlateColor", false},
    {"PlateType", "PlateType", false},
    {"VehicleColor", "VehicleColor", false},
    {"VehicleType", "Category", false},
    {"SafeBelt", "SafeBelt", false},
    {"Calling", "Calling", true},
    {"Smoking", "Smoking", true},
    {"SunShade", "SunShade", false},
    {"Brand", "VehicleSign", false},
    {"SubBrand", "SubBrand", true},
    {"BrandYear", "BrandYear", true},
};

template <std::size_t N>
const MemberColumn* FindColumn(const MemberColumn (&columns)[N], const std::string& key)
{
    for (const MemberColumn& column : columns) {
        if (key == column.column) {
            return &column;
        }
    }
    return nullptr;
}

// The member's cell; empty when the object has no such member.
std::string ReadColumn(const MemberColumn& column, const Json::Value& object)
{
    if (!Has(object, column.member)) {
        return std::string();
    }
    const Json::Value& member = Member(object, column.member);
    return column.numeric ? IntText(member) : Text(member);
}

// The first character of a UTF-8 text, a whole code point.
std::string FirstCharacter(const std::string& text)
{
    const QString q = QString::fromUtf8(text.data(), static_cast<int>(text.size()));
    if (q.isEmpty()) {
        return std::string();
    }
    const int length = (q.size() > 1 && q.at(0).isHighSurrogate() && q.at(1).isLowSurrogate()) ? 2 : 1;
    return q.left(length).toUtf8().toStdString();
}

}  // namespace

// --- non-motor vehicles ---

std::string CExcelDataFormaterForNonMotorVehicle::FormatCell(const std::string& key, const Json::Value& record) const
{
    const Json::Value& summary = Summary(record);
    const Json::Value& value = Member(summary, "Value");
    std::string text;
    if (KeyIs(key, "SnapLocation")) {
        text = Channel(record);
    } else if (KeyIs(key, "SnapTime")) {
        text = Text(Member(record, "StartTime"));
    } else if (KeyIs(key, "Type")) {
        text = Translate(Text(Member(summary, "Key")));
    } else if (const MemberColumn* column = FindColumn(kNonMotorColumns, key)) {
        text = ReadColumn(*column, value);
    } else if (KeyIs(key, "TaskName")) {
        text = UIntText(Member(record, "TaskID"));
    } else {
        text = PictureLink(key, record);
    }
    return TranslateValue(key, text);
}

void CExcelDataFormaterForNonMotorVehicle::CollectPictures(Json::Value& record) const
{
    const Json::Value& value = Member(Summary(record), "Value");
    const std::string face = Text(Member(Member(value, "FaceImageInfo"), "FilePath"));
    const std::string vehicle = Text(Member(Member(value, "ImageInfo"), "FilePath"));
    const std::string target = Text(Member(record, "FilePath"));
    AddPicture("FacePic", face, "facePic", record, false);
    AddPicture("Non-MotorVehiclePic", vehicle, "non-MotorPic", record, false);
    AddPicture("TargetPic", target, "globalPic", record, false);
}

// --- motor vehicles ---

std::string CExcelDataFormaterForVehicle::FormatCell(const std::string& key, const Json::Value& record) const
{
    const Json::Value& summary = Summary(record);
    const Json::Value& value = Member(summary, "Value");
    const Json::Value& car = Member(Member(record, "Summary"), "TrafficCar");
    const Json::Value& candidate = Member(car, "CandidateVehicle");
    const MemberColumn* valueColumn = value.isNull() ? nullptr : FindColumn(kVehicleValueColumns, key);

    std::string text;
    if (KeyIs(key, "SnapLocation")) {
        text = Channel(record);
    } else if (KeyIs(key, "SnapTime")) {
        text = Text(Member(record, "StartTime"));
    } else if (KeyIs(key, "Type")) {
        if (!value.isNull()) {
            text = Text(Member(summary, "Key"));
        } else {
            text = candidate.isNull() ? "TrafficJunction" : "VehicleRecognition";
        }
        text = Translate(text);
    } else if (valueColumn != nullptr) {
        text = ReadColumn(*valueColumn, value);
    } else if (KeyIs(key, "Province")) {
        text = FirstCharacter(FormatCell("PlateNumber", record));
    } else if (KeyIs(key, "Attachment")) {
        const Json::Value& attachments = Member(car, "Attachment");
        for (Json::ArrayIndex i = 0; attachments.isArray() && i < attachments.size(); ++i) {
            const std::string part = TranslateValue(key, Text(Member(attachments[i], "Type")));
            if (!part.empty()) {
                text += text.empty() ? part : "+" + part;
            }
        }
    } else if (KeyIs(key, "VehicleDB")) {
        text = Text(Member(candidate, "DBName"));
    } else if (KeyIs(key, "VehicleDBType")) {
        text = Text(Member(candidate, "GroupType"));
    } else if (const MemberColumn* carColumn = FindColumn(kTrafficCarColumns, key)) {
        text = ReadColumn(*carColumn, car);
    } else if (KeyIs(key, "TaskName")) {
        text = UIntText(Member(record, "TaskID"));
    } else if (KeyIs(key, "RefuelingPoint")) {
        text = Text(Member(car, "RegionName"));
    } else if (KeyIs(key, "channelNo")) {
        text = std::to_string(UIntValue(Member(record, "Channel")) + 1);
    } else {
        text = PictureLink(key, record);
    }
    return TranslateValue(key, text);
}

void CExcelDataFormaterForVehicle::CollectPictures(Json::Value& record) const
{
    const Json::Value& value = Member(Summary(record), "Value");
    std::string plate;
    std::string vehicle;
    std::string target;
    if (!value.isNull()) {
        plate = Text(Member(record, "PlateFilePath"));
        vehicle = Text(Member(record, "FilePath"));
        target = Text(Member(Member(value, "ImageInfo"), "FilePath"));
    } else {
        const Json::Value& car = Member(Member(record, "Summary"), "TrafficCar");
        plate = Text(Member(Member(car, "PlateImageInfo"), "FilePath"));
        vehicle = Text(Member(Member(car, "ImageInfo"), "FilePath"));
        target = Text(Member(record, "FilePath"));
    }
    AddPicture("PlatePic", plate, "platePic", record, false);
    AddPicture("VehiclePic", vehicle, "vehiclePic", record, false);
    AddPicture("TargetPic", target, "globalPic", record, false);
}

}  // namespace Tolvane
