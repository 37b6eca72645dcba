#pragma once

// Process-wide singleton created on first use and destroyed at process exit.
// Creation is serialised by a lock of its own; later uses read the pointer only.

#include "Infra/printlog.h"

#include <atomic>
#include <cstdlib>
#include <mutex>

namespace Tarvo {
namespace Infra {

template <class T>
class CSingleton
{
public:
    static T* instance()
    {
        T* current = s_instance.load(std::memory_order_acquire);
        if (current)
            return current;
        std::lock_guard<std::mutex> lock(s_creation);
        current = s_instance.load(std::memory_order_relaxed);
        if (!current) {
            current = new T;
            s_instance.store(current, std::memory_order_release);
            if (std::atexit(&CSingleton::destroy) != 0)
                PrintLog::message("atexit failed!\n");
        }
        return current;
    }

private:
    static void destroy()
    {
        std::lock_guard<std::mutex> lock(s_creation);
        delete s_instance.exchange(nullptr, std::memory_order_acq_rel);
    }

    static inline std::atomic<T*> s_instance{nullptr};
    static inline std::mutex s_creation;
};

} // namespace Infra
} // namespace Tarvo
