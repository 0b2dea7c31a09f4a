// What xllhost itself costs on large sheets, next to the add-in's work (the MatrixFunctions module
// of this build, loaded as xllhost loads it):
//   Load:     a sheet file naming a CSV file of 1000 x 1000 numbers (19 MB): read, checked and
//             placed on the sheet. "ns_per_cell".
//   Pass:     mtrx_Row(A1:ALL1000, 1) on that sheet as xllhost evaluates it: the block read into
//             the argument record, the call, the result placed. "ns_per_cell" end to end,
//             "addin_ns_per_cell" the entry point alone on the same record, "host_ns_per_cell" the
//             difference.
//   Print:    a 1000 x 1000 result printed as a block (general format; "/full": shortest exact
//             form) and the sheet printed as CSV. "ns_per_cell".
//   Formulas: a sheet of 100000 formulas mtrx_Determinant(A1:B2) in a 1000 x 100 grid: read,
//             checked and evaluated. "us_per_formula", of which "read_us_per_formula" reading and
//             checking; "addin_us" the entry point alone on a 2 x 2 record, "host_us_per_formula"
//             the difference.
//   Program:  the whole program on the CSV sheet with the formula, and on the formula sheet.
//   Order:    100000 formulas, each reading the cell of the one before, written top to bottom and
//             bottom to top: read and calculated on a stand-in function (the cell read, plus one),
//             the host's own cost. "us_per_formula"; the two should be within 1.5 times.
//   Change:   1000 independent chains of 100 such formulas; one chain's input set and the sheet
//             recalculated. "us" per change, "calculated" the formulas it calculated (100: the
//             chain alone), "full_us" the first calculation of the whole sheet for comparison.
// Each iteration is timed alone; the counters are medians over the iterations of the processor
// time, as this machine is shared.
#include "AddInModule.h"
#include "ArgumentRecord.h"
#include "ExcelStandIn.h"
#include "FormulaEvaluator.h"
#include "Recalculation.h"
#include "ResultPrinter.h"
#include "SheetEvaluator.h"
#include "SheetFile.h"
#include "WinApi.h"
#include "XllHostProgram.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace xlhost;

constexpr std::int32_t blockSide = 1000;
constexpr double blockCells = double(blockSide) * blockSide;
constexpr int formulaRows = 1000;
constexpr int formulaColumns = 100;
constexpr double formulaCount = double(formulaRows) * formulaColumns;
const SheetLimits limits = SheetLimits::forExcel(12);

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Processor time of this process: the counters leave out the time spent waiting for a core, as
// this machine is shared with other work (the Time column is the time that passed).
double ProcessorSeconds() {
    return double(std::clock()) / CLOCKS_PER_SEC;
}

