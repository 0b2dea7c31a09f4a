// The two record layouts byte by byte: texts and their limits, arrays, elements, references,
// diagnostics, and what happens where Excel or the sizes misbehave.

#include "ValuesTestSupport.h"

#include "XlfException.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <exception>
#include <limits>
#include <new>
#include <ostream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace zep::testing {
namespace {

using xlhost::Area;
using xlhost::Value;

template <class L>
class StrategyTest : public ValuesTest<L> {};
TYPED_TEST_SUITE(StrategyTest, BothLayouts, LayoutNames);

using Excel4Test = ValuesTest<Excel4Values>;
using Excel12Test = ValuesTest<Excel12Values>;

TYPED_TEST(StrategyTest, AllocateGivesAClearedNilRecord) {
    XlfOper fresh(static_cast<void*>(nullptr));
    EXPECT_EQ(this->Impl().Allocate(fresh), xlretSuccess);
    const typename TestFixture::Record cleared = [] {
        typename TestFixture::Record record;
        std::memset(static_cast<void*>(&record), 0, sizeof record);
        record.xltype = xltypeNil;
        return record;
    }();
    EXPECT_EQ(std::memcmp(&this->RecordOf(fresh), &cleared, sizeof cleared), 0);
}

TYPED_TEST(StrategyTest, IntegersAndCodesKeepTheirSixteenBits) {
    XlfOper word(std::int16_t{-1}, true);
    XlfOper code = XlfOper::Error(0xFFFF);
    XlfOper integer(std::int16_t{-5});
    // SetWord widens with the sign into Excel 12's 32-bit field, SetError without.
    EXPECT_EQ(static_cast<std::int64_t>(this->RecordOf(word).val.err), TypeParam::isExcel12 ? -1 : 0xFFFF);
    EXPECT_EQ(static_cast<std::int64_t>(this->RecordOf(code).val.err), 0xFFFF);
    EXPECT_EQ(this->RecordOf(integer).val.w, -5);
    EXPECT_EQ(integer.ReadDouble(), -5.0);
    EXPECT_EQ(word.ReadErrorCode(), 0xFFFF);
}

TEST_F(Excel4Test, NarrowTextsCountATerminatingZeroAndKeep254Bytes) {
    EXPECT_EQ(BodyOf(RecordOf(XlfOper("abc"))), std::string("abc", 4));
    EXPECT_EQ(BodyOf(RecordOf(XlfOper(""))), std::string(1, '\0'));
    EXPECT_EQ(Diagnostics(), "");
    const std::string body = BodyOf(RecordOf(XlfOper(std::string(300, 'x'))));
    EXPECT_EQ(body, std::string(254, 'x') + '\0');
    EXPECT_EQ(Diagnostics(), "..\\..\\src\\XlfOperImpl4(782): String truncated to 254 bytes\n");
}

TEST_F(Excel4Test, WideTextsKeep255BytesWithoutACountedZero) {
    EXPECT_EQ(BodyOf(RecordOf(XlfOper(WideString(255, u'w')))), std::string(255, 'w'));
    EXPECT_EQ(Diagnostics(), "");
    EXPECT_EQ(BodyOf(RecordOf(XlfOper(WideString(256, u'w')))), std::string(255, 'w'));
    EXPECT_EQ(Diagnostics(), "..\\..\\src\\XlfOperImpl4(813): String truncated to 255 bytes\n");
    // A character the locale cannot write becomes '?', and the count is of the bytes written.
    EXPECT_EQ(BodyOf(RecordOf(XlfOper(Wide(u"a\u4E2Db")))), "a?b");
}

TEST_F(Excel4Test, TextsAreReadWithTheirCountUnsigned) {
    Argument long200(Value::text(std::string(200, 'y')));
    const XlfOper text(long200.get());
    EXPECT_EQ(std::string(text.ReadCString()), std::string(200, 'y'));
    const CellMatrix cells = text.ReadCellMatrix();
    EXPECT_EQ(cells.Cell(0, 0).Text(), std::string(200, 'y'));
    EXPECT_EQ(XlfOper("abc").ReadWString(), Wide(u"abc"));  // up to the counted zero
    const char* empty = XlfOper("").ReadCString();
    EXPECT_EQ(empty[0], '\0');
}

TEST_F(Excel12Test, TextsAreSixteenBitUnitsWithoutTerminator) {
    EXPECT_EQ(BodyOf(RecordOf(XlfOper("abc"))), Units("abc"));
    EXPECT_EQ(BodyOf(RecordOf(XlfOper(""))), Units(""));
    EXPECT_STREQ(XlfOper(Wide(u"abc")).ReadCString(), "abc");
    Argument accented(Value::text(std::u16string(u"\u00E9")));
    const CellMatrix cells = XlfOper(accented.get()).ReadCellMatrix();
    ASSERT_TRUE(cells.Cell(0, 0).IsWideString());
    EXPECT_EQ(cells.Cell(0, 0).WideText(), WideString(1, static_cast<XCHAR>(0x00E9)));
    EXPECT_STREQ(XlfOper(Wide(u"a\u4E2Db")).ReadCString(), "a?b");
    EXPECT_EQ(Diagnostics(), "");
}

// A 16-bit count holds 65535 units; a longer text keeps that many, and never half a pair.
TEST_F(Excel12Test, TextsLongerThanTheCountCanHoldAreCut) {
    EXPECT_EQ(BodyOf(RecordOf(XlfOper(std::string(70000, 'z')))).size(), 65535u);
    WideString paired(65534, u'p');
    paired += Wide(u"\U0001F600");  // a surrogate pair at units 65535 and 65536
    EXPECT_EQ(BodyOf(RecordOf(XlfOper(paired))), Text(65534, u'p'));
    EXPECT_EQ(BodyOf(RecordOf(XlfOper(WideString(65535, u'q')))).size(), 65535u);
}

#ifndef _WIN32  // msvcrt has no UTF-8 locale
// The runtime's conversions can turn several bytes into one unit and back: counts follow
// what was produced, and no byte or unit is left unwritten.
TYPED_TEST(StrategyTest, MultibyteTextsAreCountedAsConverted) {
    Utf8Locale utf8;
    if (!utf8.active()) GTEST_SKIP() << "no UTF-8 locale here";
    if constexpr (TypeParam::isExcel12) {
        EXPECT_EQ(this->BodyOf(this->RecordOf(XlfOper("h\xC3\xA9llo"))), Wide(u"h\u00E9llo"));
        EXPECT_STREQ(XlfOper(Wide(u"\u00E9t\u00E9")).ReadCString(), "\xC3\xA9t\xC3\xA9");
    } else {
        const std::string body = this->BodyOf(this->RecordOf(XlfOper(WideString(200, u'\u00E9'))));
        EXPECT_EQ(body.size(), 254u);  // 127 whole characters of two bytes
        EXPECT_EQ(body.substr(0, 4), "\xC3\xA9\xC3\xA9");
        EXPECT_EQ(this->Diagnostics(), "..\\..\\src\\XlfOperImpl4(813): String truncated to 255 bytes\n");
        EXPECT_EQ(XlfOper("\xC3\xA9").ReadWString(), Wide(u"\u00E9"));
    }
}
#endif

// Excel answering a coercion with success and a value of another kind must not send a read
// round the coercion again and again.
template <class L>
class KindChangingExcel : public L::Strategy::Records {
public:
    using Record = typename L::Record;
    int Coerce(const Record*, std::int16_t type, Record* result) const override {
        ++coercions;
        Record& record = *result;
        if (type == static_cast<std::int16_t>(xltypeNum)) {
            record.val.xbool = 1;
            record.xltype = xltypeBool;
        } else {
            record.val.num = 1.0;
            record.xltype = xltypeNum;
        }
        return xlretSuccess;
    }
    mutable int coercions = 0;
};

TYPED_TEST(StrategyTest, AReadCoercesOnceEvenWhenExcelGivesAnotherKind) {
    const KindChangingExcel<TypeParam> excel;
    typename TestFixture::Argument missing(Value::missing());
    const auto* value = static_cast<const typename TypeParam::Record*>(missing.get());
    double number = 0;
    std::int16_t shortValue = 0;
    bool flag = false;
    const char* text = nullptr;
    WideString wide;
    XlfRangeRef range;
    std::uint16_t code = 0;
    EXPECT_EQ(excel.GetDouble(value, number), xlretFailed);
    EXPECT_EQ(excel.GetShort(value, shortValue), xlretFailed);
    EXPECT_EQ(excel.GetBool(value, flag), xlretFailed);
    EXPECT_EQ(excel.GetCString(value, text), xlretFailed);
    EXPECT_EQ(excel.GetWString(value, wide), xlretFailed);
    EXPECT_EQ(excel.GetRangeRef(value, range), xlretFailed);
    EXPECT_EQ(excel.GetErrorCode(value, code), xlretFailed);
    EXPECT_EQ(excel.coercions, 7);
}

TYPED_TEST(StrategyTest, ArraysTooLargeForTheirFieldsOrForMemoryAreRefused) {
    XlfOper value(1.0);
    const auto before = this->Decoded(value);
    if (!TypeParam::isExcel12) {
        // 65536 rows would wrap the 16-bit count to an empty array.
        EXPECT_THROW(this->Impl().SetMulti(value, 65536, 1), std::length_error);
        EXPECT_THROW(value.Set(CellMatrix(65536, 1)), std::length_error);
        EXPECT_THROW(this->Impl().SetMulti(value, 65535, 65535), std::bad_alloc);
    } else {
        EXPECT_THROW(this->Impl().SetMulti(value, 0x7FFFFFFF, 0x7FFFFFFF), std::bad_alloc);
        this->Impl().SetMulti(value, 70000, 1);
        EXPECT_EQ(this->RecordOf(value).val.array.rows, 70000);
        return;
    }
    EXPECT_EQ(this->Decoded(value), before);
}

TYPED_TEST(StrategyTest, ReferencesBeyondTheLayoutAreRefused) {
    XlfOper value;
    const std::int32_t tooFar = TypeParam::isExcel12 ? 0x7FFFFFFF : 256;
    EXPECT_THROW(this->Impl().SetRangeRef(value, XlfRangeRef(0, 0, 0, tooFar, 1)), std::out_of_range);
    if (!TypeParam::isExcel12) {
        EXPECT_THROW(this->Impl().SetRangeRef(value, XlfRangeRef(-1, 0, 0, 0, 1)), std::out_of_range);
    }
    EXPECT_EQ(this->Decoded(value), Value::nil());
}

// A reference of 2^31 x 2^31 cells: no vector or cell matrix of that many fits any memory.
TEST_F(Excel12Test, ReferencesOfMoreCellsThanMemoryAreRefused) {
    XlfOper huge;
    Impl().SetRangeRef(huge, XlfRangeRef(0, 0, 0x7FFFFFFD, 0x7FFFFFFD, 1));
    NumericVector values;
    EXPECT_THROW(Impl().GetDoubleVector(huge, values, RowByRow), std::bad_alloc);
    CellMatrix cells;
    EXPECT_THROW(Impl().GetCellMatrix(huge, cells), std::bad_alloc);
    EXPECT_EQ(CallsTo(xlCoerce), 0u);
}

TYPED_TEST(StrategyTest, ArrayOperationsOnOtherValuesThrow) {
    XlfOper number(1.0);
    try {
        this->Impl().Rows(number);
        FAIL() << "no exception";
    } catch (const XlfException& e) {
        EXPECT_STREQ(e.what(), "attempt to perform an xltypeMulti operation on a value of type 1");
    }
    EXPECT_THROW(this->Impl().Columns(number), XlfException);
    EXPECT_THROW(this->Impl().Element(number, 0, 0), XlfException);
    EXPECT_THROW(this->Impl().SetElement(number, 0, 0, XlfOper(2.0)), XlfException);
}

TYPED_TEST(StrategyTest, SetElementCopiesScalarsAndTextBodies) {
    XlfOper array;
    this->Impl().SetMulti(array, 2, 3);
    EXPECT_EQ(this->Decoded(array), Value::array(2, 3, std::vector<Value>(6, Value::nil())));
    XlfOper text("t");
    this->Impl().SetElement(array, 0, 1, XlfOper(1.5));
    this->Impl().SetElement(array, 0, 2, text);
    this->Impl().SetElement(array, 1, 0, XlfOper(true));
    this->Impl().SetElement(array, 1, 1, XlfOper::Error(xlerrNA));
    this->Impl().SetElement(array, 1, 2, XlfOper(std::int16_t{9}));
    EXPECT_NE(this->RecordOf(this->Impl().Element(array, 0, 2)).val.str, this->RecordOf(text).val.str);
    EXPECT_EQ(this->Decoded(this->Impl().Element(array, 0, 2)), this->Decoded(text));
    EXPECT_EQ(this->Decoded(this->Impl().Element(array, 1, 2)), Value::integer(9));
    EXPECT_EQ(this->Impl().Rows(array), 2u);
    EXPECT_EQ(this->Impl().Columns(array), 3u);
    typename TestFixture::Argument missing(Value::missing());
    try {
        this->Impl().SetElement(array, 0, 0, XlfOper(missing.get()));
        FAIL() << "no exception";
    } catch (const XlfException& e) {
        EXPECT_STREQ(e.what(), "attempt to set a matrix element to a value of type 128");
    }
}

TYPED_TEST(StrategyTest, CellMatricesReadFromArraysKeepEachKind) {
    typename TestFixture::Argument array(Value::array(2, 3,
                                                      {Value::number(1), Value::text("s"), Value::boolean(true),
                                                       Value::error(xlerrRef), Value::nil(), Value::missing()}));
    const CellMatrix cells = XlfOper(array.get()).ReadCellMatrix();
    EXPECT_EQ(cells.Cell(0, 0).Number(), 1.0);
    EXPECT_EQ(cells.Cell(0, 1).Kind(), TypeParam::isExcel12 ? CellKind::WString : CellKind::String);
    EXPECT_TRUE(cells.Cell(0, 2).Boolean());
    EXPECT_EQ(cells.Cell(1, 0).ErrorCode(), static_cast<std::uint32_t>(xlerrRef));
    EXPECT_TRUE(cells.Cell(1, 1).IsEmpty());
    EXPECT_TRUE(cells.Cell(1, 2).IsEmpty());

    typename TestFixture::Argument withInteger(Value::array(1, 2, {Value::number(1), Value::integer(2)}));
    try {
        XlfOper(withInteger.get()).ReadCellMatrix();
        FAIL() << "no exception";
    } catch (const char* text) {
        EXPECT_STREQ(text, "cell contains neither number nor string nor boolean nor empty");
    }
}

TYPED_TEST(StrategyTest, VectorOnlyLeavesTheOutputOfAWrongShapeAlone) {
    typename TestFixture::Argument block(Value::array(3, 2, std::vector<Value>(6, Value::number(1))));
    NumericVector out{9.0};
    EXPECT_EQ(this->Impl().GetDoubleVector(XlfOper(block.get()), out, VectorOnly), xlretFailed);
    EXPECT_EQ(out, NumericVector{9.0});
}

// An Excel 4 grid has 256 columns, an Excel 12 one 16384: a result keeps what its Excel can show.
TYPED_TEST(StrategyTest, CellMatricesKeepTheColumnsTheirExcelsGridHas) {
    CellMatrix cells(2, 300);
    cells.Cell(0, 0) = MatrixCell(1.0);
    cells.Cell(0, 1) = MatrixCell(Wide(u"w\u00E9"));
    cells.Cell(1, 0) = MatrixCell(std::uint32_t{xlerrNum}, true);
    const XlfOper array(cells);
    const std::uint32_t kept = TypeParam::isExcel12 ? 300 : 255;
    ASSERT_EQ(this->RecordOf(array).val.array.columns, kept);
    const auto& elements = this->RecordOf(array).val.array.lparray;
    // An empty cell goes as an empty text; Excel 4 narrows wide text by the cell's own rule.
    using Body = typename TestFixture::Text;
    EXPECT_EQ(this->BodyOf(elements[2]), TypeParam::isExcel12 ? Body() : Body(1, typename TestFixture::Unit{}));
    EXPECT_EQ(xlhost::decode(elements[0]), Value::number(1.0));
    EXPECT_EQ(xlhost::decode(elements[1]),
              TypeParam::isExcel12 ? Value::text(std::u16string(u"w\u00E9")) : Value::text(std::string("w\xE9\0", 3)));
    EXPECT_EQ(xlhost::decode(elements[kept]), Value::error(xlerrNum));
}

TYPED_TEST(StrategyTest, ResultsWiderThanTheGridAreCutToIt) {
    struct Case {
        std::uint32_t columns, keptUnder4, keptUnder12;
    };
    for (const Case& c : {Case{255, 255, 255}, Case{256, 255, 256}, Case{16384, 255, 16384}, Case{16385, 255, 16384}}) {
        const std::uint32_t kept = TypeParam::isExcel12 ? c.keptUnder12 : c.keptUnder4;
        const XlfOper cells(CellMatrix(1, c.columns));
        EXPECT_EQ(static_cast<std::uint32_t>(this->RecordOf(cells).val.array.columns), kept) << c.columns;
        XlfOper numbers;
        numbers.Set(NumericMatrix(2, c.columns));
        EXPECT_EQ(static_cast<std::uint32_t>(this->RecordOf(numbers).val.array.columns), kept) << c.columns;
        EXPECT_EQ(static_cast<std::uint32_t>(this->RecordOf(numbers).val.array.rows), 2u) << c.columns;
        EXPECT_EQ(this->Impl().MaxResultColumns(), TypeParam::isExcel12 ? 16384u : 255u);
    }
}

// SetCellMatrix writes each cell straight into its element; the record must be the one a
// value built from the cell by its constructor has, body for body.
TYPED_TEST(StrategyTest, SetCellMatrixGivesTheRecordsOfValuesBuiltOneByOne) {
    std::mt19937 random(2024);
    std::uniform_int_distribution<int> kind(0, 5), length(0, 300), byte(1, 255);
    for (int round = 0; round < 10; ++round) {
        CellMatrix cells(1 + round, 3 + round * 7);
        for (std::uint32_t i = 0; i < cells.Rows(); ++i) {
            for (std::uint32_t j = 0; j < cells.Columns(); ++j) {
                std::string text(static_cast<std::size_t>(length(random)), ' ');
                for (char& c : text) c = static_cast<char>(byte(random));
                switch (kind(random)) {
                    case 0:
                        cells.Cell(i, j) = MatrixCell(std::ldexp(byte(random), byte(random) - 128));
                        break;
                    case 1:
                        cells.Cell(i, j) = MatrixCell(text);
                        break;
                    case 2:
                        cells.Cell(i, j) = MatrixCell(WideString(text.begin(), text.end()));
                        break;
                    case 3:
                        cells.Cell(i, j) = MatrixCell(byte(random) % 2 == 0);
                        break;
                    case 4:
                        cells.Cell(i, j) = MatrixCell(static_cast<std::uint32_t>(byte(random) * 300), true);
                        break;
                    default:
                        break;  // empty
                }
            }
        }
        const XlfOper array(cells);
        for (std::uint32_t i = 0; i < cells.Rows(); ++i) {
            for (std::uint32_t j = 0; j < cells.Columns(); ++j) {
                const MatrixCell& cell = cells.Cell(i, j);
                const XlfOper one = cell.IsNumber()    ? XlfOper(cell.Number())
                                    : cell.IsBoolean() ? XlfOper(cell.Boolean())
                                    : cell.IsError()   ? XlfOper(static_cast<std::int16_t>(cell.ErrorCode()), true)
                                    : cell.IsWideString() && TypeParam::isExcel12 ? XlfOper(cell.WideText())
                                    : cell.IsEmpty()                              ? XlfOper("")
                                                                                  : XlfOper(cell.Text());
                const auto& element = this->RecordOf(this->Impl().Element(array, i, j));
                const auto& expected = this->RecordOf(one);
                if (expected.xltype == xltypeStr) {
                    ASSERT_EQ(element.xltype, xltypeStr) << xlhost::decode(element);
                    EXPECT_EQ(this->BodyOf(element), this->BodyOf(expected)) << i << ", " << j;
                } else {
                    EXPECT_EQ(std::memcmp(&element, &expected, sizeof element), 0)
                        << xlhost::decode(element) << " instead of " << xlhost::decode(expected);
                }
            }
        }
    }
}

// What a matrix read gave: its return code or what it threw, and the matrix bit for bit.
struct MatrixReading {
    std::string outcome;
    std::uint32_t rows = 0, columns = 0;
    std::vector<std::uint64_t> bits;

