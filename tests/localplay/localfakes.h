#pragma once
// Fakes for the local play and audio tests: a window module whose windows can vanish, a
// device that counts talk requests, a device manager, a timer run by hand, a play mode
// with a port of its own choosing, and the fixture that puts them and the recording
// player into an in-memory host.

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <foundation/HostCalls.h>
#include <foundation/JsonRead.h>
#include <foundation/SharedPtr.h>
#include <foundation/TypeNames.h>

#include <tolvane/IDevice.h>
#include <tolvane/IDeviceMgr.h>
#include <tolvane/ITimer.h>

#include <ISorquin.h>

#include "TestHost.h"
#include "debugcapture.h"
#include "fakedevice.h"
#include "logfacade.h"
#include "playmode.h"
#include "recplay.h"

namespace localtest {

using testsupport::FakeSorquin;
using testsupport::HandleOf;

class FakeDevice final : public testsupport::NullDevice {
public:
    std::atomic<int> startTalks{0};
    std::atomic<int> stopTalks{0};
    std::atomic<bool> talkResult{true};

    bool StartTalk(long) override
    {
        ++startTalks;
        return talkResult.load();
    }
    bool StopTalk() override
    {
        ++stopTalks;
        return true;
    }
};

using testsupport::FakeDeviceMgr;

// A timer service whose ticks the test runs.
class FakeTimer final : public Tolvane::ITimer {
public:
    uint64_t SetTimer(Handler& handler, int64_t interval) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_handler = handler;
        intervals.push_back(interval);
        return ++m_lastId + 40;
    }
    bool DestroyTimer(uint64_t id) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        destroyed.push_back(id);
        m_handler.clear();
        return true;
    }
    // Runs the armed handler once; its answer, or 0 without one.
    int Fire()
    {
        Handler handler;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            handler = m_handler;
        }
        return handler.empty() ? 0 : handler(m_lastId + 40);
    }

    std::vector<int64_t> intervals;
    std::vector<uint64_t> destroyed;

private:
    std::mutex m_mutex;
    Handler m_handler;
    uint64_t m_lastId = 0;
};

// A play mode over a port the test gives it; closing and deletion are counted.
class TestMode final : public Tolvane::CPlayMode {
public:
    TestMode(HostContext* context, const char* modeId, std::atomic<int>* deleted = nullptr)
        : CPlayMode(context, nullptr, false), m_modeId(modeId), m_deleted(deleted)
    {
    }
    ~TestMode() override
    {
        EndLifetime();
        if (m_deleted != nullptr) {
            ++*m_deleted;
        }
    }
    const char* GetModeID() override { return m_modeId; }
    bool Close() override
    {
        ++closes;
        Reset();
        return true;
    }
    void Open(int port)
    {
        m_port.store(port);
        m_open.store(true);
        m_status.store(StatusPlaying);
    }

    std::atomic<int> closes{0};

private:
    const char* m_modeId;
    std::atomic<int>* m_deleted;
};

using testsupport::DebugCapture;

inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 5000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// A host with the recording player, the fake window module and the module logger.
class LocalTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        recplay::Reset();
        m_host = std::make_unique<testsupport::TestHost>();
        recplay::FillResolveTable(*m_host);
        sorquin = new FakeSorquin();
        Foundation::RegisterHostObject(Context(), Foundation::TypeName::ISorquin,
                                       Foundation::CSharedPtr<ISorquin>(sorquin));
        Tolvane::SetUpModuleLogger(Context());
    }
    void TearDown() override
    {
        m_host->EmitImplComPreRelease();
        m_host->ClearMethods();
        m_host->ClearObjects();
        Tolvane::SetModuleLogger(nullptr);
        m_host.reset();
    }

    testsupport::TestHost& Host() { return *m_host; }
    HostContext* Context() { return m_host->Context(); }

    // Writes a file of `size` bytes (byte i is i * 7 + i / 251) into the test folder.
    std::string WriteFile(const std::string& name, int64_t size)
    {
        QByteArray bytes(static_cast<int>(size), '\0');
        for (int64_t i = 0; i < size; ++i) {
            bytes[static_cast<int>(i)] = static_cast<char>(i * 7 + i / 251);
        }
        return WriteBytes(name, bytes);
    }
    std::string WriteBytes(const std::string& name, const QByteArray& bytes)
    {
        const QString path = m_folder.filePath(QString::fromStdString(name));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path.toStdString();
    }
    std::string MissingPath() const { return m_folder.filePath(QStringLiteral("missing.rkv")).toStdString(); }

    // The params of every event of that name sent to the page so far.
    std::vector<Json::Value> Events(const std::string& name)
    {
        std::vector<Json::Value> events;
        for (const std::string& text : m_host->SentTexts()) {
            Json::Value event;
            if (Foundation::JsonParse(text, event) && Foundation::JsonMember(event, "event") == name) {
                events.push_back(Foundation::JsonMember(event, "params"));
            }
        }
        return events;
    }

    FakeSorquin* sorquin = nullptr;

private:
    QTemporaryDir m_folder;
    std::unique_ptr<testsupport::TestHost> m_host;
};

}  // namespace localtest
