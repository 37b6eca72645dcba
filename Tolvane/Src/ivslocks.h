#pragma once
// Scoped locks of the intelligent-video service: a mutex that may be absent, and a play
// mode's window-list lock taken for reading. Both can be released before the scope ends.

#include <QMutex>
#include <QReadWriteLock>

#include <tolvane/IPlayMode.h>

namespace Tolvane {

class OptionalLocker {
public:
    explicit OptionalLocker(QMutex* mutex) : m_mutex(mutex)
    {
        if (m_mutex != nullptr) {
            m_mutex->lock();
        }
    }
    ~OptionalLocker() { Unlock(); }
    void Unlock()
    {
        if (m_mutex != nullptr) {
            m_mutex->unlock();
            m_mutex = nullptr;
        }
    }
    OptionalLocker(const OptionalLocker&) = delete;
    OptionalLocker& operator=(const OptionalLocker&) = delete;

private:
    QMutex* m_mutex;
};

class ModeReadLocker {
public:
    explicit ModeReadLocker(IPlayMode* mode) : m_lock(mode != nullptr ? mode->GetWindowLock() : nullptr)
    {
        if (m_lock != nullptr) {
            m_lock->lockForRead();
        }
    }
    ~ModeReadLocker() { Unlock(); }
    void Unlock()
    {
        if (m_lock != nullptr) {
            m_lock->unlock();
            m_lock = nullptr;
        }
    }
    ModeReadLocker(const ModeReadLocker&) = delete;
    ModeReadLocker& operator=(const ModeReadLocker&) = delete;

private:
    QReadWriteLock* m_lock;
};

}  // namespace Tolvane
