// The players' clock: the steady clock, or a manual one that tests advance.
#ifndef OUTSIDE_PLAY_CLOCK_H
#define OUTSIDE_PLAY_CLOCK_H

#include <chrono>
#include <cstdint>

namespace play {

using TimePoint = std::chrono::steady_clock::time_point;

class Clock {
public:
    static TimePoint Now();
    static bool Manual();
    // Speed factor applied on top of every port's speed.
    static double Rate();

    static void SetManual(bool manual);
    static void Advance(int64_t ms);
    static void SetRate(double rate);
};

}  // namespace play

#endif
