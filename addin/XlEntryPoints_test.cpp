// The exported worksheet functions called as Excel calls them, through the stand-in Excel, in
// both record layouts: the result records exactly as Excel would read them, what every kind of
// failure becomes, and Excel's memory accounted for after every call.
#include "XlEntryPoints.h"

#include "ExcelStandIn.h"
#include "HostLayouts.h"

#include <zep/CellMatrix.h>
#include <zep/XlCallFrame.h>
#include <zep/XlfExcel.h>
#include <zep/XlfException.h>
#include <zep/XlfOper.h>

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <iostream>
#include <limits>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using xlhost::Area;
using xlhost::ExcelStandIn;
using xlhost::Kind;
using xlhost::Layout12;
using xlhost::Layout4;
using xlhost::Value;
using zep::XlfExcel;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// Rows of numbers as an array value, the form Excel passes an "OPER" range argument in.
Value Numbers(std::initializer_list<std::initializer_list<double>> rows) {
    std::vector<Value> elements;
    std::int32_t columns = 0;
    for (const auto& row : rows) {
        columns = static_cast<std::int32_t>(row.size());
        for (double number : row) elements.push_back(Value::number(number));
    }
    return Value::array(static_cast<std::int32_t>(rows.size()), columns, std::move(elements));
}

template <class L>
class ThroughExcel : public testing::Test {
protected:
    using Record = typename L::Record;

    void SetUp() override {
        host = std::make_unique<ExcelStandIn>(xltest::VersionText<L>());
        XlfExcel::DeleteCurrent();
        XlfExcel::Current();
        // Every connection makes the value strategy of its Excel current, so the suites may run
        // in any order and interleaved.
        ASSERT_EQ(L::layout == xlhost::Layout::Excel12, XlfExcel::Current().IsExcel12());
        ASSERT_EQ(L::layout == xlhost::Layout::Excel12, CurrentStrategyIsExcel12());
    }

    void TearDown() override {
        XlfExcel::DeleteCurrent();
        host->checkForLeaks();
        EXPECT_TRUE(host->faults().empty()) << host->faults();
    }

    static bool CurrentStrategyIsExcel12() {
        try {
            zep::XlfOper().Excel12Value();
            return true;
        } catch (const char*) {
            return false;
        }
    }

    std::string Report() const {
        std::ostringstream out;
        host->report(out);
        return out.str();
    }

    // An argument record as Excel builds it; it lives until the test ends.
    void* Arg(Value value) {
        arguments.push_back(std::make_unique<xlhost::ArgumentRecord<L>>(std::move(value)));
        return arguments.back()->get();
    }

    // What a call returned, checked the moment Excel would read it: no host memory kept or freed
    // twice, no argument written to.
    void CheckAfterCall() {
        EXPECT_EQ(0u, host->outstandingAllocations()) << Report();
        EXPECT_TRUE(host->faults().empty()) << host->faults();
        for (const auto& argument : arguments)
            EXPECT_TRUE(argument->intact()) << "argument " << argument->value() << " was written to";
    }

    // The result record decoded; its type word must be exactly `typeWord`, no flag bit set.
    Value Result(void* record, std::uint32_t typeWord) {
        CheckAfterCall();
        if (record == nullptr) {
            ADD_FAILURE() << "null result";
            return Value::invalid(0, "null result");
        }
        const Record& result = *static_cast<const Record*>(record);
        EXPECT_EQ(typeWord, result.xltype);
        return xlhost::RecordCodec<L>::decode(result);
    }

    // A text the add-in built from a narrow string: under Excel 4 its count takes in a terminating zero.
    static Value BuiltText(const std::string& text) {
        return Value::text(L::layout == xlhost::Layout::Excel4 ? text + '\0' : text);
    }

    // The decoded text is exactly as long as the record's count says.
    void ExpectText(const std::string& text, void* record) { EXPECT_EQ(BuiltText(text), Result(record, xltypeStr)); }

    void ExpectError(int code, void* record) { EXPECT_EQ(Value::error(code), Result(record, xltypeErr)); }

    void ExpectNumber(double expected, void* record) {
        const Value result = Result(record, xltypeNum);
        EXPECT_NEAR(expected, result.number(), 1e-12);
    }

