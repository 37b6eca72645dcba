#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTextToSpeech>
#include <QTimer>

class QWidget;
class TTSSetting;

// Speaks the page's texts through the speech settings dialog's engine, once
// or repeated for a number of seconds. Owns the dialog, which is created on
// first need and written back when this service goes.
class SpeechService final : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxSayLength = 1000;

    // settingsFile: the application folder's "config/ttsSettings.ini".
    explicit SpeechService(const QString& settingsFile, QObject* parent = nullptr);
    ~SpeechService() override;
    SpeechService(const SpeechService&) = delete;
    SpeechService& operator=(const SpeechService&) = delete;

    // The dialog, created modal with the given parent when there is none yet.
    TTSSetting* settingsDialog(QWidget* parent = nullptr);
    // The dialog if one was created, else null.
    TTSSetting* existingDialog() const;

    // Speaks text, interrupting what is being said. False when speech is off,
    // there is no engine, or the settings dialog is open. A text longer than
    // MaxSayLength characters is cut to that length: the engine cannot be
    // interrupted while it prepares a text, and longer texts take it minutes.
    bool say(const QString& text);
    // Speaks text and, when seconds >= 1, repeats it with a 500 ms pause
    // until that many seconds have passed.
    bool say(const QString& text, int seconds);

public slots:
    void stopSay();

private slots:
    void onTtsStateChanged(QTextToSpeech::State state);
    void repeatSay();

private:
    static constexpr int RepeatPauseMs = 500;

    QString m_settingsFile;
    QPointer<TTSSetting> m_dialog;
    QTimer m_timer;
    QTimer m_pause;
    QString m_repeatText;
    bool m_repeat = false;
};
