#include "speechservice.h"

#include "ttssetting.h"

#include <algorithm>
#include <climits>

SpeechService::SpeechService(const QString& settingsFile, QObject* parent)
    : QObject(parent), m_settingsFile(settingsFile)
{
    m_timer.setSingleShot(true);
    m_pause.setSingleShot(true);
    m_pause.setInterval(RepeatPauseMs);
    connect(&m_pause, &QTimer::timeout, this, &SpeechService::repeatSay);
}

SpeechService::~SpeechService()
{
    delete m_dialog.data();
}

TTSSetting* SpeechService::settingsDialog(QWidget* parent)
{
    if (!m_dialog) {
        m_dialog = new TTSSetting(m_settingsFile, parent);
        m_dialog->setModal(true);
    }
    return m_dialog;
}

TTSSetting* SpeechService::existingDialog() const
{
    return m_dialog;
}

bool SpeechService::say(const QString& text)
{
    TTSSetting* dialog = settingsDialog();
    if (!dialog->isTTSEnabled() || !dialog->hasEngine() || dialog->isVisible())
        return false;
    int length = std::min<int>(text.size(), MaxSayLength);
    if (length < text.size() && length > 0 && text.at(length - 1).isHighSurrogate())
        --length;
    dialog->speech()->say(text.left(length));
    return true;
}

bool SpeechService::say(const QString& text, int seconds)
{
    stopSay();
    if (!say(text))
        return false;
    if (seconds < 1)
        return true;

    m_repeatText = text;
    m_repeat = true;
    connect(m_dialog->speech(), &QTextToSpeech::stateChanged, this,
            &SpeechService::onTtsStateChanged, Qt::UniqueConnection);
    m_timer.setInterval(seconds > INT_MAX / 1000 ? INT_MAX : seconds * 1000);
    connect(&m_timer, &QTimer::timeout, this, &SpeechService::stopSay, Qt::UniqueConnection);
    m_timer.start();
    return true;
}

void SpeechService::onTtsStateChanged(QTextToSpeech::State state)
{
    // The pause runs on a timer rather than blocking the GUI thread.
    if (state == QTextToSpeech::Ready && m_repeat)
        m_pause.start();
}

void SpeechService::repeatSay()
{
    if (m_repeat)
        say(m_repeatText);
}

void SpeechService::stopSay()
{
    if (!m_dialog || !m_dialog->isTTSEnabled() || !m_dialog->hasEngine())
        return;
    disconnect(m_dialog->speech(), &QTextToSpeech::stateChanged, this,
               &SpeechService::onTtsStateChanged);
    disconnect(&m_timer, &QTimer::timeout, this, &SpeechService::stopSay);
    m_timer.stop();
    m_pause.stop();
    m_dialog->speech()->stop();
    m_repeat = false;
}
