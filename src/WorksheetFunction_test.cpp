// What an add-in declares, in this program as in an add-in: worksheet functions and commands
// registered by xlAutoOpen in the order they stand here, with what each block says, and called
// as Excel calls them, in both record layouts; the menu, the open and close blocks and the name.
#include "WorksheetFunction.h"

#include "ExcelStandIn.h"
#include "HostLayouts.h"
#include "XlOpenClose.h"

#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

int bodiesRun = 0;
int opens = 0, closes = 0, marks = 0;

}  // namespace

ZEP_WORKSHEET_FUNCTION(xlzt_Scale, "zt_Scale", "Multiplies a number by a factor", "Zep tests",
                       (zep::NumberArgument, x, "the number"), (zep::IntegerArgument, factor, "a whole factor")) {
    ++bodiesRun;
    return x * factor;
}

ZEP_WORKSHEET_FUNCTION(xlzt_Greeting, "zt_Greeting", "Greets", "Zep tests", (zep::TextArgument, name, "who. ")) {
    ++bodiesRun;
    return "Hello, " + name + "!";
}

ZEP_WORKSHEET_FUNCTION(xlzt_RowSums, "zt_RowSums", "Sums each row", "Zep tests",
                       (zep::MatrixArgument, numbers, "a range of numbers"),
                       (zep::MatrixArgument, weights, "one weight per column")) {
    if (weights.rows() != 1 || weights.columns() != numbers.columns()) throw "one weight per column";
    NumericVector sums(numbers.rows());
    for (std::uint32_t i = 0; i < numbers.rows(); ++i)
        for (std::uint32_t j = 0; j < numbers.columns(); ++j) sums[i] += numbers[i][j] * weights[0][j];
    return sums;
}

ZEP_WORKSHEET_FUNCTION(xlzt_Kinds, "zt_Kinds", "What a value is", "Zep tests", (zep::ValueArgument, value, "any"),
                       (zep::CellsArgument, cells, "any cells"), (zep::VectorArgument, vector, "numbers")) {
    if (vector.empty()) return zep::XlfOper::Error(xlerrNA);
    if (cells.Rows() * cells.Columns() > 1) throw std::runtime_error("one cell only");
    return value.Type() == xltypeNum;
}

ZEP_ADDIN_NAME("Zep tests");
ZEP_ON_OPEN {
    ++opens;
}
ZEP_ON_CLOSE {
    ++closes;
}

ZEP_FUNCTION(xlzt_Count, "zt_Count", "Counts its calls", "Zep tests", zep::Volatile | zep::Hidden) {
    return ++bodiesRun;
}

ZEP_FUNCTION(xlzt_Where, "zt_Where", "Where a range and the formula are", "Zep tests", zep::MacroSheet,
             (zep::ReferenceArgument, range, "a range")) {
    return zep::ReferenceAddress(range) + " from " + zep::CallerAddress();
}

ZEP_WORKSHEET_FUNCTION(xlzt_Options, "zt_Options", "Its arguments as one text", "Zep tests",
                       (zep::OptionalNumber, x, "a number", 2.5), (zep::OptionalInteger, n, "a whole number"),
                       (zep::OptionalBoolean, flag, "TRUE or FALSE", true), (zep::BooleanArgument, given, "a flag"),
                       (zep::OptionalText, text, "a text", "none")) {
    return std::to_string(x) + " " + std::to_string(n) + " " + (flag ? "T" : "F") + (given ? "T" : "F") + " " + text;
}

ZEP_WORKSHEET_FUNCTION(xlzt_Bytes, "zt_Bytes", "A text and its length in bytes", "Zep tests",
                       (zep::TextArgument, text, "any text")) {
    return text + " " + std::to_string(text.size());
}

ZEP_WORKSHEET_FUNCTION(xlzt_Mixed, "zt_Mixed", "A row of every kind of cell", "Zep tests") {
    zep::CellMatrix cells(1, 5);
    cells.Cell(0, 0) = zep::MatrixCell(1.5);
    cells.Cell(0, 1) = zep::MatrixCell("caf\xC3\xA9");
    cells.Cell(0, 3) = zep::MatrixCell(std::uint32_t{xlerrDiv0}, true);
    cells.Cell(0, 4) = zep::MatrixCell(false);
    return cells;  // (0, 2) stays blank
}

