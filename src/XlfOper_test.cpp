// The value handle end to end, under both record layouts of the stand-in Excel.

#include "ValuesTestSupport.h"

#include "XlfException.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <stdexcept>
#include <string>

namespace zep::testing {
namespace {

using xlhost::Area;
using xlhost::Value;

template <class L>
class XlfOperTest : public ValuesTest<L> {};
TYPED_TEST_SUITE(XlfOperTest, BothLayouts, LayoutNames);

TYPED_TEST(XlfOperTest, ConstructorsBuildOneValueEachInTemporaryMemory) {
    EXPECT_EQ(this->Decoded(XlfOper()), Value::nil());
    EXPECT_EQ(this->Decoded(XlfOper(2.5)), Value::number(2.5));
    EXPECT_EQ(this->Decoded(XlfOper(true)), Value::boolean(true));
    EXPECT_EQ(this->Decoded(XlfOper(std::int16_t{-7})), Value::integer(-7));
    EXPECT_EQ(this->Decoded(XlfOper(std::int16_t{42}, true)), Value::error(42));
    EXPECT_EQ(this->Decoded(XlfOper::Error(15)), Value::error(xlerrValue));
    EXPECT_EQ(this->Decoded(XlfOper(Wide(u"wide"))), Value::text("wide"));
    // Excel 4 texts made from narrow strings count their terminating zero.
    const Value abc = TypeParam::isExcel12 ? Value::text("abc") : Value::text(std::string("abc", 4));
    EXPECT_EQ(this->Decoded(XlfOper("abc")), abc);
    EXPECT_EQ(this->Decoded(XlfOper(std::string("abc"))), abc);
    EXPECT_EQ(this->CallsTo(xlCoerce) + this->CallsTo(xlFree), 0u);
}

TYPED_TEST(XlfOperTest, TypeAndTypeNameReadTheWholeTypeWord) {
    XlfOper none(static_cast<void*>(nullptr));
    EXPECT_EQ(none.Type(), 0u);
    EXPECT_EQ(XlfOper(1.0).Type(), xltypeNum);
    XlfOper array;
    array.Set(NumericVector{1.0, 2.0});
    EXPECT_STREQ(array.TypeName(), "xltypeMulti");
    typename TestFixture::Record marked{};
    marked.xltype = static_cast<decltype(marked.xltype)>(xltypeStr | xlbitHostOwned);
    const XlfOper markedHandle(static_cast<void*>(&marked));
    EXPECT_STREQ(markedHandle.TypeName(), "unknown");
    marked.xltype = xltypeNil;  // nothing for the handle's release to give back
}

TYPED_TEST(XlfOperTest, NumbersAndIntegersAreReadWithoutExcel) {
    typename TestFixture::Argument seven(Value::integer(7));
    EXPECT_EQ(XlfOper(seven.get()).ReadDouble(), 7.0);
    EXPECT_EQ(XlfOper(-2.7).ReadShort(), -2);
    EXPECT_EQ(XlfOper(70000.0).ReadShort(), 4464);  // the low 16 bits
    EXPECT_EQ(XlfOper(-70000.0).ReadShort(), -4464);
    EXPECT_TRUE(XlfOper(true).ReadBool());
    EXPECT_EQ(XlfOper::Error(xlerrNA).ReadErrorCode(), xlerrNA);
    EXPECT_EQ(this->CallsTo(xlCoerce), 0u);
}

TYPED_TEST(XlfOperTest, OtherKindsAreCoercedOnceAndExcelsResultGivenBack) {
    typename TestFixture::Argument text(Value::text("2.5"));
    EXPECT_EQ(XlfOper(text.get()).ReadDouble(), 2.5);
    EXPECT_EQ(this->CallsTo(xlCoerce), 1u);
    EXPECT_EQ(this->CallsTo(xlFree), 0u);  // a number holds no Excel memory
    EXPECT_STREQ(XlfOper(12.0).ReadCString(), "12");
    EXPECT_EQ(this->CallsTo(xlFree), 1u);  // the coerced text does
    EXPECT_EQ(XlfOper(std::int16_t{3}).ReadShort(), 3);
    EXPECT_TRUE(text.intact());
}

TYPED_TEST(XlfOperTest, FailedConversionsThrowNamedTextsOrReportTheirCode) {
    typename TestFixture::Argument text(Value::text("abc"));
    const XlfOper value(text.get());
    try {
        value.ReadDouble("x");
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "command failed, Conversion to double x");
    }
    int code = -1;
    EXPECT_NO_THROW(value.ReadDouble("x", &code));
    EXPECT_EQ(code, xlretFailed);
    EXPECT_NO_THROW(XlfOper(1.0).ReadDouble(&code));
    EXPECT_EQ(code, xlretSuccess);

