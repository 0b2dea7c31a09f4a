#ifndef BENCH_SAMERUNRATIO_H
#define BENCH_SAMERUNRATIO_H

// An end-to-end call against the work inside it, both timed in the same iteration: each
// iteration times a batch of each side back to back, and "ratio" is the median of the
// iterations' ratios, so that a pause of the machine in one iteration does not move it.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <vector>

namespace bench {

// The calling thread's processor time, for single-threaded work on a machine shared with other
// jobs: unlike the wall clock it does not count the time the thread waits for a core.
struct ThreadCpuClock {
    using duration = std::chrono::nanoseconds;
    using rep = duration::rep;
    using period = duration::period;
    using time_point = std::chrono::time_point<ThreadCpuClock>;
    static constexpr bool is_steady = true;
    static time_point now() {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return time_point(std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec));
    }
};

inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Both sides run `batch` times per iteration; the end-to-end time is the benchmark's time.
template <class Clock = std::chrono::steady_clock, class EndToEnd, class Direct>
void Compare(benchmark::State& state, int batch, EndToEnd endToEnd, Direct direct) {
    std::vector<double> endToEndSeconds, directSeconds, ratios;
    for (auto _ : state) {
        const auto start = Clock::now();
        for (int i = 0; i < batch; ++i) endToEnd();
        const auto middle = Clock::now();
        for (int i = 0; i < batch; ++i) direct();
        const auto end = Clock::now();
        const double endToEndTime = std::chrono::duration<double>(middle - start).count();
        const double directTime = std::chrono::duration<double>(end - middle).count();
        state.SetIterationTime(endToEndTime);
        endToEndSeconds.push_back(endToEndTime / batch);
        directSeconds.push_back(directTime / batch);
        ratios.push_back(endToEndTime / directTime);
    }
    state.counters["end_to_end_us"] = Median(endToEndSeconds) * 1e6;
    state.counters["direct_us"] = Median(directSeconds) * 1e6;
    state.counters["ratio"] = Median(ratios);
}

}  // namespace bench

#endif
