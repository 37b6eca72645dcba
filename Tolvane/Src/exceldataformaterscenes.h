#pragma once
// Spreadsheet formatters for scene and behaviour events: violent throwing, crowd density,
// kitchen dress rules and work safety.

#include "exceldataformater.h"

namespace Tolvane {

// "ViolentThrow": S = "SummaryNew", V = S."Value".
class CExcelDataFormaterForViolentThrow : public IExcelDataFormater
{
public:
    using IExcelDataFormater::IExcelDataFormater;
    void CollectPictures(Json::Value& record) const override;
    std::string FormatCell(const std::string& key, const Json::Value& record) const override;
};

// "CrowdDetection": reads only the top level of the record.
class CExcelDataFormaterForCrowdDensity : public IExcelDataFormater
{
public:
    using IExcelDataFormater::IExcelDataFormater;
    void CollectPictures(Json::Value& record) const override;
    std::string FormatCell(const std::string& key, const Json::Value& record) const override;
};

// "SmartKitchen": mask, chef hat and chef clothes.
class CExcelDataFormaterForSmartKitchen : public IExcelDataFormater
{
public:
    using IExcelDataFormater::IExcelDataFormater;
    void CollectPictures(Json::Value& record) const override;
    std::string FormatCell(const std::string& key, const Json::Value& record) const override;
};

// "Operation": helmets at work.
class CExcelDataFormaterForWorkOperation : public IExcelDataFormater
{
public:
    using IExcelDataFormater::IExcelDataFormater;
    void CollectPictures(Json::Value& record) const override;
    std::string FormatCell(const std::string& key, const Json::Value& record) const override;

private:
    std::string HelmetCell(const Json::Value& value) const;
};

}  // namespace Tolvane