ZEP_COMMAND(xlzt_Mark, "zt_Mark", "Counts its runs, and fails on the second") {
    if (++marks == 2) throw std::runtime_error("second run");
}
ZEP_MENU_ITEM("Zep tests", "Mark", "zt_Mark");
ZEP_MENU_ITEM("Zep tests", "Mark again", "zt_Mark");

namespace {

using xlhost::Layout12;
using xlhost::Layout4;
using xlhost::Registration;
using xlhost::Value;

template <class L>
class WorksheetFunction : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(1, xlAutoOpen());
        host.clearCalls();
    }

    void TearDown() override {
        xlAutoClose();
        host.checkForLeaks();
        EXPECT_TRUE(host.faults().empty()) << host.faults();
    }

    void* Arg(Value value) {
        arguments.push_back(std::make_unique<xlhost::ArgumentRecord<L>>(std::move(value)));
        return arguments.back()->get();
    }

    Value Result(void* record) {
        EXPECT_EQ(0u, host.outstandingAllocations());
        if (record == nullptr) return Value::invalid(0, "null result");
        return xlhost::RecordCodec<L>::decode(*static_cast<const typename L::Record*>(record));
    }

    // A text as a failure message reaches the cell: under Excel 4 its count takes in the zero.
    static Value Message(const std::string& text) {
        return Value::text(L::layout == xlhost::Layout::Excel4 ? text + '\0' : text);
    }

    xlhost::ExcelStandIn host{xltest::VersionText<L>()};
    std::vector<std::unique_ptr<xlhost::ArgumentRecord<L>>> arguments;
};

// Excel 12 first: the framework keeps the value strategy of the first Excel it met.
using Layouts = testing::Types<Layout12, Layout4>;
TYPED_TEST_SUITE(WorksheetFunction, Layouts, xltest::LayoutNames);

TYPED_TEST(WorksheetFunction, RegistersEachBlockAsWrittenInTheOrderWritten) {
    const std::string oper = TypeParam::layout == xlhost::Layout::Excel12 ? "Q" : "P";
    const std::vector<Registration>& registrations = this->host.registry().registrations();
    ASSERT_EQ(10u, registrations.size());
    const Registration& scale = registrations[0];
    EXPECT_TRUE(scale.accepted()) << scale.rejection;
    EXPECT_EQ("xlzt_Scale", scale.procedure());
    EXPECT_EQ("zt_Scale", scale.functionName());
    EXPECT_EQ(oper + "BB", scale.typeText());
    EXPECT_EQ("x, factor", scale.argumentText());
    EXPECT_EQ(1.0, scale.macroType());
    EXPECT_EQ("Zep tests", scale.category());
    EXPECT_EQ("Multiplies a number by a factor", scale.functionHelp());
    ASSERT_EQ(2u, scale.argumentHelpCount());
    EXPECT_EQ("the number. ", scale.argumentHelp(0));
    EXPECT_EQ("a whole factor. ", scale.argumentHelp(1));
    EXPECT_EQ("who. ", registrations[1].argumentHelp(0));  // already ends as the wizard wants
    EXPECT_EQ(oper + oper, registrations[1].typeText());
    EXPECT_EQ("zt_RowSums", registrations[2].functionName());
    EXPECT_EQ(oper + oper + oper, registrations[2].typeText());
    EXPECT_EQ("value, cells, vector", registrations[3].argumentText());
    EXPECT_EQ(oper + oper + oper + oper, registrations[3].typeText());
}

TYPED_TEST(WorksheetFunction, BodiesGetConvertedArgumentsAndReturnCellValues) {
    EXPECT_EQ(Value::number(-7.5), this->Result(xlzt_Scale(2.5, -3.9)));
    // The text comes back as written, in either layout.
    EXPECT_EQ(Value::text("Hello, Ada!"), this->Result(xlzt_Greeting(this->Arg(Value::text("Ada")))));
    EXPECT_EQ(Value::text("Hello, 42!"), this->Result(xlzt_Greeting(this->Arg(Value::number(42)))));
    const Value sums = this->Result(xlzt_RowSums(
        this->Arg(Value::array(2, 2, {Value::number(1), Value::number(2), Value::number(3), Value::number(4)})),
        this->Arg(Value::array(1, 2, {Value::number(10), Value::number(1)}))));
    EXPECT_EQ(Value::array(2, 1, {Value::number(12), Value::number(34)}), sums);
    EXPECT_EQ(Value::boolean(true), this->Result(xlzt_Kinds(this->Arg(Value::number(1)), this->Arg(Value::text("x")),
                                                            this->Arg(Value::number(3)))));
    EXPECT_EQ(Value::error(xlerrNA), this->Result(xlzt_Kinds(this->Arg(Value::number(1)), this->Arg(Value::nil()),
                                                             this->Arg(Value::missing()))));
}

