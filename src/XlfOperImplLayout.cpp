#include "XlfOperImplLayout.h"

#include "Win32StreamBuf.h"
#include "XlfExcel.h"
#include "XlfException.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <type_traits>

namespace zep {

namespace {

const char* const kNotAnArray = "attempt to perform an xltypeMulti operation on a value of type ";
const char* const kNotAnElement = "attempt to set a matrix element to a value of type ";
const char* const kNoCellKind = "cell contains neither number nor string nor boolean nor empty";

// count x size bytes, or std::bad_alloc when that is more than this machine can address.
std::size_t ByteCount(std::uint64_t count, std::size_t size) {
    if (count > SIZE_MAX / size) throw std::bad_alloc();
    return static_cast<std::size_t>(count * size);
}

// Temporary memory. TempAlloc starts every carve-out on an 8-byte boundary, which is all that
// records, reference lists and text units need.
void* Carve(std::size_t bytes) {
    return XlfExcel::Current().TempAlloc(bytes);
}

// count records, cleared so that nothing left in reused temporary memory reaches Excel, and
// typed xltypeNil.
template <class Record>
Record* NewRecords(std::uint64_t count) {
    auto* records = static_cast<Record*>(Carve(ByteCount(count, sizeof(Record))));
    std::memset(static_cast<void*>(records), 0, static_cast<std::size_t>(count) * sizeof(Record));
    for (std::uint64_t i = 0; i < count; ++i) records[i].xltype = xltypeNil;
    return records;
}

// A CellMatrix that memory can hold; a reference to a whole sheet cannot be one.
CellMatrix NewCellMatrix(std::uint32_t rows, std::uint32_t columns) {
    if (ByteCount(std::uint64_t{rows} * columns, sizeof(MatrixCell)) > static_cast<std::size_t>(PTRDIFF_MAX))
        throw std::bad_alloc();
    return CellMatrix(rows, columns);
}

std::size_t VectorPosition(std::size_t row, std::size_t column, std::size_t rows, std::size_t columns,
                           VectorPolicy policy) {
    return policy == RowByRow ? row * columns + column : column * rows + row;
}

bool VectorShapeAccepted(std::uint32_t rows, std::uint32_t columns, VectorPolicy policy) {
    return policy != VectorOnly || rows == 1 || columns == 1;
}

// The low 16 bits of the number truncated toward zero. fmod is exact, so no step can
// overflow; a number without an integer part (NaN, infinity) gives 0, as x86's conversion does.
std::int16_t LowShortOf(double number) {
    if (!std::isfinite(number)) return 0;
    const auto low = static_cast<std::int32_t>(std::fmod(std::trunc(number), 65536.0));
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(low));
}

}  // namespace

// The result record of a call into Excel: Excel's memory in it goes back when it goes.
template <class Layout>
class LayoutRecords<Layout>::HeldResult {
public:
    explicit HeldResult(const LayoutRecords& records) : records_(records) {}
    ~HeldResult() { records_.Release(&record); }
    HeldResult(const HeldResult&) = delete;
    HeldResult& operator=(const HeldResult&) = delete;

    Record record{};  // a failed call may leave it untouched: nothing in it to give back then

private:
    const LayoutRecords& records_;
};

// ---- texts

template <class Layout>
typename LayoutRecords<Layout>::Text LayoutRecords<Layout>::TextOf(const Record& record) {
    const Unit* body = record.val.str;
    if (body == nullptr) return Text();
    using Count = std::make_unsigned_t<Unit>;
    return Text(body + 1, static_cast<Count>(body[0]));
}

template <class Layout>
typename LayoutRecords<Layout>::Unit* LayoutRecords<Layout>::NewTextBody(Record& record, std::size_t count) {
    auto* body = static_cast<Unit*>(Carve(ByteCount(std::uint64_t{count} + 1, sizeof(Unit))));
    body[0] = static_cast<Unit>(count);
    record.val.str = body;
    record.xltype = xltypeStr;
    return body;
}

template <class Layout>
const char* LayoutRecords<Layout>::NewCString(std::string_view text) {
    auto* copy = static_cast<char*>(Carve(ByteCount(std::uint64_t{text.size()} + 1, 1)));
    std::copy(text.begin(), text.end(), copy);
    copy[text.size()] = '\0';
    return copy;
}

template <class Layout>
std::size_t LayoutRecords<Layout>::CutBetweenCharacters(const XCHAR* units, std::size_t length, std::size_t limit) {
    if (length <= limit) return length;
    const bool splitsPair = limit > 0 && units[limit - 1] >= 0xD800 && units[limit - 1] < 0xDC00;
    return splitsPair ? limit - 1 : limit;
}

