#pragma once
// Spreadsheet formatters for classroom behaviour records and person picture records.

#include "exceldataformater.h"

namespace Tolvane {

// "ClassroomBehavior": V = "SummaryNew"."Value", its "Candidate" and "FaceAttributes".
class CExcelDataFormaterForIntelliRoomMgr : public IExcelDataFormater
{
public:
    using IExcelDataFormater::IExcelDataFormater;
    void CollectPictures(Json::Value& record) const override;
    std::string FormatCell(const std::string& key, const Json::Value& record) const override;
};

// "HumanImage": the record's "Human" and "Person" objects and its top level.
class CExcelDataFormaterForHumanImage : public IExcelDataFormater
{
public:
    using IExcelDataFormater::IExcelDataFormater;
    void CollectPictures(Json::Value& record) const override;
    std::string FormatCell(const std::string& key, const Json::Value& record) const override;
};

}  // namespace Tolvane
