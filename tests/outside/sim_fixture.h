// A small simulated device written into a temporary folder, and collectors for SDK callbacks.
#pragma once

#include "packetfmt.h"
#include "quillnet.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace simtest {

constexpr int kPort = 37999;
constexpr int kSlowPort = 37998;
extern const char *kAddress;
// Recording of channel 0: 10:00:00-10:00:04, 25 fps, a key frame every 5 frames, audio.
extern const char *kRecStart;
extern const char *kRecEnd;
constexpr int kRecFrames = 100;

class DeviceFolder {
public:
    DeviceFolder();
    ~DeviceFolder();
    const std::string &Root() const { return m_root; }
    std::string File(const std::string &relative) const { return m_root + "/dev/" + relative; }

private:
    std::string m_root;
};

int64_t Ms(const char *text);
qn_time Time(const char *text);
std::vector<uint8_t> ReadAll(const std::string &path);

// Collects data and position callbacks of one handle.
struct Sink {
    std::mutex m;
    std::condition_variable cv;
    std::vector<packetfmt::Packet> packets;
    packetfmt::Reader reader;
    std::vector<std::pair<uint32_t, int32_t>> positions;
    std::atomic<int> calls{0};
    std::atomic<int> refuseEvery{0};       // refuse every nth offered block (once each)
    std::atomic<bool> stopped{false};      // set by the test once the stop returned
    std::atomic<int> lateCalls{0};         // callbacks seen after stopped was set
    std::thread::id callbackThread;
    bool ended = false;
    int32_t endMark = 0;

    bool WaitEnd(int ms = 10000);
    size_t Count();
};

int DataCallback(qn_handle, uint32_t, const uint8_t *buffer, uint32_t size, void *user);
void RealCallback(qn_handle, uint32_t, const uint8_t *buffer, uint32_t size, void *user);
void PositionCallback(qn_handle, uint32_t total, int32_t done, void *user);

// Every test starts from a reset SDK serving the fixture folder.
class SimTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    qn_handle Login(const char *user = "admin", const char *password = "admin123");
    qn_record_file Record(int channel, const char *start, const char *end, const char *path = "");

    static DeviceFolder *s_folder;
    static void SetUpTestSuite();
    static void TearDownTestSuite();
};

}  // namespace simtest
