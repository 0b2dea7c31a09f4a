#ifndef SRC_XLFOPERIMPLLAYOUT_H
#define SRC_XLFOPERIMPLLAYOUT_H

#include "DiagnosticSites.h"
#include "XlCall.h"
#include "XlfOperImpl.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace zep {

// What differs between Excel's two record layouts, for the algorithm they share: the records and
// their limits, the texts, the Excel entry that reads them, and the site of their diagnostic line.
struct Excel4Layout {
    using Record = XLOPER;
    using Unit = char;  // text unit: Excel 4 text is bytes
    using ReferenceList = XLMREF;
    static constexpr std::uint32_t maxArrayCount = 0xFFFF;  // 16-bit rows and columns
    // A result keeps at most this many columns: the grid of an Excel that reads these records
    // has 256, and the one it could spill into is one fewer.
    static constexpr std::uint32_t maxResultColumns = 255;
    static constexpr std::int64_t maxReferenceRow = 0xFFFF;
    static constexpr std::int64_t maxReferenceColumn = 0xFF;
    static constexpr std::int64_t minReferenceIndex = 0;
    static constexpr bool keepsWideCells = false;  // wide-text cells are narrowed
    static constexpr DiagnosticSite freeFailed = sites::xlfOperImpl4FreeFailed;

    // Excel4v, whatever version of Excel runs: every version reads Excel 4 records there.
    static int Call(int function, Record* result, int count, Record* argv[]);
    // A narrow text keeps at most 254 bytes and counts a closing NUL; a wide one, narrowed, keeps
    // at most 255 bytes. Each cut is reported.
    static void SetString(Record& record, const char* text) { SetNarrowText(record, text, sites::xlfOperImpl4TextCut); }
    static void SetWideString(Record& record, const WideString& text);
    static const char* CString(std::string_view text);
    static WideString WString(std::string_view text);

protected:
    static void SetNarrowText(Record& record, const char* text, const DiagnosticSite& cut);
};

struct Excel12Layout {
    using Record = XLOPER12;
    using Unit = XCHAR;
    using ReferenceList = XLMREF12;
    static constexpr std::uint32_t maxArrayCount = 0x7FFFFFFF;  // signed 32-bit rows and columns
    static constexpr std::uint32_t maxResultColumns = 16384;    // the grid's width from Excel 12 on
    static constexpr std::int64_t maxReferenceRow = 0x7FFFFFFF;
    static constexpr std::int64_t maxReferenceColumn = 0x7FFFFFFF;
    static constexpr std::int64_t minReferenceIndex = -0x7FFFFFFF - 1;
    static constexpr bool keepsWideCells = true;
    static constexpr DiagnosticSite freeFailed = sites::xlfOperImpl12FreeFailed;

    static int Call(int function, Record* result, int count, Record* argv[]);  // the Excel 12 entry
    // A text keeps its first 65535 units, cut between characters.
    static void SetString(Record& record, const char* text);
    static void SetWideString(Record& record, const WideString& text);
    static const char* CString(std::basic_string_view<XCHAR> text);
    static WideString WString(std::basic_string_view<XCHAR> text);
};

// XlfOper4's: the Excel 4 layout and entry, reporting at XlfOper4's own sites. It sets no wide
// texts.
struct XlfOper4Layout : Excel4Layout {
    static constexpr DiagnosticSite freeFailed = sites::xlfOper4FreeFailed;
    static void SetString(Record& record, const char* text) { SetNarrowText(record, text, sites::xlfOper4TextCut); }
};

// The value algorithm on records of one layout, written once for both layouts and shared by the
// strategies of XlfOper and by XlfOper4. It works on the records themselves: a null record is a
// handle without one, which the setters leave alone (those of elements find no array in it) and
// every read answers with 8 (xlretInvXloper). Other codes are Excel's: 32 (xlretFailed) for a
// value of the wrong shape or kind, anything else as xlCoerce gave it. Element and SetElement
// expect indices inside the array.
template <class Layout>
class LayoutRecords {
public:
    using Record = typename Layout::Record;
    using Unit = typename Layout::Unit;
    using Text = std::basic_string_view<Unit>;

