#pragma once
// Spreadsheet formatters for intelligent-video rule events, deposit events and parking
// space events.

#include "exceldataformater.h"

namespace Tolvane {

// "ivs": S = "Summary" (not "SummaryNew"), V = S."IVS".
class CExcelDataFormaterForIVS : public IExcelDataFormater
{
public:
    using IExcelDataFormater::IExcelDataFormater;
    void CollectPictures(Json::Value& record) const override;
    std::string FormatCell(const std::string& key, const Json::Value& record) const override;
};

// "Deposit": region, stack threshold and grid state.
class CExcelDataFormaterForDeposit : public IExcelDataFormater
{
public:
    using IExcelDataFormater::IExcelDataFormater;
    void CollectPictures(Json::Value& record) const override;
    std::string FormatCell(const std::string& key, const Json::Value& record) const override;
};

// "MixedPlate": parking spaces with plate numbers.
class CExcelDataFormaterForMixedPlate : public IExcelDataFormater
{
public:
    using IExcelDataFormater::IExcelDataFormater;
    void CollectPictures(Json::Value& record) const override;
    std::string FormatCell(const std::string& key, const Json::Value& record) const override;
};

}  // namespace Tolvane
