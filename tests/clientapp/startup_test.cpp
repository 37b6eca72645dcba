#include "appfolder.h"
#include "historyfile.h"
#include "startupargs.h"
#include "startupsettings.h"

#include <QApplication>
#include <QClipboard>
#include <QFontInfo>
#include <QGlyphRun>
#include <QRawFont>
#include <QTextLayout>
#include <QTranslator>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <json/json.h>

namespace {

Json::Value Parse(std::vector<std::string> argv, QString fallback = QString())
{
    argv.insert(argv.begin(), "Brevix");
    return ParseCommandLine(argv, [fallback] { return fallback; });
}

Json::Value Object(const char* text)
{
    Json::Value value;
    Json::Reader().parse(text, value);
    return value;
}

struct CommandLineCase
{
    const char* name;
    std::vector<std::string> argv;
    const char* expected;
};

class CommandLine : public ::testing::TestWithParam<CommandLineCase>
{};

TEST_P(CommandLine, GivesTheArgumentObject)
{
    EXPECT_EQ(Parse(GetParam().argv, QStringLiteral("10.9.9.9")), Object(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandLine,
    ::testing::Values(
        CommandLineCase{"SchemeStripped", {"https://10.0.0.5:8080/x"}, R"({"ip":"10.0.0.5:8080/x"})"},
        CommandLineCase{"PlainAddress", {"10.0.0.5"}, R"({"ip":"10.0.0.5"})"},
        CommandLineCase{"ValuesAndFlag", {"10.0.0.5", "-user", "admin", "-port", "80", "-kiosk"},
                        R"({"ip":"10.0.0.5","user":"admin","port":"80","kiosk":true})"},
        CommandLineCase{"DashInValueMakesAFlag", {"10.0.0.5", "-date", "2020-01-01", "-x"},
                        R"({"ip":"10.0.0.5","date":true,"020-01-01":true,"x":true})"},
        CommandLineCase{"LoneMinusIsNoValue", {"10.0.0.5", "-a", "-", "-b", "v"},
                        R"({"ip":"10.0.0.5","a":true,"":true,"b":"v"})"},
        CommandLineCase{"LaterKeyWins", {"10.0.0.5", "-k", "1", "-k", "2"}, R"({"ip":"10.0.0.5","k":"2"})"},
        CommandLineCase{"NoAddressTakesTheDefault", {}, R"({"ip":"10.9.9.9"})"},
        CommandLineCase{"NothingAfterSchemeTakesTheDefault", {"http://", "-Hf"},
                        R"({"ip":"10.9.9.9","Hf":true})"}),
    [](const ::testing::TestParamInfo<CommandLineCase>& info) { return std::string(info.param.name); });

class StartupFolder : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        QDir(m_dir.path()).mkpath(QStringLiteral("config"));
        AppFolder::Set(m_dir.path());
    }
    void TearDown() override { AppFolder::Set(QString()); }

    QString History() const { return AppFolder::SettingsFile(QStringLiteral("history")); }
    void Store(const char* key, const QVariant& value)
    {
        QSettings(AppFolder::SettingsFile(QStringLiteral("setting")), QSettings::IniFormat).setValue(key, value);
    }

    QTemporaryDir m_dir;
};

TEST_F(StartupFolder, DefaultAddressIsTheNewestHistoryEntry)
{
    const QDateTime now = QDateTime::currentDateTime();
    AddHistoryEntry(History(), {QUrl(QStringLiteral("http://10.0.0.1")), now.addSecs(-60)});
    AddHistoryEntry(History(), {QUrl(QStringLiteral("http://10.0.0.2")), now});
    QGuiApplication::clipboard()->setText(QStringLiteral("Brevix-APP://10.0.0.7"));

    EXPECT_EQ(GetDefaultAddress(History(), QStringLiteral("Brevix")), QStringLiteral("http://10.0.0.2"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("Brevix-APP://10.0.0.7"));
}

TEST_F(StartupFolder, FirstRunTakesTheClipboardAddressOnce)
{
    QGuiApplication::clipboard()->setText(QStringLiteral("Brevix-APP://10.0.0.5"));
    EXPECT_EQ(GetDefaultAddress(History(), QStringLiteral("Brevix")), QStringLiteral("10.0.0.5"));
    EXPECT_TRUE(QGuiApplication::clipboard()->text().isEmpty());

    QGuiApplication::clipboard()->setText(QStringLiteral("Other-APP://10.0.0.5"));
    EXPECT_TRUE(GetDefaultAddress(History(), QStringLiteral("Brevix")).isEmpty());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("Other-APP://10.0.0.5"));
}

TEST_F(StartupFolder, AnExistingEmptyHistoryIgnoresTheClipboard)
{
    QFile file(History());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    QGuiApplication::clipboard()->setText(QStringLiteral("Brevix-APP://10.0.0.5"));
    EXPECT_TRUE(GetDefaultAddress(History(), QStringLiteral("Brevix")).isEmpty());
    EXPECT_FALSE(QGuiApplication::clipboard()->text().isEmpty());
}

TEST_F(StartupFolder, HistoryKeepsOneEntryPerAddressAndDay)
{
    const QDateTime morning(QDate(2024, 5, 1), QTime(8, 0));
    AddHistoryEntry(History(), {QUrl(QStringLiteral("http://a")), morning});
    AddHistoryEntry(History(), {QUrl(QStringLiteral("http://b")), morning.addSecs(60)});
    AddHistoryEntry(History(), {QUrl(QStringLiteral("http://c")), morning.addSecs(120)});
    AddHistoryEntry(History(), {QUrl(QStringLiteral("http://a")), morning.addSecs(180)});
    AddHistoryEntry(History(), {QUrl(QStringLiteral("http://c")), morning.addDays(1)});

    QStringList order;
    for (const HistoryParam& entry : ReadHistory(History(), -1))
        order << entry.url.toString() + QLatin1Char(' ') + entry.time.toString(QStringLiteral("dd hh:mm"));
    EXPECT_EQ(order, QStringList({"http://c 02 08:00", "http://a 01 08:03", "http://c 01 08:02", "http://b 01 08:01"}));
    EXPECT_EQ(ReadHistory(History(), 1).size(), 1);
}

TEST_F(StartupFolder, LanguageAndItsFiles)
{
    EXPECT_EQ(StartupSettings::ReadLanguage(), QStringLiteral("zh-cn"));
    Store("App/Language", QString());
    EXPECT_EQ(StartupSettings::ReadLanguage(), QStringLiteral("zh-cn"));
    Store("App/Language", QStringLiteral("EN-US"));
    EXPECT_EQ(StartupSettings::ReadLanguage(), QStringLiteral("EN-US"));
    EXPECT_EQ(StartupSettings::GetLanguageFilePath(QStringLiteral("EN-US")),
              m_dir.path() + QStringLiteral("/language/en-us.qm"));
}

// The default language's texts are drawn with real glyphs: some installed font
// covers every character of a translated menu row (glyph 0 is the missing-glyph
// box).
TEST(DefaultLanguage, MenuTextsHaveGlyphs)
{
    QTranslator translator;
    ASSERT_TRUE(translator.load(QStringLiteral(BREVIX_APP_DIR "/language/zh-cn.qm")));
    const QFont previous = QApplication::font();
    StartupSettings::SetApplicationFont(QStringLiteral("zh-cn"));
    for (const char* key : {"history", "about"}) {
        const QString text = translator.translate("TopToolbar", key);
        ASSERT_FALSE(text.isEmpty()) << key;
        ASSERT_NE(text, QString::fromLatin1(key));
        QTextLayout layout(text, QApplication::font());
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        int glyphs = 0;
        for (const QGlyphRun& run : layout.glyphRuns()) {
            for (quint32 index : run.glyphIndexes()) {
                ++glyphs;
                EXPECT_NE(index, 0u) << text.toStdString() << " in " << run.rawFont().familyName().toStdString();
            }
        }
        EXPECT_EQ(glyphs, text.size()) << text.toStdString();
    }
    QApplication::setFont(previous);
}

// Other languages than Chinese use the Lato font of the application folder, which the
// build puts there (and the install step installs).
TEST(EnglishLanguage, UsesTheLatoFontOfTheApplicationFolder)
{
    ASSERT_TRUE(QFile::exists(QStringLiteral(BREVIX_APP_DIR "/font/Lato-Regular.ttf")));
    AppFolder::Set(QStringLiteral(BREVIX_APP_DIR));
    const QFont previous = QApplication::font();
    StartupSettings::SetApplicationFont(QStringLiteral("en-us"));
    const QFont font = QApplication::font();
    QApplication::setFont(previous);
    AppFolder::Set(QString());
    EXPECT_EQ(font.family(), QStringLiteral("Lato"));
    EXPECT_EQ(font.pixelSize(), 12);
    EXPECT_EQ(QFontInfo(font).family(), QStringLiteral("Lato")) << "the font is not the one drawn";
}

TEST_F(StartupFolder, CompatibilityModeFollowsTheCompositorUnlessStored)
{
    EXPECT_TRUE(StartupSettings::ReadCompatibilityMode(false));
    EXPECT_FALSE(StartupSettings::ReadCompatibilityMode(true));
    Store("App/CompatibilityMode", false);
    EXPECT_FALSE(StartupSettings::ReadCompatibilityMode(false));
    Store("App/CompatibilityMode", true);
    EXPECT_TRUE(StartupSettings::ReadCompatibilityMode(true));
    // Offscreen there is never a compositor.
    EXPECT_FALSE(StartupSettings::CompositingManagerRunning());
}

}  // namespace