    // An array of exactly these rows, every element a number record.
    void ExpectNumbers(std::initializer_list<std::initializer_list<double>> rows, void* record) {
        const Value expected = Numbers(rows);
        const Value result = Result(record, xltypeMulti);
        ASSERT_EQ(Kind::Array, result.kind()) << result;
        ASSERT_EQ(expected.rows(), result.rows()) << result;
        ASSERT_EQ(expected.columns(), result.columns()) << result;
        const Record* elements = static_cast<const Record*>(record)->val.array.lparray;
        for (std::size_t i = 0; i < expected.elements().size(); ++i) {
            EXPECT_EQ(xltypeNum, elements[i].xltype) << "element " << i << " of " << result;
            EXPECT_NEAR(expected.elements()[i].number(), elements[i].val.num, 1e-12)
                << "element " << i << " of " << result;
        }
    }

    std::unique_ptr<ExcelStandIn> host;
    std::vector<std::unique_ptr<xlhost::ArgumentRecord<L>>> arguments;
};

using Layouts = testing::Types<Layout12, Layout4>;
TYPED_TEST_SUITE(ThroughExcel, Layouts, xltest::LayoutNames);

TYPED_TEST(ThroughExcel, SquareMatrixFunctionsReturnTheirResults) {
    this->ExpectNumbers({{0.6, -0.7}, {-0.2, 0.4}}, xlmtrx_Invert(this->Arg(Numbers({{4, 7}, {2, 6}}))));
    this->ExpectNumbers({{1, 4}, {2, 5}, {3, 6}}, xlmtrx_Transpose(this->Arg(Numbers({{1, 2, 3}, {4, 5, 6}}))));
    this->ExpectNumber(-2, xlmtrx_Determinant(this->Arg(Numbers({{1, 2}, {3, 4}}))));
    this->ExpectNumbers({{2, 0}, {1, std::sqrt(2.0)}}, xlmtrx_Cholesky(this->Arg(Numbers({{4, 2}, {2, 3}}))));
    // The solution is one column, one row per equation.
    this->ExpectNumbers({{1}, {1}},
                        xlmtrx_LinEqSolve(this->Arg(Numbers({{2, 0}, {0, 4}})), this->Arg(Numbers({{2}, {4}}))));
}

TYPED_TEST(ThroughExcel, DecompositionsReturnTheChosenFactor) {
    this->ExpectNumbers({{5, 2.2}, {0, 0.4}}, xlmtrx_QRDecomposition_R(this->Arg(Numbers({{3, 1}, {4, 2}}))));
    this->ExpectNumbers({{1, 0}, {0, 1}}, xlmtrx_SVDDecomposition(this->Arg(Numbers({{1, 0}, {0, 1}})), 2));
    this->ExpectNumbers({{1, 0}, {0, 2}}, xlmtrx_EVDecomposition(this->Arg(Numbers({{2, 0}, {0, 1}})), 2));
}

TYPED_TEST(ThroughExcel, RowAndColumnTruncateTheirNumberTowardZero) {
    void* matrix = this->Arg(Numbers({{1, 2, 3}, {4, 5, 6}}));
    this->ExpectNumbers({{4, 5, 6}}, xlmtrx_Row(matrix, 2));
    this->ExpectNumbers({{4, 5, 6}}, xlmtrx_Row(matrix, 2.99));
    this->ExpectNumbers({{3}, {6}}, xlmtrx_Column(matrix, 3));
    this->ExpectNumbers({{1}, {4}}, xlmtrx_Column(matrix, 1.5));
}

TYPED_TEST(ThroughExcel, RowOrColumnOutsideTheMatrixIsValueError) {
    void* matrix = this->Arg(Numbers({{1, 2, 3}, {4, 5, 6}}));
    // Beyond the 32-bit range, NaN and the bottom of the range reach Newmat as a rejected index,
    // never as one that wraps around.
    this->ExpectError(xlerrValue, xlmtrx_Row(matrix, 3));
    for (double n : {4.0, 0.0, -0.5, -1.0, 3e9, -3e9, -2147483648.0, -2147483649.0, 2147483648.0, nan,
                     std::numeric_limits<double>::infinity()}) {
        SCOPED_TRACE(n);
        this->ExpectError(xlerrValue, xlmtrx_Row(matrix, n));
        this->ExpectError(xlerrValue, xlmtrx_Column(matrix, n));
    }
}

TYPED_TEST(ThroughExcel, ParamOutsideItsChoicesIsReportedByText) {
    void* matrix = this->Arg(Numbers({{2, 0}, {0, 1}}));
    for (double param : {0.0, 1e12, -1e12, 0.99, nan, 2147483648.0}) {
        SCOPED_TRACE(param);
        this->ExpectText("Invalid value of param", xlmtrx_SVDDecomposition(matrix, param));
        this->ExpectText("Invalid value of param", xlmtrx_EVDecomposition(matrix, param));
        this->ExpectText("Invalid value of param", xlmtrx_quickSort(this->Arg(Numbers({{3, 1}})), param));
    }
}

