// The speed goals of the worksheet calls, each a ratio of an end-to-end call (through the
// stand-in Excel and an exported entry point) to the work no implementation can skip, both
// timed in the same run:
//   P1 Invert200x200:     xlmtrx_Invert of a 200 x 200 range / the same inverse by Newmat alone.
//   P2 Transpose1000x255: xlmtrx_Transpose of a 1000 x 255 range / a plain loop that reads the
//                         records into doubles and writes the transposed records; also ns per cell.
//   P3 Invert3x3:         xlmtrx_Invert of a 3 x 3 range / Newmat's 3 x 3 inverse alone; also how
//                         often a call takes the named lock from the kernel, what one take and
//                         release of that lock costs alone ("lock_ratio": it over Newmat's), and
//                         what the function-wizard check costs alone ("wizard_us").
// Both are timed as SameRunRatio.h says.
#include "ExcelStandIn.h"
#include "SameRunRatio.h"
#include "XlEntryPoints.h"

#include <zep/XlfExcel.h>

#include <benchmark/benchmark.h>
#include <newmat/newmat.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using xlhost::Value;

// What one run of `step` costs alone: the median of 21 rounds of 100.
template <class Step>
double MedianMicroseconds(Step step) {
    std::vector<double> seconds;
    for (int round = 0; round < 21; ++round) {
        const auto start = Clock::now();
        for (int i = 0; i < 100; ++i) step();
        seconds.push_back(std::chrono::duration<double>(Clock::now() - start).count() / 100);
    }
    return bench::Median(seconds) * 1e6;
}

// A stand-in Excel of the layout's version with the add-in connected to it.
struct Session {
    explicit Session(const char* version) : host(std::make_unique<xlhost::ExcelStandIn>(version)) {
        zep::XlfExcel::DeleteCurrent();
        zep::XlfExcel::Current();
    }
    ~Session() { zep::XlfExcel::DeleteCurrent(); }

    // The stand-in logs every call into it for tests to inspect, which Excel does not; emptied
    // after each call, the log costs what one call's entry costs instead of growing without end.
    void EndCall() { host->clearCalls(); }

    std::unique_ptr<xlhost::ExcelStandIn> host;
};

Value ArrayOf(std::int32_t rows, std::int32_t columns, const std::vector<double>& numbers) {
    std::vector<Value> elements;
    elements.reserve(numbers.size());
    for (const double number : numbers) elements.push_back(Value::number(number));
    return Value::array(rows, columns, std::move(elements));
}

// A well-conditioned n x n matrix, row by row: small entries and a dominant diagonal.
std::vector<double> InvertibleMatrix(int n) {
    std::vector<double> numbers(std::size_t(n) * n);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) numbers[std::size_t(i) * n + j] = i == j ? n + 1.0 : ((i * 7 + j * 13) % 11) / 11.0;
    return numbers;
}

template <class L>
void Transpose(benchmark::State& state, const char* version) {
    using Record = typename L::Record;
    constexpr std::int32_t rows = 1000;
    constexpr std::int32_t columns = 255;
    Session session(version);
    std::vector<double> values(std::size_t(rows) * columns);
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = double(i) * 0.5 + 1;
    xlhost::ArgumentRecord<L> argument(ArrayOf(rows, columns, values));

    // The direct side: the result's rows are the argument's columns, its columns its first 255
    // rows, as Excel's arrays are cut.
    constexpr std::int32_t resultColumns = std::min(rows, 255);
    std::vector<double> numbers(std::size_t(rows) * columns);
    std::vector<Record> elements(std::size_t(columns) * resultColumns);
    Record result{};
    const auto direct = [&] {
        const Record* in = argument.get()->val.array.lparray;
        for (std::size_t i = 0; i < numbers.size(); ++i) numbers[i] = in[i].val.num;
        for (std::int32_t i = 0; i < columns; ++i)
            for (std::int32_t j = 0; j < resultColumns; ++j) {
                Record& out = elements[std::size_t(i) * resultColumns + j];
                out.val.num = numbers[std::size_t(j) * columns + i];
                out.xltype = xltypeNum;
            }
        result.val.array.lparray = elements.data();
        result.val.array.rows = columns;
        result.val.array.columns = resultColumns;
        result.xltype = xltypeMulti;
        benchmark::DoNotOptimize(result);
        benchmark::ClobberMemory();
    };
    bench::Compare(
        state, 1,
        [&] {
            benchmark::DoNotOptimize(xlmtrx_Transpose(argument.get()));
            session.EndCall();
        },
        direct);
    state.counters["end_to_end_ns_per_cell"] = state.counters["end_to_end_us"] * 1e3 / (double(rows) * columns);
    state.counters["direct_ns_per_cell"] = state.counters["direct_us"] * 1e3 / (double(rows) * columns);
}

