#pragma once
// The lifetime guard of a play mode. Pool tasks hold it and reach the mode only between
// Enter and Leave. Retiring the mode stops new entries and deletes the mode at once when no
// task is inside, else when the last one leaves, so the retiring thread never waits for a
// task (whose handlers may want the locks it holds). End is the destructor's fallback for a
// mode deleted directly: it stops new entries and waits for tasks of other threads.

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace Tolvane {

class CPlayMode;

class CPlayModeLife {
public:
    explicit CPlayModeLife(CPlayMode* mode) : m_mode(mode) {}

    // The mode while it lives, counted as inside until Leave; null once retired or ended.
    CPlayMode* Enter()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_mode == nullptr) {
            return nullptr;
        }
        m_inside.push_back(std::this_thread::get_id());
        return m_mode;
    }

    // Answers the mode when the caller must delete it now (retired, and the last inside).
    CPlayMode* Leave()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto it = m_inside.begin(); it != m_inside.end(); ++it) {
            if (*it == std::this_thread::get_id()) {
                m_inside.erase(it);
                break;
            }
        }
        m_left.notify_all();
        return TakeRetiredLocked();
    }

    // Answers the mode when the caller must delete it now; else the last Leave will.
    CPlayMode* Retire(CPlayMode* mode)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_mode = nullptr;
        m_retired = mode;
        return TakeRetiredLocked();
    }

    void End()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_mode = nullptr;
        const std::thread::id self = std::this_thread::get_id();
        m_left.wait(lock, [&] {
            for (const std::thread::id& id : m_inside) {
                if (id != self) {
                    return false;
                }
            }
            return true;
        });
    }

private:
    CPlayMode* TakeRetiredLocked()
    {
        if (m_retired == nullptr || !m_inside.empty()) {
            return nullptr;
        }
        CPlayMode* mode = m_retired;
        m_retired = nullptr;
        return mode;
    }

    std::mutex m_mutex;
    std::condition_variable m_left;
    CPlayMode* m_mode;
    CPlayMode* m_retired = nullptr;
    std::vector<std::thread::id> m_inside;
};

}  // namespace Tolvane
