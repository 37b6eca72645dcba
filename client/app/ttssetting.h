#pragma once

#include <QDialog>

class QTextToSpeech;

// Speech settings. This build carries no speech engine: speech is off.
class TTSSetting : public QDialog
{
    Q_OBJECT

public:
    explicit TTSSetting(QWidget* parent = nullptr);

    bool IsSpeechEnabled() const { return m_enabled; }
    // The speech engine, null when there is none.
    QTextToSpeech* Engine() const { return m_engine; }

private:
    bool m_enabled = false;
    QTextToSpeech* m_engine = nullptr;
};