template <class Layout>
void LayoutRecords<Layout>::SetString(Record* record, const char* text) {
    if (record != nullptr) Layout::SetString(*record, text);
}

template <class Layout>
void LayoutRecords<Layout>::SetWideString(Record* record, const WideString& text) {
    if (record != nullptr) Layout::SetWideString(*record, text);
}

template <class Layout>
int LayoutRecords<Layout>::GetCString(const Record* record, const char*& out) const {
    return ReadAs(record, xltypeStr, xltypeStr, [&out](const Record& text) {
        out = Layout::CString(TextOf(text));
        return xlretSuccess;
    });
}

template <class Layout>
int LayoutRecords<Layout>::GetWString(const Record* record, WideString& out) const {
    return ReadAs(record, xltypeStr, xltypeStr, [&out](const Record& text) {
        out = Layout::WString(TextOf(text));
        return xlretSuccess;
    });
}

// ---- cells and arrays

template <class Layout>
std::optional<MatrixCell> LayoutRecords<Layout>::CellOf(const Record& record) {
    switch (record.xltype) {
        case xltypeNum:
            return MatrixCell(record.val.num);
        case xltypeStr:
            return MatrixCell(std::basic_string<Unit>(TextOf(record)));
        case xltypeBool:
            return MatrixCell(record.val.xbool != 0);
        case xltypeErr:
            return MatrixCell(static_cast<std::uint32_t>(record.val.err), true);
        case xltypeMissing:
        case xltypeNil:
            return MatrixCell();
        default:
            return std::nullopt;
    }
}

template <class Layout>
typename LayoutRecords<Layout>::Record& LayoutRecords<Layout>::RequireMulti(const Record* record) {
    const std::uint32_t type = Type(record);
    if ((type & xltypeMulti) == 0) throw XlfException(kNotAnArray + std::to_string(type));
    return *const_cast<Record*>(record);
}

template <class Layout>
std::uint32_t LayoutRecords<Layout>::Rows(const Record* record) {
    return static_cast<std::uint32_t>(RequireMulti(record).val.array.rows);
}

template <class Layout>
std::uint32_t LayoutRecords<Layout>::Columns(const Record* record) {
    return static_cast<std::uint32_t>(RequireMulti(record).val.array.columns);
}

template <class Layout>
typename LayoutRecords<Layout>::Record* LayoutRecords<Layout>::Element(const Record* array, std::uint32_t row,
                                                                       std::uint32_t column) {
    const Record& multi = RequireMulti(array);
    const std::size_t columns = static_cast<std::uint32_t>(multi.val.array.columns);
    return multi.val.array.lparray + row * columns + column;
}

// ---- memory

template <class Layout>
typename LayoutRecords<Layout>::Record* LayoutRecords<Layout>::NewRecord() {
    return NewRecords<Record>(1);
}

template <class Layout>
std::uint32_t LayoutRecords<Layout>::Type(const Record* record) {
    return record == nullptr ? 0 : record->xltype;
}

template <class Layout>
void LayoutRecords<Layout>::Release(Record* record) const {
    if (record == nullptr || (record->xltype & xlbitHostOwned) == 0) return;
    record->xltype = static_cast<decltype(record->xltype)>(record->xltype & ~xlbitHostOwned);
    FreeThroughExcel(record);
}

template <class Layout>
void LayoutRecords<Layout>::FreeThroughExcel(Record* record) const {
    Record* argv[] = {record};
    if (Layout::Call(xlFree, nullptr, 1, argv) != xlretSuccess)
        DiagnosticLine(Layout::freeFailed) << "Call to xlFree failed" << std::endl;
}

template <class Layout>
int LayoutRecords<Layout>::Coerce(const Record* source, std::int16_t type, Record* result) const {
    if (source == nullptr || result == nullptr) return xlretInvXloper;
    Record unmarked = *source;  // Excel reads the copies during the call only
    unmarked.xltype = static_cast<decltype(unmarked.xltype)>(unmarked.xltype & ~xlbitHostOwned);
    Record wantedType{};
    wantedType.val.w = type;
    wantedType.xltype = xltypeInt;
    Record* argv[] = {&unmarked, &wantedType};
    return Layout::Call(xlCoerce, result, 2, argv);
}

// ---- scalar setters: each leaves a missing record alone

