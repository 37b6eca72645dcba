#include "downloadtexts.h"

#include <QCoreApplication>

#include <cmath>

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("DownloadWidget", text);
}

}  // namespace

namespace DownloadTexts {

QString dataString(qint64 size)
{
    QString unit;
    if (size < 1024) {
        unit = tr("bytes");
    } else if (size < 1024 * 1024) {
        size /= 1024;
        unit = tr("kB");
    } else {
        size /= 1024 * 1024;
        unit = tr("MB");
    }
    return QStringLiteral("%1 %2").arg(size).arg(unit);
}

QString progressText(qint64 bytesReceived, qint64 bytesTotal, qint64 elapsedMs)
{
    const bool speedKnown = elapsedMs > 0 && bytesReceived > 0;
    QString speedText = tr("?");
    QString remainingText;
    if (speedKnown) {
        const double speed = bytesReceived * 1000.0 / elapsedMs;
        speedText = dataString(static_cast<qint64>(speed));
        if (bytesTotal != 0) {
            double remaining = (bytesTotal - bytesReceived) / speed;
            QString unit = tr("seconds");
            if (remaining > 60) {
                remaining = remaining / 60;
                unit = tr("minutes");
            }
            remaining = std::floor(remaining);
            if (remaining == 0)
                remaining = 1;
            remainingText = tr("- %4 %5 remaining").arg(remaining, 0, 'g', 6).arg(unit);
        }
    }
    const QString totalText = bytesTotal == 0 ? tr("?") : dataString(bytesTotal);
    return tr("%1 of %2 (%3/sec) %4")
        .arg(dataString(bytesReceived), totalText, speedText, remainingText);
}

QString finishedText(qint64 bytesReceived, qint64 bytesTotal)
{
    if (bytesReceived == bytesTotal)
        return dataString(bytesReceived);
    return tr("%1 of %2 - Stopped").arg(dataString(bytesReceived), dataString(bytesTotal));
}

}  // namespace DownloadTexts
