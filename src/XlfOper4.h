#ifndef SRC_XLFOPER4_H
#define SRC_XLFOPER4_H

#include "CellMatrix.h"
#include "NumericMatrix.h"
#include "XlCall.h"
#include "XlfOper.h"

#include <cstdint>
#include <string>

namespace zep {

// Handle on one value record in the Excel 4 layout (XLOPER), whatever Excel runs: what the
// framework's own Excel4v calls (registration) are built from. It works on the record with the
// Excel 4 strategy's algorithm, but without a strategy, and calls Excel through Excel4v only.
// Records it builds live in the host connection's temporary memory; copies share the record. The
// destructor gives Excel-allocated memory (xlbitHostOwned) back through xlFree and clears the bit
// first, so shared memory goes back once. A handle without a record (null pointer) stores
// nothing, and its conversions give 8. The conversions (ReadDouble and the others) are those of
// ValueReads, on the core reads below, and throw through this class's CheckReturnCode.
class XlfOper4 : public ValueReads<XlfOper4> {
public:
    XlfOper4();  // a fresh xltypeNil record
    explicit XlfOper4(double number);
    explicit XlfOper4(const char* text);
    explicit XlfOper4(const std::string& text);  // up to its first NUL
    explicit XlfOper4(std::int16_t value);       // xltypeInt
    XlfOper4(std::int16_t value, bool isError);  // xltypeErr if isError, else xltypeInt
    explicit XlfOper4(bool value);
    explicit XlfOper4(XLOPER* record);  // attaches; nothing is allocated
    XlfOper4(const XlfOper4& other) = default;
    XlfOper4& operator=(const XlfOper4& other) = default;
    ~XlfOper4();

    XLOPER* Pointer() const { return record_; }
    int Allocate();  // a fresh xltypeNil record from temporary memory
    void FreeThroughExcel();
    // xlCoerce of this record to `type` into result's record; Excel's return code.
    int Coerce(std::uint16_t type, XlfOper4& result) const;
    std::uint32_t Type() const;  // the whole type word; 0 without a record

    // Of an array; XlfException for any other value. Element's indices are not checked.
    std::uint16_t Rows() const;
    std::uint16_t Columns() const;
    XlfOper4 Element(std::uint16_t row, std::uint16_t column) const;

    // Core reads: Excel's return code, the value through `out`. Other types are coerced through
    // Excel first.
    int GetDouble(double& out) const;
    int GetShort(std::int16_t& out) const;
    int GetBool(bool& out) const;
    int GetErrorCode(std::uint16_t& out) const;
    int GetCString(const char*& out) const;  // a copy in temporary memory
    int GetRangeRef(XlfRangeRef& out) const;
    int GetDoubleVector(NumericVector& out, VectorPolicy policy) const;
    int GetMatrix(NumericMatrix& out) const;
    int GetCellMatrix(CellMatrix& out) const;

    XlfOper4& SetDouble(double number);
    XlfOper4& SetInt(std::int16_t value);
    XlfOper4& SetWord(std::int16_t value, bool isError);
    XlfOper4& SetBool(bool value);
    XlfOper4& SetError(std::uint16_t code);
    // At most 254 bytes (longer texts are cut with a warning); the count includes a closing NUL.
    XlfOper4& SetString(const char* text);
    XlfOper4& SetRangeRef(const XlfRangeRef& range);                // std::out_of_range beyond the sheet
    XlfOper4& SetMulti(std::uint16_t rows, std::uint16_t columns);  // elements xltypeNil
    // Copies a number, text, boolean, error or integer into one element; XlfException else.
    XlfOper4& SetElement(std::uint16_t row, std::uint16_t column, const XlfOper4& value);
    // An array of the cells, at most 255 columns: wide texts narrowed, cells other than numbers,
    // texts, booleans and errors as empty texts. A failure leaves the value as it was.
    XlfOper4& SetCellMatrix(const CellMatrix& cells);
    // Empty matrices and vectors leave the value as it is; a vector becomes one column.
    XlfOper4& Set(const NumericMatrix& numbers);
    XlfOper4& Set(const NumericVector& numbers);

    // As the version-neutral check, but the plain invalid-count text is "invalid number of argument".
    static int CheckReturnCode(int code);
    static int CheckReturnCode(int code, const std::string& text);

private:
    XLOPER* record_;
};

// A handle on the one-cell reference (first row + row, first column + column) of the range's sheet.
XlfOper4 Cell4(const XlfRangeRef& range, std::int32_t row, std::int32_t column);

}  // namespace zep

#endif
