#include "sim_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <chrono>
#include <thread>

namespace simtest {

const char *kAddress = "127.0.0.1";
const char *kRecStart = "2024-05-01 10:00:00";
const char *kRecEnd = "2024-05-01 10:00:04";

namespace {

void Write(const std::string &path, const std::vector<uint8_t> &bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<uint8_t> Stream(int64_t start, int frames, int fps, int gop, bool audio, uint8_t encoding)
{
    std::vector<uint8_t> out;
    for (int f = 0; f < frames; ++f) {
        const int64_t ts = start + f * 1000LL / fps;
        if (audio && f % 2 == 0) {
            packetfmt::PacketInfo a;
            a.kind = packetfmt::kAudio;
            a.encoding = packetfmt::kEncPcm16;
            a.channels = 1;
            a.sampleRate = 8000;
            a.timestampMs = ts;
            a.sequence = uint32_t(f / 2);
            std::vector<uint8_t> pcm(640, 1);
            packetfmt::AppendPacket(a, pcm.data(), pcm.size(), out);
        }
        packetfmt::PacketInfo v;
        v.encoding = encoding;
        v.key = f % gop == 0;
        v.frameRate = uint8_t(fps);
        v.timestampMs = ts;
        v.sequence = uint32_t(f);
        if (encoding == packetfmt::kEncI420) {
            v.width = 16;
            v.height = 16;
            std::vector<uint8_t> pic(16 * 16 * 3 / 2, uint8_t(f));
            packetfmt::AppendPacket(v, pic.data(), pic.size(), out);
        } else {
            v.width = 704;
            v.height = 576;
            auto payload = packetfmt::EncodeTestPicture({uint32_t(f), ts, 704, 576});
            packetfmt::AppendPacket(v, payload.data(), payload.size(), out);
        }
    }
    return out;
}

const char *kDeviceJson = R"({
  "address": "127.0.0.1", "port": 37999, "serial": "T-1",
  "abilities": {"secondaryAnalyse": 2},
  "users": [
    {"name": "admin", "password": "admin123", "lockLeft": 4},
    {"name": "locked", "password": "x", "lockedSeconds": 30},
    {"name": "busy", "password": "x", "loginError": 7}
  ],
  "channels": [{"channel": 0, "streams": {"Main": "live0.qvp"}},
               {"channel": 1, "streams": {"Main": "live1.qvp"}}],
  "recordings": [
    {"channel": 0, "startTime": "2024-05-01 10:00:00", "endTime": "2024-05-01 10:00:04",
     "file": "rec0.qvp", "filePath": "/rec/ch0/1000.rkv"},
    {"channel": 0, "startTime": "2024-05-01 10:00:10", "endTime": "2024-05-01 10:00:12",
     "file": "rec0b.qvp", "filePath": "/rec/ch0/1010.rkv"},
    {"channel": 1, "stream": "Extra1", "startTime": "2024-05-01 10:00:00", "endTime": "2024-05-01 10:00:02",
     "file": "rec1.qvp", "filePath": "/rec/ch1/1000.rkv"}
  ],
  "remoteFiles": {"/pic/a.jpg": "a.jpg", "/data/big.bin": "big.bin", "/pic/missing.jpg": "none.jpg"},
  "answers": {
    "mediaFileFind.factory.create": {"result": 42},
    "mediaFileFind.findNextFile": {"sequence": [{"result": true, "params": {"found": 1}},
                                                {"result": true, "params": {"found": 0}}],
                                   "resetOn": "mediaFileFind.findFile"}
  },
  "config": {"VideoAnalyseRule": [{"rule": "a"}, {"rule": "b"}]}
})";

}  // namespace

