#include "chosenpaths.h"
#include "filechooser.h"
#include "speechservice.h"
#include "ttssetting.h"
#include "windowfixture.h"

#include <QDesktopServices>
#include <QFile>
#include <QSettings>
#include <QTest>
#include <QTextToSpeech>
#include <QThread>

#include <gtest/gtest.h>

namespace {

// Answers the file dialogs with preset paths and keeps where each started.
class PresetChooser : public IFileChooser, public QObject
{
public:
    PresetChooser() { FileChoosers::SetCurrent(this); }
    ~PresetChooser() override { FileChoosers::SetCurrent(nullptr); }

    QString ChooseDir(QWidget*, const QString&, const QString& start) override
    {
        starts << start;
        return answer;
    }
    QString ChooseFile(QWidget*, const QString&, const QString& start, const QString&) override
    {
        starts << start;
        return answer;
    }
    QString SaveFile(QWidget*, const QString&, const QString& proposed, const QString&) override
    {
        starts << proposed;
        return answer;
    }

    QString answer;
    QStringList starts;
};

// Takes the desktop's URL opening for http and https.
class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    UrlCatcher()
    {
        QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "Open");
        QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "Open");
    }
    ~UrlCatcher() override
    {
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    }

    QList<QUrl> opened;

public slots:
    void Open(const QUrl& url) { opened << url; }
};

Json::Value Params(const char* text)
{
    Json::Value value;
    Json::Reader().parse(text, value);
    return value;
}

QByteArray Content(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

class ClientMethods : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ChosenPaths::Instance().Clear();
        m_fixture.LoadBlank();
    }
    void TearDown() override { ChosenPaths::Instance().Clear(); }

    Json::Value Write(const QString& path, const char* item, bool append)
    {
        Json::Value params(Json::objectValue);
        params["fileName"] = path.toStdString();
        params["item"] = item;
        params["append"] = append;
        return m_fixture.Result("writeFileToDevice", params);
    }

    WindowFixture m_fixture;
};

TEST_F(ClientMethods, AppArgsComeBackUnchanged)
{
    const Json::Value args = m_fixture.Result("getAppArgs", Json::Value(Json::objectValue));
    EXPECT_EQ(args, Params(R"({"ip":"","Hf":true})"));
}

TEST_F(ClientMethods, BackgroundColourIsRedInTheLowByte)
{
    struct Case
    {
        int color;
        bool async;
        const char* style;
    };
    for (const Case& c : {Case{255, false, "QWidget{background:rgb(255,0,0);}"},
                          Case{0x0A141E, true, "QWidget{background:rgb(30,20,10);}"},
                          Case{0, false, "QWidget{background-image:url(:/toolbaricon/background.png);}"}}) {
        Json::Value params(Json::objectValue);
        params["color"] = c.color;
        EXPECT_EQ(m_fixture.Result("setBackgroundColor", params, c.async), Json::Value(true)) << c.color;
        EXPECT_EQ(m_fixture.Window().BackgroundWidget()->styleSheet(), QString::fromLatin1(c.style));
    }
}

TEST_F(ClientMethods, FilesAreWrittenOnlyWhereTheUserChose)
{
    PresetChooser chooser;
    QTemporaryDir dir;
    const QString chosen = dir.filePath(QStringLiteral("chosen.txt"));
    const QString other = dir.filePath(QStringLiteral("other.txt"));

    EXPECT_EQ(Write(chosen, "x", false), Json::Value(false));
    EXPECT_FALSE(QFile::exists(chosen));

    chooser.answer = chosen;
    EXPECT_EQ(m_fixture.Result("FSSaveFile", Params(R"({"fileName":"chosen.txt","ext":""})")),
              Json::Value(chosen.toStdString()));
    EXPECT_EQ(Write(chosen, "first", false), Json::Value(true));
    EXPECT_EQ(Write(chosen, " second", true), Json::Value(true));
    EXPECT_EQ(Content(chosen), QByteArray("first second"));
    EXPECT_EQ(Write(chosen, "new", false), Json::Value(true));
    EXPECT_EQ(Content(chosen), QByteArray("new"));

    Json::Value create(Json::objectValue);
    create["fileName"] = chosen.toStdString();
    EXPECT_EQ(m_fixture.Result("creatFileToDevice", create), Json::Value(true));
    EXPECT_EQ(Content(chosen), QByteArray("new"));

    for (const QString& refused : {other, dir.filePath(QStringLiteral("sub/../other.txt")),
                                   AppFolder::SettingsFile(QStringLiteral("setting"))}) {
        EXPECT_EQ(Write(refused, "x", false), Json::Value(false)) << refused.toStdString();
        create["fileName"] = refused.toStdString();
        EXPECT_EQ(m_fixture.Result("creatFileToDevice", create), Json::Value(false));
    }
    EXPECT_FALSE(QFile::exists(other));
}

