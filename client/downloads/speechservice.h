#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
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
    // MaxSayLength characters is spoken piece by piece (SplitForSpeech), each
    // piece once the one before has been said: the engine cannot be interrupted
    // while it prepares a text, and a long one takes it minutes.
    bool say(const QString& text);
    // Speaks text and, when seconds >= 1, repeats it with a 500 ms pause
    // until that many seconds have passed.
    bool say(const QString& text, int seconds);

    // The text in pieces of at most MaxSayLength characters that together are the
    // whole text: each cut falls after the last sentence end, else the last white
    // space, of the piece when it has one, and never inside a surrogate pair.
    static QStringList SplitForSpeech(const QString& text);
    // The pieces of the text being spoken that are still to come.
    int PiecesLeft() const { return m_pieces.size(); }

public slots:
    // Stops at once: the piece being spoken and every piece still to come.
    void stopSay();

private slots:
    void onTtsStateChanged(QTextToSpeech::State state);
    void repeatSay();

private:
    // Hands the next non-blank piece to the engine; false when none is left.
    bool sayNextPiece();

    static constexpr int RepeatPauseMs = 500;

    QString m_settingsFile;
    QPointer<TTSSetting> m_dialog;
    QTimer m_timer;
    QTimer m_pause;
    QString m_repeatText;
    bool m_repeat = false;
    QStringList m_pieces;
    bool m_pieceStarted = false;  // the engine has reported speaking the last piece given
};
