#ifndef SRC_XLFOPER_H
#define SRC_XLFOPER_H

#include "CellMatrix.h"
#include "NumericMatrix.h"
#include "ValueReads.h"
#include "WideText.h"
#include "XlCall.h"

#include <cstdint>
#include <string>

namespace zep {

// Handle on one Excel value record, whichever layout (XLOPER or XLOPER12) the running Excel
// speaks: every record operation goes to the current XlfOperImpl. The handle never owns the
// record; records it builds live in the host connection's temporary memory until the next
// worksheet call. Releasing a handle gives back, through xlFree, what Excel allocated in a
// call result (marked xlbitHostOwned); copies share the record, and the bit is cleared before
// the xlFree, so shared Excel memory is freed once. The conversions (ReadDouble and the others)
// are those of ValueReads.
class XlfOper : public ValueReads<XlfOper> {
public:
    XlfOper();                       // a fresh xltypeNil record
    explicit XlfOper(void* record);  // wraps a record of the active layout; nothing is copied
    XlfOper(const XlfOper& other);   // shares the record
    // Releases this handle's record first, as destruction would, then shares the other's.
    XlfOper& operator=(const XlfOper& other);
    ~XlfOper();

    explicit XlfOper(double number);
    explicit XlfOper(bool value);
    explicit XlfOper(const char* text);
    explicit XlfOper(const std::string& text);  // up to its first NUL
    explicit XlfOper(const WideString& text);
    explicit XlfOper(const CellMatrix& cells);
    XlfOper(std::int16_t value, bool isError);  // xltypeErr if isError, else xltypeInt
    explicit XlfOper(std::int16_t value);       // xltypeInt; the type argument of a coercion
    static XlfOper Error(std::uint16_t code);   // xltypeErr

    // Conversions beside those of ValueReads, reported alike.
    WideString ReadWString(int* err = nullptr) const;
    std::uint16_t ReadErrorCode(int* err = nullptr) const;

    // Makes the value an array of the cells (at most 255 columns; empty cells as empty texts).
    XlfOper& Set(const CellMatrix& cells);
    // An array of the numbers; an empty matrix or vector leaves the value as it is. A vector
    // becomes one column.
    XlfOper& Set(const NumericMatrix& numbers);
    XlfOper& Set(const NumericVector& numbers);

    void* Pointer() const;  // the record, as handed to Excel
    // The record in its layout; the one that does not match the running Excel throws its text
    // (a bare const char*).
    XLOPER* Excel4Value() const;
    XLOPER12* Excel12Value() const;
    std::uint32_t Type() const;  // the whole type word, flag bits included; 0 for no record
    const char* TypeName() const;

    static int CheckReturnCode(int code);
    static int CheckReturnCode(int code, const std::string& text);

private:
    friend class XlfOperImpl;  // the strategies read and replace the record pointer
    friend class ValueReads<XlfOper>;

    // The current strategy's reads of this record, for the conversions.
    int GetDouble(double& out) const;
    int GetDoubleVector(NumericVector& out, VectorPolicy policy) const;
    int GetShort(std::int16_t& out) const;
    int GetBool(bool& out) const;
    int GetMatrix(NumericMatrix& out) const;
    int GetCellMatrix(CellMatrix& out) const;
    int GetCString(const char*& out) const;
    int GetRangeRef(XlfRangeRef& out) const;

    void* record_;
};

// A rectangle on one sheet: rows [first row, end row), columns [first column, end column).
class XlfRangeRef {
public:
    XlfRangeRef();  // all zero
    // The arguments name the last row and column themselves.
    XlfRangeRef(std::int32_t firstRow, std::int32_t firstColumn, std::int32_t lastRow, std::int32_t lastColumn,
                std::int32_t sheetId);
    XlfRangeRef(std::int32_t row, std::int32_t column, std::int32_t sheetId);  // one cell

    std::int32_t FirstRow() const { return firstRow_; }
    std::int32_t EndRow() const { return endRow_; }
    std::int32_t FirstColumn() const { return firstColumn_; }
    std::int32_t EndColumn() const { return endColumn_; }
    std::int32_t SheetId() const { return sheetId_; }
    std::int32_t Rows() const;
    std::int32_t Columns() const;

    // A handle on the one-cell reference (first row + row, first column + column) of the sheet.
    XlfOper Cell(std::int32_t row, std::int32_t column) const;

private:
    std::int32_t firstRow_;
    std::int32_t endRow_;
    std::int32_t firstColumn_;
    std::int32_t endColumn_;
    std::int32_t sheetId_;
};

}  // namespace zep

#endif
