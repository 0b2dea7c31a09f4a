// Two add-ins in one process, as Excel runs them: MatrixFunctions, whose functions are not
// thread-safe (the shared temporary memory under "zep_mutex"), called on the main thread while
// this program's thread-safe function is called on several calculation threads at once. Every
// result is checked as Excel copies it, and the stand-in's memory ledger must end empty.
#include <zep/WorksheetFunction.h>
#include <zep/XlOpenClose.h>

#include "ExcelStandIn.h"
#include "WinApi.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

ZEP_FUNCTION(xlzt_Scaled, "zt_Scaled", "Each number times a factor", "Zep tests", zep::ThreadSafe,
             (zep::MatrixArgument, numbers, "numbers"), (zep::NumberArgument, factor, "the factor")) {
    for (std::uint32_t i = 0; i < numbers.rows(); ++i)
        for (std::uint32_t j = 0; j < numbers.columns(); ++j) numbers[i][j] *= factor;
    return numbers;
}

namespace {

using xlhost::ArgumentRecord;
using xlhost::Layout12;
using xlhost::Value;

typedef int(XLCALL_STDCALL* AutoFunction)();
typedef void*(XLCALL_STDCALL* OneRecord)(void*);

template <typename Function>
Function Export(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

Value Copied(void* record) {
    if (record == nullptr) return Value::invalid(0, "null result");
    return xlhost::RecordCodec<Layout12>::decode(*static_cast<const XLOPER12*>(record));
}

// rows x columns numbered from `first`, row by row; transposed when asked.
Value Numbered(int rows, int columns, double first, double factor = 1, bool transposed = false) {
    std::vector<Value> cells;
    for (int i = 0; i < (transposed ? columns : rows); ++i)
        for (int j = 0; j < (transposed ? rows : columns); ++j)
            cells.push_back(Value::number((first + (transposed ? j * columns + i : i * columns + j)) * factor));
    return transposed ? Value::array(columns, rows, cells) : Value::array(rows, columns, cells);
}

TEST(TwoAddInsOnThreads, EveryResultIsRightAndNoMemoryIsLeft) {
    xlhost::ExcelStandIn host("16.0");
    ASSERT_EQ(1, xlAutoOpen());
    const HMODULE matrixFunctions = LoadLibraryA(MATRIXFUNCTIONS_FILE);
    ASSERT_NE(nullptr, matrixFunctions) << MATRIXFUNCTIONS_FILE;
    ASSERT_EQ(1, Export<AutoFunction>(matrixFunctions, "xlAutoOpen")());
    const auto transpose = Export<OneRecord>(matrixFunctions, "xlmtrx_Transpose");
    ASSERT_NE(nullptr, transpose);

    constexpr int threads = 4;
    constexpr int calls = 1000;
    std::atomic<int> wrong{0};
    std::vector<std::thread> calculation;
    for (int t = 0; t < threads; ++t) {
        calculation.emplace_back([&, t] {
            const xlhost::ExcelStandIn::ThreadSafeScope safe;
            for (int call = 0; call < calls; ++call) {
                const int rows = 1 + call % 7, columns = 1 + (call + t) % 5;
                ArgumentRecord<Layout12> numbers(Numbered(rows, columns, call));
                void* result = xlzt_Scaled(numbers.get(), t + 2.0);
                if (Copied(result) != Numbered(rows, columns, call, t + 2)) ++wrong;
            }
        });
    }
    for (int call = 0; call < calls; ++call) {
        const int rows = 1 + call % 6, columns = 2 + call % 3;
        ArgumentRecord<Layout12> numbers(Numbered(rows, columns, -call));
        if (Copied(transpose(numbers.get())) != Numbered(rows, columns, -call, 1, true)) ++wrong;
    }
    for (std::thread& thread : calculation) thread.join();
    EXPECT_EQ(0, wrong.load());

    Export<AutoFunction>(matrixFunctions, "xlAutoClose")();
    xlAutoClose();
    EXPECT_EQ(0u, host.checkForLeaks());
    EXPECT_TRUE(host.faults().empty()) << host.faults();
}

}  // namespace
