// Starts the real Brevix headless with the device SDK module over a simulated
// device of its own, and lets a page log in, read the device's system
// information and log out through window.nativeBridge.
#include "brevixrun.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <json/json.h>

#include <string>
#include <utility>
#include <vector>

namespace {

// One device at 127.0.0.1:37777 whose user admin has three attempts left.
const char kDevice[] = R"({
    "address": "127.0.0.1",
    "port": 37777,
    "serial": "E2E-0001",
    "abilities": {"secondaryAnalyse": 7},
    "users": [{"name": "admin", "password": "admin123", "lockLeft": 3}]
})";

bool WriteDevice(const QString& devices)
{
    if (!QDir().mkpath(devices + QStringLiteral("/e2e")))
        return false;
    QFile file(devices + QStringLiteral("/e2e/device.json"));
    return file.open(QIODevice::WriteOnly) && file.write(kDevice) == qint64(sizeof kDevice - 1);
}

Json::Value Reply(int id, const Json::Value& result)
{
    Json::Value reply(Json::objectValue);
    reply["id"] = id;
    reply["result"] = result;
    return reply;
}

Json::Value SystemInfo(int secondaryAnalyse)
{
    Json::Value info(Json::objectValue);
    info["nane"] = "deviceAbility";
    info["params"]["secondaryAnalyse"] = secondaryAnalyse;
    return info;
}

TEST(EndToEnd, PageLogsInQueriesAndLogsOut)
{
    BrevixRun run(ReadFile(QStringLiteral(E2E_DEVICE_PAGE)));
    ASSERT_TRUE(run.Prepare(QStringLiteral(E2E_FAKE_SORQUIN), {QStringLiteral("Quillnet")}));
    const QString devices = run.TempPath(QStringLiteral("devices"));
    ASSERT_TRUE(WriteDevice(devices));
    run.SetEnv(QStringLiteral("QUILLNET_DEVICES"), devices);

    ASSERT_TRUE(run.Start());
    const QList<QByteArray> results = run.WaitForResults(20000);
    ASSERT_EQ(results.size(), 1) << "the page posted nothing";
    EXPECT_TRUE(run.Stop());

    PageAnswers answers;
    ASSERT_TRUE(SplitAnswers(results.first(), answers)) << results.first().toStdString();
    const std::vector<std::pair<const char*, Json::Value>> expected = {
        {"wrong password: 100 + attempts left", Reply(1, 103)},
        {"no device at that port", Reply(2, 8)},
        {"logged in", Reply(3, 0)},
        {"already logged in", Reply(4, 0)},
        {"system information while logged in", Reply(5, SystemInfo(7))},
        {"logged out", Reply(6, true)},
        {"system information after the logout", Reply(7, SystemInfo(0))},
        {"logout while logged out", Reply(8, true)},
    };
    for (const auto& [what, reply] : expected)
        EXPECT_EQ(answers.replies[reply["id"].asInt()], Styled(reply)) << what << "\n" << results.first().toStdString();
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
