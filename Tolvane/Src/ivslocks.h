#pragma once
// A play mode's window-list lock taken for reading; it can be released before the scope ends.

#include <QReadWriteLock>

#include <tolvane/IPlayMode.h>

namespace Tolvane {

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
