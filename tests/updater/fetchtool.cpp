// updater_fetch URL PATH: one download through the updaters' downloader; prints
// "peak-rss-kib <n>" (the process's high-water resident size) and ends 0 on success, 1 on failure.
#include "downloadmanager.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: updater_fetch URL PATH\n");
        return 2;
    }
    QCoreApplication app(argc, argv);
    const bool ok = DownloadFile(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]));
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("VmHWM:"))
                std::printf("peak-rss-kib %lld\n", line.mid(6).trimmed().split(' ').value(0).toLongLong());
        }
    }
    return ok ? 0 : 1;
}
