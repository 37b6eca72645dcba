// The timer service of the loaded module, with its handlers run by the host's task worker.
// Time limits are generous: they tell "on time" from "after the long timer", nothing finer.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <foundation/SharedPtr.h>
#include <foundation/TypeNames.h>
#include <tolvane/ITimer.h>

#include "loadedmodule.h"

namespace {

using namespace std::chrono_literals;

constexpr int kLongMs = 600000;       // a timer that must not hold anything up
constexpr int kGenerousMs = 20000;    // far above "on time", far below kLongMs

class Probe {
public:
    int OnTimer(uint64_t id)
    {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_ids.push_back(id);
        }
        m_changed.notify_all();
        return m_answer;
    }

    void Answer(int answer) { m_answer = answer; }
    Tolvane::ITimer::Handler Handler() { return Tolvane::ITimer::Handler(this, &Probe::OnTimer); }

    bool WaitCalls(std::size_t count, int timeoutMs = kGenerousMs)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_ids.size() >= count; });
    }

    std::vector<uint64_t> Ids()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_ids;
    }

private:
    std::atomic<int> m_answer{1};
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<uint64_t> m_ids;
};

std::string Line(const char* text, uint64_t id)
{
    return std::string(text) + " " + std::to_string(id);
}

double ProcessCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

class ModuleTimer : public LoadedModuleTest {
protected:
    void SetUp() override
    {
        LoadedModuleTest::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        LoadModule();
        timer = Host().QueryService<Tolvane::ITimer>(Foundation::TypeName::ITimer);
        ASSERT_TRUE(timer);
    }

    void TearDown() override
    {
        timer.reset();
        LoadedModuleTest::TearDown();
    }

    // Waits until the host's worker holds a queued task.
    bool WaitQueued()
    {
        for (int i = 0; i < kGenerousMs / 5; ++i) {
            if (Host().QueuedTaskCount() > 0) {
                return true;
            }
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }

    // Declared before the timer, so they outlive every handler call.
    Probe first;
    Probe second;
    Foundation::CSharedPtr<Tolvane::ITimer> timer;
};

TEST_F(ModuleTimer, PeriodicTimerRunsUntilDestroyed)
{
    auto handler = first.Handler();
    const uint64_t id = timer->SetTimer(handler, 20);
    EXPECT_EQ(messages.Count(Line("CTimer::SetTimer:", id)), 1);
    ASSERT_TRUE(first.WaitCalls(3));
    for (uint64_t called : first.Ids()) {
        EXPECT_EQ(called, id);
    }

    EXPECT_TRUE(timer->DestroyTimer(id));
    EXPECT_EQ(messages.Count(Line("CTimer::DestroyTimer:", id)), 1);
    ASSERT_TRUE(messages.WaitFor(Line("CTimer::TimingTaskProc: state == disable:", id)));
    const std::size_t calls = first.Ids().size();
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(first.Ids().size(), calls);
}

TEST_F(ModuleTimer, HandlerAnsweringZeroRunsOnce)
{
    for (int answer : {0, -1}) {
        SCOPED_TRACE(answer);
        Probe& probe = answer == 0 ? first : second;
        probe.Answer(answer);
        auto handler = probe.Handler();
        const uint64_t id = timer->SetTimer(handler, 10);
        ASSERT_TRUE(messages.WaitFor(Line("CTimer::TimingTaskProc: timeOutOP <=0:", id)));
        std::this_thread::sleep_for(100ms);
        EXPECT_EQ(probe.Ids(), std::vector<uint64_t>{id});
    }
}

TEST_F(ModuleTimer, IdsAreUniqueAndIncreasingAndUnknownIdsAreIgnored)
{
    auto handler = first.Handler();
    std::vector<uint64_t> ids;
    for (int i = 0; i < 200; ++i) {
        ids.push_back(timer->SetTimer(handler, kLongMs));
    }
    EXPECT_NE(ids.front(), 0u);
    for (std::size_t i = 1; i < ids.size(); ++i) {
        EXPECT_LT(ids[i - 1], ids[i]);
    }

    messages.Clear();
    EXPECT_TRUE(timer->DestroyTimer(ids.back() + 1000000));
    EXPECT_TRUE(timer->DestroyTimer(0));
    for (const std::string& line : messages.Lines()) {
        EXPECT_EQ(line.find("CTimer::DestroyTimer:"), std::string::npos) << line;
    }
    // Each id names its own timer.
    for (uint64_t id : ids) {
        EXPECT_TRUE(timer->DestroyTimer(id));
        EXPECT_EQ(messages.Count(Line("CTimer::DestroyTimer:", id)), 1);
    }
    EXPECT_TRUE(first.Ids().empty());
}

TEST_F(ModuleTimer, ShortTimerIsNotDelayedByALongOne)
{
    auto longHandler = second.Handler();
    timer->SetTimer(longHandler, kLongMs);
    std::this_thread::sleep_for(50ms);  // the timing thread now waits for the long timer

    first.Answer(0);
    auto shortHandler = first.Handler();
    const auto armed = std::chrono::steady_clock::now();
    timer->SetTimer(shortHandler, 50);
    ASSERT_TRUE(first.WaitCalls(1));
    EXPECT_LT(std::chrono::steady_clock::now() - armed, std::chrono::milliseconds(kGenerousMs));
    EXPECT_TRUE(second.Ids().empty());
}

TEST_F(ModuleTimer, ReleasingTheServiceIsPromptWithALongTimerPending)
{
    auto handler = first.Handler();
    timer->SetTimer(handler, kLongMs);
    std::this_thread::sleep_for(50ms);
    timer.reset();
    const auto start = std::chrono::steady_clock::now();
    Host().ClearObjects();  // the last owner: the service is destroyed here
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(kGenerousMs));
}

