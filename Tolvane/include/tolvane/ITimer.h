#pragma once
// The media module's shared timer service, registered with the host as
// "class Tolvane::ITimer". Handlers run on the host's task thread.

#include <cstdint>

#include <foundation/FastDelegate.h>

namespace Tolvane {

class ITimer {
public:
    // Called with the timer's id; an answer above 0 keeps the timer running, due again one
    // interval after this call; 0 or less ends it.
    using Handler = fastdelegate::FastDelegate<int(uint64_t)>;

    virtual ~ITimer() = default;
    // Arms a timer due `interval` milliseconds from now; answers its id (never 0).
    virtual uint64_t SetTimer(Handler& handler, int64_t interval) = 0;
    // The timer's handler is not called any more. Always true, also for an unknown id.
    virtual bool DestroyTimer(uint64_t id) = 0;
};

}  // namespace Tolvane