    const XlfOper none(static_cast<void*>(nullptr));
    try {
        none.ReadDouble("x");
        FAIL() << "no exception";
    } catch (const XlfException& e) {
        EXPECT_STREQ(e.what(), "invalid OPER structure (memory could be exhausted),Conversion to double x");
    }
    EXPECT_THROW(value.ReadBool("flag"), std::runtime_error);
    try {
        value.ReadShort("n");
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "command failed, n conversion to short failed");
    }
}

TYPED_TEST(XlfOperTest, ReadMatrixTakesArraysNumbersAndEmptyArguments) {
    typename TestFixture::Argument missing(Value::missing());
    typename TestFixture::Argument nil(Value::nil());
    EXPECT_EQ(XlfOper(missing.get()).ReadMatrix("m").rows(), 0u);
    EXPECT_EQ(XlfOper(nil.get()).ReadMatrix("m").columns(), 0u);
    const NumericMatrix one = XlfOper(5.0).ReadMatrix("m");
    ASSERT_EQ(one.rows(), 1u);
    EXPECT_EQ(one[0][0], 5.0);

    typename TestFixture::Argument array(Value::array(
        2, 3,
        {Value::number(1), Value::number(2), Value::number(3), Value::number(4), Value::number(5), Value::number(6)}));
    const NumericMatrix read = XlfOper(array.get()).ReadMatrix("m");
    ASSERT_EQ(read.rows(), 2u);
    ASSERT_EQ(read.columns(), 3u);
    EXPECT_EQ(read[1][0], 4.0);
    EXPECT_EQ(read[0][2], 3.0);
}

TYPED_TEST(XlfOperTest, ReadMatrixFailsOnAnyCellThatIsNoNumber) {
    for (const Value& bad : {Value::text("t"), Value::nil(), Value::boolean(true)}) {
        typename TestFixture::Argument array(
            Value::array(2, 2, {Value::number(1), bad, Value::number(3), Value::number(4)}));
        try {
            XlfOper(array.get()).ReadMatrix("a");
            FAIL() << "no exception for " << bad;
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "command failed, a conversion to matrix failed");
        }
        try {
            XlfOper(array.get()).ReadMatrix();
            FAIL() << "no exception for " << bad;
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "command failed,  conversion to matrix failed");
        }
    }
}

TYPED_TEST(XlfOperTest, ReadDoubleVectorFollowsThePolicy) {
    const auto numbers = [](int count) {
        std::vector<Value> values;
        for (int i = 0; i < count; ++i) values.push_back(Value::number(i));
        return values;
    };
    typename TestFixture::Argument row(Value::array(1, 4, numbers(4)));
    EXPECT_EQ(XlfOper(row.get()).ReadDoubleVector("v"), (NumericVector{0, 1, 2, 3}));
    typename TestFixture::Argument square(Value::array(2, 2, numbers(4)));
    EXPECT_EQ(XlfOper(square.get()).ReadDoubleVector(RowByRow), (NumericVector{0, 1, 2, 3}));
    EXPECT_EQ(XlfOper(square.get()).ReadDoubleVector(ColumnByColumn), (NumericVector{0, 2, 1, 3}));
    EXPECT_EQ(XlfOper(square.get()).ReadDoubleVector(static_cast<VectorPolicy>(7)), (NumericVector{0, 2, 1, 3}));
    EXPECT_THROW(XlfOper(square.get()).ReadArray("mtrx", VectorOnly), std::runtime_error);
    typename TestFixture::Argument missing(Value::missing());
    EXPECT_TRUE(XlfOper(missing.get()).ReadArray("mtrx").empty());
    EXPECT_EQ(XlfOper(4.5).ReadArray("mtrx"), NumericVector{4.5});
    // Elements that are no numbers go through Excel one by one.
    typename TestFixture::Argument mixed(Value::array(3, 1, {Value::number(1), Value::text("2"), Value::integer(3)}));
    EXPECT_EQ(XlfOper(mixed.get()).ReadArray("mtrx"), (NumericVector{1, 2, 3}));
    EXPECT_EQ(this->CallsTo(xlCoerce), 1u);
}

