#include "exceldataformatercity.h"

#include "exceldatafields.h"

namespace Tolvane {

using namespace ExcelField;

namespace {

// "<kind>/<start as yyyyMMddhhmmss>_<group id>", relative to the picture root.
std::string GroupFolder(const char* kind, const Json::Value& record, const Json::Value& group)
{
    const std::string start = CompactTime(ReadDeviceTime(Text(Member(record, "StartTime"))));
    return std::string(kind) + "/" + start + "_" + UIntText(Member(group, "GroupID"));
}

}  // namespace

std::string CExcelDataFormaterForIntelliCityMgr::FormatCell(const std::string& key, const Json::Value& record) const
{
    const Json::Value& value = Member(Summary(record), "Value");
    std::string text;
    if (KeyIs(key, "ChannelName")) {
        text = Channel(record);
    } else if (KeyIs(key, "Event")) {
        text = Translate(Text(Member(value, "Event")));
    } else if (KeyIs(key, "EventDate")) {
        text = Text(Member(value, "EventDate"));
    } else if (KeyIs(key, "PlateNumber")) {
        text = Text(Member(record, "PlateNumber"));
    } else if (KeyIs(key, "ShopAddress")) {
        text = Text(Member(value, "ShopAddress"));
    } else if (KeyIs(key, "PresetID")) {
        text = UIntText(Member(value, "PresetID"));
    } else if (KeyIs(key, "PresetName")) {
        text = Text(Member(value, "PresetName"));
    } else if (KeyIs(key, "ViolationDuration")) {
        const bool parking = KeyIs(Text(Member(value, "Event")), "CityMotorParking");
        text = UIntText(parking ? Member(Member(value, "TrafficCar"), "ParkingDuration")
                                : Member(value, "ViolationDuration"));
    } else if (KeyIs(key, "OriginalPicPath")) {
        const Json::Value& first = Element(Member(value, "OriginalPicInfo"), 0);
        text = FileLink(PictureRoot() + "/" + GroupFolder("OriginalPic", record, first)) + "/";
    } else if (KeyIs(key, "MosaicPicPath")) {
        const Json::Value& first = Element(Member(value, "MosaicPicInfo"), 0);
        text = FileLink(PictureRoot() + "/" + GroupFolder("MosaicPic", record, first)) + "/";
    } else {
        text = PictureLink(key, record);
    }
    return TranslateValue(key, text);
}

void CExcelDataFormaterForIntelliCityMgr::CollectPictures(Json::Value& record) const
{
    // Copies: adding pictures changes the record.
    const Json::Value value = Member(Summary(record), "Value");
    const Json::Value& originals = Member(value, "OriginalPicInfo");
    for (Json::ArrayIndex i = 0; originals.isArray() && i < originals.size(); ++i) {
        AddPicture("OriginalPicPath" + std::to_string(i), Text(Member(originals[i], "OriginalPicPath")),
                   GroupFolder("OriginalPic", record, originals[i]), record, true);
    }
    const Json::Value& mosaics = Member(value, "MosaicPicInfo");
    for (Json::ArrayIndex i = 0; mosaics.isArray() && i < mosaics.size(); ++i) {
        AddPicture("MosaicPicPath" + std::to_string(i), Text(Member(mosaics[i], "MosaicPicPath")),
                   GroupFolder("MosaicPic", record, mosaics[i]), record, true);
    }
}

}  // namespace Tolvane
