#ifndef BENCH_SAMERUNRATIO_H
#define BENCH_SAMERUNRATIO_H

// An end-to-end call against the work inside it, both timed in the same iteration: each
// iteration times a batch of each side back to back, and "ratio" is the median of the
// iterations' ratios, so that a pause of the machine in one iteration does not move it.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

namespace bench {

inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Both sides run `batch` times per iteration; the end-to-end time is the benchmark's time.
template <class EndToEnd, class Direct>
void Compare(benchmark::State& state, int batch, EndToEnd endToEnd, Direct direct) {
    using Clock = std::chrono::steady_clock;
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
