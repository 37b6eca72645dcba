#pragma once
// Spreadsheet formatters for faces and people: face recognition and detection records,
// face picture analysis records, person trait records.

#include "exceldataformater.h"

namespace Tolvane {

// "Face_Attr": S = "SummaryNew", its candidate list and the first candidate's person.
class CExcelDataFormaterForFaceAttr : public IExcelDataFormater
{
public:
    using IExcelDataFormater::IExcelDataFormater;
    void CollectPictures(Json::Value& record) const override;
    std::string FormatCell(const std::string& key, const Json::Value& record) const override;
};

// "Face_Image": records with an attribute list "attrs" and records without one.
class CExcelDataFormaterForFaceImage : public IExcelDataFormater
{
public:
    using IExcelDataFormater::IExcelDataFormater;
    Json::Value FillContent(const Json::Value& record) const override;
    void CollectPictures(Json::Value& record) const override;
    // The cells of a record without attribute list.
    std::string FormatCell(const std::string& key, const Json::Value& record) const override;

private:
    // The cells of a record with attribute list; attributes: name -> translated text.
    std::string FormatAttributeCell(const std::string& key, const Json::Value& record,
                                    const Json::Value& attributes) const;
};

// "HumanTrait": face attributes and body attributes of one person.
class CExcelDataFormaterForHumanTrait : public IExcelDataFormater
{
public:
    using IExcelDataFormater::IExcelDataFormater;
    void CollectPictures(Json::Value& record) const override;
    std::string FormatCell(const std::string& key, const Json::Value& record) const override;
};

}  // namespace Tolvane