    LayoutRecords() = default;
    LayoutRecords(const LayoutRecords&) = delete;
    LayoutRecords& operator=(const LayoutRecords&) = delete;
    virtual ~LayoutRecords() = default;

    // ---- memory: records live in the host connection's temporary memory
    static Record* NewRecord();  // cleared, xltypeNil
    // Gives Excel's memory in a call result (marked xlbitHostOwned) back, once: the mark is
    // cleared first, so other handles on the record do not give it back again.
    void Release(Record* record) const;
    void FreeThroughExcel(Record* record) const;  // xlFree; a failure is only logged
    // xlCoerce of source to type into result, with source's ownership mark, which Excel does not
    // know, left out. Virtual so that a test can stand in for a misbehaving Excel.
    virtual int Coerce(const Record* source, std::int16_t type, Record* result) const;

    // ---- type and arrays
    static std::uint32_t Type(const Record* record);  // the whole type word; 0 without a record
    // Of an array; XlfException for any other value.
    static std::uint32_t Rows(const Record* record);
    static std::uint32_t Columns(const Record* record);
    static Record* Element(const Record* array, std::uint32_t row, std::uint32_t column);

    // ---- setters
    static void SetDouble(Record* record, double number);
    static void SetBool(Record* record, bool value);
    static void SetInt(Record* record, std::int16_t value);
    static void SetWord(Record* record, std::int16_t value, bool isError);
    static void SetError(Record* record, std::uint16_t code);
    static void SetString(Record* record, const char* text);
    static void SetWideString(Record* record, const WideString& text);
    // A one-area reference; one the layout cannot hold throws std::out_of_range.
    static void SetRangeRef(Record* record, const XlfRangeRef& range);
    // An array of xltypeNil elements. Counts the layout cannot hold throw std::length_error.
    static void SetMulti(Record* record, std::uint32_t rows, std::uint32_t columns);
    // Makes every element of an array from SetMulti a number, row by row: element (i, j) gets
    // numbers[i * stride + j]. XlfException for any other value.
    static void SetNumbers(Record* array, const double* numbers, std::size_t stride);
    // A copy of a number, text, boolean, error or integer into one element; XlfException else.
    static void SetElement(Record* array, std::uint32_t row, std::uint32_t column, const Record* value);
    // An array of the cells, at most the layout's result columns, empty cells as empty texts. Built aside: a
    // failure leaves the record as it was.
    void SetCellMatrix(Record* record, const CellMatrix& cells) const;

    // ---- reads: a value of one of the direct types is read as it is, anything else is coerced
    // through Excel once and Excel's result given back
    int GetDouble(const Record* record, double& out) const;
    int GetShort(const Record* record, std::int16_t& out) const;
    int GetBool(const Record* record, bool& out) const;
    int GetErrorCode(const Record* record, std::uint16_t& out) const;
    int GetCString(const Record* record, const char*& out) const;  // a copy in temporary memory
    int GetWString(const Record* record, WideString& out) const;
    int GetRangeRef(const Record* record, XlfRangeRef& out) const;
    int GetDoubleVector(const Record* record, NumericVector& out, VectorPolicy policy) const;
    int GetCellMatrix(const Record* record, CellMatrix& out) const;
    int GetMatrix(const Record* record, NumericMatrix& out) const;
    // GetMatrix's general path: any value, through a CellMatrix of its cells. GetMatrix reads an
    // array of numbers only without this go-between, and must give what this gives.
    int GetMatrixThroughCells(const Record* record, NumericMatrix& out) const;

    // ---- for the layouts' texts
    // A record's text (count taken unsigned); empty for a missing body.
    static Text TextOf(const Record& record);
    // The text up to its first zero unit, where a NUL-terminated copy of it would end.
    static Text BeforeNul(Text text) { return text.substr(0, text.find(Unit{})); }
    // Makes record a text of count units: carves the body, sets the count, returns the body,
    // whose units 1..count the caller fills.
    static Unit* NewTextBody(Record& record, std::size_t count);
    // A NUL-terminated copy in temporary memory.
    static const char* NewCString(std::string_view text);
    // Where to cut a text of length units to at most limit units without splitting a
    // surrogate pair.
    static std::size_t CutBetweenCharacters(const XCHAR* units, std::size_t length, std::size_t limit);

private:
    class HeldResult;

