// Says a long text with the flite engine, then quits at once:
// saychild <settings file> <characters> [stop]
// With "stop" it stops speaking first. Exits 0 when the client would.
#include "speechservice.h"
#include "ttssetting.h"

#include <QApplication>
#include <QSettings>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 3)
        return 2;
    const QString settingsFile = QString::fromLocal8Bit(argv[1]);
    {
        QSettings settings(settingsFile, QSettings::IniFormat);
        settings.setValue("TTS/engine", "flite");
    }
    const bool stopFirst = argc > 3 && qstrcmp(argv[3], "stop") == 0;

    QString text;
    const QString words = QStringLiteral("camera twelve reports motion at the north gate ");
    while (text.size() < QString::fromLocal8Bit(argv[2]).toInt())
        text += words;

    auto* speech = new SpeechService(settingsFile);
    if (!speech->say(text)) {
        std::fprintf(stderr, "say refused\n");
        return 3;
    }
    // Quit once speaking has started, as a user closing the window would.
    QObject::connect(speech->settingsDialog()->speech(), &QTextToSpeech::stateChanged, &app,
                     [&](QTextToSpeech::State state) {
                         if (state != QTextToSpeech::Speaking)
                             return;
                         if (stopFirst)
                             speech->stopSay();
                         app.quit();
                     });
    // Without an audio device the engine may never report speaking.
    QTimer::singleShot(200, &app, [&] {
        if (stopFirst)
            speech->stopSay();
        app.quit();
    });
    const int code = app.exec();
    delete speech;
    return code;
}
