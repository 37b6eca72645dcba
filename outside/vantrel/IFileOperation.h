#pragma once
// The spreadsheet writer's interface, registered with the host under "class IFileOperation".
//
// A sheet is named by its file path. Open starts an empty sheet (opening a path that is
// already open shares that sheet until the last Close); rows are appended in blocks, cells
// set afterwards, and Save rewrites the whole file. Every operation may be called from any
// thread; several callers may write different files at the same time.
//
// A row block:
//   {"CellFormat": {"Width": 15, "Height": 15, "HAlignment": 0, "VAlignment": 0},  (optional)
//    "Data": [{"Content": ["text", ...]}, ...]}
// Width is the columns' width in characters, Height the rows' height in points;
// HAlignment 0 left, 1 centre, 2 right; VAlignment 0 top, 1 centre, 2 bottom.
// Cells: [{"Row": 1.., "Col": 1.., "Value": "text"}, ...]; a cell replaces what is there.

#include <string>

#include <json/json.h>

class IFileOperation {
public:
    virtual ~IFileOperation() = default;

    // Starts the sheet and writes the (empty) file; false when it cannot be written.
    virtual bool Open(const std::string& path, const std::string& sheetName) = 0;
    // Appends the block's rows; false when the path is not open or the block holds none.
    virtual bool AppendRow(const std::string& path, const Json::Value& rows) = 0;
    // Sets single cells; false when the path is not open or a record was out of range.
    virtual bool WriteCells(const std::string& path, const Json::Value& cells) = 0;
    // Rewrites the file (a temporary file renamed over it); false when not open or not written.
    virtual bool Save(const std::string& path) = 0;
    // Ends one Open; the last one saves unsaved changes and drops the sheet.
    virtual bool Close(const std::string& path) = 0;
};
