// Journal and scripted mode: calls recorded with their arguments, results scripted, callbacks
// fired by the test on a stand-in thread.
#include "sim_fixture.h"

#include <json/json.h>

#include <cstring>

using namespace simtest;

namespace {

Json::Value Journal()
{
    const int n = QNSIM_GetJournal(nullptr, 0);
    std::string text(size_t(n) + 1, '\0');
    QNSIM_GetJournal(&text[0], n + 1);
    text.resize(size_t(n));
    Json::Value v;
    Json::CharReaderBuilder b;
    std::string errors;
    std::unique_ptr<Json::CharReader> r(b.newCharReader());
    EXPECT_TRUE(r->parse(text.data(), text.data() + text.size(), &v, &errors)) << text;
    return v;
}

class ScriptedTest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        QNSIM_SetMode(QNSIM_MODE_SCRIPTED);
        QNSIM_SetJournal(1);
        QNSIM_ClearJournal();
    }
};

TEST_F(ScriptedTest, RecordsCallsWithRecordFields)
{
    qn_network_param np{};
    np.connect_timeout_ms = 3000;
    np.connect_tries = 2;
    np.output_buffer_size = 0x200000;
    np.picture_buffers = 32;
    CLIENT_SetNetworkParam(&np);
    qn_log_open lo{};
    lo.size = sizeof lo;
    lo.print_enabled = 1;
    CLIENT_LogOpen(&lo);
    CLIENT_SetAutoReconnect(nullptr, nullptr);
    const Json::Value j = Journal();
    ASSERT_EQ(j.size(), 3u);
    EXPECT_EQ(j[0]["call"].asString(), "CLIENT_SetNetworkParam");
    EXPECT_EQ(j[0]["args"][0]["connect_timeout_ms"].asInt(), 3000);
    EXPECT_EQ(j[0]["args"][0]["output_buffer_size"].asInt(), 0x200000);
    EXPECT_EQ(j[0]["args"][0]["picture_buffers"].asInt(), 32);
    EXPECT_EQ(j[1]["args"][0]["size"].asInt(), 292);
    EXPECT_EQ(j[1]["args"][0]["print_enabled"].asInt(), 1);
    EXPECT_EQ(j[2]["args"][0].asUInt64(), 0u);
    // The record layouts keep the offsets that callers fill by position.
    EXPECT_EQ(sizeof(qn_network_param), 48u);
    EXPECT_EQ(offsetof(qn_network_param, picture_buffers), 37u);
    EXPECT_EQ(sizeof(qn_log_open), 292u);
    EXPECT_EQ(offsetof(qn_log_open, print_enabled), 284u);
    EXPECT_EQ(sizeof(qn_device_info), 100u);
    EXPECT_EQ(offsetof(qn_device_info, lock_left), 69u);
    EXPECT_EQ(offsetof(qn_device_info, locked_seconds), 72u);
    EXPECT_EQ(offsetof(qn_ability_info, secondary_analyse), 260u);
    EXPECT_EQ(sizeof(qn_ability_info), 2048u);
}

