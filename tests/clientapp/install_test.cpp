// The installed application folder: exactly the programs, modules and files a
// user runs, and the installed Brevix works from it alone.
#include "pageserver.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <json/json.h>

namespace {

// Runs cmake --install of the build into prefix; the output on failure.
QString Install(const QString& prefix, const QStringList& extra = {})
{
    QProcess cmake;
    cmake.setProcessChannelMode(QProcess::MergedChannels);
    cmake.start(QStringLiteral(CMAKE_PROGRAM),
                QStringList{QStringLiteral("--install"), QStringLiteral(BUILD_DIR), QStringLiteral("--prefix"), prefix}
                    + extra);
    if (!cmake.waitForFinished(120000) || cmake.exitStatus() != QProcess::NormalExit || cmake.exitCode() != 0)
        return QStringLiteral("cmake --install failed: ") + QString::fromLocal8Bit(cmake.readAll());
    return QString();
}

// Every file below folder, relative to it.
QSet<QString> FilesBelow(const QString& folder)
{
    QSet<QString> files;
    QDirIterator it(folder, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(folder).relativeFilePath(it.next());
    return files;
}

class Installed : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_temp.isValid());
        const QString failure = Install(App());
        ASSERT_TRUE(failure.isEmpty()) << failure.toStdString();
    }

    QString App() const { return m_temp.filePath(QStringLiteral("app")); }

    QTemporaryDir m_temp;
};

TEST_F(Installed, HoldsExactlyTheApplicationFolder)
{
    const QSet<QString> files = FilesBelow(App());
    for (const char* expected :
         {"Brevix", "Cindel", "Moltern", "Salvent", "libTolvane.so", "libSorquin.so", "libQuillnet.so", "libplay.so",
          "libswscale.so", "libPravenna.so", "libVantrel.so", "libHadrune.so", "libbrowser.so", "language/zh-cn.qm",
          "language/en-us.qm", "res/logo.png", "res/applogo.png", "config/version.ini", "font/Lato-Regular.ttf"})
        EXPECT_TRUE(files.contains(QString::fromLatin1(expected))) << expected;
    for (const QString& file : files) {
        const QString name = QFileInfo(file).fileName();
        EXPECT_FALSE(name.contains(QLatin1String("test")) || name.contains(QLatin1String("bench"))
                     || name.contains(QLatin1String("fixture")))
            << file.toStdString();
        EXPECT_FALSE(file.startsWith(QLatin1String("devices/"))) << "demo device not asked for";
        // Settings of a run of the build are not shipped.
        EXPECT_FALSE(file.startsWith(QLatin1String("config/")) && file != QLatin1String("config/version.ini"))
            << file.toStdString();
    }

    // The programs find their libraries beside them, not in the build.
    QProcess readelf;
    readelf.start(QStringLiteral("readelf"), {QStringLiteral("-d"), App() + QStringLiteral("/Brevix")});
    if (readelf.waitForFinished(30000) && readelf.exitCode() == 0) {
        const QString dynamic = QString::fromLocal8Bit(readelf.readAllStandardOutput());
        EXPECT_TRUE(dynamic.contains(QLatin1String("[$ORIGIN]"))) << dynamic.toStdString();
        EXPECT_FALSE(dynamic.contains(QStringLiteral(BUILD_DIR))) << dynamic.toStdString();
    }

    // The demo device comes when asked for.
    const QString failure = Install(App(), {QStringLiteral("--component"), QStringLiteral("demo")});
    ASSERT_TRUE(failure.isEmpty()) << failure.toStdString();
    EXPECT_TRUE(QFileInfo::exists(App() + QStringLiteral("/devices/demo/device.json")));
}

TEST_F(Installed, BrevixRunsHeadlessOnAPage)
{
    // The page calls the client and the media module and posts the answers.
    PageServer server(QByteArrayLiteral(R"(<!DOCTYPE html><html><body><script>
var requests = ['{"method":"getAppArgs","params":{},"id":1}',
                '{"method":"GetLogInfo","params":{},"id":2,"async":true}'];
var answers = [];
window.nativeBridge.onmessage = function (text) {
    answers.push(text);
    if (answers.length !== requests.length) return;
    var post = new XMLHttpRequest();
    post.open('POST', '/results');
    post.send(JSON.stringify(answers));
};
for (var i = 0; i < requests.length; ++i) window.nativeBridge.request(requests[i]);
</script></body></html>)"));
    ASSERT_TRUE(server.Start());

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QT_QUICK_BACKEND"), QStringLiteral("software"));
    env.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("default.debug=false"));
    env.remove(QStringLiteral("LD_LIBRARY_PATH"));
    for (const char* variable : {"HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR"}) {
        const QString path = m_temp.filePath(QStringLiteral("home/") + QLatin1String(variable));
        ASSERT_TRUE(QDir().mkpath(path));
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        env.insert(QString::fromLatin1(variable), path);
    }

    QProcess brevix;
    brevix.setProcessEnvironment(env);
    brevix.setWorkingDirectory(App());
    brevix.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    brevix.setStandardOutputFile(QProcess::nullDevice());
    brevix.start(App() + QStringLiteral("/Brevix"), {server.Address().toString(), QStringLiteral("-Hf")});
    ASSERT_TRUE(brevix.waitForStarted(30000));
    QTest::qWaitFor([&] { return !server.Results().isEmpty() || brevix.state() == QProcess::NotRunning; }, 60000);
    const QList<QByteArray> results = server.Results();
    brevix.terminate();
    const bool ended = brevix.waitForFinished(30000);
    if (!ended) {
        brevix.kill();
        brevix.waitForFinished(10000);
    }
    ASSERT_EQ(results.size(), 1) << "the page posted nothing";
    EXPECT_TRUE(ended);
    EXPECT_EQ(brevix.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(brevix.exitCode(), 0);

    Json::Value answers;
    ASSERT_TRUE(Json::Reader().parse(results.first().toStdString(), answers) && answers.isArray());
    ASSERT_EQ(answers.size(), 2u);
    QSet<int> ids;
    for (const Json::Value& answer : answers) {
        Json::Value reply;
        ASSERT_TRUE(answer.isString() && Json::Reader().parse(answer.asString(), reply) && reply.isObject())
            << answer.toStyledString();
        ASSERT_TRUE(reply["id"].isInt());
        ids << reply["id"].asInt();
        if (reply["id"].asInt() == 1)
            EXPECT_EQ(reply["result"]["Hf"], Json::Value(true));
        else
            EXPECT_TRUE(reply["result"].isString() && reply["result"].asString().find("Tolvane") != std::string::npos)
                << answer.asString();
    }
    EXPECT_EQ(ids, QSet<int>({1, 2}));
}

}  // namespace
