#pragma once
// Spreadsheet formatter for city-management events. A record carries groups of original
// and mosaic pictures; each group is saved in a folder of its own under the picture root,
// and the picture columns link to the folder of the first group.

#include "exceldataformater.h"

namespace Tolvane {

// "IntelliCityMgr": S = "SummaryNew", V = S."Value".
class CExcelDataFormaterForIntelliCityMgr : public IExcelDataFormater
{
public:
    using IExcelDataFormater::IExcelDataFormater;
    void CollectPictures(Json::Value& record) const override;
    std::string FormatCell(const std::string& key, const Json::Value& record) const override;
};

}  // namespace Tolvane
