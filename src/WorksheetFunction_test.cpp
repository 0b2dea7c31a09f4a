// Worksheet functions written with ZEP_WORKSHEET_FUNCTION, in this program as in an add-in:
// registered by xlAutoOpen in the order they stand here, with what each block says, and called
// as Excel calls them, in both record layouts.
#include "WorksheetFunction.h"

#include "ExcelStandIn.h"
#include "HostLayouts.h"
#include "XlOpenClose.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

int bodiesRun = 0;

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
    ASSERT_EQ(4u, registrations.size());
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

}  // namespace
