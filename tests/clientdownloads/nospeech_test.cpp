// Runs with no speech engine plug-in at all.
#include "speechservice.h"
#include "ttssetting.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextToSpeech>

namespace {

TEST(NoSpeechEngineTest, SayIsSilentAndSettingsStillPersist)
{
    QTemporaryDir plugins;
    QTemporaryDir dir;
    ASSERT_TRUE(plugins.isValid() && dir.isValid());
    QCoreApplication::setLibraryPaths({plugins.path()});
    ASSERT_TRUE(QTextToSpeech::availableEngines().isEmpty());

    const QString settingsFile = dir.filePath("config/ttsSettings.ini");
    {
        QSettings settings(settingsFile, QSettings::IniFormat);
        settings.setValue("TTS/rate", 5);
    }
    {
        SpeechService speech(settingsFile);
        EXPECT_FALSE(speech.say("hello"));
        EXPECT_FALSE(speech.say("hello", 3));
        speech.stopSay();

        TTSSetting* dialog = speech.existingDialog();
        ASSERT_NE(dialog, nullptr);
        EXPECT_FALSE(dialog->hasEngine());
        EXPECT_TRUE(dialog->isTTSEnabled());
        EXPECT_EQ(dialog->findChild<QComboBox*>("engine")->count(), 1);
        EXPECT_EQ(dialog->findChild<QComboBox*>("voice")->count(), 0);
        dialog->speak();
    }
    QSettings settings(settingsFile, QSettings::IniFormat);
    EXPECT_EQ(settings.value("TTS/engine").toString(), "default");
    EXPECT_EQ(settings.value("TTS/rate").toInt(), 5);
    EXPECT_EQ(settings.value("TTS/enable").toInt(), 2);
}

}  // namespace