    bool operator==(const MatrixReading& other) const {
        return outcome == other.outcome && rows == other.rows && columns == other.columns && bits == other.bits;
    }
};

std::ostream& operator<<(std::ostream& out, const MatrixReading& reading) {
    return out << reading.outcome << ", " << reading.rows << " x " << reading.columns;
}

template <class Read>
MatrixReading ReadingOf(Read read) {
    MatrixReading reading;
    NumericMatrix out(2, 2);  // a stale matrix, to show what a failure leaves in it
    try {
        reading.outcome = "code " + std::to_string(read(out));
    } catch (const char* text) {
        reading.outcome = std::string("threw ") + text;
    } catch (const std::exception& failure) {
        reading.outcome = std::string("threw ") + failure.what();
    }
    reading.rows = out.rows();
    reading.columns = out.columns();
    reading.bits.resize(std::size_t{out.rows()} * out.columns());
    if (!reading.bits.empty()) std::memcpy(reading.bits.data(), out.data(), reading.bits.size() * sizeof(double));
    return reading;
}

// GetMatrix reads arrays of numbers without building cells; on random arrays, some all numbers,
// some with one or more other elements anywhere, it must give exactly what the general path gives.
TYPED_TEST(StrategyTest, TheNumberPathReadsMatricesAsTheGeneralPathDoes) {
    const auto& strategy = static_cast<const typename TypeParam::Strategy&>(this->Impl());
    std::mt19937 random(7);
    std::uniform_int_distribution<int> size(1, 12), other(0, 7), bits(0, 255);
    const double specials[] = {0.0,
                               -0.0,
                               std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity(),
                               std::numeric_limits<double>::quiet_NaN(),
                               std::numeric_limits<double>::denorm_min(),
                               -1e308};
    for (int round = 0; round < 200; ++round) {
        const int rows = size(random), columns = size(random);
        std::vector<Value> elements;
        for (int k = 0; k < rows * columns; ++k) {
            const int b = bits(random);
            elements.push_back(Value::number(b < 30 ? specials[b % 7] : std::ldexp(b - 128.0, bits(random) - 128)));
        }
        // Half the arrays all numbers; the rest with up to three other elements.
        const int others = round % 2 == 0 ? 0 : 1 + round % 3;
        for (int k = 0; k < others; ++k) {
            Value& element = elements[std::uniform_int_distribution<std::size_t>(0, elements.size() - 1)(random)];
            switch (other(random)) {
                case 0:
                    element = Value::text("7");
                    break;
                case 1:
                    element = Value::boolean(true);
                    break;
                case 2:
                    element = Value::error(xlerrNA);
                    break;
                case 3:
                    element = Value::nil();
                    break;
                case 4:
                    element = Value::missing();
                    break;
                case 5:
                    element = Value::integer(3);
                    break;
                case 6:
                    element = Value::text("");
                    break;
                default:
                    element = Value::number(1);
                    break;
            }
        }
        typename TestFixture::Argument array(Value::array(rows, columns, std::move(elements)));
        const XlfOper h(array.get());
        const MatrixReading general =
            ReadingOf([&](NumericMatrix& out) { return strategy.GetMatrixThroughCells(h, out); });
        EXPECT_EQ(ReadingOf([&](NumericMatrix& out) { return strategy.GetMatrix(h, out); }), general)
            << "round " << round << ": " << xlhost::decode(this->RecordOf(h));
    }
    // Values that are no array keep to the general path.
    for (const Value& value : {Value::number(2.5), Value::missing(), Value::nil(), Value::text("x")}) {
        typename TestFixture::Argument argument(value);
        const XlfOper h(argument.get());
        EXPECT_EQ(ReadingOf([&](NumericMatrix& out) { return strategy.GetMatrix(h, out); }),
                  ReadingOf([&](NumericMatrix& out) { return strategy.GetMatrixThroughCells(h, out); }))
            << value;
    }
}

TYPED_TEST(StrategyTest, AFailedFreeIsLoggedNotThrown) {
    XlfOper ours("not Excel's");
    EXPECT_NO_THROW(this->Impl().FreeThroughExcel(ours));
    EXPECT_EQ(this->Diagnostics(), TypeParam::isExcel12 ? "..\\..\\src\\XlfOperImpl12(77): Call to xlFree failed\n"
                                                        : "..\\..\\src\\XlfOperImpl4(78): Call to xlFree failed\n");
    EXPECT_EQ(this->host_.faults().count(xlhost::FaultKind::ForeignFree), 1u) << this->host_.faults();
    this->host_.clearFaults();
}

}  // namespace
}  // namespace zep::testing