TYPED_TEST(XlfOperTest, ReferencesAreReadCellByCellThroughExcel) {
    auto& sheets = this->host_.sheets();
    const xlhost::SheetId sheet = sheets.activeSheet();
    sheets.setCells(sheet, 1, 1,
                    Value::array(2, 2, {Value::number(1), Value::text("2"), Value::number(3), Value::number(4)}));
    typename TestFixture::Argument block(Value::reference(sheet, Area{1, 2, 1, 2}));
    const XlfOper reference(block.get());

    EXPECT_EQ(reference.ReadDoubleVector(RowByRow), (NumericVector{1, 2, 3, 4}));
    EXPECT_EQ(this->CallsTo(xlCoerce), 4u);
    const XlfRangeRef range = reference.ReadRangeRef();
    EXPECT_EQ(range.FirstRow(), 1);
    EXPECT_EQ(range.EndColumn(), 3);
    EXPECT_EQ(range.SheetId(), static_cast<std::int32_t>(sheet));

    const CellMatrix cells = reference.ReadCellMatrix();
    ASSERT_EQ(cells.Rows(), 2u);
    EXPECT_EQ(cells.Cell(0, 0).Number(), 1.0);
    EXPECT_EQ(cells.Cell(0, 1).Text(), "2");  // a referenced text is read as narrow text
    EXPECT_THROW(reference.ReadMatrix("r"), std::runtime_error);

    sheets.setCell(sheet, 1, 2, Value::error(xlerrDiv0));
    sheets.setCell(sheet, 2, 1, Value::nil());
    const CellMatrix again = reference.ReadCellMatrix();
    EXPECT_EQ(again.Cell(0, 1).ErrorCode(), static_cast<std::uint32_t>(xlerrDiv0));
    EXPECT_TRUE(again.Cell(1, 0).IsEmpty());
    EXPECT_TRUE(block.intact());
}

TYPED_TEST(XlfOperTest, RangeRefCellIsAOneCellReferenceOfTheSameSheet) {
    const XlfRangeRef range(2, 3, 4, 5, 9);
    EXPECT_EQ(range.Rows(), 3);
    EXPECT_EQ(range.Columns(), 3);
    EXPECT_EQ(this->Decoded(range.Cell(0, 0)), Value::reference(9, Area{2, 2, 3, 3}));
    EXPECT_EQ(this->Decoded(range.Cell(2, 1)), Value::reference(9, Area{4, 4, 4, 4}));
    const XlfRangeRef back = range.Cell(1, 2).ReadRangeRef();
    EXPECT_EQ(back.FirstRow(), 3);
    EXPECT_EQ(back.EndRow(), 4);
    EXPECT_EQ(back.FirstColumn(), 5);
    EXPECT_EQ(back.EndColumn(), 6);
    EXPECT_EQ(back.SheetId(), 9);
}