TYPED_TEST(WorksheetFunction, FailuresBecomeMessagesNamingTheFirstBadArgument) {
    const Value text = Value::text("x");
    EXPECT_EQ(this->Message("command failed, numbers conversion to matrix failed"),
              this->Result(xlzt_RowSums(this->Arg(text), this->Arg(text))));
    EXPECT_EQ(this->Message("command failed, weights conversion to matrix failed"),
              this->Result(xlzt_RowSums(this->Arg(Value::number(1)), this->Arg(text))));
    const Value block = Value::array(1, 2, {Value::number(1), Value::number(2)});
    EXPECT_EQ(this->Message("one weight per column"),
              this->Result(xlzt_RowSums(this->Arg(Value::number(1)), this->Arg(block))));
    EXPECT_EQ(this->Message("one cell only"),
              this->Result(xlzt_Kinds(this->Arg(text), this->Arg(block), this->Arg(block))));
}

TYPED_TEST(WorksheetFunction, TheFunctionWizardGetsTrueWithoutTheBodyRunning) {
    this->host.windows().openFunctionWizard();
    bodiesRun = 0;
    EXPECT_EQ(Value::boolean(true), this->Result(xlzt_Scale(1, 2)));
    EXPECT_EQ(Value::boolean(true), this->Result(xlzt_Greeting(this->Arg(Value::error(xlerrRef)))));
    EXPECT_EQ(0, bodiesRun);
}

TYPED_TEST(WorksheetFunction, FlagsCommandsAndNewKindsRegisterAsDeclared) {
    const bool excel12 = TypeParam::layout == xlhost::Layout::Excel12;
    const std::string oper = excel12 ? "Q" : "P";
    struct Expected {
        const char* name;
        std::string typeText;
        double macroType;
        const char* argumentText;
    };
    const Expected expected[] = {
        {"zt_Count", oper + "!", 0, ""},
        {"zt_Where", oper + (excel12 ? "U" : "R") + "#", 1, "range"},
        {"zt_Options", oper + oper + oper + oper + "A" + oper, 1, "x, n, flag, given, text"},
        {"zt_Bytes", oper + oper, 1, "text"},
        {"zt_Mixed", oper, 1, ""},
        {"zt_Mark", "J", 2, ""},
    };
    const std::vector<Registration>& registrations = this->host.registry().registrations();
    ASSERT_EQ(4u + std::size(expected), registrations.size());
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const Registration& registration = registrations[4 + i];
        SCOPED_TRACE(expected[i].name);
        EXPECT_TRUE(registration.accepted()) << registration.rejection;
        EXPECT_EQ(expected[i].name, registration.functionName());
        EXPECT_EQ(expected[i].typeText, registration.typeText());
        EXPECT_EQ(std::optional<double>(expected[i].macroType), registration.macroType());
        EXPECT_EQ(expected[i].argumentText, registration.argumentText());
    }
}

TYPED_TEST(WorksheetFunction, LeftOutArgumentsTakeTheirDefaults) {
    const Value missing = Value::missing(), blank = Value::nil();
    struct Case {
        Value x, n, flag;
        std::int16_t given;
        Value text;
        const char* expected;
    };
    const Case cases[] = {
        {missing, missing, missing, 0, missing, "2.500000 0 TF none"},
        {blank, blank, blank, 1, blank, "2.500000 0 TT none"},
        {Value::number(-1), Value::number(7.9), Value::boolean(false), 1, Value::text("x"), "-1.000000 7 FT x"},
        {Value::text("4"), Value::number(-7.9), Value::number(0), 0, Value::text(""), "4.000000 -7 FF "},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Value::text(c.expected), this->Result(xlzt_Options(this->Arg(c.x), this->Arg(c.n), this->Arg(c.flag),
                                                                     c.given, this->Arg(c.text))))
            << c.expected;
    EXPECT_EQ(this->Message("command failed, Conversion to double x"),
              this->Result(xlzt_Options(this->Arg(Value::text("many")), this->Arg(missing), this->Arg(missing), 0,
                                        this->Arg(missing))));
}

