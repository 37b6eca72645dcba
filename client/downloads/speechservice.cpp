#include "speechservice.h"

#include "ttssetting.h"

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

QStringList SpeechService::SplitForSpeech(const QString& text)
{
    QStringList pieces;
    int start = 0;
    while (text.size() - start > MaxSayLength) {
        int cut = start + MaxSayLength;
        if (text.at(cut - 1).isHighSurrogate())
            --cut;
        int sentence = -1, space = -1;
        for (int i = cut - 1; i > start && sentence < 0; --i) {
            const QChar c = text.at(i);
            if (c.isSpace()) {
                if (space < 0)
                    space = i + 1;
                const QChar before = text.at(i - 1);
                if (before == QLatin1Char('.') || before == QLatin1Char('!') || before == QLatin1Char('?'))
                    sentence = i + 1;
            }
        }
        if (sentence > start)
            cut = sentence;
        else if (space > start)
            cut = space;
        pieces << text.mid(start, cut - start);
        start = cut;
    }
    if (start < text.size() || pieces.isEmpty())
        pieces << text.mid(start);
    return pieces;
}

bool SpeechService::say(const QString& text)
{
    TTSSetting* dialog = settingsDialog();
    if (!dialog->isTTSEnabled() || !dialog->hasEngine() || dialog->isVisible())
        return false;
    connect(dialog->speech(), &QTextToSpeech::stateChanged, this, &SpeechService::onTtsStateChanged,
            Qt::UniqueConnection);
    m_pieces = SplitForSpeech(text);
    if (!sayNextPiece())
        dialog->speech()->say(text);  // nothing but white space: the engine has its say
    return true;
}

bool SpeechService::sayNextPiece()
{
    while (!m_pieces.isEmpty()) {
        const QString piece = m_pieces.takeFirst();
        if (piece.trimmed().isEmpty())
            continue;
        m_pieceStarted = false;
        m_dialog->speech()->say(piece);
        return true;
    }
    return false;
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
    m_timer.setInterval(seconds > INT_MAX / 1000 ? INT_MAX : seconds * 1000);
    connect(&m_timer, &QTimer::timeout, this, &SpeechService::stopSay, Qt::UniqueConnection);
    m_timer.start();
    return true;
}

void SpeechService::onTtsStateChanged(QTextToSpeech::State state)
{
    // A Ready that comes before the engine spoke the piece last given belongs to what
    // that piece interrupted.
    if (state == QTextToSpeech::Speaking) {
        m_pieceStarted = true;
        return;
    }
    if (state != QTextToSpeech::Ready || !m_pieceStarted || !m_dialog || !m_dialog->hasEngine())
        return;
    if (sayNextPiece())
        return;
    // The pause runs on a timer rather than blocking the GUI thread.
    if (m_repeat)
        m_pause.start();
}

void SpeechService::repeatSay()
{
    if (m_repeat)
        say(m_repeatText);
}

void SpeechService::stopSay()
{
    m_pieces.clear();
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