TEST_F(ModuleTimer, DestroyingWhileTheTaskIsQueuedIsSafe)
{
    // The timer alone, then the whole service, goes while its task waits in the worker.
    for (bool wholeService : {false, true}) {
        SCOPED_TRACE(wholeService ? "service destroyed" : "timer destroyed");
        Probe& probe = wholeService ? second : first;
        Host().SuspendWorker();
        auto handler = probe.Handler();
        const uint64_t id = timer->SetTimer(handler, 5);
        ASSERT_TRUE(WaitQueued());
        if (wholeService) {
            timer.reset();
            Host().ClearObjects();
        } else {
            EXPECT_TRUE(timer->DestroyTimer(id));
        }
        Host().ResumeWorker();
        ASSERT_TRUE(Host().WaitIdle(kGenerousMs));
        if (!wholeService) {
            EXPECT_TRUE(messages.WaitFor(Line("CTimer::TimingTaskProc: state == disable:", id)));
        }
        EXPECT_TRUE(probe.Ids().empty());
    }
}

// A handler that takes a while, and may destroy its own timer.
class SlowHandler {
public:
    Tolvane::ITimer* timer = nullptr;
    bool destroysItself = false;
    std::atomic<uint64_t> id{0};
    std::atomic<bool> returned{false};

    int OnTimer(uint64_t timerId)
    {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_entered = true;
        }
        m_changed.notify_all();
        if (destroysItself) {
            timer->DestroyTimer(timerId);
        } else {
            std::this_thread::sleep_for(300ms);
        }
        returned.store(true);
        return 1;
    }
    bool WaitEntered()
    {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_changed.wait_for(lock, std::chrono::milliseconds(kGenerousMs), [&] { return m_entered; });
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_entered = false;
};

TEST_F(ModuleTimer, DestroyingWaitsForTheRunningHandlerButNotFromInsideIt)
{
    SlowHandler slow;
    Tolvane::ITimer::Handler handler(&slow, &SlowHandler::OnTimer);
    const uint64_t id = timer->SetTimer(handler, 5);
    ASSERT_TRUE(slow.WaitEntered());
    EXPECT_TRUE(timer->DestroyTimer(id));
    EXPECT_TRUE(slow.returned.load());  // not before the running handler returned

    SlowHandler self;
    self.timer = timer.get();
    self.destroysItself = true;
    Tolvane::ITimer::Handler own(&self, &SlowHandler::OnTimer);
    const uint64_t ownId = timer->SetTimer(own, 5);
    ASSERT_TRUE(messages.WaitFor(Line("CTimer::TimingTaskProc: state == disable:", ownId)));
    EXPECT_TRUE(self.returned.load());
    ASSERT_TRUE(Host().WaitIdle(kGenerousMs));
}

TEST_F(ModuleTimer, IdleServiceDoesNotSpin)
{
    first.Answer(0);
    auto handler = first.Handler();
    const uint64_t id = timer->SetTimer(handler, 5);
    ASSERT_TRUE(messages.WaitFor(Line("CTimer::TimingTaskProc: timeOutOP <=0:", id)));

    // Nothing armed now: the timing thread must block, not poll.
    const double cpuBefore = ProcessCpuSeconds();
    std::this_thread::sleep_for(500ms);
    EXPECT_LT(ProcessCpuSeconds() - cpuBefore, 0.25);
}

}  // namespace
