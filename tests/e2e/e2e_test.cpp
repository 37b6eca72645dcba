// Starts the real Brevix headless on a page served here, lets the page call
// the client and the media module through window.nativeBridge, and checks the
// answers, the module life cycle and the teardown order.
#include "brevixrun.h"

#include <QCoreApplication>
#include <QSettings>

#include <gtest/gtest.h>

#include <json/json.h>

#include <map>
#include <string>
#include <vector>

namespace {

TEST(EndToEnd, PageCallsTheClientAndTheMediaModule)
{
    BrevixRun run(ReadFile(QStringLiteral(E2E_PAGE)));
    ASSERT_TRUE(run.Prepare(QStringLiteral(E2E_FAKE_SORQUIN)));
    const QString app = run.AppFolder();
    const QString journal = run.TempPath(QStringLiteral("journal.txt"));
    const QString address = run.Address();
    run.SetEnv(QStringLiteral("BREVIX_E2E_JOURNAL"), journal);

    ASSERT_TRUE(run.Start({QStringLiteral("-Hf"), QStringLiteral("-user"), QStringLiteral("admin")}));
    const QList<QByteArray> results = run.WaitForResults(20000);
    ASSERT_EQ(results.size(), 1) << "the page posted nothing";
    EXPECT_TRUE(run.Stop());

    // Replies carry their id; the asynchronous one may come at any place.
    PageAnswers answers;
    ASSERT_TRUE(SplitAnswers(results.first(), answers));
    ASSERT_EQ(answers.count, 5u);
    std::map<int, std::string>& replies = answers.replies;
    const std::vector<std::string>& errors = answers.others;

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