TEST_F(ScriptedTest, ScriptedOutcomesAndDefaults)
{
    ASSERT_EQ(QNSIM_Script("CLIENT_LoginEx2", R"({"error": 1, "lockLeft": 3})"), 1);
    ASSERT_EQ(QNSIM_Script("CLIENT_LoginEx2", R"({"error": 5, "lockedSeconds": 30})"), 1);
    ASSERT_EQ(QNSIM_Script("CLIENT_GetLastError", R"({"result": 268435463})"), 1);
    EXPECT_EQ(QNSIM_Script("CLIENT_LoginEx2", "not json"), 0);
    qn_device_info info{};
    int error = 0, cap = 0;
    EXPECT_EQ(CLIENT_LoginEx2("10.0.0.1", 37777, "u", "p", 0, &cap, &info, &error), 0);
    EXPECT_EQ(error, 1);
    EXPECT_EQ(info.lock_left, 3);
    EXPECT_EQ(CLIENT_LoginEx2("10.0.0.1", 37777, "u", "p", 0, &cap, &info, &error), 0);
    EXPECT_EQ(error, 5);
    EXPECT_EQ(info.locked_seconds, 30);
    EXPECT_EQ(CLIENT_GetLastError(), 268435463u);
    // No script left: the default outcome, a fresh handle and success.
    const qn_handle login = CLIENT_LoginEx2("10.0.0.1", 37777, "u", "p", 2, &cap, &info, &error);
    EXPECT_NE(login, 0);
    EXPECT_EQ(error, 0);
    QNSIM_Script("CLIENT_RealPlayEx", R"({"result": 0, "lastError": 17})");
    EXPECT_EQ(CLIENT_RealPlayEx(login, 0, nullptr, 2), 0);
    EXPECT_EQ(CLIENT_GetLastError(), 17u);
    QNSIM_Script("CLIENT_TransmitInfoForWebEx", R"({"answer": {"result": true, "params": {"x": 1}}})");
    std::vector<char> buffer(64);
    const char *req = R"({"method":"a"})";
    qn_transmit_in in{sizeof in, 1, req, uint32_t(std::strlen(req)), {0, 0}};
    qn_transmit_out out{sizeof out, buffer.data(), 64, 0, 0};
    EXPECT_EQ(CLIENT_TransmitInfoForWebEx(login, &in, &out, 3000), 1);
    EXPECT_STREQ(buffer.data(), R"({"params":{"x":1},"result":true})");

    const Json::Value j = Journal();
    ASSERT_GE(j.size(), 6u);
    EXPECT_EQ(j[0]["call"].asString(), "CLIENT_LoginEx2");
    EXPECT_EQ(j[0]["args"][0].asString(), "10.0.0.1");
    EXPECT_EQ(j[0]["args"][1].asInt(), 37777);
    EXPECT_EQ(j[0]["args"][3].asString(), "p");
    const Json::Value &last = j[j.size() - 1];
    EXPECT_EQ(last["call"].asString(), "CLIENT_TransmitInfoForWebEx");
    EXPECT_EQ(last["args"][1]["request"].asString(), req);
}

struct Seen {
    std::atomic<int> data{0};
    std::atomic<int> answer{1};
    std::thread::id thread;
    std::vector<std::pair<uint32_t, int32_t>> positions;
};

int SeenData(qn_handle, uint32_t, const uint8_t *, uint32_t size, void *user)
{
    auto *s = static_cast<Seen *>(user);
    s->data += int(size);
    s->thread = std::this_thread::get_id();
    return s->answer;
}

void SeenPosition(qn_handle, uint32_t total, int32_t done, void *user)
{
    static_cast<Seen *>(user)->positions.emplace_back(total, done);
}

void SeenDisconnect(qn_handle login, const char *ip, int port, void *user)
{
    auto *s = static_cast<Seen *>(user);
    s->positions.emplace_back(uint32_t(login), port);
    s->thread = std::this_thread::get_id();
    EXPECT_STREQ(ip, "10.0.0.9");
}

TEST_F(ScriptedTest, FiredCallbacksRunOnAStandInThreadUntilStopped)
{
    Seen seen;
    const qn_handle login = CLIENT_LoginEx2("10.0.0.1", 37777, "u", "p", 0, nullptr, nullptr, nullptr);
    const qn_record_file file{};
    qn_playback_file_in in{};
    in.file = &file;
    in.position_cb = SeenPosition;
    in.position_user = &seen;
    in.data_cb = SeenData;
    in.data_user = &seen;
    qn_playback_out out{};
    const qn_handle h = CLIENT_PlayBackByRecordFileEx2(login, &in, &out);
    ASSERT_NE(h, 0);
    EXPECT_EQ(QNSIM_FireData(h, "abc", 3), 1);
    seen.answer = 0;
    EXPECT_EQ(QNSIM_FireData(h, "de", 2), 0);
    EXPECT_EQ(seen.data, 5);
    EXPECT_NE(seen.thread, std::this_thread::get_id());
    EXPECT_EQ(QNSIM_FirePosition(h, 100, -1), 0);
    ASSERT_EQ(seen.positions.size(), 1u);
    EXPECT_EQ(seen.positions[0], std::make_pair(100u, -1));
    EXPECT_EQ(CLIENT_StopPlayBack(h), 1);
    EXPECT_EQ(QNSIM_FireData(h, "x", 1), -1);
    EXPECT_EQ(seen.data, 5);

    Seen conn;
    CLIENT_Init(SeenDisconnect, &conn);
    EXPECT_EQ(QNSIM_FireDisconnect(login, "10.0.0.9", 37777), 0);
    EXPECT_EQ(conn.positions.at(0), std::make_pair(uint32_t(login), 37777));
    EXPECT_NE(conn.thread, std::this_thread::get_id());
    EXPECT_EQ(QNSIM_FireReconnect(login, "10.0.0.9", 37777), -1);   // none set
}

}  // namespace
