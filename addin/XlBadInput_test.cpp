// Every function the add-in registers, called with every kind of argument Excel can pass, and
// some it never does, in both record layouts: each call must hand back a record Excel can read,
// and leave Excel's memory and the arguments as they were. The add-in is the module Excel loads,
// opened under the stand-in Excel; the functions are what it registered there, so a new one is
// covered without a word here. What the results say is the end-to-end tests' business.
#include "WorksheetCallCheck.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

using worksheetcheck::EntryPoint;
using xlhost::Area;
using xlhost::Layout12;
using xlhost::Layout4;
using xlhost::SheetId;
using xlhost::Value;

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

Value Text(std::size_t length) {
    return Value::text(std::string(length, 'x'));
}

// A rows x columns block of distinct numbers, or of one element repeated.
Value Block(std::int32_t rows, std::int32_t columns, const Value* only = nullptr) {
    std::vector<Value> elements;
    elements.reserve(std::size_t(rows) * std::size_t(columns));
    for (std::int32_t i = 0; i < rows * columns; ++i)
        elements.push_back(only != nullptr ? *only : Value::number(i % 7 + i / 7 * 0.5));
    return Value::array(rows, columns, std::move(elements));
}

// Where the sheet's cells lie: numbers at the top left, blanks below, a long text further down.
const Area numberBlock{0, 1, 0, 1};
const Area blankBlock{10, 11, 0, 2};
const Area longTextCell{20, 20, 0, 0};
constexpr std::size_t longText = 40000;

struct ArgumentKind {
    std::string name;
    std::function<Value(SheetId sheet)> make;
};

std::vector<ArgumentKind> SmallArguments() {
    std::vector<ArgumentKind> kinds = {
        {"nil", [](SheetId) { return Value::nil(); }},
        {"missing", [](SheetId) { return Value::missing(); }},
        {"TRUE", [](SheetId) { return Value::boolean(true); }},
        {"#N/A", [](SheetId) { return Value::error(xlerrNA); }},
        {"integer", [](SheetId) { return Value::integer(3); }},
        {"text of 0", [](SheetId) { return Text(0); }},
        {"text of 255", [](SheetId) { return Text(255); }},
        {"text of 256", [](SheetId) { return Text(256); }},
        {"number text", [](SheetId) { return Value::text("2.5"); }},
        {"number", [](SheetId) { return Value::number(2.5); }},
        {"NaN", [](SheetId) { return Value::number(nan); }},
        {"+inf", [](SheetId) { return Value::number(inf); }},
        {"-inf", [](SheetId) { return Value::number(-inf); }},
        {"1 x 1", [](SheetId) { return Block(1, 1); }},
        {"1 x 300", [](SheetId) { return Block(1, 300); }},
        {"2 x 2 of NaN and infinities",
         [](SheetId) {
             return Value::array(2, 2, {Value::number(nan), Value::number(inf), Value::number(-inf), Value::number(1)});
         }},
        {"one cell",
         [](SheetId sheet) {
             return Value::reference(sheet, Area{0, 0, 0, 0});
         }},
        {"block of cells", [](SheetId sheet) { return Value::reference(sheet, numberBlock); }},
        {"block on the active sheet", [](SheetId) { return Value::sheetReference(numberBlock); }},
        {"blank cells", [](SheetId sheet) { return Value::reference(sheet, blankBlock); }},
        {"one blank cell",
         [](SheetId) {
             return Value::sheetReference(Area{10, 10, 0, 0});
         }},
        {"cell of a 40,000-character text", [](SheetId sheet) { return Value::reference(sheet, longTextCell); }},
        {"two areas",
         [](SheetId sheet) {
             return Value::reference(sheet, {numberBlock, blankBlock});
         }},
        {"unknown sheet", [](SheetId sheet) { return Value::reference(sheet + 1000, numberBlock); }},
    };
    // Arrays of each element type, the ones Excel never puts in an array included.
    const std::vector<std::pair<std::string, Value>> elements = {
        {"numbers", Value::number(1)},       {"number texts", Value::text("1")},   {"texts", Value::text("x")},
        {"booleans", Value::boolean(false)}, {"errors", Value::error(xlerrDiv0)},  {"nils", Value::nil()},
        {"integers", Value::integer(2)},     {"missing values", Value::missing()},
    };
    for (const auto& element : elements) {
        const Value only = element.second;
        kinds.push_back({"2 x 2 of " + element.first, [only](SheetId) { return Block(2, 2, &only); }});
    }
    kinds.push_back({"array of every element type", [](SheetId) {
                         return Value::array(
                             2, 4,
                             {Value::number(1), Value::text("x"), Value::boolean(true), Value::error(xlerrRef),
                              Value::nil(), Value::integer(-5), Value::missing(), Value::text("")});
                     }});
    return kinds;
}

