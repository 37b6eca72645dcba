#include "endpoint.h"

#include <algorithm>

namespace quillnet {

std::atomic<int> &RunningWorkers()
{
    static std::atomic<int> count{0};
    return count;
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

void Endpoint::StartWorker(std::thread worker)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_worker = std::move(worker);
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
