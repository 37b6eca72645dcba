#include "spreadsheetsheet.h"

#include <QUrl>
#include <QXmlStreamWriter>

#include <foundation/JsonRead.h>

namespace Vantrel {

namespace {

const char kNamespace[] = "urn:schemas-microsoft-com:office:spreadsheet";
const char* const kHorizontal[] = {"Left", "Center", "Right"};
const char* const kVertical[] = {"Top", "Center", "Bottom"};
// Column widths are given in characters and written in points.
constexpr double kPointsPerCharacter = 5.25;
constexpr double kColumnPadding = 3.75;

bool IsLink(const QString& text)
{
    return text.startsWith(QLatin1String("file://"), Qt::CaseInsensitive);
}

// A text inside a formula's string literal.
QString FormulaText(QString text)
{
    return text.replace(QLatin1Char('"'), QStringLiteral("\"\""));
}

QString Number(double value)
{
    return QString::number(value, 'g', 15);
}

}  // namespace

SpreadsheetSheet::SpreadsheetSheet(const QString& name) : m_name(CleanSheetName(name)) {}

QString SpreadsheetSheet::CleanSheetName(const QString& name)
{
    QString cleaned;
    for (QChar c : XmlSafe(name)) {
        if (!QStringLiteral("[]:*?/\\").contains(c)) {
            cleaned.append(c);
        }
    }
    if (cleaned.size() > 31) {
        cleaned.truncate(cleaned.at(30).isHighSurrogate() ? 30 : 31);
    }
    return cleaned.isEmpty() ? QStringLiteral("Sheet1") : cleaned;
}

QString SpreadsheetSheet::XmlSafe(const QString& text)
{
    QString safe;
    safe.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const ushort u = c.unicode();
        if (c.isHighSurrogate()) {
            if (i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
                safe.append(c);
                safe.append(text.at(++i));
            }
            continue;
        }
        if (c.isLowSurrogate() || u == 0xFFFE || u == 0xFFFF) {
            continue;
        }
        if (u < 0x20 && u != 0x9 && u != 0xA && u != 0xD) {
            continue;
        }
        safe.append(c);
    }
    return safe;
}

SpreadsheetSheet::Cell SpreadsheetSheet::CellOf(const Json::Value& value)
{
    Cell cell;
    cell.set = true;
    switch (value.type()) {
    case Json::stringValue:
        cell.text = QString::fromStdString(value.asString());
        break;
    case Json::intValue:
        cell.text = QString::number(value.asLargestInt());
        cell.number = true;
        break;
    case Json::uintValue:
        cell.text = QString::number(value.asLargestUInt());
        cell.number = true;
        break;
    case Json::realValue:
        cell.text = Number(value.asDouble());
        cell.number = true;
        break;
    case Json::booleanValue:
        cell.text = value.asBool() ? QStringLiteral("true") : QStringLiteral("false");
        break;
    default:
        cell.set = false;
        break;
    }
    return cell;
}

int SpreadsheetSheet::StyleOf(const Alignment& alignment)
{
    for (std::size_t i = 0; i < m_styles.size(); ++i) {
        if (m_styles[i] == alignment) {
            return static_cast<int>(i);
        }
    }
    m_styles.push_back(alignment);
    return static_cast<int>(m_styles.size()) - 1;
}

int SpreadsheetSheet::AppendBlock(const Json::Value& block)
{
    // A block of rows under "Data", or a single row given directly.
    const Json::Value* data = Foundation::JsonFind(block, "Data");
    Json::Value single(Json::arrayValue);
    if (data == nullptr && Foundation::JsonFind(block, "Content") != nullptr) {
        single.append(block);
        data = &single;
    }
    if (data == nullptr || !data->isArray()) {
        return 0;
    }

    const Json::Value format = Foundation::JsonMember(block, "CellFormat");
    const double width = Foundation::JsonToDouble(Foundation::JsonMember(format, "Width"));
    const double height = Foundation::JsonToDouble(Foundation::JsonMember(format, "Height"));
    int style = -1;
    if (format.isObject()) {
        const int h = Foundation::JsonToInt(Foundation::JsonMember(format, "HAlignment"), -1);
        const int v = Foundation::JsonToInt(Foundation::JsonMember(format, "VAlignment"), -1);
        if ((h >= 0 && h <= 2) || (v >= 0 && v <= 2)) {
            style = StyleOf({h, v});
        }
    }

    int added = 0;
    for (Json::ArrayIndex i = 0; i < data->size() && RowCount() < kMaxRows; ++i) {
        const Json::Value& element = (*data)[i];
        const Json::Value* content = element.isArray() ? &element : Foundation::JsonFind(element, "Content");
        Row row;
        row.height = (height > 0 && height < 410) ? height : 0;
        row.style = style;
        for (Json::ArrayIndex c = 0; content != nullptr && content->isArray() && c < content->size()
             && c < static_cast<Json::ArrayIndex>(kMaxColumns); ++c) {
            row.cells.push_back(CellOf((*content)[c]));
        }
        if (width > 0 && width <= 255) {
            for (std::size_t c = 1; c <= row.cells.size(); ++c) {
                m_columnWidths[static_cast<int>(c)] = width;
            }
        }
        m_rows.push_back(std::move(row));
        ++added;
    }
    return added;
}

