#pragma once
// Recursive mutex of the framework: the same thread may lock it again and it is free
// after as many unlocks. Also the lock policy of signals whose owner passes its lock.

#include <QRecursiveMutex>

namespace Foundation {

class CMutex {
public:
    CMutex() = default;
    CMutex(const CMutex&) = delete;
    CMutex& operator=(const CMutex&) = delete;

    void Lock() { m_mutex.lock(); }
    void Unlock() { m_mutex.unlock(); }
    bool TryLock() { return m_mutex.tryLock(); }

    // Standard lockable names, so std::lock_guard and std::unique_lock work.
    void lock() { m_mutex.lock(); }
    void unlock() { m_mutex.unlock(); }
    bool try_lock() { return m_mutex.tryLock(); }

private:
    QRecursiveMutex m_mutex;
};

}  // namespace Foundation
