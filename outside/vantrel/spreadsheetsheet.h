#pragma once
// One worksheet held in memory and written whole as an XML spreadsheet (the 2003 XML
// workbook layout, UTF-8). Not thread-safe: the owner serialises calls.

#include <map>
#include <vector>

#include <QString>

#include <json/json.h>

namespace Vantrel {

class SpreadsheetSheet {
public:
    // Limits of the sheet; cells beyond them are refused.
    static constexpr int kMaxRows = 1048576;
    static constexpr int kMaxColumns = 16384;

    explicit SpreadsheetSheet(const QString& name);

    // At most 31 characters, none of [ ] : * ? / \, "Sheet1" when nothing is left.
    static QString CleanSheetName(const QString& name);
    // Without the characters XML cannot carry (controls other than tab and line ends,
    // unpaired surrogates, U+FFFE, U+FFFF).
    static QString XmlSafe(const QString& text);

    const QString& Name() const { return m_name; }
    int RowCount() const { return static_cast<int>(m_rows.size()); }

    // Appends the block's rows (see IFileOperation.h); answers how many were added.
    int AppendBlock(const Json::Value& block);
    // Sets the cells; false when any record was unusable (the others are still set).
    bool SetCells(const Json::Value& cells);

    // The workbook text.
    QByteArray ToXml() const;

private:
    struct Cell {
        QString text;
        bool number = false;
        bool set = false;
    };
    struct Row {
        std::vector<Cell> cells;
        double height = 0;  // points; 0 leaves the default
        int style = -1;     // index into m_styles
    };
    struct Alignment {
        int horizontal;
        int vertical;
        bool operator==(const Alignment& other) const
        {
            return horizontal == other.horizontal && vertical == other.vertical;
        }
    };

    static Cell CellOf(const Json::Value& value);
    int StyleOf(const Alignment& alignment);

    QString m_name;
    std::vector<Row> m_rows;
    std::map<int, double> m_columnWidths;  // column from 1 -> width in characters
    std::vector<Alignment> m_styles;
};

}  // namespace Vantrel
