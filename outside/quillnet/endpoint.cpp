#include "endpoint.h"

#include <algorithm>

namespace quillnet {

std::atomic<int> &RunningWorkers()
{
    static std::atomic<int> count{0};
    return count;
}

namespace {

struct StartHook {
    std::mutex mutex;
    qnsim_start_hook hook = nullptr;
    void *user = nullptr;
};

StartHook &TheStartHook()
{
    static StartHook *hook = new StartHook;   // outlives every thread that may still call in
    return *hook;
}

}  // namespace

void SetStartHook(qnsim_start_hook hook, void *user)
{
    StartHook &h = TheStartHook();
    std::lock_guard<std::mutex> lock(h.mutex);
    h.hook = hook;
    h.user = user;
}

void RunStartHook(qn_handle handle)
{
    StartHook &h = TheStartHook();
    qnsim_start_hook hook = nullptr;
    void *user = nullptr;
    {
        std::lock_guard<std::mutex> lock(h.mutex);
        hook = h.hook;
        user = h.user;
    }
    if (hook)
        hook(handle, user);
}

Endpoint::~Endpoint()
{
    if (m_worker.joinable()) {
        if (m_worker.get_id() == std::this_thread::get_id())
            m_worker.detach();
        else
            m_worker.join();
    }
}

bool Endpoint::Enter(Callbacks &out)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_closed)
        return false;
    m_active.push_back(std::this_thread::get_id());
    out = m_callbacks;
    return true;
}

void Endpoint::Leave()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = std::find(m_active.begin(), m_active.end(), std::this_thread::get_id());
    if (it != m_active.end())
        m_active.erase(it);
    m_cv.notify_all();
}

Callbacks Endpoint::Current()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_callbacks;
}

void Endpoint::WaitIdle(std::unique_lock<std::mutex> &lock)
{
    const auto self = std::this_thread::get_id();
    m_cv.wait(lock, [&] {
        return std::all_of(m_active.begin(), m_active.end(), [&](std::thread::id id) { return id == self; });
    });
}

void Endpoint::Close()
{
    std::thread worker;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_closed = true;
        m_cv.notify_all();
        WaitIdle(lock);
        worker = std::move(m_worker);
    }
    if (worker.joinable()) {
        // A stop from inside a callback of this endpoint: the worker ends by itself.
        if (worker.get_id() == std::this_thread::get_id())
            worker.detach();
        else
            worker.join();
    }
}

bool Endpoint::Closed()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_closed;
}

void Endpoint::StartWorker(std::function<void()> run)
{
    {
        // Under the lock, so that a stop either comes first (nothing starts) or joins the worker.
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_closed)
            return;
        m_worker = std::thread(std::move(run));
    }
    RunStartHook(handle);
}

TransferControl Endpoint::Control()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_control;
}

bool Endpoint::SleepUntil(std::chrono::steady_clock::time_point deadline, unsigned generation)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cv.wait_until(lock, deadline, [&] { return m_closed || m_control.generation != generation; });
    return !m_closed;
}

bool Endpoint::WaitWhilePaused()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cv.wait(lock, [&] { return m_closed || !m_control.paused || m_control.fail; });
    return !m_closed;
}

}  // namespace quillnet