std::vector<ArgumentKind> LargeArguments() {
    return {
        {"2000 x 255", [](SheetId) { return Block(2000, 255); }},
        {"65,536 x 1", [](SheetId) { return Block(65536, 1); }},
    };
}

const std::vector<double> smallNumbers = {1, 2, 3, 0, -1, 2.5, nan, inf, -inf, 1e300, -2147483648.0};

template <class L>
class BadInput : public testing::Test {
protected:
    using Argument = xlhost::ArgumentRecord<L>;

    static worksheetcheck::AddIn& TheAddIn() {
        static worksheetcheck::AddIn addIn(ADDIN_FILE);
        return addIn;
    }

    void SetUp() override {
        host = std::make_unique<xlhost::ExcelStandIn>(xltest::VersionText<L>());
        ASSERT_EQ(1, TheAddIn().open());
        ASSERT_EQ(0u, host->checkForLeaks());
        ASSERT_TRUE(host->faults().empty()) << host->faults();
        functions = TheAddIn().registered(*host);
        auto& sheets = host->sheets();
        sheet = sheets.activeSheet();
        sheets.setCells(sheet, numberBlock.firstRow, numberBlock.firstColumn,
                        Value::array(2, 2, {Value::number(4), Value::number(7), Value::number(2), Value::number(6)}));
        sheets.setCell(sheet, longTextCell.firstRow, longTextCell.firstColumn, Text(longText));
    }

    void TearDown() override { TheAddIn().close(); }

    // The kinds this layout can carry, built once; Excel cannot send the others in it (an Excel 4
    // text over 255 characters, an array of 65,536 rows), so they are left out.
    std::vector<std::pair<std::string, std::unique_ptr<Argument>>> Build(const std::vector<ArgumentKind>& kinds) {
        std::vector<std::pair<std::string, std::unique_ptr<Argument>>> built;
        for (const ArgumentKind& kind : kinds) {
            const Value value = kind.make(sheet);
            if (xlhost::RecordCodec<L>::blockSize(value, nullptr))
                built.emplace_back(kind.name, std::make_unique<Argument>(value));
            else
                skipped.push_back(kind.name);
        }
        return built;
    }

    void Check(const EntryPoint& entry, const std::string& description, const std::vector<Argument*>& records,
               double number) {
        std::vector<void*> pointers;
        std::vector<const Argument*> arguments;
        for (Argument* record : records) {
            pointers.push_back(record->get());
            arguments.push_back(record);
        }
        void* result = entry.call(pointers, number);
        const std::string problems = worksheetcheck::CallProblems<L>(*host, result, arguments);
        EXPECT_EQ("", problems) << entry.name << "(" << description << ")";
    }

