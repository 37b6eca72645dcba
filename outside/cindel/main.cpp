// Cindel: empties the web cache and local storage of the client's data
// folder, as recorded in the client's "/config/setting.ini" beside this
// program. It refuses any folder that is not the client's own and writes
// nothing else.
#include "cachecleaner.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>
#include <QStandardPaths>

#include <csignal>
#include <cstdio>

int main(int argc, char** argv)
{
    // Started detached; a closed terminal must not end it half-way.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);

    const QString folder = QCoreApplication::applicationDirPath();
    const QSettings settings(folder + "/config/setting.ini", QSettings::IniFormat);
    const QString localData = settings.value("App/localData").toString();
    const QString name = CacheCleaner::ApplicationName(settings.value("App/pName").toString(),
                                                       settings.value("App/startEXE").toString());

    CacheCleaner::Places places;
    places.applicationFolder = folder;
    places.userDataLocation = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    places.homeFolder = QDir::homePath();

    QString canonical;
    const CacheCleaner::Verdict verdict = CacheCleaner::CheckDataFolder(localData, name, places, &canonical);
    if (verdict == CacheCleaner::Verdict::Missing) {
        std::fprintf(stderr, "Cindel: nothing to clean: %s\n", CacheCleaner::VerdictText(verdict));
        return 0;
    }
    if (verdict != CacheCleaner::Verdict::Clean) {
        std::fprintf(stderr, "Cindel: refused: %s\n", CacheCleaner::VerdictText(verdict));
        return 1;
    }
    const int removed = CacheCleaner::EmptyTargets(canonical);
    std::fprintf(stdout, "Cindel: removed %d entries from %s\n", removed, qPrintable(canonical));
    return 0;
}
