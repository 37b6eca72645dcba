#pragma once
// A spreadsheet as a spreadsheet program reads it: LibreOffice converts it headless to CSV
// (the cells' texts) and to a flat document (the targets of the cells' links).

#include <QString>

#include <map>
#include <utility>
#include <vector>

using Table = std::vector<std::vector<QString>>;

struct Sheet {
    Table cells;
    // The target of each cell's link, by row and column from 0.
    std::map<std::pair<int, int>, QString> links;
};

// Converts xls with a profile and output folder of its own below work; false when the
// conversion failed or gave no cells.
bool ReadSheet(const QString& xls, const QString& work, Sheet& sheet);