TYPED_TEST(XlfOperTest, SetNumericMatrixAndVectorBuildArraysOfNumbers) {
    XlfOper untouched;
    untouched.Set(NumericMatrix(0, 0)).Set(NumericVector());
    EXPECT_EQ(this->Decoded(untouched), Value::nil());

    NumericMatrix matrix(2, 3);
    for (std::uint32_t i = 0; i < 2; ++i)
        for (std::uint32_t j = 0; j < 3; ++j) matrix[i][j] = 10.0 * i + j;
    XlfOper result;
    result.Set(matrix);
    EXPECT_EQ(this->Decoded(result), Value::array(2, 3,
                                                  {Value::number(0), Value::number(1), Value::number(2),
                                                   Value::number(10), Value::number(11), Value::number(12)}));
    XlfOper column;
    column.Set(NumericVector{1, 2, 3});
    EXPECT_EQ(this->Decoded(column), Value::array(3, 1, {Value::number(1), Value::number(2), Value::number(3)}));
    XlfOper wide;
    wide.Set(NumericMatrix(1, 300));
    EXPECT_EQ(this->RecordOf(wide).val.array.columns, TypeParam::isExcel12 ? 300 : 255);
}

// Set(NumericMatrix) writes its numbers straight into the array; the records must be those that
// a CellMatrix of number cells gives.
TYPED_TEST(XlfOperTest, SetNumericMatrixGivesTheRecordsOfItsCellMatrix) {
    std::mt19937 random(12345);
    std::uniform_int_distribution<std::uint32_t> size(1, 40);
    std::normal_distribution<double> number(0.0, 1e6);
    for (int round = 0; round < 20; ++round) {
        NumericMatrix matrix(size(random), size(random) * (round % 4 == 0 ? 10 : 1));
        for (std::uint32_t i = 0; i < matrix.rows(); ++i)
            for (std::uint32_t j = 0; j < matrix.columns(); ++j) matrix[i][j] = number(random);
        XlfOper direct, throughCells;
        direct.Set(matrix);
        throughCells.Set(CellMatrix(matrix));
        const auto& a = this->RecordOf(direct).val.array;
        const auto& b = this->RecordOf(throughCells).val.array;
        ASSERT_EQ(a.rows, b.rows);
        ASSERT_EQ(a.columns, b.columns);
        EXPECT_EQ(std::memcmp(a.lparray, b.lparray, sizeof(*a.lparray) * a.rows * a.columns), 0)
            << this->Decoded(direct) << "\n"
            << this->Decoded(throughCells);
    }
}

TYPED_TEST(XlfOperTest, HandlesSharingAnExcelRecordFreeItOnce) {
    typename TestFixture::Record owned{};
    XlfOper result(static_cast<void*>(&owned));
    ASSERT_EQ(this->Impl().Coerce(XlfOper(2.5), xltypeStr, result), xlretSuccess);
    EXPECT_EQ(owned.xltype, xltypeStr | xlbitHostOwned);
    {
        XlfOper first(static_cast<void*>(&owned));
        XlfOper second(first);
        EXPECT_EQ(second.ReadDouble(), 2.5);  // Excel gets the record without the private bit
    }
    EXPECT_EQ(this->CallsTo(xlFree), 1u);
    EXPECT_EQ(owned.xltype, xltypeStr);
}

TYPED_TEST(XlfOperTest, AssignmentGivesBackTheExcelMemoryItHeld) {
    typename TestFixture::Record owned{};
    XlfOper held(static_cast<void*>(&owned));
    ASSERT_EQ(this->Impl().Coerce(XlfOper(1.5), xltypeStr, held), xlretSuccess);
    held = XlfOper(3.0);
    EXPECT_EQ(this->CallsTo(xlFree), 1u);
    EXPECT_EQ(held.ReadDouble(), 3.0);
}

TYPED_TEST(XlfOperTest, OnlyTheRunningLayoutsRecordCanBeTaken) {
    const XlfOper value(1.0);
    const char* refused = nullptr;
    try {
        if (TypeParam::isExcel12) {
            EXPECT_EQ(static_cast<void*>(value.Excel12Value()), value.Pointer());
            value.Excel4Value();
        } else {
            EXPECT_EQ(static_cast<void*>(value.Excel4Value()), value.Pointer());
            value.Excel12Value();
        }
    } catch (const char* text) {
        refused = text;
    }
    EXPECT_STREQ(refused,
                 TypeParam::isExcel12
                     ? "Unable to convert Excel 12 datatype to Excel 4 datatype - operation not yet implemented"
                     : "Unable to convert Excel 4 datatype to Excel 12 datatype - operation not yet implemented");
}

}  // namespace
}  // namespace zep::testing