template <class Layout>
void LayoutRecords<Layout>::SetDouble(Record* record, double number) {
    if (record == nullptr) return;
    record->val.num = number;
    record->xltype = xltypeNum;
}

template <class Layout>
void LayoutRecords<Layout>::SetBool(Record* record, bool value) {
    if (record == nullptr) return;
    record->val.xbool = value ? 1 : 0;
    record->xltype = xltypeBool;
}

// 16-bit values: integers and SetWord's codes widen with their sign into Excel 12's 32-bit
// fields, SetError's codes without.
template <class Layout>
void LayoutRecords<Layout>::SetInt(Record* record, std::int16_t value) {
    if (record == nullptr) return;
    record->val.w = value;
    record->xltype = xltypeInt;
}

template <class Layout>
void LayoutRecords<Layout>::SetWord(Record* record, std::int16_t value, bool isError) {
    if (!isError) return SetInt(record, value);
    if (record == nullptr) return;
    record->val.err = static_cast<decltype(record->val.err)>(value);
    record->xltype = xltypeErr;
}

template <class Layout>
void LayoutRecords<Layout>::SetError(Record* record, std::uint16_t code) {
    if (record == nullptr) return;
    record->val.err = static_cast<decltype(record->val.err)>(code);
    record->xltype = xltypeErr;
}

// ---- references

template <class Layout>
void LayoutRecords<Layout>::SetRangeRef(Record* record, const XlfRangeRef& range) {
    if (record == nullptr) return;
    const std::int64_t bounds[4] = {range.FirstRow(), std::int64_t{range.EndRow()} - 1, range.FirstColumn(),
                                    std::int64_t{range.EndColumn()} - 1};
    const std::int64_t limits[4] = {Layout::maxReferenceRow, Layout::maxReferenceRow, Layout::maxReferenceColumn,
                                    Layout::maxReferenceColumn};
    for (int i = 0; i < 4; ++i)
        if (bounds[i] < Layout::minReferenceIndex || bounds[i] > limits[i])
            throw std::out_of_range("reference beyond what an Excel value of this version can hold");
    using List = typename Layout::ReferenceList;
    auto* list = static_cast<List*>(Carve(sizeof(List)));
    std::memset(static_cast<void*>(list), 0, sizeof(List));
    list->count = 1;
    auto& area = list->reftbl[0];
    area.rwFirst = static_cast<decltype(area.rwFirst)>(bounds[0]);
    area.rwLast = static_cast<decltype(area.rwLast)>(bounds[1]);
    area.colFirst = static_cast<decltype(area.colFirst)>(bounds[2]);
    area.colLast = static_cast<decltype(area.colLast)>(bounds[3]);
    record->val.mref.lpmref = list;
    record->val.mref.idSheet = static_cast<decltype(record->val.mref.idSheet)>(range.SheetId());
    record->xltype = xltypeRef;
}

template <class Layout>
typename LayoutRecords<Layout>::Record LayoutRecords<Layout>::CellReference(const XlfRangeRef& range, std::uint32_t row,
                                                                            std::uint32_t column) {
    Record cell{};
    SetRangeRef(&cell,
                XlfRangeRef(static_cast<std::int32_t>(std::int64_t{range.FirstRow()} + row),
                            static_cast<std::int32_t>(std::int64_t{range.FirstColumn()} + column), range.SheetId()));
    return cell;
}

template <class Layout>
int LayoutRecords<Layout>::GetRangeRef(const Record* record, XlfRangeRef& out) const {
    return ReadAs(record, xltypeRef, xltypeRef, [&out](const Record& reference) {
        const auto* list = reference.val.mref.lpmref;
        if (list == nullptr || list->count == 0) return xlretInvXloper;
        const auto& area = list->reftbl[0];  // further areas are not read
        // Excel 4 rows and columns are unsigned; the ends must leave a range of at least one cell
        // whose one-past ends still fit the 32-bit fields.
        const std::int64_t firstRow = area.rwFirst, lastRow = area.rwLast;
        const std::int64_t firstColumn = area.colFirst, lastColumn = area.colLast;
        if (lastRow < firstRow || lastColumn < firstColumn || lastRow >= INT32_MAX || lastColumn >= INT32_MAX)
            return xlretInvXloper;
        out = XlfRangeRef(static_cast<std::int32_t>(firstRow), static_cast<std::int32_t>(firstColumn),
                          static_cast<std::int32_t>(lastRow), static_cast<std::int32_t>(lastColumn),
                          static_cast<std::int32_t>(reference.val.mref.idSheet));
        return xlretSuccess;
    });
}

