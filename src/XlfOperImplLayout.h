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

// What differs between Excel's two record layouts, for the algorithm they share.
struct Excel4Layout {
    using Record = XLOPER;
    using Unit = char;  // text unit: Excel 4 text is bytes
    using ReferenceList = XLMREF;
    static constexpr std::uint32_t maxArrayCount = 0xFFFF;  // 16-bit rows and columns
    static constexpr std::int64_t maxReferenceRow = 0xFFFF;
    static constexpr std::int64_t maxReferenceColumn = 0xFF;
    static constexpr std::int64_t minReferenceIndex = 0;
    static constexpr bool keepsWideCells = false;  // wide-text cells are narrowed
    static constexpr DiagnosticSite freeFailed = sites::xlfOperImpl4FreeFailed;
};

struct Excel12Layout {
    using Record = XLOPER12;
    using Unit = XCHAR;
    using ReferenceList = XLMREF12;
    static constexpr std::uint32_t maxArrayCount = 0x7FFFFFFF;  // signed 32-bit rows and columns
    static constexpr std::int64_t maxReferenceRow = 0x7FFFFFFF;
    static constexpr std::int64_t maxReferenceColumn = 0x7FFFFFFF;
    static constexpr std::int64_t minReferenceIndex = -0x7FFFFFFF - 1;
    static constexpr bool keepsWideCells = true;
    static constexpr DiagnosticSite freeFailed = sites::xlfOperImpl12FreeFailed;
};

// The strategy algorithm, written once for both layouts. XlfOperImpl4 and XlfOperImpl12 add
// what really differs: text conversions and limits, and which of Excel4Value/Excel12Value works.
template <class Layout>
class XlfOperImplLayout : public XlfOperImpl {
public:
    using Record = typename Layout::Record;
    using Unit = typename Layout::Unit;
    using Text = std::basic_string_view<Unit>;

    void Release(XlfOper& h) const override;
    void FreeThroughExcel(XlfOper& h) const override;
    void Copy(XlfOper& target, const XlfOper& source) const override;
    XlfOper Element(const XlfOper& h, std::uint32_t row, std::uint32_t column) const override;
    void* Pointer(const XlfOper& h) const override;
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
    std::uint32_t Rows(const XlfOper& h) const override;
    std::uint32_t Columns(const XlfOper& h) const override;
    void* RawPointer(const XlfOper& h) const override;
    XlfOper& SetMulti(XlfOper& h, std::uint32_t rows, std::uint32_t columns) const override;
    void SetNumbers(XlfOper& h, const double* numbers, std::size_t stride) const override;
    XlfOper& SetWord(XlfOper& h, std::int16_t value, bool isError) const override;
    XlfOper& SetRangeRef(XlfOper& h, const XlfRangeRef& range) const override;
    XlfOper& SetCellMatrix(XlfOper& h, const CellMatrix& cells) const override;
    XlfOper& SetBool(XlfOper& h, bool value) const override;
    XlfOper& SetInt(XlfOper& h, std::int16_t value) const override;
    XlfOper& SetDouble(XlfOper& h, double number) const override;
    XlfOper& Attach(XlfOper& h, void* record) const override;
    XlfOper& SetElement(XlfOper& h, std::uint32_t row, std::uint32_t column, const XlfOper& value) const override;
    XlfOper& SetError(XlfOper& h, std::uint16_t code) const override;
    int Coerce(const XlfOper& h, std::int16_t type, XlfOper& result) const override;
    int Allocate(XlfOper& h) const override;
    int GetDoubleVector(const XlfOper& h, NumericVector& out, VectorPolicy policy) const override;
    int GetDouble(const XlfOper& h, double& out) const override;
    int GetShort(const XlfOper& h, std::int16_t& out) const override;
    int GetBool(const XlfOper& h, bool& out) const override;
    int GetCellMatrix(const XlfOper& h, CellMatrix& out) const override;
    int GetMatrix(const XlfOper& h, NumericMatrix& out) const override;
    int GetRangeRef(const XlfOper& h, XlfRangeRef& out) const override;
    int GetErrorCode(const XlfOper& h, std::uint16_t& out) const override;
    std::uint32_t Type(const XlfOper& h) const override;

    // GetMatrix's general path: any value, through a CellMatrix of its cells. GetMatrix reads an
    // array of numbers only without this go-between, and must give what this gives.
    int GetMatrixThroughCells(const XlfOper& h, NumericMatrix& out) const;

protected:
    XlfOperImplLayout() = default;
    ~XlfOperImplLayout() = default;

    static Record* RecordPtr(const XlfOper& h) { return static_cast<Record*>(RecordOf(h)); }

    // The scalar read: a value of one of the direct types is read as it is; anything else is
    // coerced to target through Excel once, and the result read, then given back.
    template <class Reader>
    int ReadAs(const XlfOper& h, std::uint32_t directTypes, std::uint32_t target, Reader read) const;

    // Reads a text value (coercing anything else) and hands its units to convert.
    template <class Convert>
    int ReadText(const XlfOper& h, Convert convert) const {
        return ReadAs(h, xltypeStr, xltypeStr, [&convert](const Record& record) {
            convert(TextOf(record));
            return xlretSuccess;
        });
    }

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
    // A cell of the kind of the record's whole type word; nothing for a kind cells cannot hold.
    static std::optional<MatrixCell> CellOf(const Record& record);
    Record& RequireMulti(const XlfOper& h) const;
    // An array whose elements are all numbers, read straight into out; false, with out untouched,
    // for any other array.
    static bool ReadNumberArray(const Record& array, NumericMatrix& out);
    void WriteCell(XlfOper& element, const MatrixCell& cell) const;
    int ReadReferencedCell(const XlfOper& cell, MatrixCell& out) const;
    int GetReferencedCells(const XlfOper& h, CellMatrix& out) const;
};

template <class Layout>
template <class Reader>
int XlfOperImplLayout<Layout>::ReadAs(const XlfOper& h, std::uint32_t directTypes, std::uint32_t target,
                                      Reader read) const {
    const Record* record = RecordPtr(h);
    if (record == nullptr) return xlretInvXloper;
    if ((record->xltype & directTypes) != 0) return read(*record);
    Record coerced{};  // a failed call may leave it untouched: nothing in it to free then
    XlfOper result(static_cast<void*>(&coerced));
    const int code = Coerce(h, static_cast<std::int16_t>(target), result);
    if (code != xlretSuccess) return code;
    // Excel claimed success but gave another kind: reading it again would coerce without end.
    if ((coerced.xltype & directTypes) == 0) return xlretFailed;
    return read(coerced);
}

extern template class XlfOperImplLayout<Excel4Layout>;
extern template class XlfOperImplLayout<Excel12Layout>;

}  // namespace zep

#endif
