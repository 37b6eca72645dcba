#pragma once
// Typed multicast signals. Handlers (delegates) run in the order of their latest connect,
// on the emitting thread, without any lock held.
//
// Every connection has a lifetime guard that a call enters and a disconnect closes: once a
// disconnect (or the signal's destruction) has returned, the handler is not called again and
// no call of it runs any more, so its object may be deleted on any thread. A disconnect made
// from inside a call of that handler does not wait (its own call is still running). A
// disconnect must not be made while holding a lock that the handler takes on another thread.

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <foundation/Any.h>
#include <foundation/FastDelegate.h>
#include <foundation/Mutex.h>

namespace Foundation {

// What a host sees of a published signal: connect or disconnect a handler boxed in an Any.
class ISignal {
public:
    virtual ~ISignal() = default;
    virtual bool Connect(Any& handler) = 0;
    virtual bool Disconnect(Any& handler) = 0;
};

// Lock policy of signals that are connected, disconnected and emitted on known threads.
struct CNolockPolicy {};

namespace Detail {

// The lifetime guard of one connection.
class CConnectionLife {
public:
    // False once closed; else the call counts as running until Leave.
    bool Enter()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_closed) {
            return false;
        }
        m_running.push_back(std::this_thread::get_id());
        return true;
    }

    void Leave()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            auto self = std::find(m_running.begin(), m_running.end(), std::this_thread::get_id());
            if (self != m_running.end()) {
                m_running.erase(self);
            }
        }
        m_left.notify_all();
    }

    // No call starts any more; returns once the calls of other threads have ended. Inside a
    // call of its own, the closing thread does not wait: two calls that each close the
    // connection must not wait for each other.
    void Close()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_closed = true;
        const std::thread::id self = std::this_thread::get_id();
        if (std::find(m_running.begin(), m_running.end(), self) != m_running.end()) {
            return;
        }
        m_left.wait(lock, [this] { return m_running.empty(); });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_left;
    bool m_closed = false;
    std::vector<std::thread::id> m_running;
};

using ConnectionLife = std::shared_ptr<CConnectionLife>;

// Closes the guards taken out of a slot list, after the signal's lock is released.
inline void CloseConnections(std::vector<ConnectionLife>& lives)
{
    for (const ConnectionLife& life : lives) {
        life->Close();
    }
    lives.clear();
}

template <class... A>
class CSignalSlots {
public:
    using Delegate = fastdelegate::FastDelegate<void(A...)>;

    struct SlotRecord {
        uint64_t key;
        Delegate handler;
        ConnectionLife life;
    };

    CSignalSlots() = default;
    CSignalSlots(const CSignalSlots&) = delete;
    CSignalSlots& operator=(const CSignalSlots&) = delete;
    ~CSignalSlots()
    {
        for (const SlotRecord& record : m_slots) {
            record.life->Close();
        }
    }

    bool ConnectUnlocked(const Delegate& handler)
    {
        ++m_currentKey;
        auto found = std::find_if(m_slots.begin(), m_slots.end(),
                                  [&](const SlotRecord& r) { return r.handler == handler; });
        if (found == m_slots.end()) {
            m_slots.push_back(SlotRecord{m_currentKey, handler, std::make_shared<CConnectionLife>()});
        } else {
            found->key = m_currentKey;
        }
        std::stable_sort(m_slots.begin(), m_slots.end(),
                         [](const SlotRecord& a, const SlotRecord& b) { return a.key < b.key; });
        return true;
    }

    // Takes the handler out of the list; its guard goes to closed, which the caller closes
    // once it has released the signal's lock.
    bool DisconnectUnlocked(const Delegate& handler, std::vector<ConnectionLife>& closed)
    {
        auto found = std::find_if(m_slots.begin(), m_slots.end(),
                                  [&](const SlotRecord& r) { return r.handler == handler; });
        if (found != m_slots.end()) {
            closed.push_back(found->life);
            m_slots.erase(found);
        }
        return true;
    }

    bool DisconnectUnlocked(const Delegate& handler)
    {
        std::vector<ConnectionLife> closed;
        DisconnectUnlocked(handler, closed);
        CloseConnections(closed);
        return true;
    }

    std::vector<SlotRecord> CopySlots() const { return m_slots; }

    static void CallSlots(const std::vector<SlotRecord>& records, A... args)
    {
        for (const SlotRecord& record : records) {
            if (record.handler.empty() || !record.life->Enter()) {
                continue;
            }
            struct Leaving {
                CConnectionLife* life;
                ~Leaving() { life->Leave(); }
            } leaving{record.life.get()};
            record.handler(args...);
        }
    }