// ---- arrays

template <class Layout>
void LayoutRecords<Layout>::SetMulti(Record* record, std::uint32_t rows, std::uint32_t columns) {
    if (record == nullptr) return;
    // A count the layout's field cannot hold would silently become another shape.
    if (rows > Layout::maxArrayCount || columns > Layout::maxArrayCount)
        throw std::length_error("an Excel value of this version holds arrays of at most " +
                                std::to_string(Layout::maxArrayCount) + " rows and columns");
    record->val.array.lparray = NewRecords<Record>(std::uint64_t{rows} * columns);
    record->val.array.rows = static_cast<decltype(record->val.array.rows)>(rows);
    record->val.array.columns = static_cast<decltype(record->val.array.columns)>(columns);
    record->xltype = xltypeMulti;
}

// The records SetDouble would make of the cleared elements, one after the other.
template <class Layout>
void LayoutRecords<Layout>::SetNumbers(Record* array, const double* numbers, std::size_t stride) {
    const Record& multi = RequireMulti(array);
    const auto rows = static_cast<std::uint32_t>(multi.val.array.rows);
    const auto columns = static_cast<std::uint32_t>(multi.val.array.columns);
    Record* element = multi.val.array.lparray;
    for (std::uint32_t i = 0; i < rows; ++i) {
        for (std::uint32_t j = 0; j < columns; ++j, ++element) {
            element->val.num = numbers[std::size_t{i} * stride + j];
            element->xltype = xltypeNum;
        }
    }
}

template <class Layout>
void LayoutRecords<Layout>::SetElement(Record* array, std::uint32_t row, std::uint32_t column, const Record* value) {
    Record& element = *Element(array, row, column);
    // The element gets the program's own copy of any body, so it carries no Excel ownership.
    const std::uint32_t type = Type(value) & ~xlbitHostOwned;
    switch (type) {
        case xltypeNum:
            element.val.num = value->val.num;
            break;
        case xltypeStr: {
            const Text text = TextOf(*value);
            std::copy(text.begin(), text.end(), NewTextBody(element, text.size()) + 1);
            break;
        }
        case xltypeBool:
            element.val.xbool = value->val.xbool;
            break;
        case xltypeErr:
            element.val.err = value->val.err;
            break;
        case xltypeInt:
            element.val.w = value->val.w;
            break;
        default:
            throw XlfException(kNotAnElement + std::to_string(type));
    }
    element.xltype = static_cast<decltype(element.xltype)>(type);
}

// Writes the cell straight into its element through the setters; the element was cleared, so
// it ends byte for byte as a value built from the cell and copied in would.
template <class Layout>
void LayoutRecords<Layout>::WriteCell(Record& element, const MatrixCell& cell) {
    if (cell.IsNumber()) {
        SetDouble(&element, cell.Number());
    } else if (cell.IsString() || (cell.IsWideString() && !Layout::keepsWideCells)) {
        SetString(&element, cell.Text().c_str());
    } else if (cell.IsWideString()) {
        SetWideString(&element, cell.WideText());
    } else if (cell.IsBoolean()) {
        SetBool(&element, cell.Boolean());
    } else if (cell.IsError()) {
        SetWord(&element, static_cast<std::int16_t>(cell.ErrorCode()), true);
    } else {
        SetString(&element, "");  // an empty cell goes to Excel as an empty text, not a blank
    }
}

template <class Layout>
void LayoutRecords<Layout>::SetCellMatrix(Record* record, const CellMatrix& cells) const {
    if (record == nullptr) return;
    const std::uint32_t rows = cells.Rows();
    const std::uint32_t columns = std::min(cells.Columns(), Layout::maxResultColumns);
    Record array{};
    SetMulti(&array, rows, columns);
    Record* element = array.val.array.lparray;
    for (std::uint32_t i = 0; i < rows; ++i)
        for (std::uint32_t j = 0; j < columns; ++j) WriteCell(*element++, cells.Cell(i, j));
    *record = array;
}

// ---- reads

template <class Layout>
template <class Reader>
int LayoutRecords<Layout>::ReadAs(const Record* record, std::uint32_t directTypes, std::uint32_t target,
                                  Reader read) const {
    if (record == nullptr) return xlretInvXloper;
    if ((record->xltype & directTypes) != 0) return read(*record);
    HeldResult coerced(*this);
    const int code = Coerce(record, static_cast<std::int16_t>(target), &coerced.record);
    if (code != xlretSuccess) return code;
    // Excel claimed success but gave another kind: reading it again would coerce without end.
    if ((coerced.record.xltype & directTypes) == 0) return xlretFailed;
    return read(coerced.record);
}

