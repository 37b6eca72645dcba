#pragma once
// Spreadsheet formatters for non-motor vehicles and for motor vehicles (traffic records).
// Their member columns are looked up by the exact column key; the named columns ignore case.

#include "exceldataformater.h"

namespace Tolvane {

// "Non-Motor": S = "SummaryNew", V = S."Value".
class CExcelDataFormaterForNonMotorVehicle : public IExcelDataFormater
{
public:
    using IExcelDataFormater::IExcelDataFormater;
    void CollectPictures(Json::Value& record) const override;
    std::string FormatCell(const std::string& key, const Json::Value& record) const override;
};

// "vehicle": records with V = "SummaryNew"."Value", or older records with only
// T = "Summary"."TrafficCar" (then CV = T."CandidateVehicle").
class CExcelDataFormaterForVehicle : public IExcelDataFormater
{
public:
    using IExcelDataFormater::IExcelDataFormater;
    void CollectPictures(Json::Value& record) const override;
    std::string FormatCell(const std::string& key, const Json::Value& record) const override;
};

}  // namespace Tolvane