TYPED_TEST(ThroughExcel, QuickSortReturnsAColumnWhateverItsArgument) {
    this->ExpectNumbers({{1}, {2}, {3}}, xlmtrx_quickSort(this->Arg(Numbers({{3, 1, 2}})), 1.9));
    this->ExpectNumbers({{3}, {2}, {1}}, xlmtrx_quickSort(this->Arg(Numbers({{3}, {1}, {2}})), 2));
    // An element that is no number goes through Excel's coercion on its own.
    this->ExpectNumbers({{7}, {1}},
                        xlmtrx_quickSort(this->Arg(Value::array(1, 2, {Value::text("7"), Value::number(1)})), 2));
    this->ExpectText("command failed, mtrx conversion to double vector",
                     xlmtrx_quickSort(this->Arg(Numbers({{1, 2}, {3, 4}})), 1));
    this->ExpectText("command failed, mtrx conversion to double vector",
                     xlmtrx_quickSort(this->Arg(Value::array(1, 2, {Value::text("x"), Value::number(1)})), 1));
}

TYPED_TEST(ThroughExcel, FailedChecksOfTheMatrixFunctionsShowTheirText) {
    this->ExpectText("Input should be a square matrix", xlmtrx_Invert(this->Arg(Numbers({{1, 2, 3}, {4, 5, 6}}))));
    this->ExpectText("Operation requires square matrix.", xlmtrx_Cholesky(this->Arg(Numbers({{1, 2, 3}, {4, 5, 6}}))));
    this->ExpectText("Incompatible matrices",
                     xlmtrx_LinEqSolve(this->Arg(Numbers({{2, 0}, {0, 4}})), this->Arg(Numbers({{2, 4}}))));
    this->ExpectText("Operation requires a symmetric square Matrix",
                     xlmtrx_EVDecomposition(this->Arg(Numbers({{1, 2, 3}, {4, 5, 6}})), 1));
}

TYPED_TEST(ThroughExcel, NewmatFailuresAreValueErrors) {
    this->ExpectError(xlerrValue, xlmtrx_Invert(this->Arg(Numbers({{1, 2}, {2, 4}}))));
    this->ExpectError(xlerrValue, xlmtrx_Determinant(this->Arg(Numbers({{1, 2, 3}, {4, 5, 6}}))));
    this->ExpectError(xlerrValue, xlmtrx_Cholesky(this->Arg(Numbers({{1, 2}, {2, 1}}))));
    this->ExpectError(xlerrValue,
                      xlmtrx_LinEqSolve(this->Arg(Numbers({{1, 2}, {2, 4}})), this->Arg(Numbers({{1}, {1}}))));
    this->ExpectError(xlerrValue, xlmtrx_QRDecomposition_R(this->Arg(Numbers({{0, 1}, {0, 2}}))));
    this->ExpectError(xlerrValue, xlmtrx_SVDDecomposition(this->Arg(Numbers({{1, 2, 3}, {4, 5, 6}})), 3));
}

TYPED_TEST(ThroughExcel, ACellThatIsNoNumberNamesTheArgument) {
    const Value withText =
        Value::array(2, 2, {Value::number(1), Value::text("abc"), Value::number(3), Value::number(4)});
    this->ExpectText("command failed, mtrx conversion to matrix failed", xlmtrx_Invert(this->Arg(withText)));
    this->ExpectText("command failed, mtrx conversion to matrix failed", xlmtrx_Row(this->Arg(withText), 1e12));
    // The first bad argument is the one reported, and before the function's own checks.
    this->ExpectText("command failed, coeffMtrx conversion to matrix failed",
                     xlmtrx_LinEqSolve(this->Arg(withText), this->Arg(Value::text("rhs"))));
    this->ExpectText("command failed, rhsVector conversion to matrix failed",
                     xlmtrx_LinEqSolve(this->Arg(Numbers({{1, 2, 3}})), this->Arg(Value::text("rhs"))));
    this->ExpectText("command failed, mtrx conversion to matrix failed",
                     xlmtrx_SVDDecomposition(this->Arg(Value::text("abc")), 7));
}

