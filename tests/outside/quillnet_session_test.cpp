// Logins, transparent requests, configuration watching and remote files of the simulated device.
#include "sim_fixture.h"

#include <cstring>

using namespace simtest;

namespace {

struct LoginCase {
    const char *address;
    int port;
    const char *user;
    const char *password;
    int error;
    int lockLeft;
    int lockedSeconds;
};

class LoginTest : public SimTest, public ::testing::WithParamInterface<LoginCase> {};

TEST_P(LoginTest, AnswersHandleOrErrorWithReadBacks)
{
    const LoginCase &c = GetParam();
    qn_device_info info;
    std::memset(&info, 0xEE, sizeof info);
    int error = -1;
    int cap = 0;
    const qn_handle h = CLIENT_LoginEx2(c.address, uint16_t(c.port), c.user, c.password, 0, &cap, &info, &error);
    EXPECT_EQ(error, c.error);
    if (c.error == 0) {
        EXPECT_NE(h, 0);
        EXPECT_STREQ(info.serial, "T-1");
        EXPECT_EQ(CLIENT_Logout(h), 1);
        EXPECT_EQ(CLIENT_Logout(h), 0);   // already gone
    } else {
        EXPECT_EQ(h, 0);
        EXPECT_EQ(CLIENT_GetLastError(), uint32_t(QN_ERR_LOGIN));
        if (c.error == QN_LOGIN_BAD_PASSWORD) {
            EXPECT_EQ(info.lock_left, c.lockLeft);
        }
        if (c.error == QN_LOGIN_LOCKED) {
            EXPECT_EQ(info.locked_seconds, c.lockedSeconds);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, LoginTest, ::testing::Values(
    LoginCase{"127.0.0.1", kPort, "admin", "admin123", 0, 0, 0},
    LoginCase{"127.0.0.1", kPort, "admin", "wrong", QN_LOGIN_BAD_PASSWORD, 4, 0},
    LoginCase{"127.0.0.1", kPort, "nobody", "admin123", QN_LOGIN_NO_USER, 0, 0},
    LoginCase{"127.0.0.1", kPort, "locked", "x", QN_LOGIN_LOCKED, 0, 30},
    LoginCase{"127.0.0.1", kPort, "busy", "x", 7, 0, 0},
    LoginCase{"127.0.0.1", kPort + 1, "admin", "admin123", QN_LOGIN_UNREACHABLE, 0, 0},
    LoginCase{"127.0.0.2", kPort, "admin", "admin123", QN_LOGIN_NO_USER, 0, 0}));

TEST_F(SimTest, QuerySystemInfoFillsAbilityRecord)
{
    const qn_handle h = Login();
    std::vector<char> record(2048, 0);
    int length = 0;
    ASSERT_EQ(CLIENT_QuerySystemInfo(h, QN_SYSINFO_ABILITY, record.data(), 2048, &length), 1);
    int32_t value = 0;
    std::memcpy(&value, record.data() + 260, 4);
    EXPECT_EQ(value, 2);
    EXPECT_EQ(CLIENT_QuerySystemInfo(h, QN_SYSINFO_ABILITY, record.data(), 100, &length), 0);
    EXPECT_EQ(CLIENT_QuerySystemInfo(h + 100, QN_SYSINFO_ABILITY, record.data(), 2048, &length), 0);
}

// Sends one request and returns the answer text, or "FAIL".
std::string Transmit(qn_handle login, const std::string &request, uint32_t bufferSize = 1 << 20)
{
    std::vector<char> buffer(bufferSize, 'x');
    qn_transmit_in in{sizeof(qn_transmit_in), 1, request.c_str(), uint32_t(request.size()), {0, 0}};
    qn_transmit_out out{sizeof(qn_transmit_out), buffer.data(), bufferSize, 0, 0};
    if (!CLIENT_TransmitInfoForWebEx(login, &in, &out, 3000))
        return "FAIL";
    EXPECT_EQ(std::strlen(buffer.data()), out.answer_length);
    return buffer.data();
}

TEST_F(SimTest, TransparentRequestsAnswerFromTheTable)
{
    const qn_handle h = Login();
    struct Case { const char *request; const char *answer; } cases[] = {
        {R"({"method":"mediaFileFind.factory.create","params":""})", R"({"result":42})"},
        {R"({"method":"mediaFileFind.factory.create","id":7})", R"({"id":7,"result":42})"},
        {R"({"method":"mediaFileFind.findFile"})", R"({"error":{"code":404,"message":"method not found: mediaFileFind.findFile"},"result":false})"},
        {R"({"method":"mediaFileFind.findNextFile"})", R"({"params":{"found":1},"result":true})"},
        {R"({"method":"mediaFileFind.findNextFile"})", R"({"params":{"found":0},"result":true})"},
        {R"({"method":"mediaFileFind.findNextFile"})", R"({"params":{"found":0},"result":true})"},
        {R"({"method":"mediaFileFind.findFile"})", R"({"error":{"code":404,"message":"method not found: mediaFileFind.findFile"},"result":false})"},
        {R"({"method":"mediaFileFind.findNextFile"})", R"({"params":{"found":1},"result":true})"},
        {R"({"method":"configManager.getConfig","params":{"name":"VideoAnalyseRule","channel":1}})", R"({"params":{"table":{"rule":"b"}},"result":true})"},
        {R"({"method":"configManager.getConfig","params":{"name":"VideoAnalyseRule"}})", R"({"params":{"table":[{"rule":"a"},{"rule":"b"}]},"result":true})"},
        {R"({"method":"configManager.getConfig","params":{"name":"Nope"}})", R"({"error":{"code":404,"message":"no such configuration"},"result":false})"},
        {R"({"method":"configManager.getConfig","params":7})", R"({"error":{"code":404,"message":"no such configuration"},"result":false})"},
        {R"(not json)", "FAIL"},
        {R"([1,2])", "FAIL"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Transmit(h, c.request), c.answer) << c.request;
    // An answer that does not fit the caller's buffer fails instead of being cut.
    EXPECT_EQ(Transmit(h, R"({"method":"mediaFileFind.factory.create"})", 10), "FAIL");
    EXPECT_EQ(CLIENT_GetLastError(), uint32_t(QN_ERR_BUFFER_TOO_SMALL));
    EXPECT_EQ(Transmit(h + 99, R"({"method":"x"})"), "FAIL");
}

struct ConfigSeen {
    std::mutex m;
    std::condition_variable cv;
    std::vector<std::string> texts;
    std::thread::id thread;
};

void OnConfig(qn_handle, const char *name, const char *json, void *user)
{
    auto *seen = static_cast<ConfigSeen *>(user);
    std::lock_guard<std::mutex> lock(seen->m);
    seen->texts.push_back(std::string(name) + " " + json);
    seen->thread = std::this_thread::get_id();
    seen->cv.notify_all();
}

TEST_F(SimTest, SetConfigNotifiesWatchersOnAnSdkThread)
{
    const qn_handle h = Login();
    ConfigSeen seen;
    const std::string name = "VideoAnalyseRule";
    qn_config_attach_in in{sizeof in, name.c_str(), OnConfig, &seen};
    qn_config_attach_out out{sizeof out};
    const qn_handle attach = CLIENT_AttachConfigChange(h, &in, &out, 3000);
    ASSERT_NE(attach, 0);
    EXPECT_EQ(Transmit(h, R"({"method":"configManager.writeTable","params":{"name":"VideoAnalyseRule","channel":1,"table":{"rule":"c"}}})"),
              R"({"result":true})");
    {
        std::unique_lock<std::mutex> lock(seen.m);
        ASSERT_TRUE(seen.cv.wait_for(lock, std::chrono::seconds(5), [&] { return !seen.texts.empty(); }));
        EXPECT_EQ(seen.texts[0], R"(VideoAnalyseRule {"method":"configManager.tableChanged","params":{"name":"VideoAnalyseRule","table":[{"rule":"a"},{"rule":"c"}]}})");
        EXPECT_NE(seen.thread, std::this_thread::get_id());
    }
    EXPECT_EQ(Transmit(h, R"({"method":"configManager.getConfig","params":{"name":"VideoAnalyseRule","channel":1}})"),
              R"({"params":{"table":{"rule":"c"}},"result":true})");
    EXPECT_EQ(CLIENT_DetachConfigChange(attach), 1);
    EXPECT_EQ(CLIENT_DetachConfigChange(attach), 0);
    EXPECT_EQ(QNSIM_FireConfigChange(attach, "x", "{}"), -1);
}

int OnTransmit(qn_handle, const qn_transmit_data *data, void *user)
{
    auto *texts = static_cast<std::vector<std::string> *>(user);
    texts->push_back(std::string(data->data, data->text_length) + "|" +
                     std::string(data->data + data->text_length, data->binary_length));
    return 1;
}

TEST_F(SimTest, TransmitAttachmentDeliversNotificationsUntilDetached)
{
    const qn_handle h = Login();
    std::vector<std::string> texts;
    const std::string request = R"({"method":"snapManager.attachFileProc","params":{"proc":1}})";
    std::vector<char> answer(1024);
    qn_transmit_attach_in in{sizeof in, OnTransmit, &texts, request.c_str(), uint32_t(request.size())};
    qn_transmit_out out{sizeof out, answer.data(), 1024, 0, 0};
    const qn_handle attach = CLIENT_AttachTransmitInfo(h, &in, &out, 3000);
    ASSERT_NE(attach, 0);
    EXPECT_STREQ(answer.data(), R"({"result":true})");
    EXPECT_EQ(QNSIM_FireTransmit(attach, R"({"event":1})", "\x01\x02", 2), 1);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0], std::string(R"({"event":1}|)") + "\x01\x02");
    const std::string detach = R"({"method":"snapManager.detachFileProc","params":{"proc":1}})";
    qn_transmit_detach_in din{sizeof din, detach.c_str(), uint32_t(detach.size())};
    EXPECT_EQ(CLIENT_DetachTransmitInfo(attach, &din, &out, 0), 1);
    EXPECT_EQ(QNSIM_FireTransmit(attach, "{}", nullptr, 0), -1);
    EXPECT_EQ(texts.size(), 1u);
}

TEST_F(SimTest, RemoteFilesWholeAndByPieces)
{
    const qn_handle h = Login();
    const std::string local = s_folder->Root() + "/a-copy.jpg";
    qn_remote_file_in in{sizeof in, "/pic/a.jpg", local.c_str()};
    qn_remote_file_out out{};
    ASSERT_EQ(CLIENT_DownloadRemoteFile(h, &in, &out, 4000), 1);
    EXPECT_EQ(ReadAll(local), ReadAll(s_folder->File("a.jpg")));
    const std::string other = local + ".2";
    for (const char *bad : {"/pic/none.jpg", "/pic/missing.jpg"}) {
        qn_remote_file_in missing{sizeof in, bad, other.c_str()};
        EXPECT_EQ(CLIENT_DownloadRemoteFile(h, &missing, &out, 4000), 0) << bad;
        EXPECT_EQ(CLIENT_GetLastError(), uint32_t(QN_ERR_NO_FILE));
        EXPECT_TRUE(ReadAll(other).empty());   // nothing left behind
    }

    // Pieces of 32768 bytes until the total is reached.
    std::vector<uint8_t> joined;
    std::vector<char> buffer(32768);
    qn_piece_in pin{};
    pin.size = sizeof pin;
    std::strcpy(pin.name, "/data/big.bin");
    pin.piece_length = 32768;
    int calls = 0;
    for (;;) {
        qn_piece_out pout{sizeof pout, 0, 0, buffer.data(), 32768};
        ASSERT_EQ(CLIENT_DownloadPieceFile(h, &pin, &pout, 5000), 1);
        ++calls;
        EXPECT_EQ(pout.total_length, 70000u);
        joined.insert(joined.end(), buffer.begin(), buffer.begin() + pout.returned_length);
        pin.offset += pout.returned_length;
        if (pin.offset >= pout.total_length || pout.returned_length == 0)
            break;
    }
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(joined, ReadAll(s_folder->File("big.bin")));
    pin.offset = 70001;
    qn_piece_out pout{sizeof pout, 0, 0, buffer.data(), 32768};
    EXPECT_EQ(CLIENT_DownloadPieceFile(h, &pin, &pout, 5000), 0);
}

}  // namespace
