#include "sheetreader.h"

#include "brevixrun.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QUrl>
#include <QXmlStreamReader>

namespace {

// LibreOffice converts the sheet headless, with a profile of its own; false when it failed.
bool Convert(const QString& sheet, const QString& format, const QString& outFolder, const QString& profile)
{
    QProcess office;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), profile);
    office.setProcessEnvironment(env);
    office.setProcessChannelMode(QProcess::MergedChannels);
    office.start(QStringLiteral("soffice"),
                 {QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(profile).toString(),
                  QStringLiteral("--headless"), QStringLiteral("--norestore"), QStringLiteral("--convert-to"), format,
                  QStringLiteral("--outdir"), outFolder, sheet});
    // The first start makes the profile, which is slow on a loaded machine.
    if (!office.waitForFinished(300000)) {
        office.kill();
        office.waitForFinished(5000);
        return false;
    }
    return office.exitStatus() == QProcess::NormalExit && office.exitCode() == 0;
}

Table ReadCsv(const QString& path)
{
    Table rows;
    const QString text = QString::fromUtf8(ReadFile(path));
    std::vector<QString> row;
    QString cell;
    bool quoted = false;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == QLatin1Char('"') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"')) {
                cell += c;
                ++i;
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                cell += c;
            }
        } else if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (c == QLatin1Char(',')) {
            row.push_back(cell);
            cell.clear();
        } else if (c == QLatin1Char('\n')) {
            row.push_back(cell);
            rows.push_back(row);
            row.clear();
            cell.clear();
        } else if (c != QLatin1Char('\r')) {
            cell += c;
        }
    }
    if (!cell.isEmpty() || !row.empty()) {
        row.push_back(cell);
        rows.push_back(row);
    }
    return rows;
}

// The target of each cell's link formula in the flat document, by row and column from 0.
std::map<std::pair<int, int>, QString> ReadLinks(const QString& path)
{
    std::map<std::pair<int, int>, QString> links;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return links;
    static const QRegularExpression kLink(QStringLiteral("HYPERLINK\\(\"([^\"]*)\""));
    QXmlStreamReader xml(&file);
    int row = -1;
    int column = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.qualifiedName() == QLatin1String("table:table-row")) {
            ++row;
            column = 0;
        } else if (xml.qualifiedName() == QLatin1String("table:table-cell")
                   || xml.qualifiedName() == QLatin1String("table:covered-table-cell")) {
            const QXmlStreamAttributes attributes = xml.attributes();
            const QRegularExpressionMatch match = kLink.match(attributes.value(QStringLiteral("table:formula")).toString());
            if (match.hasMatch())
                links[{row, column}] = match.captured(1);
            const int repeated = attributes.value(QStringLiteral("table:number-columns-repeated")).toInt();
            column += repeated > 0 ? repeated : 1;
        }
    }
    return links;
}

}  // namespace

bool ReadSheet(const QString& xls, const QString& work, Sheet& sheet)
{
    const QString out = work + QStringLiteral("/converted");
    const QString profile = work + QStringLiteral("/office");
    if (!QDir().mkpath(out) || !QDir().mkpath(profile))
        return false;
    if (!Convert(xls, QStringLiteral("csv"), out, profile) || !Convert(xls, QStringLiteral("fods"), out, profile))
        return false;
    const QString base = out + QLatin1Char('/') + QFileInfo(xls).completeBaseName();
    sheet.cells = ReadCsv(base + QStringLiteral(".csv"));
    sheet.links = ReadLinks(base + QStringLiteral(".fods"));
    return !sheet.cells.empty();
}

