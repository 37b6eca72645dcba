#pragma once
// Counting semaphore with a maximum: a post at the maximum is lost.

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace Foundation {

class CSemaphore {
public:
    CSemaphore() = default;
    CSemaphore(int initialCount, int maximumCount) { Create(initialCount, maximumCount); }
    CSemaphore(const CSemaphore&) = delete;
    CSemaphore& operator=(const CSemaphore&) = delete;

    // Makes the semaphore; false for a maximum below 1 or an initial count outside 0..maximum.
    bool Create(int initialCount, int maximumCount)
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (maximumCount < 1 || initialCount < 0 || initialCount > maximumCount) {
            m_created = false;
            return false;
        }
        m_count = initialCount;
        m_maximum = maximumCount;
        m_created = true;
        return true;
    }

    bool IsCreated() const
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_created;
    }

    // Releases by one; false (and no change) when the count is at its maximum.
    bool Post()
    {
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            if (!m_created || m_count >= m_maximum) {
                return false;
            }
            ++m_count;
        }
        m_available.notify_one();
        return true;
    }

    // Waits without time limit until the count is above zero, then takes one.
    // False when the semaphore was never made or has been closed.
    bool WaitOne()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_available.wait(lock, [this] { return !m_created || m_count > 0; });
        return Take();
    }

    // As WaitOne, giving up after `milliseconds`; false on time-out.
    bool WaitOneFor(int milliseconds)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_available.wait_for(lock, std::chrono::milliseconds(milliseconds < 0 ? 0 : milliseconds),
                             [this] { return !m_created || m_count > 0; });
        return Take();
    }

    // Frees the semaphore; waiters return false.
    void Close()
    {
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_created = false;
            m_count = 0;
        }
        m_available.notify_all();
    }

private:
    bool Take()
    {
        if (!m_created || m_count <= 0) {
            return false;
        }
        --m_count;
        return true;
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_available;
    int m_count = 0;
    int m_maximum = 0;
    bool m_created = false;
};

}  // namespace Foundation
