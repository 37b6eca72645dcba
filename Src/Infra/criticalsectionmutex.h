#pragma once

// The infrastructure's lock: recursive for the owning thread. create() must run
// before enter()/leave(); destroy() ends it.

#include <mutex>

namespace Tarvo {
namespace Infra {

class CCriticalSectionMutex
{
public:
    CCriticalSectionMutex() = default;
    ~CCriticalSectionMutex();
    CCriticalSectionMutex(const CCriticalSectionMutex&) = delete;
    CCriticalSectionMutex& operator=(const CCriticalSectionMutex&) = delete;

    void create();
    void destroy();
    bool enter();
    bool leave();
    bool valid() const { return m_section != nullptr; }

private:
    std::recursive_mutex* m_section = nullptr;
};

// Holds a created mutex for one scope.
class CCriticalSectionGuard
{
public:
    explicit CCriticalSectionGuard(CCriticalSectionMutex& mutex) : m_mutex(mutex) { m_mutex.enter(); }
    ~CCriticalSectionGuard() { m_mutex.leave(); }
    CCriticalSectionGuard(const CCriticalSectionGuard&) = delete;
    CCriticalSectionGuard& operator=(const CCriticalSectionGuard&) = delete;

private:
    CCriticalSectionMutex& m_mutex;
};

} // namespace Infra
} // namespace Tarvo
