// What the worksheet call frame costs: each benchmark runs the same work end to end, through
// the stand-in Excel and an exported entry point, and directly, and reports their ratio.
//   transpose: a 1000 x 255 range, the result cut to 255 columns as Excel's arrays are; directly,
//              a plain loop reads the argument records and writes the result records.
//   invert:    a 3 x 3 matrix; directly, Newmat alone.
#include "ExcelStandIn.h"
#include "XlEntryPoints.h"
#include "XlfExcel.h"

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

// Both sides run `batch` times per iteration; the end-to-end time is the benchmark's time.
template <class EndToEnd, class Direct>
void Compare(benchmark::State& state, int batch, EndToEnd endToEnd, Direct direct) {
    double endToEndSeconds = 0;
    double directSeconds = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        for (int i = 0; i < batch; ++i) endToEnd();
        const auto middle = Clock::now();
        for (int i = 0; i < batch; ++i) direct();
        const auto end = Clock::now();
        const double seconds = std::chrono::duration<double>(middle - start).count();
        state.SetIterationTime(seconds);
        endToEndSeconds += seconds;
        directSeconds += std::chrono::duration<double>(end - middle).count();
    }
    const double calls = double(state.iterations()) * batch;
    state.counters["end_to_end_us"] = endToEndSeconds / calls * 1e6;
    state.counters["direct_us"] = directSeconds / calls * 1e6;
    state.counters["ratio"] = endToEndSeconds / directSeconds;
}

// A stand-in Excel of the layout's version with the add-in connected to it.
struct Session {
    explicit Session(const char* version) : host(std::make_unique<xlhost::ExcelStandIn>(version)) {
        zep::XlfExcel::DeleteCurrent();
        zep::XlfExcel::Current();
    }
    ~Session() { zep::XlfExcel::DeleteCurrent(); }

    std::unique_ptr<xlhost::ExcelStandIn> host;
};

Value NumberArray(std::int32_t rows, std::int32_t columns) {
    std::vector<Value> elements;
    elements.reserve(std::size_t(rows) * columns);
    for (std::int32_t i = 0; i < rows * columns; ++i) elements.push_back(Value::number(i * 0.5 + 1));
    return Value::array(rows, columns, std::move(elements));
}

template <class L>
void Transpose(benchmark::State& state, const char* version) {
    using Record = typename L::Record;
    constexpr std::int32_t rows = 1000;
    constexpr std::int32_t columns = 255;
    Session session(version);
    xlhost::ArgumentRecord<L> argument(NumberArray(rows, columns));

    // The direct side: the result's rows are the argument's columns, its columns its first 255 rows.
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
    Compare(state, 1, [&] { benchmark::DoNotOptimize(xlmtrx_Transpose(argument.get())); }, direct);
}

template <class L>
void Invert(benchmark::State& state, const char* version) {
    Session session(version);
    const double values[] = {4, 7, 2, 3, 6, 1, 2, 5, 3};
    xlhost::ArgumentRecord<L> argument(
        Value::array(3, 3, {Value::number(4), Value::number(7), Value::number(2), Value::number(3), Value::number(6),
                            Value::number(1), Value::number(2), Value::number(5), Value::number(3)}));
    double inverse[9];
    const auto direct = [&] {
        NEWMAT::Matrix a(3, 3);
        a << values;
        const NEWMAT::Matrix b = a.i();
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) inverse[i * 3 + j] = b(i + 1, j + 1);
        benchmark::DoNotOptimize(inverse);
    };
    Compare(state, 1000, [&] { benchmark::DoNotOptimize(xlmtrx_Invert(argument.get())); }, direct);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    // Excel 12 before Excel 4: each version's value strategy is built once per process.
    benchmark::RegisterBenchmark("Transpose1000x255/Excel12", Transpose<xlhost::Layout12>, "12.0")
        ->UseManualTime()->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Invert3x3/Excel12", Invert<xlhost::Layout12>, "12.0")
        ->UseManualTime()->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("Transpose1000x255/Excel4", Transpose<xlhost::Layout4>, "16.0")
        ->UseManualTime()->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Invert3x3/Excel4", Invert<xlhost::Layout4>, "16.0")
        ->UseManualTime()->Unit(benchmark::kMicrosecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