// xlmtrx_Invert of an n x n range against Newmat loading, inverting and giving back the numbers.
template <class L>
void Invert(benchmark::State& state, const char* version, int n, int batch) {
    Session session(version);
    const std::vector<double> values = InvertibleMatrix(n);
    xlhost::ArgumentRecord<L> argument(ArrayOf(n, n, values));
    std::vector<double> inverse(values.size());
    const auto direct = [&] {
        NEWMAT::Matrix a(n, n);
        a << values.data();
        const NEWMAT::Matrix b = a.i();
        std::copy(b.Store(), b.Store() + values.size(), inverse.begin());
        benchmark::DoNotOptimize(inverse.data());
        benchmark::ClobberMemory();
    };
    zep::XlfExcel& excel = zep::XlfExcel::Current();
    const std::uint64_t locksBefore = excel.LockAcquisitions();
    std::uint64_t calls = 0;
    bench::Compare(
        state, batch,
        [&] {
            benchmark::DoNotOptimize(xlmtrx_Invert(argument.get()));
            session.EndCall();
            ++calls;
        },
        direct);
    state.counters["locks_per_call"] = double(excel.LockAcquisitions() - locksBefore) / double(calls);
    // What one take and release of the named lock costs alone, against the same direct work: the
    // floor under a call's ratio while each call takes the lock from the kernel once.
    state.counters["lock_us"] = MedianMicroseconds([&] { const zep::XlfExcel::TempLockHold hold(excel); });
    state.counters["lock_ratio"] = state.counters["lock_us"] / state.counters["direct_us"];
    // The function-wizard check every call makes: a call into Excel and a walk over the windows.
    state.counters["wizard_us"] = MedianMicroseconds([&] {
        benchmark::DoNotOptimize(excel.InFunctionWizard());
        session.EndCall();
    });
}

template <class L>
void Invert200x200(benchmark::State& state, const char* version) {
    Invert<L>(state, version, 200, 1);
}

template <class L>
void Invert3x3(benchmark::State& state, const char* version) {
    Invert<L>(state, version, 3, 1000);
}

void Register(const char* name, void (*run)(benchmark::State&, const char*), const char* version,
              benchmark::TimeUnit unit) {
    benchmark::RegisterBenchmark(name, run, version)->UseManualTime()->Unit(unit)->MinTime(0.5);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    // Excel 12 before Excel 4: each version's value strategy is built once per process.
    Register("P1_Invert200x200/Excel12", Invert200x200<xlhost::Layout12>, "12.0", benchmark::kMillisecond);
    Register("P2_Transpose1000x255/Excel12", Transpose<xlhost::Layout12>, "12.0", benchmark::kMillisecond);
    Register("P3_Invert3x3/Excel12", Invert3x3<xlhost::Layout12>, "12.0", benchmark::kMicrosecond);
    Register("P1_Invert200x200/Excel4", Invert200x200<xlhost::Layout4>, "11.0", benchmark::kMillisecond);
    Register("P2_Transpose1000x255/Excel4", Transpose<xlhost::Layout4>, "11.0", benchmark::kMillisecond);
    Register("P3_Invert3x3/Excel4", Invert3x3<xlhost::Layout4>, "11.0", benchmark::kMicrosecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
