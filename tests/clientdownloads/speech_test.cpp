#include "speechservice.h"
#include "ttssetting.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QProcess>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QTemporaryDir>
#include <QSignalSpy>
#include <QTest>
#include <QTextToSpeech>

#include <memory>

namespace {

const QString Flite = QStringLiteral("flite");

// Speech settings in a temporary folder, with the flite engine when stored.
// How often the engine began to speak, from a spy on its state changes.
int SpeakingCount(const QSignalSpy& states)
{
    int count = 0;
    for (const QList<QVariant>& args : states)
        count += args.at(0).value<QTextToSpeech::State>() == QTextToSpeech::Speaking;
    return count;
}

class SpeechTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_settingsFile = m_dir.filePath("config/ttsSettings.ini");
    }

    void store(const QString& key, const QVariant& value)
    {
        QSettings settings(m_settingsFile, QSettings::IniFormat);
        settings.setValue("TTS/" + key, value);
    }

    QVariant stored(const QString& key) const
    {
        QSettings settings(m_settingsFile, QSettings::IniFormat);
        return settings.value("TTS/" + key);
    }

    static bool fliteAvailable() { return QTextToSpeech::availableEngines().contains(Flite); }

    template <typename T>
    static T* child(const TTSSetting& dialog, const char* name)
    {
        return dialog.findChild<T*>(name);
    }

    QTemporaryDir m_dir;
    QString m_settingsFile;
};

TEST_F(SpeechTest, MissingFileGivesDefaultsAndIsWrittenBack)
{
    {
        TTSSetting dialog(m_settingsFile);
        EXPECT_EQ(child<QComboBox>(dialog, "engine")->currentData().toString(), "default");
        EXPECT_EQ(child<QComboBox>(dialog, "engine")->currentText(), "Default");
        EXPECT_EQ(child<QSlider>(dialog, "rate")->value(), 0);
        EXPECT_EQ(child<QSlider>(dialog, "pitch")->value(), 0);
        EXPECT_EQ(child<QSlider>(dialog, "volume")->value(), 100);
        EXPECT_EQ(child<QSlider>(dialog, "volume")->toolTip(), "100");
        EXPECT_TRUE(dialog.isTTSEnabled());
        EXPECT_TRUE(child<QCheckBox>(dialog, "enableCheckBox")->isChecked());
        EXPECT_TRUE(child<QPushButton>(dialog, "speakButton")->isEnabled());
    }
    EXPECT_EQ(stored("engine").toString(), "default");
    EXPECT_EQ(stored("rate").toInt(), 0);
    EXPECT_EQ(stored("pitch").toInt(), 0);
    EXPECT_EQ(stored("volume").toInt(), 100);
    EXPECT_EQ(stored("enable").toInt(), 2);
    EXPECT_EQ(stored("language").userType(), int(QMetaType::QLocale));
}

TEST_F(SpeechTest, StoredSettingsAreAppliedAndKept)
{
    if (!fliteAvailable())
        GTEST_SKIP() << "flite speech engine not installed";
    store("engine", Flite);
    store("rate", 3);
    store("pitch", -2);
    store("volume", 40);
    store("enable", 0);
    QString voice;
    {
        TTSSetting dialog(m_settingsFile);
        EXPECT_EQ(child<QComboBox>(dialog, "engine")->currentData().toString(), Flite);
        ASSERT_TRUE(dialog.hasEngine());
        EXPECT_NEAR(dialog.speech()->rate(), 0.3, 1e-6);
        EXPECT_NEAR(dialog.speech()->pitch(), -0.2, 1e-6);
        EXPECT_NEAR(dialog.speech()->volume(), 0.4, 1e-6);
        EXPECT_EQ(child<QSlider>(dialog, "pitch")->toolTip(), "-2");
        EXPECT_FALSE(dialog.isTTSEnabled());
        for (const char* name : {"engine", "language", "voice"})
            EXPECT_FALSE(child<QComboBox>(dialog, name)->isEnabled()) << name;
        for (const char* name : {"rate", "pitch", "volume"})
            EXPECT_FALSE(child<QSlider>(dialog, name)->isEnabled()) << name;
        EXPECT_FALSE(child<QPushButton>(dialog, "speakButton")->isEnabled());
        EXPECT_FALSE(child<QLineEdit>(dialog, "text")->isEnabled());
        EXPECT_TRUE(child<QCheckBox>(dialog, "enableCheckBox")->isEnabled());
        voice = child<QComboBox>(dialog, "voice")->currentData().toString();
        EXPECT_FALSE(voice.isEmpty());
    }
    EXPECT_EQ(stored("engine").toString(), Flite);
    EXPECT_EQ(stored("rate").toInt(), 3);
    EXPECT_EQ(stored("pitch").toInt(), -2);
    EXPECT_EQ(stored("volume").toInt(), 40);
    EXPECT_EQ(stored("enable").toInt(), 0);
    EXPECT_EQ(stored("voice").toString(), voice);
}

