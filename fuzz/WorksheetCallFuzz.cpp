// One worksheet call per input, through the stand-in Excel: the input picks one of the functions
// the add-in module registered, fills some cells of a fresh Excel, and gives the argument records
// and the number. The record layout is the program's (FUZZ_EXCEL_VERSION), so each layout keeps a
// corpus of its own.
// Any call that returns a record Excel cannot read, keeps or misfrees Excel memory, or writes
// to an argument aborts with what went wrong; the sanitizers catch the rest.
#include "WorksheetCallCheck.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using xlhost::Area;
using xlhost::SheetId;
using xlhost::Value;

#if FUZZ_EXCEL_VERSION == 12
using L = xlhost::Layout12;
#else
using L = xlhost::Layout4;
#endif

// Shapes stay small enough for thousands of calls a second; the battery covers the largest ones.
constexpr std::int32_t maxSide = 300;
constexpr std::int64_t maxElements = 4096;

// The input as a stream of bytes that reads as zeros once it runs out.
class ByteReader {
public:
    ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::uint8_t Byte() {
        if (size_ == 0) return 0;
        --size_;
        return *data_++;
    }
    std::uint16_t Word() { return static_cast<std::uint16_t>(Byte() | Byte() << 8); }
    double Double() {
        std::uint64_t bits = 0;
        for (int i = 0; i < 8; ++i) bits |= std::uint64_t(Byte()) << (8 * i);
        double number;
        std::memcpy(&number, &bits, sizeof number);
        return number;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

constexpr double inf = __builtin_inf();

double Number(ByteReader& in) {
    static const double chosen[] = {0,
                                    1,
                                    2,
                                    3,
                                    -1,
                                    0.5,
                                    2.5,
                                    __builtin_nan(""),
                                    inf,
                                    -inf,
                                    1e300,
                                    -1e-300,
                                    -2147483648.0,
                                    2147483648.0,
                                    4294967296.0,
                                    -0.0};
    const std::uint8_t selector = in.Byte();
    constexpr std::size_t count = sizeof chosen / sizeof chosen[0];
    return selector < 2 * count ? chosen[selector % count] : in.Double();
}

Value Text(ByteReader& in) {
    const std::size_t length = in.Word() % (L::maxTextUnits + 1);
    std::u16string units;
    for (std::size_t i = 0; i < length; ++i) {
        std::uint8_t unit = in.Byte();
        units.push_back(unit == 0xFF ? in.Word() : char16_t(unit == 0 ? '1' : unit));
    }
    return Value::text(std::move(units));
}

Value Error(ByteReader& in) {
    static const int codes[] = {xlerrNull, xlerrDiv0, xlerrValue, xlerrRef,
                                xlerrName, xlerrNum,  xlerrNA,    xlerrGettingData};
    return Value::error(codes[in.Byte() % (sizeof codes / sizeof codes[0])]);
}

Value Integer(ByteReader& in) {
    const auto word = static_cast<std::int16_t>(in.Word());
    return Value::integer(word);  // a 16-bit value fits both layouts
}

// A value that can stand in an array or a cell; `anyKind` adds the ones only arrays can carry.
Value Element(ByteReader& in, bool anyKind) {
    switch (in.Byte() % (anyKind ? 7 : 5)) {
        case 0:
            return Value::number(Number(in));
        case 1:
            return Text(in);
        case 2:
            return Value::boolean(in.Byte() & 1);
        case 3:
            return Error(in);
        case 4:
            return Value::nil();
        case 5:
            return Integer(in);
        default:
            return Value::missing();
    }
}

Area SmallArea(ByteReader& in) {
    Area area;
    area.firstRow = in.Byte() % 32;
    area.firstColumn = in.Byte() % 32;
    area.lastRow = area.firstRow + in.Byte() % 32;
    area.lastColumn = area.firstColumn + in.Byte() % 32;
    return area;
}

Value Argument(ByteReader& in, SheetId sheet) {
    switch (in.Byte() % 12) {
        case 0:
            return Value::nil();
        case 1:
            return Value::missing();
        case 2:
            return Value::boolean(in.Byte() & 1);
        case 3:
            return Error(in);
        case 4:
            return Integer(in);
        case 5:
            return Text(in);
        case 6:
        case 7:
            return Value::number(Number(in));
        case 8: {
            const std::int32_t rows = 1 + in.Word() % maxSide;
            std::int32_t columns = 1 + in.Byte() % (L::layout == xlhost::Layout::Excel4 ? 256 : maxSide);
            if (std::int64_t(rows) * columns > maxElements) columns = std::int32_t(maxElements / rows);
            std::vector<Value> elements;
            for (std::int32_t i = 0; i < rows * columns; ++i) elements.push_back(Element(in, true));
            return Value::array(rows, columns, std::move(elements));
        }
        case 9:
            return Value::sheetReference(SmallArea(in));
        case 10: {
            std::vector<Area> areas(1 + in.Byte() % 3);
            for (Area& area : areas) area = SmallArea(in);
            return Value::reference(sheet, std::move(areas));
        }
        default:
            return Value::reference(sheet + 1 + in.Byte() % 2, SmallArea(in));  // no such sheet
    }
}

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "%s\n", what.c_str());
    std::abort();
}

