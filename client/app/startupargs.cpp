#include "startupargs.h"

#include "historyfile.h"

#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>

namespace {

void ParseSwitches(const std::vector<std::string>& argv, Json::Value& args)
{
    const std::size_t argc = argv.size();
    std::size_t i = 2;
    while (i < argc) {
        const std::string key = argv[i].empty() ? std::string() : argv[i].substr(1);
        if (i + 1 >= argc) {
            args[key] = true;
            ++i;
        } else if (argv[i + 1].find('-') == std::string::npos) {
            args[key] = argv[i + 1];
            i += 2;
        } else {
            args[key] = true;
            ++i;
        }
    }
}

}  // namespace

Json::Value ParseCommandLine(const std::vector<std::string>& argv,
                             const std::function<QString()>& defaultAddress)
{
    Json::Value args;
    QString address;
    if (argv.size() > 1) {
        address = QString::fromUtf8(argv[1].c_str());
        const int scheme = address.indexOf(QStringLiteral("://"));
        if (scheme >= 0)
            address = address.mid(scheme + 3);
        args["ip"] = address.toUtf8().toStdString();
    }
    if (argv.size() > 2)
        ParseSwitches(argv, args);
    if (address.isEmpty())
        args["ip"] = (defaultAddress ? defaultAddress() : QString()).toUtf8().toStdString();
    return args;
}

QString GetDefaultAddress(const QString& historyPath, const QString& appName)
{
    const QList<HistoryParam> newest = ReadHistory(historyPath, 1);
    if (!newest.isEmpty())
        return newest.first().url.toString();
    if (QFileInfo::exists(historyPath))
        return QString();

    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard == nullptr)
        return QString();
    const QString text = clipboard->text();
    const QString prefix = QStringLiteral("%1-APP://").arg(appName);
    if (!text.startsWith(prefix))
        return QString();
    clipboard->clear();
    return text.mid(prefix.size());
}