TYPED_TEST(WorksheetFunction, TextsAndMixedArraysComeBackWhole) {
    if (TypeParam::layout == xlhost::Layout::Excel12) {
        // UTF-8 inside, UTF-16 for Excel: nothing lost, pairs included.
        const std::u16string text = u"caf\u00E9 \u20AC \U0001F600";
        EXPECT_EQ(Value::text(text + u" 14"), this->Result(xlzt_Bytes(this->Arg(Value::text(text)))));
    } else {
        // Excel 4 bytes go through as they are.
        EXPECT_EQ(Value::text("caf\xE9 4"), this->Result(xlzt_Bytes(this->Arg(Value::text("caf\xE9")))));
    }
    const Value cafe =
        TypeParam::layout == xlhost::Layout::Excel12 ? Value::text(u"caf\u00E9") : Value::text("caf\xC3\xA9");
    EXPECT_EQ(
        Value::array(1, 5, {Value::number(1.5), cafe, Value::nil(), Value::error(xlerrDiv0), Value::boolean(false)}),
        this->Result(xlzt_Mixed()));
}

TYPED_TEST(WorksheetFunction, ReferencesAndTheCallerAreNamedAsAFormulaNamesThem) {
    const xlhost::Area h5{4, 4, 7, 7}, block{0, 1, 0, 27};  // H5, and A1:AB2
    const xlhost::ExcelStandIn::CallerScope inCell(this->host, xlhost::Caller::cellFormula(h5));
    EXPECT_EQ(Value::text("Sheet1!A1:AB2 from Sheet1!H5"),
              this->Result(xlzt_Where(this->Arg(Value::sheetReference(block)))));
    EXPECT_EQ(Value::text(" from Sheet1!H5"), this->Result(xlzt_Where(this->Arg(Value::number(3)))));
}

TYPED_TEST(WorksheetFunction, ACommandRunsAndAFailingOneSaysWhyInAnAlert) {
    marks = 0;
    const xlhost::ExcelStandIn::CallerScope fromMenu(this->host, xlhost::Caller::command());
    EXPECT_EQ(1, xlzt_Mark());
    EXPECT_EQ(0, xlzt_Mark());
    EXPECT_EQ(2, marks);
    ASSERT_EQ(1u, this->host.alerts().size());
    EXPECT_EQ(u"second run", this->host.alerts()[0]);
}

TYPED_TEST(WorksheetFunction, OpenAndCloseAddTheMenuRunTheBlocksAndRemoveIt) {
    const int opensBefore = opens, closesBefore = closes;
    ASSERT_EQ(1, xlAutoOpen());
    const auto added = this->host.callsTo(xlfAddMenu);
    ASSERT_EQ(1u, added.size());
    EXPECT_EQ(xlretSuccess, added[0].returnCode);
    EXPECT_EQ(Value::text("Zep tests"), added[0].arguments.at(1).element(0, 0));
    EXPECT_EQ(Value::text("Mark again"), added[0].arguments.at(1).element(2, 0));
    EXPECT_EQ(Value::text("zt_Mark"), added[0].arguments.at(1).element(2, 1));
    EXPECT_EQ(opensBefore + 1, opens);
    this->host.clearCalls();
    xlAutoClose();
    const auto deleted = this->host.callsTo(xlfDeleteMenu);
    ASSERT_EQ(1u, deleted.size());
    EXPECT_EQ(std::optional<Value>(Value::boolean(true)), deleted[0].result);
    EXPECT_EQ(closesBefore + 1, closes);
    ASSERT_EQ(1, xlAutoOpen());  // as TearDown expects
}

TYPED_TEST(WorksheetFunction, TheAddInManagerListsTheDeclaredName) {
    XLOPER12 one{};
    one.xltype = xltypeNum;
    one.val.num = 1;
    EXPECT_EQ(Value::text("Zep tests"), xlhost::RecordCodec<Layout12>::decode(*xlAddInManagerInfo12(&one)));
}

}  // namespace
