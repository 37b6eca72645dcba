#pragma once
// Receivers for what a device hands back: stream blocks and positions (with waiting for the
// end position), and a scripted-library fixture with a logged-in device.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <tolvane/IDevice.h>

#include "quillnetdev.h"
#include "quillnetstandin.h"

namespace devtest {

inline uint64_t Address(const void* p)
{
    return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p));
}

// Collects blocks and positions from the library's threads.
class StreamSink {
public:
    // Each block is refused once when its running number is in `refuseOnce` (0-based).
    explicit StreamSink(std::vector<int> refuseOnce = {}) : m_refuseOnce(std::move(refuseOnce)) {}

    bool OnData(const unsigned char* data, uint32_t size, uint32_t reserved, uint32_t dataType)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        const int number = static_cast<int>(m_blocks.size());
        for (int& refuse : m_refuseOnce) {
            if (refuse == number) {
                refuse = -1;
                ++m_refused;
                return false;
            }
        }
        m_blocks.emplace_back(data, data + size);
        m_reserved = reserved;
        m_dataType = dataType;
        m_changed.notify_all();
        return m_answer;
    }

    void OnPosition(uint32_t total, int32_t done)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_positions.emplace_back(total, done);
        m_changed.notify_all();
    }

    Tolvane::DeviceDataDelegate& Data() { return m_data; }
    Tolvane::DevicePosDelegate& Position() { return m_position; }

    void SetAnswer(bool answer) { m_answer = answer; }

    // Waits for a position with done -1 or -2; a generous limit for a loaded machine.
    bool WaitForEnd(int timeoutMs = 30000)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
            return !m_positions.empty() && m_positions.back().second < 0;
        });
    }

    bool WaitForBlocks(size_t count, int timeoutMs = 30000)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                  [&] { return m_blocks.size() >= count; });
    }

    std::vector<std::vector<uint8_t>> Blocks()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_blocks;
    }
    std::vector<std::pair<uint32_t, int32_t>> Positions()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_positions;
    }
    int Refused()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_refused;
    }
    uint32_t LastReserved() const { return m_reserved; }
    uint32_t LastDataType() const { return m_dataType; }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<std::vector<uint8_t>> m_blocks;
    std::vector<std::pair<uint32_t, int32_t>> m_positions;
    std::vector<int> m_refuseOnce;
    int m_refused = 0;
    bool m_answer = true;
    uint32_t m_reserved = 0;
    uint32_t m_dataType = 0;
    Tolvane::DeviceDataDelegate m_data{this, &StreamSink::OnData};
    Tolvane::DevicePosDelegate m_position{this, &StreamSink::OnPosition};
};

// A device logged in to the scripted library, with an empty journal.
class ScriptedDeviceTest : public ScriptedSdkTest {
protected:
    void SetUp() override
    {
        ScriptedSdkTest::SetUp();
        m_device = std::make_unique<Tolvane::CQuillnetDev>(Context(), "");
        ASSERT_EQ(m_device->LoginDevice("10.0.0.1", 37777, 0, "admin", "pw", 0, 0), 0);
        QuillnetStandIn::ClearJournal();
    }
    void TearDown() override
    {
        m_device.reset();
        ScriptedSdkTest::TearDown();
    }

    Tolvane::CQuillnetDev& Device() { return *m_device; }
    long Login() { return m_device->GetLoginHandle(); }

    // The arguments of the only call of the function in the journal.
    static Json::Value OnlyCall(const std::string& function)
    {
        const std::vector<Json::Value> calls = QuillnetStandIn::CallsOf(function);
        EXPECT_EQ(calls.size(), 1u) << function;
        return calls.empty() ? Json::Value() : calls[0]["args"];
    }

private:
    std::unique_ptr<Tolvane::CQuillnetDev> m_device;
};

}  // namespace devtest