// The add-in, opened once for the process under the first input's Excel: what it registered there
// is what the inputs pick from. Registering anew for every input would cost two thirds of the run.
const worksheetcheck::RegisteredFunctions& Functions(worksheetcheck::AddIn& addIn, xlhost::ExcelStandIn& host) {
    static const worksheetcheck::RegisteredFunctions functions = [&] {
        if (addIn.open() != 1) {
            std::ostringstream faults;
            faults << host.faults();
            Fail("the add-in did not open:\n" + faults.str());
        }
        worksheetcheck::RegisteredFunctions registered = addIn.registered(host);
        if (registered.covered.empty() || !registered.uncovered.empty())
            Fail("the add-in registered no function, or one the fuzzer cannot call: " +
                 (registered.uncovered.empty() ? std::string() : registered.uncovered.front()));
        return registered;
    }();
    return functions;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // xlAutoClose writes a diagnostic line for every input; only the add-in writes to std::cerr.
    std::cerr.rdbuf(nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static worksheetcheck::AddIn addIn(MATRIXFUNCTIONS_FILE);
    ByteReader in(data, size);
    const std::uint8_t pick = in.Byte();
    const std::uint8_t flags = in.Byte();

    xlhost::ExcelStandIn host(xltest::VersionText<L>());
    const worksheetcheck::RegisteredFunctions& functions = Functions(addIn, host);
    const worksheetcheck::EntryPoint& entry = functions.covered[pick % functions.covered.size()];
    const SheetId sheet = host.sheets().activeSheet();
    for (int cells = in.Byte() % 16; cells > 0; --cells) {
        const std::int32_t row = in.Byte() % 32;
        const std::int32_t column = in.Byte() % 32;
        host.sheets().setCell(sheet, row, column, Element(in, false));
    }
    if (flags & 1) host.windows().openFunctionWizard();

    // Two records at least, whatever the function takes, so that an input means the same call
    // for every function of up to two records.
    std::vector<std::unique_ptr<xlhost::ArgumentRecord<L>>> records;
    for (std::size_t i = 0; i < std::max<std::size_t>(entry.records(), 2); ++i)
        records.push_back(std::make_unique<xlhost::ArgumentRecord<L>>(Argument(in, sheet)));
    const double number = Number(in);

    std::vector<void*> passed;
    std::vector<const xlhost::ArgumentRecord<L>*> arguments;
    for (const auto& record : records) {
        if (passed.size() < entry.records()) passed.push_back(record->get());
        arguments.push_back(record.get());
    }
    const void* result = entry.call(passed, number);
    const std::string problems = worksheetcheck::CallProblems<L>(host, result, arguments);
    // Closing drops the add-in's connection to this Excel: the next input's call connects afresh
    // to its own, and finds all temporary memory given back.
    addIn.close();
    if (!problems.empty()) {
        std::string call = entry.name + "(";
        for (const auto* argument : arguments) call += describe(argument->value()) + ", ";
        Fail(call + std::to_string(number) + "):\n" + problems);
    }
    return 0;
}
