#pragma once
// Typed multicast signals. Handlers (delegates) run in the order of their latest connect,
// on the emitting thread, without any lock held.

#include <algorithm>
#include <cstdint>
#include <mutex>
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

template <class... A>
class CSignalSlots {
public:
    using Delegate = fastdelegate::FastDelegate<void(A...)>;

    struct SlotRecord {
        uint64_t key;
        Delegate handler;
    };

    bool ConnectUnlocked(const Delegate& handler)
    {
        ++m_currentKey;
        auto found = std::find_if(m_slots.begin(), m_slots.end(),
                                  [&](const SlotRecord& r) { return r.handler == handler; });
        if (found == m_slots.end()) {
            m_slots.push_back(SlotRecord{m_currentKey, handler});
        } else {
            found->key = m_currentKey;
        }
        std::stable_sort(m_slots.begin(), m_slots.end(),
                         [](const SlotRecord& a, const SlotRecord& b) { return a.key < b.key; });
        return true;
    }

    bool DisconnectUnlocked(const Delegate& handler)
    {
        auto found = std::find_if(m_slots.begin(), m_slots.end(),
                                  [&](const SlotRecord& r) { return r.handler == handler; });
        if (found != m_slots.end()) {
            m_slots.erase(found);
        }
        return true;
    }

    std::vector<SlotRecord> CopySlots() const { return m_slots; }

    static void CallSlots(const std::vector<SlotRecord>& records, A... args)
    {
        for (const SlotRecord& record : records) {
            if (!record.handler.empty()) {
                record.handler(args...);
            }
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
// Emit copies the handler list under the lock and calls the handlers after unlocking.
// The ISignal operations have no lock at hand and take none.
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
        std::lock_guard<CMutex> guard(lock);
        return Base::DisconnectUnlocked(handler);
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
