#pragma once

#include <QDialog>
#include <QLocale>
#include <QString>
#include <QTextToSpeech>
#include <QVector>
#include <QVoice>

namespace Ui {
class TTSSetting;
}

// The speech settings dialog: engine, language, voice, rate, pitch, volume,
// a test sentence and the switch for speech output. It owns the engine the
// client speaks through. Settings are read at construction and written at
// destruction (group "TTS").
class TTSSetting final : public QDialog
{
    Q_OBJECT

public:
    // settingsFile: the application folder's "config/ttsSettings.ini".
    explicit TTSSetting(const QString& settingsFile, QWidget* parent = nullptr);
    ~TTSSetting() override;
    TTSSetting(const TTSSetting&) = delete;
    TTSSetting& operator=(const TTSSetting&) = delete;

    bool isTTSEnabled() const;
    // The current engine object; null until an engine is selected.
    QTextToSpeech* speech() const;
    // An engine exists and its back end loaded.
    bool hasEngine() const;

public slots:
    void enableTTS(bool on);
    void speak();
    void setRate(int value);
    void setPitch(int value);
    void setVolume(int value);
    void stateChanged(QTextToSpeech::State state);
    void engineSelected(int index);
    void languageSelected(int index);
    void voiceSelected(int index);
    void localeChanged(const QLocale& locale);

private:
    void load();
    void save() const;

    Ui::TTSSetting* m_ui;
    QTextToSpeech* m_speech = nullptr;
    QVector<QVoice> m_voices;
    QString m_settingsFile;
    bool m_enabled = true;
};