    // Each argument kind in every record position, with each number in the first: the records
    // around it are a plain 2 x 2 block first and a column after that. Where `pairs` is set, a
    // function of several records also gets the kind in all of them at once.
    void CallEveryEntryPoint(const std::vector<ArgumentKind>& kinds, const std::vector<double>& numbers, bool pairs) {
        auto arguments = Build(kinds);
        Argument square(Block(2, 2));
        Argument column(Block(2, 1));
        for (const EntryPoint& entry : functions.covered) {
            const std::size_t records = entry.records();
            for (auto& [name, argument] : arguments) {
                const std::vector<double> used = entry.takesNumber() ? numbers : std::vector<double>{numbers.front()};
                for (std::size_t position = 0; position < std::max<std::size_t>(records, 1); ++position) {
                    std::vector<Argument*> given(records, &column);
                    if (position > 0) given[0] = &square;
                    if (records > 0) given[position] = argument.get();
                    if (position == 0) {
                        for (double number : used)
                            Check(entry, name + ", " + testing::PrintToString(number), given, number);
                    } else {
                        Check(entry, "2 x 2 before " + name, given, 1);
                    }
                }
                if (pairs && records > 1)
                    Check(entry, name + " in every record", std::vector<Argument*>(records, argument.get()), 1);
            }
        }
    }

    std::unique_ptr<xlhost::ExcelStandIn> host;
    worksheetcheck::RegisteredFunctions functions;
    SheetId sheet = 0;
    std::vector<std::string> skipped;
};

using Layouts = testing::Types<Layout12, Layout4>;
TYPED_TEST_SUITE(BadInput, Layouts, xltest::LayoutNames);

TYPED_TEST(BadInput, CoversEveryFunctionTheAddInRegistered) {
    EXPECT_EQ(std::vector<std::string>{}, this->functions.uncovered);
    EXPECT_FALSE(this->functions.covered.empty());
    // Registered for this layout's records, which the calls below pass.
    const std::string oper = TypeParam::layout == xlhost::Layout::Excel12 ? "Q" : "P";
    for (const xlhost::Registration& registration : this->host->registry().registrations())
        EXPECT_EQ(oper, registration.typeText().substr(0, 1)) << registration.procedure();
}

TYPED_TEST(BadInput, EveryEntryPointTakesEveryKindOfArgument) {
    this->CallEveryEntryPoint(SmallArguments(), smallNumbers, true);
    if (TypeParam::layout == xlhost::Layout::Excel12) {
        EXPECT_TRUE(this->skipped.empty()) << testing::PrintToString(this->skipped);
    } else {
        // Nor an array wider than its sheets.
        EXPECT_EQ((std::vector<std::string>{"text of 256", "1 x 300"}), this->skipped);
    }
}

TYPED_TEST(BadInput, EveryEntryPointTakesTheLargestShapes) {
    // 2 picks the singular values: the full left factor of a 2000-row matrix is 2000 x 2000,
    // seconds of work natively and far more under the sanitizers or an emulated Wine.
    this->CallEveryEntryPoint(LargeArguments(), {2}, false);
    if (TypeParam::layout == xlhost::Layout::Excel4) {
        EXPECT_EQ(std::vector<std::string>{"65,536 x 1"}, this->skipped);
    }
}

}  // namespace

namespace {

// The check itself must see each fault it is there for.
TEST(WorksheetCallCheck, FindsUnreadableResultsKeptMemoryAndChangedArguments) {
    using worksheetcheck::ResultProblem;
    EXPECT_EQ("null result", ResultProblem<Layout12>(nullptr));
    // No wider than the grid of an Excel reading the layout (the stand-in builds no wider one).
    EXPECT_EQ("", ResultProblem<Layout12>(xlhost::Argument12(Block(1, 16384)).get()));
    EXPECT_EQ("array of 256 columns", ResultProblem<Layout4>(xlhost::Argument4(Block(1, 256)).get()));
    xlhost::Argument12 reference(Value::sheetReference(numberBlock));
    EXPECT_EQ("result of kind reference", ResultProblem<Layout12>(reference.get()));
    XLOPER12 tooLong{};
    XCHAR body[] = {40000, 'x'};
    tooLong.xltype = xltypeStr;
    tooLong.val.str = body;
    EXPECT_NE(std::string::npos, ResultProblem<Layout12>(&tooLong).find("text count 40000"));
    xlhost::Argument12 fine(Block(2, 2));
    EXPECT_EQ("", ResultProblem<Layout12>(fine.get()));

    xlhost::ExcelStandIn host(xltest::VersionText<Layout12>());
    xlhost::Argument12 source(Value::text("abc"));
    XLOPER12 coerced{};
    XLOPER12* argv[] = {source.get()};
    ASSERT_EQ(xlretSuccess, host.excel12(xlhost::Entry::Direct, xlCoerce, &coerced, 1, argv));
    fine.get()->val.array.lparray[0].val.num = 99;
    const std::string problems = worksheetcheck::CallProblems<Layout12>(host, fine.get(), {&fine});
    EXPECT_NE(std::string::npos, problems.find("never given back")) << problems;
    EXPECT_NE(std::string::npos, problems.find("was written to")) << problems;
    EXPECT_EQ("", worksheetcheck::CallProblems<Layout12>(host, source.get(), {&source}));
}

}  // namespace