    template <class Reader>
    int ReadAs(const Record* record, std::uint32_t directTypes, std::uint32_t target, Reader read) const;
    // A cell of the kind of the record's whole type word; nothing for a kind cells cannot hold.
    static std::optional<MatrixCell> CellOf(const Record& record);
    static Record& RequireMulti(const Record* record);
    // An array whose elements are all numbers, read straight into out; false, with out untouched,
    // for any other array.
    static bool ReadNumberArray(const Record& array, NumericMatrix& out);
    static void WriteCell(Record& element, const MatrixCell& cell);
    // Row row, column column of the range as a one-cell reference.
    static Record CellReference(const XlfRangeRef& range, std::uint32_t row, std::uint32_t column);
    int ReadReferencedCell(const Record& cell, MatrixCell& out) const;
    int GetReferencedCells(const Record* record, CellMatrix& out) const;
};

extern template class LayoutRecords<Excel4Layout>;
extern template class LayoutRecords<Excel12Layout>;
extern template class LayoutRecords<XlfOper4Layout>;

// The value strategy of one layout: the shared algorithm on the handles' records. XlfOperImpl4
// and XlfOperImpl12 add which of Excel4Value/Excel12Value works.
template <class Layout>
class XlfOperImplLayout : public XlfOperImpl {
public:
    using Records = LayoutRecords<Layout>;