TEST_F(ClientMethods, AChosenFolderAllowsTheFilesInside)
{
    PresetChooser chooser;
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("a/b"));
    chooser.answer = dir.filePath(QStringLiteral("a/b"));
    EXPECT_EQ(m_fixture.Result("FSChooseDir", Json::Value(Json::objectValue)),
              Json::Value(chooser.answer.toStdString()));

    EXPECT_EQ(Write(dir.filePath(QStringLiteral("a/b/log.txt")), "in", false), Json::Value(true));
    EXPECT_EQ(Write(dir.filePath(QStringLiteral("a/b/../escape.txt")), "out", false), Json::Value(false));
    EXPECT_EQ(Write(dir.filePath(QStringLiteral("a/b")), "dir", false), Json::Value(false));
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("a/outside.txt")), dir.filePath(QStringLiteral("a/b/link.txt"))));
    EXPECT_EQ(Write(dir.filePath(QStringLiteral("a/b/link.txt")), "via link", false), Json::Value(false));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("a/outside.txt"))));

    // The next folder dialog opens in the chosen folder's parent; a cancelled
    // one answers "" and changes nothing.
    chooser.answer.clear();
    EXPECT_EQ(m_fixture.Result("FSChooseDir", Json::Value(Json::objectValue), true), Json::Value(""));
    EXPECT_EQ(chooser.starts.last(), dir.filePath(QStringLiteral("a")));
}

TEST_F(ClientMethods, OnlyWebAddressesOpenInTheBrowser)
{
    UrlCatcher catcher;
    struct Case
    {
        const char* url;
        bool opened;
    };
    for (const Case& c : {Case{"http://10.0.0.5/help", true}, Case{"https://10.0.0.5", true},
                          Case{"file:///etc/passwd", false}, Case{"javascript:alert(1)", false},
                          Case{"", false}}) {
        Json::Value params(Json::objectValue);
        params["url"] = c.url;
        EXPECT_EQ(m_fixture.Result("openUrlByBrowser", params, true), Json::Value(c.opened)) << c.url;
    }
    EXPECT_EQ(catcher.opened.size(), 2);
}

TEST_F(ClientMethods, SpeechFollowsTheSpeechSettings)
{
    const bool flite = QTextToSpeech::availableEngines().contains(QStringLiteral("flite"));
    {
        QSettings settings(AppFolder::SettingsFile(QStringLiteral("ttsSettings")), QSettings::IniFormat);
        settings.setValue(QStringLiteral("TTS/engine"), QStringLiteral("flite"));
        settings.setValue(QStringLiteral("TTS/enable"), flite ? int(Qt::Checked) : int(Qt::Unchecked));
    }
    // Spoken when speech is on and the settings are closed; never while they are open.
    EXPECT_EQ(m_fixture.Result("say", Params(R"({"text":"hello"})")), Json::Value(flite));
    EXPECT_EQ(m_fixture.Result("say", Params(R"({"text":"hello","seconds":3})"), true), Json::Value(flite));
    EXPECT_EQ(m_fixture.Result("stopSay", Json::Value(Json::objectValue)), Json::Value("null"));
    m_fixture.Window().ShowTTSSettings();
    EXPECT_EQ(m_fixture.Result("say", Params(R"({"text":"hello"})")), Json::Value(false));
    EXPECT_EQ(m_fixture.Result("say", Params(R"({"text":"hello","seconds":0})")), Json::Value(false));
    m_fixture.Window().Speech()->existingDialog()->close();

    EXPECT_EQ(m_fixture.Result("say", Params(R"({"text":"hello","seconds":"3"})")), Json::Value("no reply"));
    EXPECT_TRUE(m_fixture.Replies().last().startsWith(QStringLiteral("Method not exist:")));
}

TEST(MainWindowStart, GeometryFromTheCommandLine)
{
    struct Case
    {
        const char* position;
        const char* width;
        QRect geometry;
    };
    for (const Case& c : {Case{"[10,20,1024,768]", nullptr, QRect(10, 20, 1024, 768)},
                          Case{nullptr, "abc", QRect(50, 50, 800, 600)}}) {
        QTemporaryDir folder;
        AppFolder::Set(folder.path());
        Json::Value args(Json::objectValue);
        args["ip"] = "";
        args["Hf"] = true;
        if (c.position != nullptr)
            args["position"] = c.position;
        if (c.width != nullptr)
            args["width"] = c.width;
        MainWindow window(QString(), true, 4, args);
        EXPECT_EQ(window.geometry(), c.geometry);
        // The keys the updaters read are written at every start.
        QSettings settings(AppFolder::SettingsFile(QStringLiteral("setting")), QSettings::IniFormat);
        EXPECT_EQ(settings.value(QStringLiteral("App/startEXE")).toString(),
                  folder.path() + QLatin1Char('/') + settings.value(QStringLiteral("App/pName")).toString());
        AppFolder::Set(QString());
    }
}

TEST(MainWindowStart, CompatibilityModeTurnsGpuDecodingOff)
{
    WindowFixture fixture;
    QSettings config(AppFolder::SettingsFile(QStringLiteral("baseConfig")), QSettings::IniFormat);
    config.setValue(QStringLiteral("Config/GPU_ENABLE"), true);
    config.sync();
    fixture.LoadBlank();
    config.sync();
    EXPECT_FALSE(config.value(QStringLiteral("Config/GPU_ENABLE")).toBool());
}

}  // namespace

#include "methods_test.moc"