    // A handler boxed in an Any; an empty box, or one holding another delegate type,
    // gives the empty handler (stored, never called).
    static Delegate FromAny(const Any& box) noexcept
    {
        const Delegate* held = AnyCast<Delegate>(&box);
        return held ? *held : Delegate();
    }

    std::size_t SlotCount() const { return m_slots.size(); }

private:
    std::vector<SlotRecord> m_slots;
    uint64_t m_currentKey = 0;
};

}  // namespace Detail

template <class Policy, class... A>
class CSignal;

// Connect, disconnect and emit take no lock; the owner keeps them on known threads.
template <class... A>
class CSignal<CNolockPolicy, A...> : public ISignal, private Detail::CSignalSlots<A...> {
    using Base = Detail::CSignalSlots<A...>;

public:
    using Delegate = typename Base::Delegate;

    bool Connect(Any& handler) override { return Base::ConnectUnlocked(Base::FromAny(handler)); }
    bool Disconnect(Any& handler) override { return Base::DisconnectUnlocked(Base::FromAny(handler)); }

    bool Connect(const Delegate& handler) { return Base::ConnectUnlocked(handler); }
    bool Disconnect(const Delegate& handler) { return Base::DisconnectUnlocked(handler); }
    template <class C>
    bool Connect(C* object, void (C::*member)(A...))
    {
        return Connect(Delegate(object, member));
    }
    template <class C>
    bool Disconnect(C* object, void (C::*member)(A...))
    {
        return Disconnect(Delegate(object, member));
    }

    void Emit(A... args) const { Base::CallSlots(Base::CopySlots(), args...); }

    using Base::SlotCount;
};

// The owner keeps one CMutex beside the signal and passes it to every typed operation.
// Emit copies the handler list under the lock and calls the handlers after unlocking; a
// disconnect waits for running calls after unlocking (the owner must not hold the lock
// then). The ISignal operations have no lock at hand and take none.
template <class... A>
class CSignal<CMutex, A...> : public ISignal, private Detail::CSignalSlots<A...> {
    using Base = Detail::CSignalSlots<A...>;

public:
    using Delegate = typename Base::Delegate;

    bool Connect(Any& handler) override { return Base::ConnectUnlocked(Base::FromAny(handler)); }
    bool Disconnect(Any& handler) override { return Base::DisconnectUnlocked(Base::FromAny(handler)); }

    bool Connect(const Delegate& handler, CMutex& lock)
    {
        std::lock_guard<CMutex> guard(lock);
        return Base::ConnectUnlocked(handler);
    }
    bool Disconnect(const Delegate& handler, CMutex& lock)
    {
        std::vector<Detail::ConnectionLife> closed;
        {
            std::lock_guard<CMutex> guard(lock);
            Base::DisconnectUnlocked(handler, closed);
        }
        Detail::CloseConnections(closed);
        return true;
    }
    template <class C>
    bool Connect(C* object, void (C::*member)(A...), CMutex& lock)
    {
        return Connect(Delegate(object, member), lock);
    }
    template <class C>
    bool Disconnect(C* object, void (C::*member)(A...), CMutex& lock)
    {
        return Disconnect(Delegate(object, member), lock);
    }

    void Emit(A... args, CMutex& lock) const
    {
        std::vector<typename Base::SlotRecord> copied;
        {
            std::lock_guard<CMutex> guard(lock);
            copied = Base::CopySlots();
        }
        Base::CallSlots(copied, args...);
    }

    std::size_t SlotCount(CMutex& lock) const
    {
        std::lock_guard<CMutex> guard(lock);
        return Base::SlotCount();
    }
};

// The fixed-arity names; the policy comes after the argument types.
template <class Policy = CNolockPolicy>
using CSignal0 = CSignal<Policy>;
template <class A1, class Policy = CNolockPolicy>
using CSignal1 = CSignal<Policy, A1>;
template <class A1, class A2, class Policy = CNolockPolicy>
using CSignal2 = CSignal<Policy, A1, A2>;
template <class A1, class A2, class A3, class Policy = CNolockPolicy>
using CSignal3 = CSignal<Policy, A1, A2, A3>;
template <class A1, class A2, class A3, class A4, class Policy = CNolockPolicy>
using CSignal4 = CSignal<Policy, A1, A2, A3, A4>;
template <class A1, class A2, class A3, class A4, class A5, class Policy = CNolockPolicy>
using CSignal5 = CSignal<Policy, A1, A2, A3, A4, A5>;
template <class A1, class A2, class A3, class A4, class A5, class A6, class Policy = CNolockPolicy>
using CSignal6 = CSignal<Policy, A1, A2, A3, A4, A5, A6>;

// A handler boxed for the host's connect and disconnect by name.
template <class... A>
Any MakeHandlerBox(const fastdelegate::FastDelegate<void(A...)>& handler)
{
    return Any(handler);
}

}  // namespace Foundation
