// Configuration watching, transparent JSON requests and the VK attachment of the device
// object against scripted outcomes of the device library.

#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <foundation/JsonRead.h>
#include <foundation/LogLevelTable.h>

#include "logfacade.h"
#include "messagecapture.h"
#include "streamsink.h"

namespace {

using devtest::Address;
using devtest::QuillnetStandIn;

Json::Value Parse(const std::string& text)
{
    Json::Value value;
    EXPECT_TRUE(Foundation::JsonParse(text, value)) << text;
    return value;
}

// A request whose compact text, closing newline included, is `length` bytes long.
Json::Value RequestOfLength(size_t length)
{
    Json::Value request;
    request["a"] = std::string(length - std::string("{\"a\":\"\"}\n").size(), 'x');
    EXPECT_EQ(Foundation::JsonFastText(request).size(), length);
    return request;
}

struct Notices {
    std::vector<std::string> configs;
    std::vector<std::string> texts;
    std::vector<std::string> binaries;
    std::vector<long> handles;
    std::vector<std::vector<uint8_t>> vk;

    void OnConfig(long attach, const char* name, const char* json)
    {
        handles.push_back(attach);
        configs.push_back(std::string(name) + "=" + json);
    }
    void OnTransmit(long attach, const char* text, const unsigned char* binary, uint32_t length)
    {
        handles.push_back(attach);
        texts.emplace_back(text);
        binaries.emplace_back(reinterpret_cast<const char*>(binary), length);
    }
    void OnVK(const unsigned char* first, int firstLength, const unsigned char* second, int secondLength)
    {
        vk.emplace_back(first, first + firstLength);
        vk.emplace_back(second, second + secondLength);
    }
};

class DeviceRequests : public devtest::ScriptedDeviceTest {};

TEST_F(DeviceRequests, OneShotRequestSendsTheCompactTextAndParsesTheAnswer)
{
    const Json::Value request = Parse(R"({"method": "configManager.getConfig", "params": {"name": "Encode"}})");
    struct Case {
        const char* what;
        const char* outcome;
        bool ok;
        const char* answer;  // null: the answer value is left as it was
    };
    const Case cases[] = {
        {"object answer", R"({"answer": {"result": true, "params": {"a": 1}}})", true,
         R"({"result": true, "params": {"a": 1}})"},
        {"answer not JSON", R"({"answer": "{broken"})", false, nullptr},
        {"empty answer", R"({"answer": ""})", false, nullptr},
        {"library failure", R"({"result": 0, "lastError": 11})", false, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QuillnetStandIn::ClearJournal();
        QuillnetStandIn::Script("CLIENT_TransmitInfoForWebEx", c.outcome);
        Json::Value answer = "before";
        EXPECT_EQ(Device().TransmitInfoForWeb(request, &answer, 3000), c.ok);
        EXPECT_EQ(answer, c.answer ? Parse(c.answer) : Json::Value("before"));
        const Json::Value args = OnlyCall("CLIENT_TransmitInfoForWebEx");
        EXPECT_EQ(args[0].asInt64(), Login());
        EXPECT_EQ(args[1]["kind"].asInt(), 1);
        EXPECT_EQ(args[1]["request"].asString(), Foundation::JsonFastText(request));
        EXPECT_EQ(args[1]["request_length"].asUInt(), Foundation::JsonFastText(request).size());
        EXPECT_EQ(args[2]["buffer_size"].asUInt(), 1048576u);
        EXPECT_EQ(args[3].asInt(), 3000);
    }
    // No answer value wanted: the call still reports success.
    EXPECT_TRUE(Device().TransmitInfoForWeb(request, nullptr, 3000));
}

TEST_F(DeviceRequests, RequestsUpToTheBufferAreSentLongerOnesRefusedBeforeTheLibrary)
{
    struct Operation {
        const char* function;
        bool (*call)(Tolvane::CQuillnetDev&, const Json::Value&);
    };
    const Operation operations[] = {
        {"CLIENT_TransmitInfoForWebEx",
         [](Tolvane::CQuillnetDev& d, const Json::Value& r) { return d.TransmitInfoForWeb(r, nullptr, 1000); }},
        {"CLIENT_AttachTransmitInfo",
         [](Tolvane::CQuillnetDev& d, const Json::Value& r) {
             return d.AttachTransmitInfo(r, nullptr, nullptr, 1000) != 0;
         }},
        {"CLIENT_DetachTransmitInfo",
         [](Tolvane::CQuillnetDev& d, const Json::Value& r) { return d.DetachTransmitInfo(4, r, nullptr, 1000); }},
    };
    const Json::Value fits = RequestOfLength(1048575);
    const Json::Value tooLong = RequestOfLength(1048576);
    for (const Operation& op : operations) {
        SCOPED_TRACE(op.function);
        QuillnetStandIn::ClearJournal();
        EXPECT_TRUE(op.call(Device(), fits));
        const Json::Value args = OnlyCall(op.function);
        EXPECT_EQ(args[1]["request_length"].asUInt(), 1048575u);
        EXPECT_EQ(args[1]["request"].asString().size(), 1048575u);

        QuillnetStandIn::ClearJournal();
        EXPECT_FALSE(op.call(Device(), tooLong));
        EXPECT_TRUE(QuillnetStandIn::Journal().empty());
    }
}

TEST_F(DeviceRequests, AttachmentWhoseAnswerDoesNotParseIsDetachedAgain)
{
    Notices notices;
    Tolvane::DeviceTransmitDelegate delegate(&notices, &Notices::OnTransmit);
    const Json::Value request = Parse(R"({"method": "alarms.subscribe", "params": {"codes": ["All"]}})");
    struct Case {
        const char* what;
        const char* outcome;
        bool attached;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {"answer parses", R"({"answer": {"result": true}})", true, {"CLIENT_AttachTransmitInfo"}},
        {"answer does not parse", R"({"answer": "no json"})", false,
         {"CLIENT_AttachTransmitInfo", "CLIENT_DetachTransmitInfo"}},
        {"no attachment", R"({"result": 0, "answer": {"result": false}})", false,
         {"CLIENT_AttachTransmitInfo", "CLIENT_GetLastError"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QuillnetStandIn::ClearJournal();
        QuillnetStandIn::Script("CLIENT_AttachTransmitInfo", c.outcome);
        Json::Value answer;
        const long attach = Device().AttachTransmitInfo(request, &answer, &delegate, 2000);
        EXPECT_EQ(attach != 0, c.attached);
        EXPECT_EQ(QuillnetStandIn::CallNames(), c.calls);
        const Json::Value args = QuillnetStandIn::CallsOf("CLIENT_AttachTransmitInfo")[0]["args"];
        EXPECT_EQ(args[0].asInt64(), Login());
        EXPECT_EQ(args[1]["user"].asUInt64(), Address(&delegate));
        EXPECT_EQ(args[1]["request"].asString(), Foundation::JsonFastText(request));
        EXPECT_EQ(args[3].asInt(), 2000);
        const std::vector<Json::Value> detach = QuillnetStandIn::CallsOf("CLIENT_DetachTransmitInfo");
        if (!detach.empty()) {
            // The handle the library gave: nothing reaches the delegate any more.
            EXPECT_NE(detach[0]["args"][0].asInt64(), 0);
            EXPECT_EQ(QuillnetStandIn::FireTransmit(detach[0]["args"][0].asInt64(), "{}", nullptr, 0), -1);
        }
        if (c.attached) {
            EXPECT_EQ(answer, Parse(R"({"result": true})"));
            ASSERT_TRUE(Device().DetachTransmitInfo(attach, request, &answer, 2000));
        }
    }
    EXPECT_TRUE(notices.texts.empty());
}

TEST_F(DeviceRequests, DetachSendsItsRequestAndReportsCallAndAnswer)
{
    const Json::Value request = Parse(R"({"method": "alarms.unsubscribe"})");
    struct Case {
        const char* outcome;
        bool ok;
    };
    for (const Case& c : {Case{R"({"answer": {"result": true}})", true}, Case{R"({"answer": "x"})", false},
                          Case{R"({"result": 0})", false}}) {
        SCOPED_TRACE(c.outcome);
        QuillnetStandIn::ClearJournal();
        QuillnetStandIn::Script("CLIENT_DetachTransmitInfo", c.outcome);
        Json::Value answer;
        EXPECT_EQ(Device().DetachTransmitInfo(12, request, &answer, 1500), c.ok);
        const Json::Value args = OnlyCall("CLIENT_DetachTransmitInfo");
        EXPECT_EQ(args[0].asInt64(), 12);
        EXPECT_EQ(args[1]["request"].asString(), Foundation::JsonFastText(request));
        EXPECT_EQ(args[3].asInt(), 1500);
    }
}

TEST_F(DeviceRequests, TransmitCallbackHandsATerminatedCopyAndTheBinaryAfterIt)
{
    Notices notices;
    Tolvane::DeviceTransmitDelegate delegate(&notices, &Notices::OnTransmit);
    const long attach = Device().AttachTransmitInfo(Parse("{}"), nullptr, &delegate, 1000);
    ASSERT_NE(attach, 0);
    const unsigned char binary[] = {0x7b, 0x00, 0xff};
    ASSERT_EQ(QuillnetStandIn::FireTransmit(attach, R"({"event":"x"})", binary, sizeof(binary)), 1);
    ASSERT_EQ(QuillnetStandIn::FireTransmit(attach, "", nullptr, 0), 1);
    EXPECT_EQ(notices.handles, (std::vector<long>{attach, attach}));
    EXPECT_EQ(notices.texts, (std::vector<std::string>{R"({"event":"x"})", ""}));
    EXPECT_EQ(notices.binaries, (std::vector<std::string>{std::string("\x7b\x00\xff", 3), ""}));

    // Without a delegate, or with one that has no object, the callback only answers 1.
    Tolvane::DeviceTransmitDelegate empty;
    for (Tolvane::DeviceTransmitDelegate* none : {static_cast<Tolvane::DeviceTransmitDelegate*>(nullptr), &empty}) {
        const long other = Device().AttachTransmitInfo(Parse("{}"), nullptr, none, 1000);
        ASSERT_NE(other, 0);
        EXPECT_EQ(QuillnetStandIn::FireTransmit(other, "{}", binary, sizeof(binary)), 1);
    }
    EXPECT_EQ(notices.texts.size(), 2u);
}

TEST_F(DeviceRequests, ConfigurationChangesReachTheDelegate)
{
    Notices notices;
    Tolvane::DeviceConfigDelegate delegate(&notices, &Notices::OnConfig);
    const long attach = Device().AttachConfigChange("Encode", &delegate, 4000);
    ASSERT_NE(attach, 0);
    const Json::Value args = OnlyCall("CLIENT_AttachConfigChange");
    EXPECT_EQ(args[0].asInt64(), Login());
    EXPECT_EQ(args[1]["name"].asString(), "Encode");
    EXPECT_EQ(args[1]["user"].asUInt64(), Address(&delegate));
    EXPECT_EQ(args[3].asInt(), 4000);
    ASSERT_EQ(QuillnetStandIn::FireConfigChange(attach, "Encode", R"({"fps":25})"), 0);
    EXPECT_EQ(notices.configs, std::vector<std::string>{R"(Encode={"fps":25})"});
    EXPECT_EQ(notices.handles, std::vector<long>{attach});
    EXPECT_TRUE(Device().DetachConfigChange(attach));

    MessageCapture messages;
    QuillnetStandIn::Script("CLIENT_AttachConfigChange", R"({"result": 0, "lastError": 4})");
    EXPECT_EQ(Device().AttachConfigChange("Encode", &delegate, 4000), 0);
    QuillnetStandIn::Script("CLIENT_DetachConfigChange", R"({"result": 0, "lastError": 2})");
    EXPECT_FALSE(Device().DetachConfigChange(77));
    EXPECT_EQ(messages.Lines(),
              (std::vector<std::string>{
                  "CQuillnetDev::AttachConfigChange: ERROR: CLIENT_AttachConfigChange errorCode:4,szCfgName:Encode",
                  "CQuillnetDev::DetachConfigChange: ERROR: CLIENT_DetachConfigChange errorCode:2,lAttachHandle:77"}));
}

TEST_F(DeviceRequests, VKBlocksComeAtOnceAndWithEachLongEnoughNotice)
{
    Notices notices;
    Tolvane::DeviceVKDelegate delegate(&notices, &Notices::OnVK);
    const long attach = Device().AttachVK(2, &delegate, 1000);
    ASSERT_NE(attach, 0);
    const Json::Value args = OnlyCall("CLIENT_AttachVK");
    EXPECT_EQ(args[1]["channel"].asInt(), 2);
    EXPECT_EQ(args[1]["user"].asUInt64(), Address(&delegate));
    // The library's answer holds 1..16 and 0x80..0x9f.
    ASSERT_EQ(notices.vk.size(), 2u);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(notices.vk[0][i], i + 1);
    }
    ASSERT_EQ(notices.vk[1].size(), 32u);
    EXPECT_EQ(notices.vk[1][0], 0x80);

    std::vector<uint8_t> data(160);
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<uint8_t>(i);
    }
    ASSERT_EQ(QuillnetStandIn::FireVK(attach, data.data(), 160), 0);
    ASSERT_EQ(notices.vk.size(), 4u);
    EXPECT_EQ(notices.vk[2], std::vector<uint8_t>(data.begin(), data.begin() + 16));
    EXPECT_EQ(notices.vk[3], std::vector<uint8_t>(data.begin() + 128, data.begin() + 160));
    // A notice too short for both blocks is not read past its end.
    ASSERT_EQ(QuillnetStandIn::FireVK(attach, data.data(), 159), 0);
    EXPECT_EQ(notices.vk.size(), 4u);

    QuillnetStandIn::Script("CLIENT_DetachVK", R"({"result": 0})");
    EXPECT_TRUE(Device().DetachVK(attach));
    QuillnetStandIn::Script("CLIENT_AttachVK", R"({"result": 0})");
    EXPECT_EQ(Device().AttachVK(2, &delegate, 1000), 0);
    EXPECT_EQ(notices.vk.size(), 4u);
}

class RequestLogging : public devtest::ScriptedDeviceTest {
protected:
    void SetUp() override
    {
        devtest::ScriptedDeviceTest::SetUp();
        Tolvane::SetModuleLogger(&m_table);
    }
    void TearDown() override
    {
        Tolvane::SetModuleLogger(nullptr);
        for (Foundation::LogLevelNode* node = m_table.head; node != nullptr;) {
            Foundation::LogLevelNode* next = node->next;
            std::free(node->name);
            delete node;
            node = next;
        }
        devtest::ScriptedDeviceTest::TearDown();
    }

    Foundation::LogLevelTable m_table;
};

TEST_F(RequestLogging, RequestTextsAppearOnlyAtTraceLevel)
{
    const Json::Value request = Parse(R"({"method": "account.changePassword", "params": {"pwd": "s3cret"}})");
    for (int level : {3, 2, 1}) {
        SCOPED_TRACE(level);
        Tolvane::SetModuleLogLevel(&m_table, "Tolvane", level);
        MessageCapture messages;
        QuillnetStandIn::Script("CLIENT_TransmitInfoForWebEx", R"({"result": 0})");
        EXPECT_FALSE(Device().TransmitInfoForWeb(request, nullptr, 1000));
        QuillnetStandIn::Script("CLIENT_AttachTransmitInfo", R"({"result": 0})");
        EXPECT_EQ(Device().AttachTransmitInfo(request, nullptr, nullptr, 1000), 0);
        int seen = 0;
        bool errorLogged = false;
        for (const std::string& line : messages.Lines()) {
            seen += line.find("s3cret") != std::string::npos ? 1 : 0;
            errorLogged = errorLogged || line.find("CLIENT_TransmitInfoForWebEx errorCode:") != std::string::npos;
        }
        EXPECT_TRUE(errorLogged);
        EXPECT_EQ(seen > 0, level == 1);
    }
}

}  // namespace