    void Release(XlfOper& h) const override { records_.Release(RecordPtr(h)); }
    void FreeThroughExcel(XlfOper& h) const override { records_.FreeThroughExcel(RecordPtr(h)); }
    void Copy(XlfOper& target, const XlfOper& source) const override { SetRecordOf(target, RecordOf(source)); }
    XlfOper Element(const XlfOper& h, std::uint32_t row, std::uint32_t column) const override {
        return XlfOper(static_cast<void*>(Records::Element(RecordPtr(h), row, column)));
    }
    void* Pointer(const XlfOper& h) const override { return RecordOf(h); }
    bool IsMissing(const XlfOper& h) const override { return (Type(h) & xltypeMissing) != 0; }
    bool IsError(const XlfOper& h) const override { return (Type(h) & xltypeErr) != 0; }
    bool IsRef(const XlfOper& h) const override { return (Type(h) & xltypeRef) != 0; }
    bool IsSRef(const XlfOper& h) const override { return (Type(h) & xltypeSRef) != 0; }
    bool IsMulti(const XlfOper& h) const override { return (Type(h) & xltypeMulti) != 0; }
    bool IsNumber(const XlfOper& h) const override { return (Type(h) & xltypeNum) != 0; }
    bool IsString(const XlfOper& h) const override { return (Type(h) & xltypeStr) != 0; }
    bool IsNil(const XlfOper& h) const override { return (Type(h) & xltypeNil) != 0; }
    bool IsBool(const XlfOper& h) const override { return (Type(h) & xltypeBool) != 0; }
    bool IsInt(const XlfOper& h) const override { return (Type(h) & xltypeInt) != 0; }
    std::uint32_t Rows(const XlfOper& h) const override { return Records::Rows(RecordPtr(h)); }
    std::uint32_t Columns(const XlfOper& h) const override { return Records::Columns(RecordPtr(h)); }
    void* RawPointer(const XlfOper& h) const override { return RecordOf(h); }
    std::uint32_t MaxResultColumns() const override { return Layout::maxResultColumns; }
    XlfOper& SetMulti(XlfOper& h, std::uint32_t rows, std::uint32_t columns) const override {
        Records::SetMulti(RecordPtr(h), rows, columns);
        return h;
    }
    void SetNumbers(XlfOper& h, const double* numbers, std::size_t stride) const override {
        Records::SetNumbers(RecordPtr(h), numbers, stride);
    }
    XlfOper& SetWord(XlfOper& h, std::int16_t value, bool isError) const override {
        Records::SetWord(RecordPtr(h), value, isError);
        return h;
    }
    XlfOper& SetRangeRef(XlfOper& h, const XlfRangeRef& range) const override {
        Records::SetRangeRef(RecordPtr(h), range);
        return h;
    }
    XlfOper& SetCellMatrix(XlfOper& h, const CellMatrix& cells) const override {
        records_.SetCellMatrix(RecordPtr(h), cells);
        return h;
    }
    XlfOper& SetWideString(XlfOper& h, const WideString& text) const override {
        Records::SetWideString(RecordPtr(h), text);
        return h;
    }
    XlfOper& SetString(XlfOper& h, const char* text) const override {
        Records::SetString(RecordPtr(h), text);
        return h;
    }
    XlfOper& SetBool(XlfOper& h, bool value) const override {
        Records::SetBool(RecordPtr(h), value);
        return h;
    }
    XlfOper& SetInt(XlfOper& h, std::int16_t value) const override {
        Records::SetInt(RecordPtr(h), value);
        return h;
    }
    XlfOper& SetDouble(XlfOper& h, double number) const override {
        Records::SetDouble(RecordPtr(h), number);
        return h;
    }
    XlfOper& Attach(XlfOper& h, void* record) const override {
        SetRecordOf(h, record);
        return h;
    }
    XlfOper& SetElement(XlfOper& h, std::uint32_t row, std::uint32_t column, const XlfOper& value) const override {
        Records::SetElement(RecordPtr(h), row, column, RecordPtr(value));
        return h;
    }
    XlfOper& SetError(XlfOper& h, std::uint16_t code) const override {
        Records::SetError(RecordPtr(h), code);
        return h;
    }
    int Coerce(const XlfOper& h, std::int16_t type, XlfOper& result) const override {
        return records_.Coerce(RecordPtr(h), type, RecordPtr(result));
    }
    int Allocate(XlfOper& h) const override {
        SetRecordOf(h, Records::NewRecord());
        return xlretSuccess;
    }
    int GetDoubleVector(const XlfOper& h, NumericVector& out, VectorPolicy policy) const override {
        return records_.GetDoubleVector(RecordPtr(h), out, policy);
    }
    int GetDouble(const XlfOper& h, double& out) const override { return records_.GetDouble(RecordPtr(h), out); }
    int GetShort(const XlfOper& h, std::int16_t& out) const override { return records_.GetShort(RecordPtr(h), out); }
    int GetBool(const XlfOper& h, bool& out) const override { return records_.GetBool(RecordPtr(h), out); }
    int GetCString(const XlfOper& h, const char*& out) const override { return records_.GetCString(RecordPtr(h), out); }
    int GetWString(const XlfOper& h, WideString& out) const override { return records_.GetWString(RecordPtr(h), out); }
    int GetCellMatrix(const XlfOper& h, CellMatrix& out) const override {
        return records_.GetCellMatrix(RecordPtr(h), out);
    }
    int GetMatrix(const XlfOper& h, NumericMatrix& out) const override { return records_.GetMatrix(RecordPtr(h), out); }
    int GetRangeRef(const XlfOper& h, XlfRangeRef& out) const override {
        return records_.GetRangeRef(RecordPtr(h), out);
    }
    int GetErrorCode(const XlfOper& h, std::uint16_t& out) const override {
        return records_.GetErrorCode(RecordPtr(h), out);
    }
    std::uint32_t Type(const XlfOper& h) const override { return Records::Type(RecordPtr(h)); }

    int GetMatrixThroughCells(const XlfOper& h, NumericMatrix& out) const {
        return records_.GetMatrixThroughCells(RecordPtr(h), out);
    }

protected:
    XlfOperImplLayout() = default;
    ~XlfOperImplLayout() = default;

    using Record = typename Layout::Record;
    static Record* RecordPtr(const XlfOper& h) { return static_cast<Record*>(RecordOf(h)); }

private:
    const Records records_{};
};

extern template class XlfOperImplLayout<Excel4Layout>;
extern template class XlfOperImplLayout<Excel12Layout>;

}  // namespace zep

#endif
