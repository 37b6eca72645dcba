// Timing shared by the kernel benchmarks: batches of calls on data resident in L1.
#pragma once
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <vector>

namespace kbench {

constexpr int kBatch = 64;       // blocks or edges per timed batch, all resident in L1
constexpr int kRepetitions = 5;  // the median is printed

using Clock = std::chrono::steady_clock;

// Runs `batch` (kBatch calls) `rounds` times after `reset`, which is not timed; returns the
// median over the repetitions of nanoseconds per call.
inline double time_per_call(int rounds, const std::function<void()> &reset, const std::function<void()> &batch)
{
    std::vector<double> per_call;
    for (int rep = 0; rep < kRepetitions; ++rep) {
        Clock::duration spent{};
        for (int r = 0; r < rounds; ++r) {
            reset();
            const auto start = Clock::now();
            batch();
            spent += Clock::now() - start;
        }
        per_call.push_back(std::chrono::duration<double, std::nano>(spent).count() / (double(rounds) * kBatch));
    }
    std::sort(per_call.begin(), per_call.end());
    return per_call[per_call.size() / 2];
}

inline void report(const char *name, double portable, double ssse3)
{
    std::printf("%-34s %9.1f %9.1f %7.2fx\n", name, portable, ssse3, ssse3 > 0 ? portable / ssse3 : 0.0);
}

void bench_mc(int rounds, std::mt19937 &rng);
void bench_intra(int rounds, std::mt19937 &rng);

} // namespace kbench