TYPED_TEST(ThroughExcel, AReferenceIsReadFromTheSheetThroughExcel) {
    auto& sheets = this->host->sheets();
    const auto sheet = sheets.activeSheet();
    sheets.setCells(sheet, 4, 2, Numbers({{4, 7}, {2, 6}}));
    const Area block{4, 5, 2, 3};
    this->ExpectNumbers({{0.6, -0.7}, {-0.2, 0.4}}, xlmtrx_Invert(this->Arg(Value::reference(sheet, block))));
    this->ExpectNumbers({{4, 2}, {7, 6}}, xlmtrx_Transpose(this->Arg(Value::sheetReference(block))));
    // xlCoerce's array went back through xlFree once (checked after every call).
    EXPECT_FALSE(this->host->callsTo(xlCoerce).empty());

    sheets.setCell(sheet, 5, 3, Value::text("abc"));
    this->ExpectText("command failed, mtrx conversion to matrix failed",
                     xlmtrx_Invert(this->Arg(Value::reference(sheet, block))));
    sheets.setCell(sheet, 5, 3, Value::nil());
    this->ExpectText("command failed, mtrx conversion to matrix failed",
                     xlmtrx_Invert(this->Arg(Value::reference(sheet, block))));
}

TYPED_TEST(ThroughExcel, AnEmptyResultIsTheFreshNilRecord) {
    const Value omitted = Value::missing();
    EXPECT_EQ(Value::nil(), this->Result(xlmtrx_Invert(this->Arg(omitted)), xltypeNil));
    EXPECT_EQ(Value::nil(), this->Result(xlmtrx_Cholesky(this->Arg(omitted)), xltypeNil));
    EXPECT_EQ(Value::nil(), this->Result(xlmtrx_quickSort(this->Arg(omitted), 1), xltypeNil));
    EXPECT_EQ(Value::nil(), this->Result(xlmtrx_EVDecomposition(this->Arg(Value::nil()), 1), xltypeNil));
    this->ExpectText("Incompatible matrices", xlmtrx_LinEqSolve(this->Arg(Numbers({{1}})), this->Arg(omitted)));
}

TYPED_TEST(ThroughExcel, TheFunctionWizardGetsTrueWhateverTheArguments) {
    void* text = this->Arg(Value::text("abc"));
    void* matrix = this->Arg(Numbers({{1, 2}, {2, 4}}));
    this->host->windows().openFunctionWizard();
    const std::vector<void*> results = {
        xlmtrx_Invert(text),         xlmtrx_Transpose(text),           xlmtrx_Determinant(text),
        xlmtrx_Row(text, 3e9),       xlmtrx_Column(matrix, nan),       xlmtrx_LinEqSolve(text, text),
        xlmtrx_Cholesky(matrix),     xlmtrx_QRDecomposition_R(text),   xlmtrx_SVDDecomposition(matrix, 1e12),
        xlmtrx_quickSort(matrix, 0), xlmtrx_EVDecomposition(text, -1),
    };
    // Each call reclaims the previous one's memory, so only the last record is still readable.
    EXPECT_EQ(Value::boolean(true), this->Result(results.back(), xltypeBool));
    for (void* result : results) EXPECT_NE(nullptr, result);
}

TYPED_TEST(ThroughExcel, EveryCallFirstReclaimsThePreviousCallsMemory) {
    std::vector<Value> elements(300 * 200, Value::number(1.5));
    xlmtrx_Transpose(this->Arg(Value::array(300, 200, std::move(elements))));
    ASSERT_GT(XlfExcel::Current().TempBlocks().size(), 1u);
    // Also when the wizard cuts the call short.
    this->host->windows().openFunctionWizard();
    this->Result(xlmtrx_Invert(this->Arg(Value::text("abc"))), xltypeBool);
    EXPECT_EQ(1u, XlfExcel::Current().TempBlocks().size());
}

// The lock is a kernel round trip on Windows: a call takes it once, whatever it allocates, and
// gives it back before returning, also when it fails.
TYPED_TEST(ThroughExcel, ACallTakesTheTemporaryMemoryLockOnceAndGivesItBack) {
    XlfExcel& excel = XlfExcel::Current();
    const auto takenAround = [&](auto call) {
        const std::uint64_t before = excel.LockAcquisitions();
        call();
        return excel.LockAcquisitions() - before;
    };
    const auto invert = [&] {
        this->ExpectNumbers({{-24, 18, 5}, {20, -15, -4}, {-5, 4, 1}},
                            xlmtrx_Invert(this->Arg(Numbers({{1, 2, 3}, {0, 1, 4}, {5, 6, 0}}))));
    };
    EXPECT_EQ(1u, takenAround(invert));
    EXPECT_EQ(1u, takenAround(invert)) << "the second call reuses the first one's block";
    EXPECT_EQ(1u, takenAround([&] {
                  this->ExpectText("Input should be a square matrix", xlmtrx_Invert(this->Arg(Numbers({{1, 2}}))));
              }));
    // Given back: an allocation outside any call takes the lock from the kernel again.
    EXPECT_EQ(1u, takenAround([&] { excel.TempAlloc(8); }));
}