TEST_F(SpeechTest, UnavailableEngineSelectsDefault)
{
    store("engine", "no such engine");
    {
        TTSSetting dialog(m_settingsFile);
        EXPECT_EQ(child<QComboBox>(dialog, "engine")->currentIndex(), 0);
    }
    EXPECT_EQ(stored("engine").toString(), "default");
}

TEST_F(SpeechTest, SpeakingDisablesTestAndEngineList)
{
    TTSSetting dialog(m_settingsFile);
    dialog.stateChanged(QTextToSpeech::Speaking);
    EXPECT_FALSE(child<QPushButton>(dialog, "speakButton")->isEnabled());
    EXPECT_FALSE(child<QComboBox>(dialog, "engine")->isEnabled());
    dialog.stateChanged(QTextToSpeech::Ready);
    EXPECT_TRUE(child<QPushButton>(dialog, "speakButton")->isEnabled());
    EXPECT_TRUE(child<QComboBox>(dialog, "engine")->isEnabled());
}

TEST_F(SpeechTest, SayAnswersFalseWhileTheDialogIsOpenOrSpeechIsOff)
{
    if (!fliteAvailable())
        GTEST_SKIP() << "flite speech engine not installed";
    store("engine", Flite);
    SpeechService speech(m_settingsFile);
    speech.stopSay();  // no dialog yet: nothing happens
    EXPECT_EQ(speech.existingDialog(), nullptr);

    EXPECT_TRUE(speech.say("one"));
    TTSSetting* dialog = speech.existingDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isModal());

    dialog->show();
    EXPECT_EQ(speech.settingsDialog(), dialog);
    EXPECT_FALSE(speech.say("two"));
    EXPECT_FALSE(speech.say("two", 3));
    dialog->close();
    EXPECT_TRUE(speech.say("three", 0));
    EXPECT_TRUE(speech.say("four", 2));
    speech.stopSay();

    dialog->enableTTS(false);
    EXPECT_FALSE(speech.say("five"));
}

TEST_F(SpeechTest, SayForSecondsRepeatsUntilTheTimeIsUp)
{
    if (!fliteAvailable())
        GTEST_SKIP() << "flite speech engine not installed";
    store("engine", Flite);
    SpeechService speech(m_settingsFile);
    QTextToSpeech* engine = speech.settingsDialog()->speech();
    QSignalSpy states(engine, &QTextToSpeech::stateChanged);
    const auto spoken = [&states] { return SpeakingCount(states); };

    ASSERT_TRUE(speech.say("again", 1));
    QTRY_VERIFY_WITH_TIMEOUT(spoken() >= 2, 3000);
    QTest::qWait(1500);  // the second is over
    const int afterStop = spoken();
    QTest::qWait(1000);
    EXPECT_EQ(spoken(), afterStop);
}

