// The Excel 4 value through the stand-in Excel. Mostly under Excel 12, where XlfOper4 must still
// build Excel 4 records and call Excel4v only.
#include "XlfOper4.h"

#include "ExcelStandIn.h"
#include "Win32StreamBuf.h"
#include "XlfExcel.h"
#include "XlfException.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>

namespace zep {
namespace {

using xlhost::ExcelStandIn;
using xlhost::Value;

class Excel4Values : public testing::Test {
protected:
    void SetUp() override {
        XlfExcel::Current();
        host_.clearCalls();  // the connection's own version test
    }
    void TearDown() override {
        XlfExcel::DeleteCurrent();
        EXPECT_EQ(0u, host_.checkForLeaks());
        EXPECT_TRUE(host_.faults().empty()) << host_.faults();
        for (const xlhost::CallRecord& call : host_.calls()) EXPECT_NE(xlhost::Entry::MdCallBack12, call.entry) << call;
    }

    std::size_t CallsTo(int function) const { return host_.callsTo(function).size(); }

    ExcelStandIn host_{"12.0"};
    std::stringbuf diagnostics_;
    StreamRedirection cerrCapture_{std::cerr, diagnostics_};
};

TEST_F(Excel4Values, LongTextsAreCutTo254BytesAndCountAClosingNul) {
    const XlfOper4 text(std::string(300, 'x'));
    const unsigned char* body = reinterpret_cast<const unsigned char*>(text.Pointer()->val.str);
    EXPECT_EQ(xltypeStr, text.Type());
    EXPECT_EQ(255, body[0]);
    EXPECT_EQ(std::string(254, 'x'), std::string(reinterpret_cast<const char*>(body) + 1, 254));
    EXPECT_EQ(0, body[255]);
    EXPECT_EQ("..\\..\\src\\XlfOper4(968): String truncated to 254 bytes\n", diagnostics_.str());

    const XlfOper4 empty("");
    EXPECT_EQ(1, empty.Pointer()->val.str[0]);
    EXPECT_EQ(0, empty.Pointer()->val.str[1]);
    const char* copy = empty.ReadCString();
    EXPECT_EQ(0, copy[0]);
    EXPECT_EQ(0, copy[1]) << "the counted NUL comes back as a text byte";
}

TEST_F(Excel4Values, NumbersAreReadDirectlyOrCoercedThroughExcel4v) {
    EXPECT_EQ(-5.0, XlfOper4(std::int16_t{-5}).ReadDouble());
    EXPECT_EQ(0u, CallsTo(xlCoerce)) << "an integer needs no coercion";

    EXPECT_EQ(1.0, XlfOper4(true).ReadDouble());
    int code = 0;
    XlfOper4("abc").ReadDouble(&code);
    EXPECT_EQ(xlretFailed, code);
    try {
        XlfOper4("abc").ReadDouble();
        FAIL() << "no exception";
    } catch (const std::runtime_error& failure) {
        EXPECT_STREQ("command failed", failure.what());
    }
    try {
        XlfOper4("abc").ReadDouble("x");
        FAIL() << "no exception";
    } catch (const std::runtime_error& failure) {
        EXPECT_STREQ("command failed, Conversion to double x", failure.what());
    }
    EXPECT_EQ(4u, CallsTo(xlCoerce));
    for (const xlhost::CallRecord& call : host_.callsTo(xlCoerce)) EXPECT_EQ(xlhost::Layout::Excel4, call.layout);
    EXPECT_EQ(std::int16_t{-3}, XlfOper4(-3.9).ReadShort());
    EXPECT_EQ(std::int16_t{1}, XlfOper4(65537.0).ReadShort()) << "the low 16 bits";
}

TEST_F(Excel4Values, ExcelMemorySharedByTwoHandlesIsFreedOnce) {
    const XlfOper4 number(2.5);
    {
        XlfOper4 text;
        ASSERT_EQ(xlretSuccess, number.Coerce(xltypeStr, text));
        EXPECT_NE(0u, text.Type() & xlbitHostOwned);
        const XlfOper4 sharing(text);
        EXPECT_STREQ("2.5", sharing.ReadCString());
    }
    EXPECT_EQ(1u, CallsTo(xlFree));
}

TEST_F(Excel4Values, ExcelsOwnValuesAreCoercedWithoutTheOwnershipMark) {
    XlfOper4 text;
    ASSERT_EQ(xlretSuccess, XlfOper4(2.5).Coerce(xltypeStr, text));
    ASSERT_EQ(xltypeStr | xlbitHostOwned, text.Type());
    host_.clearCalls();
    EXPECT_EQ(2.5, text.ReadDouble());
    EXPECT_EQ(std::int16_t{2}, text.ReadShort("n"));
    const auto coercions = host_.callsTo(xlCoerce);
    ASSERT_EQ(2u, coercions.size());
    for (const xlhost::CallRecord& call : coercions)
        EXPECT_EQ(Value::text(std::string("2.5")), call.arguments.at(0)) << call;
    EXPECT_EQ(xltypeStr | xlbitHostOwned, text.Type()) << "the handle still owns Excel's text";

    // An element gets its own copy of Excel's text, unmarked: only the handle gives Excel's back.
    XlfOper4 array;
    array.SetMulti(1, 1);
    array.SetElement(0, 0, text);
    EXPECT_EQ(xltypeStr, array.Element(0, 0).Type());
    EXPECT_STREQ("2.5", array.Element(0, 0).ReadCString());
    EXPECT_EQ(0u, CallsTo(xlFree));
}

TEST_F(Excel4Values, WhatTheLayoutCannotHoldIsRefusedAndTheValueKept) {
    XlfOper4 value(1.5);
    EXPECT_THROW(value.SetRangeRef(XlfRangeRef(0, 0, 0, 256, 1)), std::out_of_range) << "a 257th column";
    EXPECT_THROW(value.SetRangeRef(XlfRangeRef(0, 0, 65536, 0, 1)), std::out_of_range) << "a 65537th row";
    EXPECT_THROW(Cell4(XlfRangeRef(0, 0, 1), 0, -1), std::out_of_range);
    EXPECT_THROW(Cell4(XlfRangeRef(0x7FFFFFFF, 0, 1), 1, 0), std::out_of_range);
    EXPECT_THROW(value.SetCellMatrix(CellMatrix(65536, 1)), std::length_error);
    EXPECT_THROW(value.Set(NumericVector(65536, 2.0)), std::length_error);
    EXPECT_EQ(xltypeNum, value.Type());
    EXPECT_EQ(1.5, value.ReadDouble());

    // A reference whose last row comes before its first names no cells.
    XLMREF list{};
    list.count = 1;
    list.reftbl[0].rwFirst = 5;
    list.reftbl[0].rwLast = 2;
    XLOPER inverted{};
    inverted.xltype = xltypeRef;
    inverted.val.mref.lpmref = &list;
    int code = 0;
    XlfOper4(&inverted).ReadRangeRef(&code);
    EXPECT_EQ(xlretInvXloper, code);
    EXPECT_EQ(0u, CallsTo(xlCoerce));
}

TEST_F(Excel4Values, OnlyThePlainInvalidCountTextDiffersFromTheValueHandle) {
    const auto message = [](auto check) -> std::string {
        try {
            check();
        } catch (const std::exception& failure) {
            return failure.what();
        }
        return "nothing thrown";
    };
    EXPECT_EQ("invalid number of argument", message([] { XlfOper4::CheckReturnCode(xlretInvCount); }));
    EXPECT_EQ("invalid number of argument, n", message([] { XlfOper4::CheckReturnCode(xlretInvCount, "n"); }));
    EXPECT_EQ("command failed", message([] { XlfOper4::CheckReturnCode(xlretInvCount | xlretFailed); }));
    EXPECT_THROW(XlfOper4::CheckReturnCode(xlretInvCount | xlretInvXloper), XlfException);
    EXPECT_THROW(XlfOper4::CheckReturnCode(xlretInvCount | xlretAbort), XlfExceptionAbort);
    EXPECT_EQ(0, XlfOper4::CheckReturnCode(xlretSuccess));
}

TEST_F(Excel4Values, CellMatricesBecomeArraysOfAtMost255Columns) {
    CellMatrix cells(2, 300);
    cells.Cell(0, 0) = MatrixCell(1.5);
    cells.Cell(0, 1) = MatrixCell(WideString(4, XCHAR{0x77}));
    cells.Cell(0, 2) = MatrixCell(std::uint32_t{7}, true);
    cells.Cell(1, 254) = MatrixCell(true);
    XlfOper4 array;
    array.SetCellMatrix(cells);
    ASSERT_EQ(2, array.Rows());
    ASSERT_EQ(255, array.Columns());
    EXPECT_EQ(1.5, array.Element(0, 0).ReadDouble());
    EXPECT_STREQ("wwww", array.Element(0, 1).ReadCString()) << "wide text is narrowed, not lost";
    EXPECT_EQ(xltypeErr, array.Element(0, 2).Type());
    EXPECT_EQ(7, array.Element(0, 2).Pointer()->val.err);
    EXPECT_TRUE(array.Element(1, 254).ReadBool());
    EXPECT_STREQ("", array.Element(1, 0).ReadCString()) << "empty cells become empty texts";
}

TEST_F(Excel4Values, ArraysReadBackCellByCell) {
    // A text as Excel writes it: 200 counted bytes, no closing NUL.
    std::string excelText = char(200) + std::string(200, 't');
    XLOPER text{};
    text.xltype = xltypeStr;
    text.val.str = &excelText[0];
    XlfOper4 array;
    array.SetMulti(1, 3);
    array.SetElement(0, 0, XlfOper4(&text));
    array.SetElement(0, 1, XlfOper4(2.0));
    const CellMatrix cells = array.ReadCellMatrix();
    EXPECT_EQ(std::string(200, 't'), cells.Cell(0, 0).Text());
    EXPECT_EQ(2.0, cells.Cell(0, 1).Number());
    EXPECT_TRUE(cells.Cell(0, 2).IsEmpty());

    array.SetElement(0, 2, XlfOper4(std::int16_t{4}));
    EXPECT_THROW(array.ReadCellMatrix(), const char*);
    EXPECT_THROW(array.SetElement(0, 0, XlfOper4()), XlfException) << "a nil element cannot be set";
    EXPECT_THROW(XlfOper4(1.0).Rows(), XlfException);
}

TEST_F(Excel4Values, VectorsFollowTheirPolicy) {
    NumericMatrix numbers(2, 2);
    for (std::uint32_t i = 0; i < 4; ++i) numbers[i / 2][i % 2] = i + 1.0;
    XlfOper4 square;
    square.Set(numbers);
    const NumericMatrix back = square.ReadMatrix();
    ASSERT_EQ(2u, back.rows());
    EXPECT_EQ(2.0, back[0][1]);
    EXPECT_EQ(3.0, back[1][0]);
    EXPECT_EQ(0u, CallsTo(xlCoerce)) << "an array of numbers is read without Excel";
    int code = 0;
    square.ReadDoubleVector(VectorOnly, &code);
    EXPECT_EQ(xlretFailed, code);
    EXPECT_EQ((NumericVector{1, 2, 3, 4}), square.ReadDoubleVector(RowByRow));
    EXPECT_EQ((NumericVector{1, 3, 2, 4}), square.ReadDoubleVector(ColumnByColumn));
    EXPECT_EQ((NumericVector{}), XlfOper4(static_cast<XLOPER*>(nullptr)).ReadDoubleVector(RowByRow, &code));
    EXPECT_EQ(xlretInvXloper, code);
}

TEST_F(Excel4Values, ReferencesAreReadThroughExcel) {
    const xlhost::SheetId sheet = host_.sheets().activeSheet();
    host_.sheets().setCells(
        sheet, 1, 1,
        Value::array(2, 2, {Value::number(1), Value::number(2), Value::text(std::string("three")), Value::nil()}));
    const XlfRangeRef range(1, 1, 2, 2, static_cast<std::int32_t>(sheet));
    XlfOper4 reference;
    reference.SetRangeRef(range);
    const XlfRangeRef back = reference.ReadRangeRef();
    EXPECT_EQ(1, back.FirstRow());
    EXPECT_EQ(3, back.EndRow());
    EXPECT_EQ(3, back.EndColumn());

    const CellMatrix cells = reference.ReadCellMatrix();
    ASSERT_EQ(2u, cells.Rows());
    EXPECT_EQ(2.0, cells.Cell(0, 1).Number());
    EXPECT_EQ("three", cells.Cell(1, 0).Text());
    EXPECT_TRUE(cells.Cell(1, 1).IsEmpty());

    XlfOper4 firstRow;
    firstRow.SetRangeRef(XlfRangeRef(1, 1, 1, 2, static_cast<std::int32_t>(sheet)));
    EXPECT_EQ((NumericVector{1, 2}), firstRow.ReadDoubleVector());
    EXPECT_EQ(2.0, Cell4(range, 0, 1).ReadDouble());
    int code = 0;
    reference.ReadDoubleVector(RowByRow, &code);
    EXPECT_EQ(xlretFailed, code) << "the text cell is no number";
}

}  // namespace
}  // namespace zep