// Excel 12 records keep every column; Excel 4 ones, for a grid of 256 columns, the first 255.
TYPED_TEST(ThroughExcel, AResultWiderThan255ColumnsKeepsWhatItsExcelsGridHolds) {
    std::vector<Value> column;
    for (int i = 0; i < 300; ++i) column.push_back(Value::number(i));
    const Value result =
        this->Result(xlmtrx_Transpose(this->Arg(Value::array(300, 1, std::move(column)))), xltypeMulti);
    const int kept = TypeParam::layout == xlhost::Layout::Excel12 ? 300 : 255;
    ASSERT_EQ(1, result.rows());
    ASSERT_EQ(kept, result.columns());
    EXPECT_EQ(Value::number(kept - 1), result.element(0, kept - 1));
}

// The handler table, by what reaches it.
TYPED_TEST(ThroughExcel, FaultsExcelReportedReturnNoValue) {
    EXPECT_EQ(nullptr, zep::RunWorksheetCall([]() -> void* { throw zep::XlfExceptionUncalculated(); }));
    EXPECT_EQ(nullptr, zep::RunWorksheetCall([]() -> void* { throw zep::XlfExceptionAbort(); }));
    EXPECT_EQ(nullptr, zep::RunWorksheetCall([]() -> void* { throw zep::XlfException("invalid OPER structure"); }));
    this->CheckAfterCall();
}

TYPED_TEST(ThroughExcel, OtherFailuresBecomeCellValues) {
    this->ExpectText("standard", zep::RunWorksheetCall([]() -> void* { throw std::runtime_error("standard"); }));
    this->ExpectText("string", zep::RunWorksheetCall([]() -> void* { throw std::string("string"); }));
    this->ExpectText("literal", zep::RunWorksheetCall([]() -> void* { throw "literal"; }));
    this->ExpectError(xlerrValue, zep::RunWorksheetCall([]() -> void* { throw 42; }));

    zep::CellMatrix cells(1, 2);
    cells.Cell(0, 0) = zep::MatrixCell(3.0);
    cells.Cell(0, 1) = zep::MatrixCell("why");
    const Value array = this->Result(zep::RunWorksheetCall([&]() -> void* { throw cells; }), xltypeMulti);
    EXPECT_EQ(Value::array(1, 2, {Value::number(3), this->BuiltText("why")}), array);
}

// The host connection's services that build values, in each layout.
TYPED_TEST(ThroughExcel, ShowStatusSendsTheTextOrGivesTheStatusBarBack) {
    XlfExcel& excel = XlfExcel::Current();
    excel.ShowStatus("Registering library...");
    excel.ShowStatus(nullptr);
    const auto messages = this->host->callsTo(xlcMessage);
    ASSERT_EQ(2u, messages.size());
    EXPECT_EQ((std::vector<Value>{Value::boolean(true), this->BuiltText("Registering library...")}),
              messages[0].arguments);
    EXPECT_EQ(std::vector<Value>{Value::boolean(false)}, messages[1].arguments);
    EXPECT_FALSE(this->host->statusBar());
    this->CheckAfterCall();
}

TYPED_TEST(ThroughExcel, LibraryNameIsExcelsNameOfTheAddIn) {
    this->host->setAddInPath("C:\\Work\\Matrix Functions.xll");
    EXPECT_EQ("C:\\Work\\Matrix Functions.xll", XlfExcel::Current().LibraryName());
    EXPECT_EQ(1u, this->host->callsTo(xlGetName).size());
    this->CheckAfterCall();  // Excel's text went back through xlFree, once
}

TYPED_TEST(ThroughExcel, ANameExcelCannotGiveIsEmptyAndReported) {
    // Longer than a text of either layout can be: Excel fails the call.
    this->host->setAddInPath(std::string(70000, 'x'));
    std::ostringstream diagnostics;
    std::streambuf* const earlier = std::cerr.rdbuf(diagnostics.rdbuf());
    const std::string name = XlfExcel::Current().LibraryName();
    std::cerr.rdbuf(earlier);
    EXPECT_EQ("", name);
    EXPECT_EQ("..\\..\\src\\XlfExcel(181): Could not get DLL name\n", diagnostics.str());
    this->CheckAfterCall();
}

