// The customer settings: the page's "setConfig", "getConfig" and "resetConfig", the typed
// lookups of the other services, and the round trip through ./config/setting.ini, also
// after a restart (when every value comes back from the file as text).

#include <map>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <foundation/HostCalls.h>
#include <foundation/JsonRead.h>
#include <foundation/TypeNames.h>

#include <tolvane/ICustomerInfor.h>

#include "TestHost.h"
#include "customerinfor.h"

namespace {

using Tolvane::ICustomerInfor;

Json::Value Parse(const std::string& text)
{
    Json::Value value;
    EXPECT_TRUE(Foundation::JsonParse(text, value)) << text;
    return value;
}

// The group as the file holds it, read by a settings reader of its own.
std::map<std::string, std::string> StoredGroup(const QString& folder)
{
    std::map<std::string, std::string> stored;
    QSettings file(folder + "/config/setting.ini", QSettings::IniFormat);
    file.beginGroup("CustomerInfo");
    for (const QString& key : file.childKeys()) {
        stored[key.toStdString()] = file.value(key).toString().toStdString();
    }
    return stored;
}

class CustomerSettings : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_previous = QDir::currentPath();
        m_folder = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(m_folder->isValid());
        ASSERT_TRUE(QDir::setCurrent(m_folder->path()));
    }
    void TearDown() override
    {
        m_service.reset();
        if (m_host) {
            m_host->ClearMethods();
            m_host->ClearObjects();
            m_host.reset();
        }
        QDir::setCurrent(m_previous);
    }

    QString Folder() const { return m_folder->path(); }

    // Starts the service through a fresh host, as the module does.
    void Start()
    {
        m_service.reset();
        if (m_host) {
            m_host->ClearMethods();
            m_host->ClearObjects();
        }
        m_host = std::make_unique<testsupport::TestHost>();
        Tolvane::CCustomerInfor::CreateSvrObject(m_host->Context(), "");
        m_service = m_host->QueryService<ICustomerInfor>(Foundation::TypeName::ICustomerInfor);
        ASSERT_TRUE(m_service);
    }

    // A new process over the same file: the file is carried into a new folder (which this
    // process has never read) and the service starts there.
    void Restart()
    {
        auto next = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(next->isValid());
        ASSERT_TRUE(QDir(next->path()).mkpath("config"));
        ASSERT_TRUE(QFile::copy(Folder() + "/config/setting.ini", next->path() + "/config/setting.ini"));
        ASSERT_TRUE(QDir::setCurrent(next->path()));
        m_folder = std::move(next);
        Start();
    }

    void WriteFile(const char* text)
    {
        ASSERT_TRUE(QDir(Folder()).mkpath("config"));
        QFile file(Folder() + "/config/setting.ini");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    Json::Value Result(const std::string& method, const std::string& params)
    {
        const std::string reply = m_host->CallMethod(method, params);
        const Json::Value root = Parse(reply);
        return Foundation::JsonMember(root, "result");
    }
    Json::Value Value(const std::string& key)
    {
        Json::Value params(Json::objectValue);
        params["key"] = key;
        return Foundation::JsonMember(Result("getConfig", Foundation::JsonFastText(params)), "value");
    }

    ICustomerInfor& Service() { return *m_service; }

private:
    QString m_previous;
    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<testsupport::TestHost> m_host;
    Foundation::CSharedPtr<ICustomerInfor> m_service;
};

TEST_F(CustomerSettings, MissingGroupGetsTheDefaultsWritten)
{
    WriteFile("[App]\nlocalData=x\n");
    Start();
    const std::string app = QCoreApplication::applicationDirPath().toStdString();
    const std::map<std::string, std::string> expected = {
        {"DownloadPath", app + "/download"}, {"ManulRecordLength", "5"}, {"ManulRecordPath", app + "/video"},
        {"ManulSnapInterval", "1"},          {"ManulSnapNum", "1"},      {"ManulSnapPath", app + "/pictures"},
    };
    EXPECT_EQ(StoredGroup(Folder()), expected);
    EXPECT_EQ(Value("ManulRecordLength"), Json::Value(5));
    EXPECT_EQ(Value("ManulSnapPath"), Json::Value(app + "/pictures"));
    // Other groups of the file stay.
    QSettings file(Folder() + "/config/setting.ini", QSettings::IniFormat);
    EXPECT_EQ(file.value("App/localData").toString(), "x");
}

