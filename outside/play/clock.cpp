#include "clock.h"

#include <atomic>

namespace play {

namespace {

std::atomic<bool> g_manual{false};
std::atomic<int64_t> g_manualNs{0};
std::atomic<double> g_rate{1.0};

}  // namespace

TimePoint Clock::Now()
{
    if (g_manual.load())
        return TimePoint(std::chrono::nanoseconds(g_manualNs.load()));
    return std::chrono::steady_clock::now();
}

bool Clock::Manual() { return g_manual.load(); }

double Clock::Rate() { return g_rate.load(); }

void Clock::SetManual(bool manual)
{
    if (manual && !g_manual.load())
        g_manualNs.store(std::chrono::steady_clock::now().time_since_epoch().count());
    g_manual.store(manual);
}

void Clock::Advance(int64_t ms)
{
    if (ms > 0)
        g_manualNs.fetch_add(ms * 1000000);
}

void Clock::SetRate(double rate)
{
    if (rate > 0)
        g_rate.store(rate);
}

}  // namespace play