// What the Add-in Manager reads from the entry point of layout A when it asks with `action`.
template <class A, class Record>
Value AskAddInManager(Record*(XLCALL_STDCALL* entry)(Record*), const Value& action) {
    xlhost::ArgumentRecord<A> record(action);
    const Record* answer = entry(record.get());
    EXPECT_TRUE(record.intact()) << "the action " << action << " was written to";
    if (answer == nullptr) return Value::invalid(0, "null answer");
    // Neither flag: the answer is the add-in's temporary memory, for Excel to copy.
    EXPECT_EQ(0u, answer->xltype & (xlbitXLFree | xlbitDLLFree)) << action;
    return xlhost::RecordCodec<A>::decode(*answer);
}

// Excel 2007 and later call the 12 form, older versions the other: each form answers in its own
// layout whatever the connection's, so both are asked under either.
TYPED_TEST(ThroughExcel, TheAddInManagerGetsTheNameForOneInTheLayoutItAskedIn) {
    const Value name = Value::text("Matrix Functions");
    // What Excel passes, and what its coercion turns into 1.
    for (const Value& one : {Value::number(1), Value::integer(1), Value::text("1"), Value::boolean(true)}) {
        // Excel 2003 never calls the 12 form, and has no Excel 12 entry to coerce through.
        const bool coerced = one.kind() != xlhost::Kind::Number && one.kind() != xlhost::Kind::Integer;
        if (TypeParam::layout == xlhost::Layout::Excel12 || !coerced) {
            EXPECT_EQ(name, AskAddInManager<Layout12>(xlAddInManagerInfo12, one)) << one;
        }
        EXPECT_EQ(name, AskAddInManager<Layout4>(xlAddInManagerInfo, one)) << one;
    }
    for (const Value& other :
         {Value::number(2), Value::number(0), Value::number(1.5), Value::integer(-1), Value::text("one"),
          Value::boolean(false), Value::missing(), Value::nil(), Value::error(xlerrNA), Numbers({{2, 1}})}) {
        EXPECT_EQ(Value::error(xlerrValue), AskAddInManager<Layout12>(xlAddInManagerInfo12, other)) << other;
        EXPECT_EQ(Value::error(xlerrValue), AskAddInManager<Layout4>(xlAddInManagerInfo, other)) << other;
    }
    this->CheckAfterCall();  // what Excel's coercions allocated went back
    EXPECT_EQ(Value::error(xlerrValue), xlhost::RecordCodec<Layout12>::decode(*xlAddInManagerInfo12(nullptr)));
    EXPECT_EQ(Value::error(xlerrValue), xlhost::RecordCodec<Layout4>::decode(*xlAddInManagerInfo(nullptr)));
}

TYPED_TEST(ThroughExcel, TheAddInManagersAnswerReclaimsThePreviousCallsMemoryUnderOneLock) {
    std::vector<Value> elements(300 * 200, Value::number(1.5));
    xlmtrx_Transpose(this->Arg(Value::array(300, 200, std::move(elements))));
    XlfExcel& excel = XlfExcel::Current();
    ASSERT_GT(excel.TempBlocks().size(), 1u);
    const std::uint64_t before = excel.LockAcquisitions();
    EXPECT_EQ(Value::text("Matrix Functions"), AskAddInManager<Layout12>(xlAddInManagerInfo12, Value::number(1)));
    EXPECT_EQ(1u, excel.LockAcquisitions() - before);
    EXPECT_EQ(1u, excel.TempBlocks().size());
}

TEST(WorksheetInteger, TruncatesTowardZeroAndMapsWhatNoIntHoldsToZero) {
    EXPECT_EQ(2, zep::WorksheetInteger(2.99));
    EXPECT_EQ(0, zep::WorksheetInteger(-0.5));
    EXPECT_EQ(-2, zep::WorksheetInteger(-2.7));
    EXPECT_EQ(2147483647, zep::WorksheetInteger(2147483647.9));
    EXPECT_EQ(-2147483647, zep::WorksheetInteger(-2147483647.9));
    for (double outside : {2147483648.0, -2147483648.0, 1e300, -1e300, nan, std::numeric_limits<double>::infinity()})
        EXPECT_EQ(0, zep::WorksheetInteger(outside)) << outside;
}

}  // namespace
