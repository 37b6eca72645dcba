// Starts the real Brevix headless on a page served here, lets the page call
// the client and the media module through window.nativeBridge, and checks the
// answers, the module life cycle and the teardown order.
#include "pageserver.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <json/json.h>

#include <map>
#include <string>
#include <vector>

namespace {

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A fresh application folder: the program and the modules, settings and
// translations of the build, and the journaling window module.
bool MakeAppFolder(const QString& folder)
{
    const QString bin = QStringLiteral(BREVIX_APP_DIR);
    QDir dir(folder);
    if (!dir.mkpath(QStringLiteral("config")) || !dir.mkpath(QStringLiteral("language")))
        return false;
    // Copied, so that the program's own folder is this one.
    if (!QFile::copy(bin + QStringLiteral("/Brevix"), folder + QStringLiteral("/Brevix")))
        return false;
    QFile::setPermissions(folder + QStringLiteral("/Brevix"), QFileDevice::ExeOwner | QFileDevice::ReadOwner);
    bool ok = QFile::link(bin + QStringLiteral("/libTolvane.so"), folder + QStringLiteral("/libTolvane.so"));
    ok = QFile::link(QStringLiteral(E2E_FAKE_SORQUIN), folder + QStringLiteral("/libSorquin.so")) && ok;
    ok = QFile::copy(bin + QStringLiteral("/config/version.ini"), folder + QStringLiteral("/config/version.ini")) && ok;
    for (const char* language : {"zh-cn.qm", "en-us.qm"})
        ok = QFile::copy(bin + QStringLiteral("/language/") + language, folder + QStringLiteral("/language/") + language)
            && ok;
    return ok;
}

std::string Styled(const Json::Value& value)
{
    return Json::StyledWriter().write(value);
}

TEST(EndToEnd, PageCallsTheClientAndTheMediaModule)
{
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const QString app = temp.filePath(QStringLiteral("app"));
    ASSERT_TRUE(MakeAppFolder(app));
    const QString journal = temp.filePath(QStringLiteral("journal.txt"));

    PageServer server(ReadFile(QStringLiteral(E2E_PAGE)));
    ASSERT_TRUE(server.Start());
    const QString address = server.Address().toString();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QT_QUICK_BACKEND"), QStringLiteral("software"));
    env.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("default.debug=false"));
    env.insert(QStringLiteral("BREVIX_E2E_JOURNAL"), journal);
    for (const char* variable : {"HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR"}) {
        const QString path = temp.filePath(QStringLiteral("home/") + variable);
        QDir().mkpath(path);
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        env.insert(QString::fromLatin1(variable), path);
    }

    QProcess brevix;
    brevix.setProcessEnvironment(env);
    brevix.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    brevix.setStandardOutputFile(QProcess::nullDevice());
    brevix.start(app + QStringLiteral("/Brevix"), {address, QStringLiteral("-Hf"), QStringLiteral("-user"),
                                                   QStringLiteral("admin")});
    ASSERT_TRUE(brevix.waitForStarted(5000));

    QTRY_VERIFY_WITH_TIMEOUT(!server.Results().isEmpty() || brevix.state() == QProcess::NotRunning, 20000);
    ASSERT_EQ(server.Results().size(), 1) << "the page posted nothing";

    brevix.terminate();
    ASSERT_TRUE(brevix.waitForFinished(15000));
    EXPECT_EQ(brevix.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(brevix.exitCode(), 0);

    // Replies carry their id; the asynchronous one may come at any place.
    Json::Value answers;
    ASSERT_TRUE(Json::Reader().parse(server.Results().first().toStdString(), answers));
    ASSERT_TRUE(answers.isArray());
    ASSERT_EQ(answers.size(), 5u);
    std::map<int, std::string> replies;
    std::vector<std::string> errors;
    for (const Json::Value& answer : answers) {
        ASSERT_TRUE(answer.isString());
        Json::Value reply;
        if (Json::Reader().parse(answer.asString(), reply) && reply.isObject() && reply["id"].isInt())
            replies[reply["id"].asInt()] = answer.asString();
        else
            errors.push_back(answer.asString());
    }

    Json::Value args(Json::objectValue);
    args["id"] = 1;
    args["result"]["ip"] = address.mid(QStringLiteral("http://").size()).toStdString();
    args["result"]["Hf"] = true;
    args["result"]["user"] = "admin";
    EXPECT_EQ(replies[1], Styled(args));

    Json::Value logInfo;
    ASSERT_TRUE(Json::Reader().parse(replies[2], logInfo)) << replies[2];
    Json::Value levels;
    ASSERT_TRUE(logInfo["result"].isString());
    ASSERT_TRUE(Json::Reader().parse(logInfo["result"].asString(), levels));
    ASSERT_TRUE(levels.isArray());
    bool tolvane = false;
    for (const Json::Value& level : levels)
        tolvane = tolvane || (level.isObject() && level["name"] == Json::Value("Tolvane") && level["level"].isInt());
    EXPECT_TRUE(tolvane) << replies[2];

    const std::vector<std::string> expectedErrors = {
        "Json format error:{\"method\":\"getAppArgs\",\"params\":{},\"id\":3",
        "Json context error:{\"method\":\"getAppArgs\",\"id\":4}",
        "Method not exist:{\"method\":\"NoSuchMethod\",\"params\":{},\"id\":5}"};
    EXPECT_EQ(errors, expectedErrors);

    // Loaded, initialised and filled once; handed the widgets once; at the end
    // released by the window before the modules go, and cleared and unloaded.
    const QStringList lines = QString::fromUtf8(ReadFile(journal)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QStringList once = {"Sorquin loaded", "Sorquin InitModule", "Sorquin LoadImplObjects",
                              "Sorquin ImplComLoaded", "Sorquin SetBackgroundWidget", "Sorquin SetContentWidget"};
    for (const QString& line : once)
        EXPECT_EQ(lines.count(line), 1) << line.toStdString() << "\n" << lines.join('\n').toStdString();
    const QStringList teardown = {"Sorquin ReleaseWindows", "Sorquin ImplComPreRelease", "Sorquin service released",
                                  "Sorquin ClearModule", "Sorquin unloaded"};
    EXPECT_EQ(lines.mid(lines.size() - teardown.size()), teardown) << lines.join('\n').toStdString();
    EXPECT_EQ(lines.mid(0, once.size()), once) << lines.join('\n').toStdString();

    const QSettings settings(app + QStringLiteral("/config/setting.ini"), QSettings::IniFormat);
    EXPECT_EQ(settings.value(QStringLiteral("App/pName")).toString(), QStringLiteral("Brevix"));
    EXPECT_EQ(settings.value(QStringLiteral("App/startEXE")).toString(), app + QStringLiteral("/Brevix"));
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
