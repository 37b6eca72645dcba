#pragma once
// A recording window module and device for the play-mode tests, and the fixture that
// puts them and the recording player into an in-memory host.

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QString>
#include <QtGlobal>

#include <foundation/HostCalls.h>
#include <foundation/SharedPtr.h>
#include <foundation/TypeNames.h>

#include <tolvane/IDevice.h>

#include <ISorquin.h>

#include "TestHost.h"
#include "debugcapture.h"
#include "fakedevice.h"
#include "fakeplay.h"
#include "logfacade.h"

namespace playtest {

using testsupport::HandleOf;

// Keeps every frame shown and every video state change.
class FakeSorquin final : public testsupport::FakeSorquin {
public:
    struct Shown {
        int winID;
        bool picture;
        long size;
        SorquinFrameInfo info;
        std::vector<uint32_t> pixels;  // a copy, as the real module keeps one
    };

    bool ShowFrame(int winID, const unsigned char* rgb32, long size, int, const SorquinFrameInfo* info) override
    {
        Shown shown{winID, rgb32 != nullptr, size, info ? *info : SorquinFrameInfo{}, {}};
        if (rgb32 != nullptr) {
            const auto* pixels = reinterpret_cast<const uint32_t*>(rgb32);
            shown.pixels.assign(pixels, pixels + size / 4);
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_shown.push_back(std::move(shown));
        return true;
    }
    void SetVideoState(int winID, bool showsVideo) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.push_back((showsVideo ? "video on " : "video off ") + std::to_string(winID));
    }

    std::vector<Shown> TakeShown()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<Shown> taken;
        taken.swap(m_shown);
        return taken;
    }
    std::vector<std::string> TakeEvents()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<std::string> taken;
        taken.swap(m_events);
        return taken;
    }

private:
    std::mutex m_mutex;
    std::vector<Shown> m_shown;
    std::vector<std::string> m_events;
};

// A device that answers live-stream requests from its fields and records them.
class FakeDevice final : public testsupport::NullDevice {
public:
    long realHandle = 41;
    std::atomic<long> flux{0};
    std::vector<std::string> calls;
    Tolvane::DeviceDataDelegate* sink = nullptr;

    long ConnectRealvideo(int channel, int streamType, int protocol, Tolvane::DeviceDataDelegate* data) override
    {
        calls.push_back("ConnectRealvideo(" + std::to_string(channel) + "," + std::to_string(streamType) + ","
                        + std::to_string(protocol) + ")");
        sink = data;
        return realHandle;
    }
    bool StopRealvideo(long handle) override
    {
        calls.push_back("StopRealvideo(" + std::to_string(handle) + ")");
        sink = nullptr;
        return handle != 0;
    }
    long GetStatiscFlux(long handle) override { return handle != 0 ? flux.load() : 0; }
};

using testsupport::DebugCapture;

// A host with the recording player and scaler, the fake window module registered as
// "class ISorquin", and the module logger.
class PlayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fakeplay::Reset();
        m_host = std::make_unique<testsupport::TestHost>();
        fakeplay::FillResolveTable(*m_host);
        sorquin = new FakeSorquin();
        Foundation::CSharedPtr<ISorquin> shared(sorquin);
        Foundation::RegisterHostObject(m_host->Context(), Foundation::TypeName::ISorquin, shared);
        Tolvane::SetUpModuleLogger(m_host->Context());
    }
    void TearDown() override
    {
        Tolvane::SetModuleLogger(nullptr);
        m_host->ClearObjects();
        m_host.reset();
    }

    testsupport::TestHost& Host() { return *m_host; }
    HostContext* Context() { return m_host->Context(); }

    FakeSorquin* sorquin = nullptr;
    FakeDevice device;

private:
    std::unique_ptr<testsupport::TestHost> m_host;
};

}  // namespace playtest