namespace {

// A registration as the stand-in keeps it; refused when `rejection` is given.
xlhost::Registration Registered(const std::string& procedure, const std::string& typeText,
                                const std::string& rejection = "") {
    xlhost::Registration registration{{Value::text("C:\\AddIns\\A.xll"), Value::text(procedure), Value::text(typeText)},
                                      xlhost::Layout::Excel4,
                                      std::nullopt,
                                      rejection,
                                      false};
    if (rejection.empty()) registration.id = 1;
    return registration;
}

struct Received {
    void* first;
    double number;
    void* second;
} received;

void* XLCALL_STDCALL RecordNumberRecord(void* first, double number, void* second) {
    received = {first, number, second};
    return &received;
}

FARPROC Address(void*(XLCALL_STDCALL* function)(void*, double, void*)) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

TEST(WorksheetCallCheck, CallsWithRecordsInOrderAndTheNumberBetween) {
    const EntryPoint entry{
        "RecordNumberRecord",
        {worksheetcheck::Parameter::Record, worksheetcheck::Parameter::Number, worksheetcheck::Parameter::Record},
        Address(&RecordNumberRecord)};
    int a = 0, b = 0;
    EXPECT_EQ(&received, entry.call({&a, &b}, 2.5));
    EXPECT_EQ(&a, received.first);
    EXPECT_EQ(2.5, received.number);
    EXPECT_EQ(&b, received.second);
}

TEST(WorksheetCallCheck, CoversOnlyFunctionsItCanCall) {
    const std::vector<xlhost::Registration> registrations = {
        Registered("records", "QQQ"),
        Registered("numbers", "PPBB!"),
        Registered("text", "QC"),
        Registered("eight", "QQQQQQQQQ"),
        Registered("numberResult", "BQ"),
        Registered("gone", "QQ"),
        Registered("refused", "QQ", "type text QQ: needs Excel 12"),
    };
    const auto functions = worksheetcheck::Classify(registrations, [](const std::string& procedure) {
        return procedure == "gone" ? nullptr : Address(&RecordNumberRecord);
    });
    ASSERT_EQ(2u, functions.covered.size());
    EXPECT_EQ("records", functions.covered[0].name);
    EXPECT_EQ(2u, functions.covered[0].records());
    EXPECT_FALSE(functions.covered[0].takesNumber());
    EXPECT_EQ(
        (std::vector<worksheetcheck::Parameter>{worksheetcheck::Parameter::Record, worksheetcheck::Parameter::Number,
                                                worksheetcheck::Parameter::Number}),
        functions.covered[1].parameters);
    EXPECT_EQ((std::vector<std::string>{"text (type QC): an argument of type C",
                                        "eight (type QQQQQQQQQ): more than 7 arguments",
                                        "numberResult (type BQ): no record result", "gone (type QQ): not exported",
                                        "refused (type QQ): refused, type text QQ: needs Excel 12"}),
              functions.uncovered);
}

}  // namespace
