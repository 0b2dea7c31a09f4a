// The thread-safe call path's speed:
//   Recalculation: a sheet of 10000 independent cells bn_Work(n), each some 50 µs of work in a
//                  thread-safe function, evaluated by xllhost with --threads 1 and --threads 2 in
//                  the same iteration. "threads1_ms", "threads2_ms" (wall-clock, as the cores
//                  work at once) and "speedup", their ratio: 1.8 or more on two free cores.
//   PathCost:      a 3 x 3 inverse (as MatrixToolbox computes it) through the thread-safe call path
//                  on a calculation thread and through the other one on the main thread, each end
//                  to end through the stand-in Excel, over the inverse alone: "threadsafe_ratio"
//                  and "shared_ratio" (both goals: within 3).
// Medians over the iterations. The benchmark's add-in is looked for beside this program.
#include "ArgumentRecord.h"
#include "ExcelStandIn.h"
#include "ThreadSafeWork.h"
#include "XllHostProgram.h"

#include <zep/XlOpenClose.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern "C" void* XLCALL_STDCALL xlbn_InverseThreadSafe(void*);
extern "C" void* XLCALL_STDCALL xlbn_InverseShared(void*);

namespace {

using Clock = std::chrono::steady_clock;

std::string addInPath;  // the benchmark's add-in, beside this program

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::string WorkSheet() {
    const std::filesystem::path path = std::filesystem::temp_directory_path() / "zep_threads_bench.sheet";
    std::ofstream sheet(path);
    for (int row = 1; row <= 10000; ++row) sheet << 'A' << row << " = bn_Work(" << row << ")\n";
    return path.string();
}

double SecondsOfXllHost(const std::string& threads, const std::string& sheet) {
    std::ostringstream out, err;
    const auto start = Clock::now();
    const int status = xlhost::runXllHost({"--threads", threads, addInPath, sheet}, out, err);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (status != 0) throw std::runtime_error("xllhost failed: " + err.str());
    return seconds;
}

void Recalculation(benchmark::State& state) {
    const std::string sheet = WorkSheet();
    std::vector<double> one, two, speedups;
    for (auto _ : state) {
        const double oneThread = SecondsOfXllHost("1", sheet);
        const double twoThreads = SecondsOfXllHost("2", sheet);
        one.push_back(oneThread * 1e3);
        two.push_back(twoThreads * 1e3);
        speedups.push_back(oneThread / twoThreads);
    }
    state.counters["threads1_ms"] = Median(one);
    state.counters["threads2_ms"] = Median(two);
    state.counters["speedup"] = Median(speedups);
}
BENCHMARK(Recalculation)->Iterations(5)->Unit(benchmark::kMillisecond);

void PathCost(benchmark::State& state) {
    xlhost::ExcelStandIn host("12.0");
    xlAutoOpen();
    xlhost::ArgumentRecord<xlhost::Layout12> matrix(
        xlhost::Value::array(3, 3,
                             {xlhost::Value::number(4), xlhost::Value::number(1), xlhost::Value::number(2),
                              xlhost::Value::number(1), xlhost::Value::number(3), xlhost::Value::number(0),
                              xlhost::Value::number(2), xlhost::Value::number(0), xlhost::Value::number(5)}));
    NumericMatrix numbers(3, 3);
    const double values[3][3] = {{4, 1, 2}, {1, 3, 0}, {2, 0, 5}};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) numbers[i][j] = values[i][j];
    constexpr int batch = 2000;
    const auto time = [](auto step) {
        const auto start = Clock::now();
        for (int i = 0; i < batch; ++i) step();
        return std::chrono::duration<double>(Clock::now() - start).count() / batch;
    };
    std::vector<double> safeRatios, sharedRatios, alone;
    for (auto _ : state) {
        const double work = time([&] { benchmark::DoNotOptimize(benchwork::Inverse(numbers)); });
        double safe = 0;  // on a calculation thread, where Excel calls thread-safe functions
        std::thread([&] {
            const xlhost::ExcelStandIn::ThreadSafeScope threadSafe;
            safe = time([&] { benchmark::DoNotOptimize(xlbn_InverseThreadSafe(matrix.get())); });
        }).join();
        const double shared = time([&] { benchmark::DoNotOptimize(xlbn_InverseShared(matrix.get())); });
        alone.push_back(work * 1e6);
        safeRatios.push_back(safe / work);
        sharedRatios.push_back(shared / work);
        host.clearCalls();
    }
    state.counters["inverse_alone_us"] = Median(alone);
    state.counters["threadsafe_ratio"] = Median(safeRatios);
    state.counters["shared_ratio"] = Median(sharedRatios);
    xlAutoClose();
}
BENCHMARK(PathCost)->Iterations(21);

}  // namespace

int main(int argc, char** argv) {
    addInPath = (std::filesystem::absolute(argv[0]).parent_path() / THREADSAFE_ADDIN_FILE).string();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
