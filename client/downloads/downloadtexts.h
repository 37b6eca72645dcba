#pragma once

#include <QString>
#include <QtGlobal>

// The progress texts of a download row (translation context "DownloadWidget").
namespace DownloadTexts {

// "N bytes", "N kB" or "N MB", truncated toward zero; MB is the largest unit.
QString dataString(qint64 size);

// The line of a running download: received of total (speed/sec) - remaining.
// A total of 0 means unknown. With no elapsed time or no bytes received the
// speed is unknown ("?") and no remaining time is shown.
QString progressText(qint64 bytesReceived, qint64 bytesTotal, qint64 elapsedMs);

// The line of a download that ended: its size, or "received of total - Stopped".
QString finishedText(qint64 bytesReceived, qint64 bytesTotal);

}  // namespace DownloadTexts