template <class Layout>
int LayoutRecords<Layout>::GetDouble(const Record* record, double& out) const {
    return ReadAs(record, xltypeInt | xltypeNum, xltypeNum, [&out](const Record& number) {
        out = (number.xltype & xltypeInt) != 0 ? static_cast<double>(number.val.w) : number.val.num;
        return xlretSuccess;
    });
}

template <class Layout>
int LayoutRecords<Layout>::GetShort(const Record* record, std::int16_t& out) const {
    return ReadAs(record, xltypeNum, xltypeNum, [&out](const Record& number) {
        out = LowShortOf(number.val.num);
        return xlretSuccess;
    });
}

template <class Layout>
int LayoutRecords<Layout>::GetBool(const Record* record, bool& out) const {
    return ReadAs(record, xltypeBool, xltypeBool, [&out](const Record& boolean) {
        out = boolean.val.xbool != 0;
        return xlretSuccess;
    });
}

template <class Layout>
int LayoutRecords<Layout>::GetErrorCode(const Record* record, std::uint16_t& out) const {
    return ReadAs(record, xltypeErr, xltypeErr, [&out](const Record& error) {
        out = static_cast<std::uint16_t>(error.val.err);
        return xlretSuccess;
    });
}

// ---- vectors and matrices

template <class Layout>
int LayoutRecords<Layout>::GetDoubleVector(const Record* record, NumericVector& out, VectorPolicy policy) const {
    const std::uint32_t type = Type(record);
    if (type == xltypeMissing) {
        out.clear();
        return xlretSuccess;
    }
    if ((type & xltypeNum) != 0) {
        double number = 0.0;
        const int code = GetDouble(record, number);
        if (code == xlretSuccess) out.assign(1, number);
        return code;
    }
    const Record* array = (type & xltypeMulti) != 0 ? record : nullptr;
    XlfRangeRef range;
    std::uint32_t rows = 0, columns = 0;
    if (array != nullptr) {
        rows = Rows(array);
        columns = Columns(array);
    } else {
        const int code = GetRangeRef(record, range);
        if (code != xlretSuccess) return code;
        rows = static_cast<std::uint32_t>(range.Rows());
        columns = static_cast<std::uint32_t>(range.Columns());
    }
    if (!VectorShapeAccepted(rows, columns, policy)) return xlretFailed;
    const std::uint64_t count = std::uint64_t{rows} * columns;
    if (count > out.max_size()) throw std::bad_alloc();
    out.assign(static_cast<std::size_t>(count), 0.0);
    for (std::uint32_t i = 0; i < rows; ++i) {
        for (std::uint32_t j = 0; j < columns; ++j) {
            double& target = out[VectorPosition(i, j, rows, columns, policy)];
            const Record* element =
                array != nullptr ? array->val.array.lparray + std::size_t{i} * columns + j : nullptr;
            if (element != nullptr && element->xltype == xltypeNum) {
                target = element->val.num;
                continue;
            }
            // Anything but a number element is read through Excel: an array element as it is,
            // a referenced cell through its one-cell reference.
            const Record value = element != nullptr ? *element : CellReference(range, i, j);
            const int code = GetDouble(&value, target);
            if (code != xlretSuccess) return code;
        }
    }
    return xlretSuccess;
}

template <class Layout>
int LayoutRecords<Layout>::GetCellMatrix(const Record* record, CellMatrix& out) const {
    if (record == nullptr) return xlretInvXloper;
    if (std::optional<MatrixCell> cell = CellOf(*record)) {
        out = CellMatrix(1, 1);
        out.Cell(0, 0) = *cell;
        return xlretSuccess;
    }
    if (record->xltype != xltypeMulti) return GetReferencedCells(record, out);
    const std::uint32_t rows = Rows(record), columns = Columns(record);
    out = NewCellMatrix(rows, columns);
    for (std::uint32_t i = 0; i < rows; ++i) {
        for (std::uint32_t j = 0; j < columns; ++j) {
            const Record& element = record->val.array.lparray[std::size_t{i} * columns + j];
            std::optional<MatrixCell> cell = CellOf(element);
            if (!cell) throw kNoCellKind;
            out.Cell(i, j) = std::move(*cell);
        }
    }
    return xlretSuccess;
}

