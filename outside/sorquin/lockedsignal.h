#pragma once
// A published host signal whose handlers may be connected and disconnected from any thread
// while it is raised on another: every operation takes the signal's own mutex, and the
// handlers run after it is released. A disconnect returns once no call of the handler runs
// on another thread (see Foundation's signals), so its object may then be deleted.

#include <mutex>
#include <vector>

#include <foundation/Signal.h>

namespace Sorquin {

template <class... A>
class LockedSignal final : public Foundation::ISignal, private Foundation::Detail::CSignalSlots<A...> {
    using Base = Foundation::Detail::CSignalSlots<A...>;

public:
    using Delegate = typename Base::Delegate;

    bool Connect(Foundation::Any& handler) override
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return Base::ConnectUnlocked(Base::FromAny(handler));
    }

    bool Disconnect(Foundation::Any& handler) override
    {
        std::vector<Foundation::Detail::ConnectionLife> closed;
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            Base::DisconnectUnlocked(Base::FromAny(handler), closed);
        }
        Foundation::Detail::CloseConnections(closed);
        return true;
    }

    void Emit(A... args) const
    {
        std::vector<typename Base::SlotRecord> copied;
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            copied = Base::CopySlots();
        }
        Base::CallSlots(copied, args...);
    }

    std::size_t HandlerCount() const
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return Base::SlotCount();
    }

private:
    mutable std::mutex m_mutex;
};

}  // namespace Sorquin