// Times `step` alone in every iteration (`prepare` runs untimed before it); the median processor
// seconds.
template <class Prepare, class Step>
double TimeEach(benchmark::State& state, Prepare prepare, Step step) {
    std::vector<double> seconds;
    for (auto _ : state) {
        prepare();
        const auto start = Clock::now();
        const double processorStart = ProcessorSeconds();
        step();
        seconds.push_back(ProcessorSeconds() - processorStart);
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
    return Median(seconds);
}

template <class Step>
double TimeEach(benchmark::State& state, Step step) {
    return TimeEach(
        state, [] {}, step);
}

// The median processor seconds of `rounds` runs of `step`.
template <class Step>
double MedianSeconds(int rounds, Step step) {
    std::vector<double> seconds;
    for (int round = 0; round < rounds; ++round) {
        const double start = ProcessorSeconds();
        step();
        seconds.push_back(ProcessorSeconds() - start);
    }
    return Median(seconds);
}

// Output that costs only its formatting, as the printing is measured, not the terminal.
class DiscardingBuffer : public std::streambuf {
protected:
    int overflow(int c) override { return c; }
    std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
};

const std::string& AddInFile() {
    static const std::string file = MATRIX_ADDIN_PATH;
    return file;
}

// The input files, written once into a folder of their own.
struct Files {
    Files() : folder(std::filesystem::temp_directory_path() / "xllhost_bench") {
        std::filesystem::create_directories(folder);
        std::mt19937_64 random(13);
        std::uniform_real_distribution<double> numbers(-1000.0, 1000.0);
        std::string csv;
        char digits[32];
        for (std::int32_t r = 0; r < blockSide; ++r) {
            for (std::int32_t c = 0; c < blockSide; ++c) {
                if (c > 0) csv += ',';
                csv.append(digits, std::to_chars(digits, digits + sizeof digits, numbers(random)).ptr);
            }
            csv += '\n';
        }
        write("block.csv", csv);
        blockSheet = write("block.sheet", "A1 = @block.csv\n");
        passSheet = write("pass.sheet", "A1 = @block.csv\nALM1 = mtrx_Row(A1:ALL1000, 1)\n");
        std::string formulas = "A1:B2 = 4, 2; 2, 3\n";
        for (int r = 0; r < formulaRows; ++r)
            for (int c = 0; c < formulaColumns; ++c) formulas += cellName(r, c + 2) + " = mtrx_Determinant(A1:B2)\n";
        formulaSheet = write("formulas.sheet", formulas);
    }
    ~Files() { std::filesystem::remove_all(folder); }

    std::string write(const std::string& name, const std::string& text) const {
        std::ofstream(folder / name, std::ios::binary) << text;
        return (folder / name).string();
    }

    std::filesystem::path folder;
    std::string blockSheet, passSheet, formulaSheet;
};

const Files& InputFiles() {
    static const Files files;
    return files;
}

// The add-in opened on a stand-in Excel, as xllhost runs it.
struct Session {
    Session() : addIn(AddInFile()) {
        host.setAddInPath(addIn.windowsPath());
        host.setExportLookup([this](const std::string& procedure) { return addIn.exports(procedure); });
        addIn.open();
    }
    ~Session() {
        addIn.close();
        host.checkForLeaks();
        host.clearFaults();
    }

    // A formula's cells as xllhost evaluates them: the active sheet's, its functions the add-in's.
    struct Cells : FormulaContext {
        explicit Cells(Session& owner) : session(owner) {}
        Value reference(const FormulaNode& node) override { return Value::sheetReference(node.area); }
        Value cells(const Area& area) override {
            return *session.host.sheets().valueOf(session.host.sheets().activeSheet(), area);
        }
        Value name(const FormulaNode&) override { return Value::error(xlerrName); }
        std::optional<Value> call(const std::string& function, const std::vector<FormulaArgument>& arguments) override {
            return session.addIn.call(*session.host.registry().find(function), arguments, session.host).shown;
        }
        Session& session;
    };
    EvaluatedSheet evaluate(const SheetFile& sheet) {
        return evaluateSheet(sheet, host.sheets(), limits, [this](const SheetEntry& formula) {
            Cells cells(*this);
            return evaluateFormula(*formula.formula, cells);
        });
    }
    // The module is loaded already; this takes one more reference to it, as AddInModule keeps its own.
    FARPROC entryPoint(const char* name) const {
        return GetProcAddress(LoadLibraryA(std::filesystem::absolute(AddInFile()).string().c_str()), name);
    }

    ExcelStandIn host;
    AddInModule addIn;
};

SheetFile ParsedSheet(const std::string& text) {
    std::istringstream in(text);
    return parseSheet(in, InputFiles().folder.string() + "/inline.sheet", limits);
}

Value BlockValue() {
    std::vector<Value> elements;
    elements.reserve(std::size_t(blockCells));
    for (std::int32_t i = 0; i < blockSide * blockSide; ++i) elements.push_back(Value::number(i % 977 * 0.25 - 60));
    return Value::array(blockSide, blockSide, std::move(elements));
}

// The entry point alone, as AddInModule calls it, its result given back as xllhost gives it back.
template <class... Arguments>
void CallAlone(FARPROC entry, FARPROC autoFree, Arguments... arguments) {
    auto* result =
        reinterpret_cast<XLOPER12*(XLCALL_STDCALL*)(Arguments...)>(reinterpret_cast<void (*)()>(entry))(arguments...);
    if (result != nullptr && (result->xltype & xlbitDLLFree) != 0)
        reinterpret_cast<void(XLCALL_STDCALL*)(XLOPER12*)>(reinterpret_cast<void (*)()>(autoFree))(result);
    benchmark::DoNotOptimize(result);
}

void Load(benchmark::State& state) {
    const Files& files = InputFiles();
    const double seconds = TimeEach(state, [&] {
        SheetModel sheets;
        const SheetFile sheet = readSheetFile(files.blockSheet, limits);
        benchmark::DoNotOptimize(evaluateSheet(sheet, sheets, limits, [](const SheetEntry&) { return Value::nil(); }));
    });
    state.counters["ns_per_cell"] = seconds * 1e9 / blockCells;
}

void Pass(benchmark::State& state) {
    Session session;
    session.evaluate(readSheetFile(InputFiles().blockSheet, limits));
    const SheetFile formula = ParsedSheet("ALM1 = mtrx_Row(A1:ALL1000, 1)\n");
    const Value blank = Value::array(1, blockSide, std::vector<Value>(blockSide, Value::nil()));
    const SheetId sheet = session.host.sheets().activeSheet();
    const double seconds = TimeEach(
        state, [&] { session.host.sheets().setCells(sheet, 0, blockSide, blank); },
        [&] {
            benchmark::DoNotOptimize(session.evaluate(formula));
            session.host.clearCalls();
        });
    Argument12 block(BlockValue());
    const FARPROC entry = session.entryPoint("xlmtrx_Row");
    const FARPROC autoFree = session.entryPoint("xlAutoFree12");
    const double alone = MedianSeconds(5, [&] {
        CallAlone(entry, autoFree, block.get(), 1.0);
        session.host.clearCalls();
    });
    state.counters["ns_per_cell"] = seconds * 1e9 / blockCells;
    state.counters["addin_ns_per_cell"] = alone * 1e9 / blockCells;
    state.counters["host_ns_per_cell"] = state.counters["ns_per_cell"] - state.counters["addin_ns_per_cell"];
}

void PrintBlock(benchmark::State& state, bool fullPrecision) {
    SheetEntry formula;
    formula.formulaText = "mtrx_Transpose(A1:ALL1000)";
    EvaluatedSheet evaluated;
    evaluated.formulas.push_back(
        FormulaResult{&formula, Area{0, blockSide - 1, 0, blockSide - 1}, BlockValue(), false});
    DiscardingBuffer discard;
    std::ostream out(&discard);
    const double seconds = TimeEach(state, [&] { printFormulaResults(out, evaluated, fullPrecision); });
    state.counters["ns_per_cell"] = seconds * 1e9 / blockCells;
}

void PrintCsv(benchmark::State& state) {
    SheetModel sheets;
    sheets.setCells(sheets.activeSheet(), 0, 0, BlockValue());
    EvaluatedSheet evaluated;
    evaluated.usedArea = Area{0, blockSide - 1, 0, blockSide - 1};
    DiscardingBuffer discard;
    std::ostream out(&discard);
    const double seconds = TimeEach(state, [&] { printCsv(out, evaluated, sheets); });
    state.counters["ns_per_cell"] = seconds * 1e9 / blockCells;
}

void Formulas(benchmark::State& state) {
    std::ostringstream text;
    text << std::ifstream(InputFiles().formulaSheet, std::ios::binary).rdbuf();
    std::unique_ptr<Session> session;
    std::vector<double> readSeconds;
    const double seconds = TimeEach(
        state,
        [&] {
            session.reset();
            session = std::make_unique<Session>();
        },
        [&] {
            const double start = ProcessorSeconds();
            const SheetFile sheet = ParsedSheet(text.str());
            readSeconds.push_back(ProcessorSeconds() - start);
            benchmark::DoNotOptimize(session->evaluate(sheet));
        });
    Argument12 block(Value::array(2, 2, {Value::number(4), Value::number(2), Value::number(2), Value::number(3)}));
    const FARPROC entry = session->entryPoint("xlmtrx_Determinant");
    const FARPROC autoFree = session->entryPoint("xlAutoFree12");
    const double alone = MedianSeconds(21, [&] {
        for (int i = 0; i < 1000; ++i) CallAlone(entry, autoFree, block.get());
        session->host.clearCalls();
    });
    state.counters["us_per_formula"] = seconds * 1e6 / formulaCount;
    state.counters["read_us_per_formula"] = Median(readSeconds) * 1e6 / formulaCount;
    state.counters["addin_us"] = alone * 1e6 / 1000;
    state.counters["host_us_per_formula"] = state.counters["us_per_formula"] - state.counters["addin_us"];
}

// The stand-in formula of the Order and Change sheets: its one cell's number, plus one.
Value NextNumber(const SheetModel& sheets, const SheetEntry& formula) {
    const Area& from = formula.formula->operands[0].area;
    const Value cell = sheets.cell(sheets.activeSheet(), from.firstRow, from.firstColumn);
    return Value::number((cell.kind() == Kind::Number ? cell.number() : 0) + 1);
}

constexpr int chainLength = 100000;

// A1 = 1, then A2 = f(A1) ... in the order asked.
std::string ChainSheet(bool bottomUp) {
    std::vector<std::string> lines{"A1 = 1\n"};
    for (int row = 2; row <= chainLength + 1; ++row)
        lines.push_back("A" + std::to_string(row) + " = f(A" + std::to_string(row - 1) + ")\n");
    if (bottomUp) std::reverse(lines.begin(), lines.end());
    std::string text;
    for (const std::string& line : lines) text += line;
    return text;
}

void Order(benchmark::State& state, bool bottomUp) {
    const std::string text = ChainSheet(bottomUp);
    const auto run = [&] {
        std::istringstream in(text);
        const SheetFile sheet = parseSheet(in, "chain.sheet", limits);
        SheetModel sheets;
        const EvaluatedSheet evaluated = evaluateSheet(
            sheet, sheets, limits, [&sheets](const SheetEntry& formula) { return NextNumber(sheets, formula); });
        if (evaluated.formulas.front().value != Value::number(bottomUp ? chainLength + 1 : 2))
            state.SkipWithError("the chain was calculated out of order");
    };
    // Once untimed, so that the process's heap has grown to the size the sheet needs: the first
    // benchmark of the two would otherwise pay for it alone.
    run();
    const double seconds = TimeEach(state, run);
    state.counters["us_per_formula"] = seconds * 1e6 / chainLength;
}

void Change(benchmark::State& state) {
    constexpr int chains = 1000, links = 100;
    std::string text = "A1:" + cellName(0, chains - 1) + " = 1";
    for (int c = 1; c < chains; ++c) text += ", 1";
    text += "\n";
    for (int row = 1; row <= links; ++row)
        for (int c = 0; c < chains; ++c) text += cellName(row, c) + " = f(" + cellName(row - 1, c) + ")\n";
    std::istringstream in(text);
    const SheetFile sheet = parseSheet(in, "chains.sheet", limits);
    SheetModel sheets;
    sheets.setCells(sheets.activeSheet(), 0, 0, sheet.entries[0].values);
    Recalculation recalculation(
        sheet, sheets, limits, [&sheets](const SheetEntry& formula) { return NextNumber(sheets, formula); }, nullptr);
    std::vector<std::size_t> formulas;
    for (std::size_t i = 1; i < sheet.entries.size(); ++i) formulas.push_back(i);
    const double start = ProcessorSeconds();
    recalculation.enter(formulas);
    const double full = ProcessorSeconds() - start;
    std::size_t calculated = 0;
    int round = 0;
    const double seconds = TimeEach(state, [&] {
        const std::int32_t chain = round++ * 37 % chains;
        sheets.setCell(sheets.activeSheet(), 0, chain, Value::number(round));
        recalculation.changed(Area{0, 0, chain, chain});
        calculated = recalculation.recalculate(false).calculated.size();
    });
    state.counters["us"] = seconds * 1e6;
    state.counters["calculated"] = double(calculated);
    state.counters["full_us"] = full * 1e6;
}

// `perUnit` scales the seconds per unit to the counter's unit.
void Program(benchmark::State& state, const std::string& sheet, double units, double perUnit, const char* counter) {
    DiscardingBuffer discard;
    std::ostream out(&discard);
    std::ostringstream err;
    const double seconds = TimeEach(state, [&] { runXllHost({AddInFile(), sheet}, out, err); });
    if (!err.str().empty()) state.SkipWithError(err.str().c_str());
    state.counters[counter] = seconds * perUnit / units;
}

void ProgramPass(benchmark::State& state) {
    Program(state, InputFiles().passSheet, blockCells, 1e9, "ns_per_cell");
}
void ProgramFormulas(benchmark::State& state) {
    Program(state, InputFiles().formulaSheet, formulaCount, 1e6, "us_per_formula");
}

void Register(const char* name, void (*run)(benchmark::State&), int iterations) {
    benchmark::RegisterBenchmark(name, run)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(iterations);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Register("Load1000x1000", Load, 5);
    Register("Pass1000x1000", Pass, 5);
    Register(
        "PrintBlock1000x1000/general", [](benchmark::State& state) { PrintBlock(state, false); }, 5);
    Register(
        "PrintBlock1000x1000/full", [](benchmark::State& state) { PrintBlock(state, true); }, 5);
    Register("PrintCsv1000x1000", PrintCsv, 5);
    Register("Formulas100000", Formulas, 5);
    Register("Program/pass1000x1000", ProgramPass, 3);
    Register("Program/formulas100000", ProgramFormulas, 3);
    Register(
        "Order100000/top_down", [](benchmark::State& state) { Order(state, false); }, 5);
    Register(
        "Order100000/bottom_up", [](benchmark::State& state) { Order(state, true); }, 5);
    Register("Change1000chains", Change, 21);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