DeviceFolder::DeviceFolder()
{
    char tmpl[] = "/tmp/quillnet-test-XXXXXX";
    m_root = mkdtemp(tmpl);
    const std::string dev = m_root + "/dev";
    mkdir(dev.c_str(), 0755);
    Write(dev + "/device.json", std::vector<uint8_t>(kDeviceJson, kDeviceJson + std::strlen(kDeviceJson)));
    Write(dev + "/live0.qvp", Stream(Ms("2024-05-01 00:00:00"), 25, 25, 5, true, packetfmt::kEncTestPic));
    Write(dev + "/live1.qvp", Stream(Ms("2024-05-01 00:00:00"), 10, 10, 1, false, packetfmt::kEncI420));
    Write(dev + "/rec0.qvp", Stream(Ms(kRecStart), kRecFrames, 25, 5, true, packetfmt::kEncTestPic));
    Write(dev + "/rec0b.qvp", Stream(Ms("2024-05-01 10:00:10"), 50, 25, 5, false, packetfmt::kEncTestPic));
    Write(dev + "/rec1.qvp", Stream(Ms("2024-05-01 10:00:00"), 20, 10, 1, false, packetfmt::kEncI420));
    Write(dev + "/a.jpg", std::vector<uint8_t>(1234, 0xAB));
    std::vector<uint8_t> big(70000);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = uint8_t(i * 13 + i / 300);
    Write(dev + "/big.bin", big);
    // The same recording on a device that sends no faster than 64 KiB/s.
    const std::string slow = m_root + "/slow";
    mkdir(slow.c_str(), 0755);
    const std::string slowJson = "{\"address\": \"127.0.0.1\", \"port\": " + std::to_string(kSlowPort) +
        ", \"transferBytesPerSecond\": 65536, \"users\": [{\"name\": \"admin\", \"password\": \"admin123\"}]," +
        " \"recordings\": [{\"channel\": 0, \"startTime\": \"2024-05-01 10:00:00\", \"endTime\": \"2024-05-01 10:00:04\"," +
        " \"file\": \"rec0.qvp\", \"filePath\": \"/rec/ch0/1000.rkv\"}]}";
    Write(slow + "/device.json", std::vector<uint8_t>(slowJson.begin(), slowJson.end()));
    Write(slow + "/rec0.qvp", ReadAll(dev + "/rec0.qvp"));
    // Another device folder that must not be chosen, and a broken one.
    mkdir((m_root + "/other").c_str(), 0755);
    std::string other = R"({"address": "127.0.0.2", "port": 37999, "users": []})";
    Write(m_root + "/other/device.json", std::vector<uint8_t>(other.begin(), other.end()));
    mkdir((m_root + "/broken").c_str(), 0755);
    Write(m_root + "/broken/device.json", {'{', 'x'});
}

DeviceFolder::~DeviceFolder()
{
    const std::string cmd = "rm -rf '" + m_root + "'";
    if (m_root.rfind("/tmp/quillnet-test-", 0) == 0)
        (void)std::system(cmd.c_str());
}

int64_t Ms(const char *text)
{
    int64_t ms = 0;
    EXPECT_TRUE(packetfmt::ParseTimeText(text, ms)) << text;
    return ms;
}

qn_time Time(const char *text)
{
    const packetfmt::CivilTime c = packetfmt::MsToCivil(Ms(text));
    return qn_time{c.year, c.month, c.day, c.hour, c.minute, c.second};
}

std::vector<uint8_t> ReadAll(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool Sink::WaitEnd(int ms)
{
    std::unique_lock<std::mutex> lock(m);
    return cv.wait_for(lock, std::chrono::milliseconds(ms), [&] { return ended; });
}

size_t Sink::Count()
{
    std::lock_guard<std::mutex> lock(m);
    return packets.size();
}

int DataCallback(qn_handle, uint32_t, const uint8_t *buffer, uint32_t size, void *user)
{
    Sink *s = static_cast<Sink *>(user);
    if (s->stopped)
        ++s->lateCalls;
    const int n = ++s->calls;
    if (s->refuseEvery && n % s->refuseEvery == 0)
        return 0;
    std::lock_guard<std::mutex> lock(s->m);
    s->callbackThread = std::this_thread::get_id();
    s->reader.Feed(buffer, size);
    packetfmt::Packet p;
    while (s->reader.Next(p))
        s->packets.push_back(p);
    return 1;
}

void RealCallback(qn_handle h, uint32_t type, const uint8_t *buffer, uint32_t size, void *user)
{
    DataCallback(h, type, buffer, size, user);
}

void PositionCallback(qn_handle, uint32_t total, int32_t done, void *user)
{
    Sink *s = static_cast<Sink *>(user);
    if (s->stopped)
        ++s->lateCalls;
    std::lock_guard<std::mutex> lock(s->m);
    s->positions.emplace_back(total, done);
    if (done < 0) {
        s->ended = true;
        s->endMark = done;
        s->cv.notify_all();
    }
}

DeviceFolder *SimTest::s_folder = nullptr;

void SimTest::SetUpTestSuite() { s_folder = new DeviceFolder; }

void SimTest::TearDownTestSuite()
{
    delete s_folder;
    s_folder = nullptr;
}

void SimTest::SetUp()
{
    QNSIM_Reset();
    QNSIM_SetDevicesFolder(s_folder->Root().c_str());
    ASSERT_EQ(CLIENT_Init(nullptr, nullptr), 1);
}

void SimTest::TearDown()
{
    CLIENT_Cleanup();
    // Configuration notices run on threads of their own that end just after their callback.
    for (int i = 0; i < 200 && QNSIM_ActiveStreams() != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(QNSIM_ActiveStreams(), 0);
    QNSIM_Reset();
}

qn_handle SimTest::Login(const char *user, const char *password)
{
    qn_device_info info{};
    int error = -1;
    int cap = 0;
    const qn_handle h = CLIENT_LoginEx2(kAddress, kPort, user, password, 0, &cap, &info, &error);
    EXPECT_NE(h, 0) << "login error " << error;
    return h;
}

qn_record_file SimTest::Record(int channel, const char *start, const char *end, const char *path)
{
    qn_record_file r{};
    r.channel = channel;
    std::strncpy(r.path, path, sizeof r.path - 1);
    r.start = Time(start);
    r.end = Time(end);
    return r;
}

}  // namespace simtest