// A referenced cell's value comes from Excel: its one-cell reference coerced to the value (as an
// array, which Excel may also answer with a one-element array).
template <class Layout>
int LayoutRecords<Layout>::ReadReferencedCell(const Record& cell, MatrixCell& out) const {
    HeldResult value(*this);
    const int code = Coerce(&cell, xltypeMulti, &value.record);
    if (code != xlretSuccess) return code;
    const Record* read = &value.record;
    if ((value.record.xltype & xltypeMulti) != 0) {
        if (value.record.val.array.rows != 1 || value.record.val.array.columns != 1) return xlretInvXloper;
        read = value.record.val.array.lparray;
    }
    const std::uint32_t type = read->xltype & ~xlbitHostOwned;
    if (type == xltypeStr || type == xltypeSRef) {
        const char* text = nullptr;
        const int textCode = GetCString(read, text);
        if (textCode == xlretSuccess) out = MatrixCell(text);
        return textCode;
    }
    if (type == xltypeNum || type == xltypeErr || type == xltypeBool || type == xltypeMissing || type == xltypeNil) {
        Record plain = *read;
        plain.xltype = static_cast<decltype(plain.xltype)>(type);
        out = *CellOf(plain);
        return xlretSuccess;
    }
    return xlretInvXloper;
}

template <class Layout>
int LayoutRecords<Layout>::GetReferencedCells(const Record* record, CellMatrix& out) const {
    XlfRangeRef range;
    const int code = GetRangeRef(record, range);
    if (code != xlretSuccess) return code;
    const auto rows = static_cast<std::uint32_t>(range.Rows());
    const auto columns = static_cast<std::uint32_t>(range.Columns());
    out = NewCellMatrix(rows, columns);
    for (std::uint32_t i = 0; i < rows; ++i) {
        for (std::uint32_t j = 0; j < columns; ++j) {
            const int cellCode = ReadReferencedCell(CellReference(range, i, j), out.Cell(i, j));
            if (cellCode != xlretSuccess) return cellCode;
        }
    }
    return xlretSuccess;
}

template <class Layout>
bool LayoutRecords<Layout>::ReadNumberArray(const Record& array, NumericMatrix& out) {
    const auto rows = static_cast<std::uint32_t>(array.val.array.rows);
    const auto columns = static_cast<std::uint32_t>(array.val.array.columns);
    const Record* elements = array.val.array.lparray;
    const Record* end = elements + std::size_t{rows} * columns;
    if (!std::all_of(elements, end, [](const Record& element) { return element.xltype == xltypeNum; })) return false;
    NumericMatrix numbers(rows, columns);
    double* target = numbers.data();
    for (const Record* element = elements; element != end; ++element) *target++ = element->val.num;
    out = std::move(numbers);
    return true;
}

template <class Layout>
int LayoutRecords<Layout>::GetMatrix(const Record* record, NumericMatrix& out) const {
    // Arrays of numbers are the common argument; anything else, errors included, takes the
    // general path, so that failures stay exactly what it reports.
    if (Type(record) == xltypeMulti && ReadNumberArray(*record, out)) return xlretSuccess;
    return GetMatrixThroughCells(record, out);
}

template <class Layout>
int LayoutRecords<Layout>::GetMatrixThroughCells(const Record* record, NumericMatrix& out) const {
    const std::uint32_t type = Type(record);
    if (type == xltypeMissing || type == xltypeNil) {
        out = NumericMatrix(0, 0);
        return xlretSuccess;
    }
    CellMatrix cells(1, 1);
    const int code = GetCellMatrix(record, cells);
    if (code != xlretSuccess) return code;
    out = NumericMatrix(cells.Rows(), cells.Columns());
    for (std::uint32_t i = 0; i < cells.Rows(); ++i) {
        for (std::uint32_t j = 0; j < cells.Columns(); ++j) {
            const MatrixCell& cell = cells.Cell(i, j);
            if (!cell.IsNumber()) return xlretFailed;
            out[i][j] = cell.Number();
        }
    }
    return xlretSuccess;
}

static_assert(alignof(XLOPER12) <= 8 && alignof(XLOPER) <= 8 && alignof(XLMREF12) <= 8, "TempAlloc aligns to 8 bytes");

template class LayoutRecords<Excel4Layout>;
template class LayoutRecords<Excel12Layout>;
template class LayoutRecords<XlfOper4Layout>;

template class XlfOperImplLayout<Excel4Layout>;
template class XlfOperImplLayout<Excel12Layout>;

}  // namespace zep