TEST_F(CustomerSettings, SetConfigRoundTripsThroughTheFileAcrossARestart)
{
    Start();
    EXPECT_EQ(Result("setConfig",
                     R"({"config": {"ManulRecordLength": 12, "ManulSnapPath": "/data/snaps", "Beep": true}})"),
              Json::Value(true));
    EXPECT_EQ(Value("ManulRecordLength"), Json::Value(12));
    EXPECT_EQ(Value("Beep"), Json::Value(true));

    Restart();
    EXPECT_EQ(Value("ManulRecordLength"), Json::Value("12"));
    EXPECT_EQ(Service().GetInt("ManulRecordLength", 0), 12);
    EXPECT_EQ(Service().GetString("ManulSnapPath", ""), "/data/snaps");
    EXPECT_TRUE(Service().GetBool("Beep", false));
    // The group was not empty, so the other settings are what was stored, not reset.
    EXPECT_EQ(Service().GetInt("ManulSnapNum", 0), 1);
    EXPECT_EQ(StoredGroup(Folder()).size(), 7u);
}

TEST_F(CustomerSettings, TypedLookups)
{
    Start();
    ASSERT_TRUE(Service().setConfig(Parse(R"({"n": 7, "real": 2.9, "yes": true, "no": false, "text12": "12",
        "abc": "abc", "textTrue": "true", "textFalse": "false", "word": "yes", "nothing": null,
        "list": [1], "object": {"a": 1}, "path": "/x"})")));
    struct IntCase {
        const char* key;
        int expected;
    };
    for (const IntCase& c : {IntCase{"n", 7}, IntCase{"real", 2}, IntCase{"yes", 1}, IntCase{"no", 0},
                             IntCase{"text12", 12}, IntCase{"abc", -9}, IntCase{"nothing", -9}, IntCase{"list", -9},
                             IntCase{"object", -9}, IntCase{"absent", -9}}) {
        EXPECT_EQ(Service().GetInt(c.key, -9), c.expected) << c.key;
    }
    struct BoolCase {
        const char* key;
        bool fallback;
        bool expected;
    };
    for (const BoolCase& c : {BoolCase{"yes", false, true}, BoolCase{"no", true, false},
                              BoolCase{"textTrue", false, true}, BoolCase{"textFalse", true, false},
                              BoolCase{"word", true, true}, BoolCase{"n", false, false}, BoolCase{"absent", true, true}}) {
        EXPECT_EQ(Service().GetBool(c.key, c.fallback), c.expected) << c.key;
    }
    EXPECT_EQ(Service().GetString("path", "d"), "/x");
    EXPECT_EQ(Service().GetString("n", "d"), "d");
    EXPECT_EQ(Service().GetString("absent", "d"), "d");
}

TEST_F(CustomerSettings, SetConfigRefusesAConfigThatIsNotAnObject)
{
    Start();
    const auto before = StoredGroup(Folder());
    for (const char* config : {"5", R"("abc")", "[1, 2]", "null", "true"}) {
        EXPECT_EQ(Result("setConfig", std::string(R"({"config": )") + config + "}"), Json::Value(false)) << config;
    }
    EXPECT_EQ(StoredGroup(Folder()), before);
}

TEST_F(CustomerSettings, ResetDropsOtherKeysAndRestoresTheDefaults)
{
    Start();
    ASSERT_TRUE(Service().setConfig(Parse(R"({"Foo": 1, "ManulSnapNum": 9})")));
    EXPECT_EQ(Result("resetConfig", "null"), Json::Value(true));
    EXPECT_TRUE(Value("Foo").isNull());
    EXPECT_EQ(Value("ManulSnapNum"), Json::Value(1));
    const auto stored = StoredGroup(Folder());
    EXPECT_EQ(stored.size(), 6u);
    EXPECT_EQ(stored.count("Foo"), 0u);
    EXPECT_EQ(stored.at("ManulSnapNum"), "1");
}

TEST_F(CustomerSettings, UnknownKeyAnswersNull)
{
    Start();
    EXPECT_EQ(Result("getConfig", R"({"key": "nope"})"), Parse(R"({"key": "nope", "value": null})"));
}

TEST_F(CustomerSettings, AStoredGroupIsTakenAsItIs)
{
    WriteFile("[CustomerInfo]\nManulSnapNum=4\nManulRecordLength=abc\n");
    Start();
    EXPECT_EQ(Service().GetInt("ManulSnapNum", 0), 4);
    EXPECT_EQ(Service().GetInt("ManulRecordLength", 5), 5);
    EXPECT_TRUE(Value("ManulRecordPath").isNull());
}

TEST_F(CustomerSettings, AFileThatCannotBeWrittenIsReported)
{
    // "config" is a file, so "config/setting.ini" cannot be made.
    QFile blocker(Folder() + "/config");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    Start();
    EXPECT_FALSE(Service().setConfig(Parse(R"({"ManulSnapNum": 3})")));
    EXPECT_FALSE(Service().resetConfig());
}

}  // namespace