bool SpreadsheetSheet::SetCells(const Json::Value& cells)
{
    if (!cells.isArray()) {
        return cells.isNull();
    }
    bool allSet = true;
    for (Json::ArrayIndex i = 0; i < cells.size(); ++i) {
        const Json::Value& record = cells[i];
        const Json::Value row = Foundation::JsonMember(record, "Row");
        const Json::Value column = Foundation::JsonMember(record, "Col");
        if (!Foundation::JsonIsNumber(row) || !Foundation::JsonIsNumber(column)) {
            allSet = false;
            continue;
        }
        const double r = row.asDouble();
        const double c = column.asDouble();
        if (!(r >= 1 && r <= kMaxRows && c >= 1 && c <= kMaxColumns)) {
            allSet = false;
            continue;
        }
        const std::size_t rowIndex = static_cast<std::size_t>(r) - 1;
        const std::size_t columnIndex = static_cast<std::size_t>(c) - 1;
        if (m_rows.size() <= rowIndex) {
            m_rows.resize(rowIndex + 1);
        }
        std::vector<Cell>& line = m_rows[rowIndex].cells;
        if (line.size() <= columnIndex) {
            line.resize(columnIndex + 1);
        }
        line[columnIndex] = CellOf(Foundation::JsonMember(record, "Value"));
    }
    return allSet;
}

QByteArray SpreadsheetSheet::ToXml() const
{
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(1);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("Workbook"));
    xml.writeAttribute(QStringLiteral("xmlns"), QLatin1String(kNamespace));
    xml.writeAttribute(QStringLiteral("xmlns:ss"), QLatin1String(kNamespace));

    xml.writeStartElement(QStringLiteral("Styles"));
    xml.writeStartElement(QStringLiteral("Style"));
    xml.writeAttribute(QStringLiteral("ss:ID"), QStringLiteral("Default"));
    xml.writeAttribute(QStringLiteral("ss:Name"), QStringLiteral("Normal"));
    xml.writeEndElement();
    xml.writeStartElement(QStringLiteral("Style"));
    xml.writeAttribute(QStringLiteral("ss:ID"), QStringLiteral("Link"));
    xml.writeEmptyElement(QStringLiteral("Font"));
    xml.writeAttribute(QStringLiteral("ss:Color"), QStringLiteral("#0000FF"));
    xml.writeAttribute(QStringLiteral("ss:Underline"), QStringLiteral("Single"));
    xml.writeEndElement();
    for (std::size_t i = 0; i < m_styles.size(); ++i) {
        xml.writeStartElement(QStringLiteral("Style"));
        xml.writeAttribute(QStringLiteral("ss:ID"), QStringLiteral("s%1").arg(i + 1));
        xml.writeEmptyElement(QStringLiteral("Alignment"));
        if (m_styles[i].horizontal >= 0 && m_styles[i].horizontal <= 2) {
            xml.writeAttribute(QStringLiteral("ss:Horizontal"), QLatin1String(kHorizontal[m_styles[i].horizontal]));
        }
        if (m_styles[i].vertical >= 0 && m_styles[i].vertical <= 2) {
            xml.writeAttribute(QStringLiteral("ss:Vertical"), QLatin1String(kVertical[m_styles[i].vertical]));
        }
        xml.writeEndElement();
    }
    xml.writeEndElement();  // Styles

    xml.writeStartElement(QStringLiteral("Worksheet"));
    xml.writeAttribute(QStringLiteral("ss:Name"), m_name);
    xml.writeStartElement(QStringLiteral("Table"));
    for (const auto& [column, width] : m_columnWidths) {
        xml.writeEmptyElement(QStringLiteral("Column"));
        xml.writeAttribute(QStringLiteral("ss:Index"), QString::number(column));
        xml.writeAttribute(QStringLiteral("ss:Width"), Number(width * kPointsPerCharacter + kColumnPadding));
    }
    for (const Row& row : m_rows) {
        xml.writeStartElement(QStringLiteral("Row"));
        if (row.height > 0) {
            xml.writeAttribute(QStringLiteral("ss:AutoFitHeight"), QStringLiteral("0"));
            xml.writeAttribute(QStringLiteral("ss:Height"), Number(row.height));
        }
        bool skipped = false;
        for (std::size_t c = 0; c < row.cells.size(); ++c) {
            const Cell& cell = row.cells[c];
            if (!cell.set) {
                skipped = true;
                continue;
            }
            const QString text = XmlSafe(cell.text);
            xml.writeStartElement(QStringLiteral("Cell"));
            if (skipped) {
                xml.writeAttribute(QStringLiteral("ss:Index"), QString::number(c + 1));
                skipped = false;
            }
            if (row.style >= 0) {
                xml.writeAttribute(QStringLiteral("ss:StyleID"), QStringLiteral("s%1").arg(row.style + 1));
            } else if (IsLink(text)) {
                xml.writeAttribute(QStringLiteral("ss:StyleID"), QStringLiteral("Link"));
            }
            if (IsLink(text)) {
                // The link attribute, and the same link as a formula, which spreadsheet
                // programs that skip the attribute on import still resolve.
                const QString target = QUrl(text).toString(QUrl::FullyEncoded);
                xml.writeAttribute(QStringLiteral("ss:HRef"), target);
                xml.writeAttribute(QStringLiteral("ss:Formula"),
                                   QStringLiteral("=HYPERLINK(\"%1\",\"%2\")")
                                       .arg(FormulaText(target), FormulaText(text)));
            }
            xml.writeStartElement(QStringLiteral("Data"));
            xml.writeAttribute(QStringLiteral("ss:Type"), cell.number ? QStringLiteral("Number") : QStringLiteral("String"));
            xml.writeCharacters(text);
            xml.writeEndElement();  // Data
            xml.writeEndElement();  // Cell
        }
        xml.writeEndElement();  // Row
    }
    xml.writeEndElement();  // Table
    xml.writeEndElement();  // Worksheet
    xml.writeEndElement();  // Workbook
    xml.writeEndDocument();
    return out;
}

}  // namespace Vantrel