// Pieces of a long text: together the whole text, none over the limit, cut after a sentence
// where there is one, else after a space, never inside a character.
TEST(SpeechPieces, CoverTheWholeTextWithinTheLimit)
{
    const int limit = SpeechService::MaxSayLength;
    const QString words = QStringLiteral("camera twelve reports motion at the north gate ");
    const QString sentences = QStringLiteral("Motion at the north gate. Camera twelve reports it! ");
    const QString face = QString::fromUtf8("\xF0\x9F\x99\x82");  // one character, two UTF-16 units
    struct Case {
        const char* name;
        QString text;
        int pieces;
        QString lastCharOfFirst;  // empty: not checked
    };
    const Case cases[] = {
        {"empty", QString(), 1, QString()},
        {"short", words, 1, QString()},
        {"exactly the limit", QString(limit, QLatin1Char('a')), 1, QString()},
        {"words", words.repeated(60), 3, QStringLiteral(" ")},
        {"sentences", sentences.repeated(50), 3, QStringLiteral(" ")},
        {"no space", QString(2500, QLatin1Char('x')), 3, QStringLiteral("x")},
        {"surrogate at the cut", QString(limit - 1, QLatin1Char('y')) + face + QString(10, QLatin1Char('y')), 2,
         QStringLiteral("y")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QStringList pieces = SpeechService::SplitForSpeech(c.text);
        EXPECT_EQ(pieces.size(), c.pieces);
        EXPECT_EQ(pieces.join(QString()), c.text);
        for (const QString& piece : pieces) {
            EXPECT_LE(piece.size(), limit);
            EXPECT_FALSE(piece.isEmpty() && !c.text.isEmpty());
        }
        if (!c.lastCharOfFirst.isEmpty())
            EXPECT_EQ(pieces.first().right(1), c.lastCharOfFirst);
    }
    // After a sentence end rather than the last space.
    const QStringList pieces = SpeechService::SplitForSpeech(sentences.repeated(50));
    EXPECT_TRUE(pieces.first().endsWith(QStringLiteral(". ")) || pieces.first().endsWith(QStringLiteral("! ")))
        << pieces.first().right(20).toStdString();
}

TEST_F(SpeechTest, LongTextIsSpokenPieceByPieceAndStopsAtOnce)
{
    if (!fliteAvailable())
        GTEST_SKIP() << "flite speech engine not installed";
    store("engine", Flite);
    SpeechService speech(m_settingsFile);
    QTextToSpeech* engine = speech.settingsDialog()->speech();
    QSignalSpy states(engine, &QTextToSpeech::stateChanged);
    const auto spoken = [&states] { return SpeakingCount(states); };
    const QString text = QStringLiteral("Gate two. ").repeated(260);  // 2600 characters, three pieces
    ASSERT_TRUE(speech.say(text));
    EXPECT_EQ(speech.PiecesLeft(), 2);
    // Generous: flite makes each piece's sound before it reports speaking it.
    QTRY_VERIFY_WITH_TIMEOUT(spoken() >= 2, 60000);
    speech.stopSay();
    EXPECT_EQ(speech.PiecesLeft(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(engine->state() != QTextToSpeech::Speaking, 10000);
    const int afterStop = spoken();
    QTest::qWait(1500);
    EXPECT_EQ(spoken(), afterStop) << "a piece came after stopSay";
}

// A page's overlong text, then the client closes (or stops speaking first):
// the client ends at once and cleanly instead of waiting for the engine.
TEST_F(SpeechTest, LongTextLeavesExitClean)
{
    if (!fliteAvailable())
        GTEST_SKIP() << "flite speech engine not installed";
    for (const QStringList& mode : {QStringList(), QStringList("stop")}) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QStringLiteral(SAY_CHILD),
                    QStringList{m_dir.filePath("config/ttsSettings.ini"), QStringLiteral("100000")} + mode);
        ASSERT_TRUE(child.waitForStarted(30000));
        // Generous: a clean exit takes well under a second.
        if (!child.waitForFinished(60000)) {
            child.kill();
            child.waitForFinished(10000);
            FAIL() << "still running after 60 s " << mode.join(' ').toStdString();
        }
        EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << mode.join(' ').toStdString();
        EXPECT_EQ(child.exitCode(), 0) << mode.join(' ').toStdString();
    }
}

}  // namespace
