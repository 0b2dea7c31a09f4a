#ifndef SRC_XLFOPERIMPL_H
#define SRC_XLFOPERIMPL_H

#include "CellMatrix.h"
#include "NumericMatrix.h"
#include "WideText.h"
#include "XlCall.h"
#include "XlfOper.h"

#include <cstdint>

namespace zep {

// Reads and writes value records of one Excel layout for XlfOper. Exactly one strategy is
// current: every host connection makes the one of its Excel's version current, so a process
// that meets several Excels in turn builds each one's records in its layout. Strategies hold no
// data; every operation takes the handle(s) it works on. The operations are declared in their
// slot order.
//
// Return codes are Excel's (0 = xlretSuccess): 8 (xlretInvXloper) for a handle without a record,
// 32 (xlretFailed) for a value of the wrong shape or kind, anything else as xlCoerce gave it.
// The type tests, Rows, Columns, Element, SetMulti and SetElement expect a handle with a record;
// Element and SetElement expect indices inside the array.
class XlfOperImpl {
public:
    // The current strategy; std::logic_error before the host connection has made one.
    static const XlfOperImpl& Current();
    void MakeCurrent() const;

    XlfOperImpl(const XlfOperImpl&) = delete;
    XlfOperImpl& operator=(const XlfOperImpl&) = delete;

    virtual void Release(XlfOper& h) const = 0;           // xlFree of Excel-owned memory, once
    virtual void FreeThroughExcel(XlfOper& h) const = 0;  // xlFree; a failure is only logged
    virtual void Copy(XlfOper& target, const XlfOper& source) const = 0;
    virtual XlfOper Element(const XlfOper& h, std::uint32_t row, std::uint32_t column) const = 0;
    virtual XLOPER* Excel4Value(const XlfOper& h) const = 0;
    virtual XLOPER12* Excel12Value(const XlfOper& h) const = 0;
    virtual void* Pointer(const XlfOper& h) const = 0;
    virtual bool IsMissing(const XlfOper& h) const = 0;
    virtual bool IsError(const XlfOper& h) const = 0;
    virtual bool IsRef(const XlfOper& h) const = 0;
    virtual bool IsSRef(const XlfOper& h) const = 0;
    virtual bool IsMulti(const XlfOper& h) const = 0;
    virtual bool IsNumber(const XlfOper& h) const = 0;
    virtual bool IsString(const XlfOper& h) const = 0;
    virtual bool IsNil(const XlfOper& h) const = 0;
    virtual bool IsBool(const XlfOper& h) const = 0;
    virtual bool IsInt(const XlfOper& h) const = 0;
    // Of an array; XlfException for any other value.
    virtual std::uint32_t Rows(const XlfOper& h) const = 0;
    virtual std::uint32_t Columns(const XlfOper& h) const = 0;
    virtual void* RawPointer(const XlfOper& h) const = 0;
    // Arrays handed to Excel keep their rows and at most this many columns: 255 in Excel 4
    // records, the 16384 of the grid in Excel 12 records.
    virtual std::uint32_t MaxResultColumns() const = 0;
    // An array of xltypeNil elements. Counts the layout cannot hold throw std::length_error.
    virtual XlfOper& SetMulti(XlfOper& h, std::uint32_t rows, std::uint32_t columns) const = 0;
    // Makes every element of an array from SetMulti a number, row by row: element (i, j) gets
    // numbers[i * stride + j]. XlfException for any other value.
    virtual void SetNumbers(XlfOper& h, const double* numbers, std::size_t stride) const = 0;
    virtual XlfOper& SetWord(XlfOper& h, std::int16_t value, bool isError) const = 0;
    // A one-area reference; one the layout cannot hold throws std::out_of_range.
    virtual XlfOper& SetRangeRef(XlfOper& h, const XlfRangeRef& range) const = 0;
    virtual XlfOper& SetCellMatrix(XlfOper& h, const CellMatrix& cells) const = 0;
    virtual XlfOper& SetWideString(XlfOper& h, const WideString& text) const = 0;
    virtual XlfOper& SetString(XlfOper& h, const char* text) const = 0;
    virtual XlfOper& SetBool(XlfOper& h, bool value) const = 0;
    virtual XlfOper& SetInt(XlfOper& h, std::int16_t value) const = 0;
    virtual XlfOper& SetDouble(XlfOper& h, double number) const = 0;
    virtual XlfOper& Attach(XlfOper& h, void* record) const = 0;
    // A copy of a number, text, boolean, error or integer into one element; XlfException else.
    virtual XlfOper& SetElement(XlfOper& h, std::uint32_t row, std::uint32_t column, const XlfOper& value) const = 0;
    virtual XlfOper& SetError(XlfOper& h, std::uint16_t code) const = 0;
    virtual int Coerce(const XlfOper& h, std::int16_t type, XlfOper& result) const = 0;
    virtual int Allocate(XlfOper& h) const = 0;
    virtual int GetDoubleVector(const XlfOper& h, NumericVector& out, VectorPolicy policy) const = 0;
    virtual int GetDouble(const XlfOper& h, double& out) const = 0;
    virtual int GetShort(const XlfOper& h, std::int16_t& out) const = 0;
    virtual int GetBool(const XlfOper& h, bool& out) const = 0;
    virtual int GetCString(const XlfOper& h, const char*& out) const = 0;
    virtual int GetWString(const XlfOper& h, WideString& out) const = 0;
    virtual int GetCellMatrix(const XlfOper& h, CellMatrix& out) const = 0;
    virtual int GetMatrix(const XlfOper& h, NumericMatrix& out) const = 0;
    virtual int GetRangeRef(const XlfOper& h, XlfRangeRef& out) const = 0;
    virtual int GetErrorCode(const XlfOper& h, std::uint16_t& out) const = 0;
    virtual std::uint32_t Type(const XlfOper& h) const = 0;

protected:
    XlfOperImpl() = default;
    // Not virtual: strategies are never destroyed through this class. A destroyed strategy
    // stops being current, so no handle reaches it afterwards.
    ~XlfOperImpl();

    static void* RecordOf(const XlfOper& h) { return h.record_; }
    static void SetRecordOf(XlfOper& h, void* record) { h.record_ = record; }
};

}  // namespace zep

#endif
