#include "XlfOper4.h"

#include "ReturnCodes.h"
#include "Win32StreamBuf.h"
#include "XlfException.h"
#include "XlfExcel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <ostream>
#include <stdexcept>

namespace zep {

namespace {

constexpr std::size_t longestText = 254;       // the count byte also counts a closing NUL
constexpr std::uint32_t mostArrayColumns = 255;  // arrays handed to Excel keep at most these
constexpr std::uint32_t mostArrayRows = 0xFFFF;  // a 16-bit count

const char* const notAnArray = "attempt to perform an xltypeMulti operation on a value of type ";
const char* const notAnElement = "attempt to set a matrix element to a value of type ";
const char* const noCellKind = "cell contains neither number nor string nor boolean nor empty";

void* TempBytes(std::size_t bytes)
{
    return XlfExcel::Current().TempAlloc(bytes);  // aligned for any record
}

// count cleared records typed xltypeNil, so nothing left in reused memory reaches Excel.
XLOPER* TempRecords(std::size_t count)
{
    auto* records = static_cast<XLOPER*>(TempBytes(std::max<std::size_t>(count, 1) * sizeof(XLOPER)));
    std::memset(static_cast<void*>(records), 0, count * sizeof(XLOPER));
    for (std::size_t i = 0; i < count; ++i)
        records[i].xltype = xltypeNil;
    return records;
}

std::string CountedText(const char* body)
{
    return body == nullptr ? std::string() : std::string(body + 1, static_cast<unsigned char>(body[0]));
}

// The cell for a record of the given whole type word; nothing for a kind cells cannot hold.
std::optional<MatrixCell> CellOf(const XLOPER& record, std::uint32_t type)
{
    switch (type) {
    case xltypeNum:
        return MatrixCell(record.val.num);
    case xltypeStr:
        return MatrixCell(CountedText(record.val.str));
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

// The low 16 bits of the number truncated toward zero; 0 for NaN and infinities.
std::int16_t LowBitsAsShort(double number)
{
    if (!std::isfinite(number))
        return 0;
    const double low = std::fmod(std::trunc(number), 65536.0);  // exact, within ±65535
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<std::int32_t>(low)));
}

bool VectorShapeAccepted(std::size_t rows, std::size_t columns, VectorPolicy policy)
{
    return policy != VectorOnly || rows == 1 || columns == 1;
}

std::size_t VectorPosition(std::size_t row, std::size_t column, std::size_t rows, std::size_t columns,
                           VectorPolicy policy)
{
    return policy == RowByRow ? row * columns + column : column * rows + row;
}

std::size_t CountOf(std::int32_t extent)
{
    return extent > 0 ? static_cast<std::size_t>(extent) : 0;
}

// A conversion's code goes to err when given; otherwise a failure throws, with text if any.
template <class Value, class Core>
Value Converted(Core core, Value value, const std::string* text, int* err)
{
    const int code = core(value);
    if (err != nullptr)
        *err = code;
    else if (text != nullptr)
        XlfOper4::CheckReturnCode(code, *text);
    else
        XlfOper4::CheckReturnCode(code);
    return value;
}

}  // namespace

// ---- construction, memory and record access

XlfOper4::XlfOper4() : record_(nullptr)
{
    Allocate();
}

XlfOper4::XlfOper4(double number) : XlfOper4()
{
    SetDouble(number);
}

XlfOper4::XlfOper4(const char* text) : XlfOper4()
{
    SetString(text);
}

XlfOper4::XlfOper4(const std::string& text) : XlfOper4()
{
    SetString(text.c_str());
}

XlfOper4::XlfOper4(std::int16_t value) : XlfOper4()
{
    SetInt(value);
}

XlfOper4::XlfOper4(std::int16_t value, bool isError) : XlfOper4()
{
    SetWord(value, isError);
}

XlfOper4::XlfOper4(bool value) : XlfOper4()
{
    SetBool(value);
}

XlfOper4::XlfOper4(XLOPER* record) : record_(record) {}

XlfOper4::~XlfOper4()
{
    if (record_ == nullptr || (record_->xltype & xlbitHostOwned) == 0)
        return;
    // Cleared first: another handle sharing the record must not free it again.
    record_->xltype = static_cast<std::uint16_t>(record_->xltype & ~xlbitHostOwned);
    FreeThroughExcel();
}

int XlfOper4::Allocate()
{
    record_ = TempRecords(1);
    return xlretSuccess;
}

void XlfOper4::FreeThroughExcel()
{
    XLOPER* argv[] = {record_};
    if (XlfExcel::Current().CallExcel4v(xlFree, nullptr, 1, argv) != xlretSuccess)
        DiagnosticLine(sites::xlfOper4FreeFailed) << "Call to xlFree failed" << std::endl;
}

int XlfOper4::Coerce(std::uint16_t type, XlfOper4& result) const
{
    if (record_ == nullptr || result.record_ == nullptr)
        return xlretInvXloper;
    // Excel cannot read the private ownership bit: it gets a copy of such a record without it.
    XLOPER unmarked = *record_;
    unmarked.xltype = static_cast<std::uint16_t>(unmarked.xltype & ~xlbitHostOwned);
    XlfOper4 wantedType(static_cast<std::int16_t>(type));
    XLOPER* argv[] = {&unmarked, wantedType.record_};
    return XlfExcel::Current().CallExcel4v(xlCoerce, result.record_, 2, argv);
}

std::uint32_t XlfOper4::Type() const
{
    return record_ != nullptr ? record_->xltype : 0;
}

XLOPER& XlfOper4::RequireMulti() const
{
    if ((Type() & xltypeMulti) == 0)
        throw XlfException(notAnArray + std::to_string(Type()));
    return *record_;
}

std::uint16_t XlfOper4::Rows() const
{
    return RequireMulti().val.array.rows;
}

std::uint16_t XlfOper4::Columns() const
{
    return RequireMulti().val.array.columns;
}

XlfOper4 XlfOper4::Element(std::uint16_t row, std::uint16_t column) const
{
    const XLOPER& array = RequireMulti();
    return XlfOper4(array.val.array.lparray + std::size_t{row} * array.val.array.columns + column);
}

// ---- core conversions

template <class Read>
int XlfOper4::ReadDirectOrCoerced(std::uint16_t directTypes, std::uint16_t target, Read read) const
{
    if (record_ == nullptr)
        return xlretInvXloper;
    if ((record_->xltype & directTypes) != 0)
        return read(*record_);
    XlfOper4 coerced;  // destroyed on the way out, which gives Excel's memory back
    const int code = Coerce(target, coerced);
    if (code != xlretSuccess)
        return code;
    // Excel claimed success but gave another kind: reading it again would coerce without end.
    if ((coerced.Type() & directTypes) == 0)
        return xlretFailed;
    return read(*coerced.record_);
}

int XlfOper4::GetDouble(double& out) const
{
    return ReadDirectOrCoerced(xltypeInt | xltypeNum, xltypeNum, [&out](const XLOPER& record) {
        out = (record.xltype & xltypeInt) != 0 ? record.val.w : record.val.num;
        return xlretSuccess;
    });
}

int XlfOper4::GetShort(std::int16_t& out) const
{
    return ReadDirectOrCoerced(xltypeNum, xltypeNum, [&out](const XLOPER& record) {
        out = LowBitsAsShort(record.val.num);
        return xlretSuccess;
    });
}

int XlfOper4::GetBool(bool& out) const
{
    return ReadDirectOrCoerced(xltypeBool, xltypeBool, [&out](const XLOPER& record) {
        out = record.val.xbool != 0;
        return xlretSuccess;
    });
}

int XlfOper4::GetErrorCode(std::uint16_t& out) const
{
    return ReadDirectOrCoerced(xltypeErr, xltypeErr, [&out](const XLOPER& record) {
        out = record.val.err;
        return xlretSuccess;
    });
}

int XlfOper4::GetCString(const char*& out) const
{
    return ReadDirectOrCoerced(xltypeStr, xltypeStr, [&out](const XLOPER& record) {
        const std::string text = CountedText(record.val.str);
        auto* copy = static_cast<char*>(TempBytes(text.size() + 1));
        std::memcpy(copy, text.c_str(), text.size() + 1);
        out = copy;
        return xlretSuccess;
    });
}

int XlfOper4::GetRangeRef(XlfRangeRef& out) const
{
    return ReadDirectOrCoerced(xltypeRef, xltypeRef, [&out](const XLOPER& record) {
        const XLMREF* list = record.val.mref.lpmref;
        if (list == nullptr || list->count == 0)
            return xlretFailed;
        const XLREF& area = list->reftbl[0];
        out = XlfRangeRef(area.rwFirst, area.colFirst, area.rwLast, area.colLast,
                          static_cast<std::int32_t>(record.val.mref.idSheet));
        return xlretSuccess;
    });
}

int XlfOper4::GetDoubleVector(NumericVector& out, VectorPolicy policy) const
{
    if (record_ == nullptr)
        return xlretInvXloper;
    if (record_->xltype == xltypeMissing) {
        out.clear();
        return xlretSuccess;
    }
    if (record_->xltype & xltypeNum) {
        double number = 0;
        if (GetDouble(number) == xlretSuccess) {
            out.assign(1, number);
            return xlretSuccess;
        }
    }
    if (record_->xltype & xltypeMulti) {
        const std::size_t rows = record_->val.array.rows;
        const std::size_t columns = record_->val.array.columns;
        if (!VectorShapeAccepted(rows, columns, policy))
            return xlretFailed;
        out.assign(rows * columns, 0.0);
        for (std::size_t i = 0; i < rows; ++i) {
            for (std::size_t j = 0; j < columns; ++j) {
                XLOPER& element = record_->val.array.lparray[i * columns + j];
                double& target = out[VectorPosition(i, j, rows, columns, policy)];
                if (element.xltype == xltypeNum) {
                    target = element.val.num;
                    continue;
                }
                const int code = XlfOper4(&element).GetDouble(target);
                if (code != xlretSuccess)
                    return code;
            }
        }
        return xlretSuccess;
    }
    XlfRangeRef range;
    const int rangeCode = GetRangeRef(range);
    if (rangeCode != xlretSuccess)
        return rangeCode;
    const std::size_t rows = CountOf(range.Rows());
    const std::size_t columns = CountOf(range.Columns());
    if (!VectorShapeAccepted(rows, columns, policy))
        return xlretFailed;
    out.assign(rows * columns, 0.0);
    for (std::size_t i = 0; i < rows; ++i) {
        for (std::size_t j = 0; j < columns; ++j) {
            const int code = Cell4(range, static_cast<std::int32_t>(i), static_cast<std::int32_t>(j))
                                 .GetDouble(out[VectorPosition(i, j, rows, columns, policy)]);
            if (code != xlretSuccess)
                return code;
        }
    }
    return xlretSuccess;
}

int XlfOper4::GetMatrix(NumericMatrix& out) const
{
    if (Type() == xltypeMissing || Type() == xltypeNil) {
        out = NumericMatrix(0, 0);
        return xlretSuccess;
    }
    CellMatrix cells;
    const int code = GetCellMatrix(cells);
    if (code != xlretSuccess)
        return code;
    out = NumericMatrix(cells.Rows(), cells.Columns());
    for (std::uint32_t i = 0; i < cells.Rows(); ++i) {
        for (std::uint32_t j = 0; j < cells.Columns(); ++j) {
            const MatrixCell& cell = cells.Cell(i, j);
            if (!cell.IsNumber())
                return xlretFailed;
            out[i][j] = cell.Number();
        }
    }
    return xlretSuccess;
}

int XlfOper4::GetCellMatrix(CellMatrix& out) const
{
    if (record_ == nullptr)
        return xlretInvXloper;
    switch (record_->xltype) {
    case xltypeMissing:
    case xltypeNil:
    case xltypeNum:
    case xltypeStr:
    case xltypeBool:
    case xltypeErr:
        out = CellMatrix(1, 1);
        out.Cell(0, 0) = *CellOf(*record_, record_->xltype);
        return xlretSuccess;
    case xltypeMulti: {
        const std::uint32_t rows = record_->val.array.rows;
        const std::uint32_t columns = record_->val.array.columns;
        CellMatrix cells(rows, columns);
        for (std::uint32_t i = 0; i < rows; ++i) {
            for (std::uint32_t j = 0; j < columns; ++j) {
                const XLOPER& element = record_->val.array.lparray[std::size_t{i} * columns + j];
                const std::optional<MatrixCell> cell = CellOf(element, element.xltype);
                if (!cell)
                    throw noCellKind;
                cells.Cell(i, j) = *cell;
            }
        }
        out = cells;
        return xlretSuccess;
    }
    default:
        return GetReferencedCells(out);
    }
}

int XlfOper4::GetReferencedCells(CellMatrix& out) const
{
    XlfRangeRef range;
    int code = GetRangeRef(range);
    if (code != xlretSuccess)
        return code;
    // One coercion gives the whole block's values; a one-cell block comes as the value itself.
    XlfOper4 values;
    code = Coerce(xltypeMulti, values);
    if (code != xlretSuccess)
        return code;
    const XLOPER& block = *values.record_;
    const std::uint32_t blockType = block.xltype & ~xlbitHostOwned;
    const bool isArray = blockType == xltypeMulti;
    const std::uint32_t rows = CountOf(range.Rows());
    const std::uint32_t columns = CountOf(range.Columns());
    if (isArray ? (block.val.array.rows != rows || block.val.array.columns != columns) : rows * columns != 1)
        return xlretFailed;
    CellMatrix cells(rows, columns);
    for (std::uint32_t i = 0; i < rows; ++i) {
        for (std::uint32_t j = 0; j < columns; ++j) {
            const XLOPER& element = isArray ? block.val.array.lparray[std::size_t{i} * columns + j] : block;
            const std::optional<MatrixCell> cell = CellOf(element, isArray ? element.xltype : blockType);
            if (!cell)
                return xlretInvXloper;
            cells.Cell(i, j) = *cell;
        }
    }
    out = cells;
    return xlretSuccess;
}

// ---- public conversions

double XlfOper4::ReadDouble(int* err) const
{
    return Converted([this](double& value) { return GetDouble(value); }, 0.0, nullptr, err);
}

double XlfOper4::ReadDouble(const std::string& name, int* err) const
{
    const std::string text = "Conversion to double " + name;
    return Converted([this](double& value) { return GetDouble(value); }, 0.0, &text, err);
}

NumericVector XlfOper4::ReadDoubleVector(VectorPolicy policy, int* err) const
{
    return Converted([this, policy](NumericVector& value) { return GetDoubleVector(value, policy); },
                     NumericVector(), nullptr, err);
}

NumericVector XlfOper4::ReadDoubleVector(const std::string& name, VectorPolicy policy, int* err) const
{
    const std::string text = name + " conversion to double vector";
    return Converted([this, policy](NumericVector& value) { return GetDoubleVector(value, policy); },
                     NumericVector(), &text, err);
}

NumericVector XlfOper4::ReadArray(VectorPolicy policy, int* err) const
{
    return ReadDoubleVector(policy, err);
}

NumericVector XlfOper4::ReadArray(const std::string& name, VectorPolicy policy, int* err) const
{
    return ReadDoubleVector(name, policy, err);
}

std::int16_t XlfOper4::ReadShort(int* err) const
{
    return Converted([this](std::int16_t& value) { return GetShort(value); }, std::int16_t{0}, nullptr, err);
}

std::int16_t XlfOper4::ReadShort(const std::string& name, int* err) const
{
    const std::string text = name + " conversion to short failed";
    return Converted([this](std::int16_t& value) { return GetShort(value); }, std::int16_t{0}, &text, err);
}

bool XlfOper4::ReadBool(int* err) const
{
    return Converted([this](bool& value) { return GetBool(value); }, false, nullptr, err);
}

bool XlfOper4::ReadBool(const std::string& name, int* err) const
{
    const std::string text = name + " conversion to bool failed";
    return Converted([this](bool& value) { return GetBool(value); }, false, &text, err);
}

NumericMatrix XlfOper4::ReadMatrix(int* err) const
{
    return ReadMatrix(std::string(), err);
}

NumericMatrix XlfOper4::ReadMatrix(const std::string& name, int* err) const
{
    const std::string text = name + " conversion to matrix failed";
    return Converted([this](NumericMatrix& value) { return GetMatrix(value); }, NumericMatrix(0, 0), &text, err);
}

CellMatrix XlfOper4::ReadCellMatrix(int* err) const
{
    return ReadCellMatrix(std::string(), err);
}

CellMatrix XlfOper4::ReadCellMatrix(const std::string& name, int* err) const
{
    const std::string text = name + " conversion to cell matrix failed";
    return Converted([this](CellMatrix& value) { return GetCellMatrix(value); }, CellMatrix(1, 1), &text, err);
}

const char* XlfOper4::ReadCString(int* err) const
{
    return Converted([this](const char*& value) { return GetCString(value); }, static_cast<const char*>(nullptr),
                     nullptr, err);
}

const char* XlfOper4::ReadCString(const std::string& name, int* err) const
{
    const std::string text = name + " conversion to char* failed";
    return Converted([this](const char*& value) { return GetCString(value); }, static_cast<const char*>(nullptr),
                     &text, err);
}

XlfRangeRef XlfOper4::ReadRangeRef(int* err) const
{
    return Converted([this](XlfRangeRef& value) { return GetRangeRef(value); }, XlfRangeRef(), nullptr, err);
}

// ---- setters

XlfOper4& XlfOper4::SetDouble(double number)
{
    if (record_ != nullptr) {
        record_->xltype = xltypeNum;
        record_->val.num = number;
    }
    return *this;
}

XlfOper4& XlfOper4::SetInt(std::int16_t value)
{
    return SetWord(value, false);
}

XlfOper4& XlfOper4::SetWord(std::int16_t value, bool isError)
{
    if (record_ != nullptr) {
        record_->xltype = isError ? xltypeErr : xltypeInt;
        record_->val.w = value;
    }
    return *this;
}

XlfOper4& XlfOper4::SetBool(bool value)
{
    if (record_ != nullptr) {
        record_->xltype = xltypeBool;
        record_->val.xbool = value ? 1 : 0;
    }
    return *this;
}

XlfOper4& XlfOper4::SetError(std::uint16_t code)
{
    return SetWord(static_cast<std::int16_t>(code), true);
}

XlfOper4& XlfOper4::SetString(const char* text)
{
    if (record_ == nullptr)
        return *this;
    std::size_t length = text != nullptr ? std::strlen(text) : 0;
    if (length > longestText) {
        DiagnosticLine(sites::xlfOper4TextCut) << "String truncated to 254 bytes" << std::endl;
        length = longestText;
    }
    auto* body = static_cast<char*>(TempBytes(length + 2));
    if (length > 0)
        std::memcpy(body + 1, text, length);
    body[length + 1] = '\0';
    body[0] = static_cast<char>(length + 1);
    record_->val.str = body;
    record_->xltype = xltypeStr;
    return *this;
}

XlfOper4& XlfOper4::SetRangeRef(const XlfRangeRef& range)
{
    if (record_ == nullptr)
        return *this;
    auto* list = static_cast<XLMREF*>(TempBytes(sizeof(XLMREF)));
    list->count = 1;
    list->reftbl[0].rwFirst = static_cast<std::uint16_t>(range.FirstRow());
    list->reftbl[0].rwLast = static_cast<std::uint16_t>(range.EndRow() - 1);
    list->reftbl[0].colFirst = static_cast<std::uint8_t>(range.FirstColumn());
    list->reftbl[0].colLast = static_cast<std::uint8_t>(range.EndColumn() - 1);
    record_->val.mref.lpmref = list;
    record_->val.mref.idSheet = static_cast<std::uint32_t>(range.SheetId());
    record_->xltype = xltypeRef;
    return *this;
}

XlfOper4& XlfOper4::SetMulti(std::uint16_t rows, std::uint16_t columns)
{
    if (record_ != nullptr) {
        record_->val.array.lparray = TempRecords(std::size_t{rows} * columns);
        record_->val.array.rows = rows;
        record_->val.array.columns = columns;
        record_->xltype = xltypeMulti;
    }
    return *this;
}

XlfOper4& XlfOper4::SetElement(std::uint16_t row, std::uint16_t column, const XlfOper4& value)
{
    XLOPER& array = RequireMulti();
    XLOPER& element = array.val.array.lparray[std::size_t{row} * array.val.array.columns + column];
    const std::uint32_t type = value.Type();
    switch (type) {
    case xltypeNum:
        element.val.num = value.record_->val.num;
        break;
    case xltypeStr: {
        const char* source = value.record_->val.str;
        const std::size_t bytes = static_cast<unsigned char>(source[0]) + std::size_t{1};
        auto* copy = static_cast<char*>(TempBytes(bytes));
        std::memcpy(copy, source, bytes);
        element.val.str = copy;
        break;
    }
    case xltypeBool:
    case xltypeErr:
    case xltypeInt:
        element.val.w = value.record_->val.w;  // the 16-bit value, whichever of the three
        break;
    default:
        throw XlfException(notAnElement + std::to_string(type));
    }
    element.xltype = static_cast<std::uint16_t>(type);
    return *this;
}

XlfOper4& XlfOper4::SetCellMatrix(const CellMatrix& cells)
{
    if (record_ == nullptr)
        return *this;
    if (cells.Rows() > mostArrayRows)
        throw std::length_error("an Excel 4 array holds at most 65535 rows");
    const std::uint32_t columns = std::min(cells.Columns(), mostArrayColumns);
    SetMulti(static_cast<std::uint16_t>(cells.Rows()), static_cast<std::uint16_t>(columns));
    for (std::uint32_t i = 0; i < cells.Rows(); ++i) {
        for (std::uint32_t j = 0; j < columns; ++j) {
            const MatrixCell& cell = cells.Cell(i, j);
            XlfOper4 element(&record_->val.array.lparray[std::size_t{i} * columns + j]);
            if (cell.IsNumber())
                element.SetDouble(cell.Number());
            else if (cell.IsString())
                element.SetString(cell.Text().c_str());
            else if (cell.IsBoolean())
                element.SetBool(cell.Boolean());
            else if (cell.IsError())
                element.SetWord(static_cast<std::int16_t>(cell.ErrorCode()), true);
            else
                element.SetString("");  // Excel 4 has no wide text; empty cells stay visible as ""
        }
    }
    return *this;
}

XlfOper4& XlfOper4::Set(const NumericMatrix& numbers)
{
    if (numbers.rows() != 0 && numbers.columns() != 0)
        SetCellMatrix(CellMatrix(numbers));
    return *this;
}

XlfOper4& XlfOper4::Set(const NumericVector& numbers)
{
    if (!numbers.empty())
        SetCellMatrix(CellMatrix(numbers));
    return *this;
}

// ---- return codes

int XlfOper4::CheckReturnCode(int code)
{
    // Only the plain invalid-count text differs; every bit tested before it keeps its exception.
    constexpr int testedBefore = xlretUncalced | xlretAbort | xlretStackOvfl | xlretInvXloper | xlretFailed;
    if ((code & xlretInvCount) != 0 && (code & testedBefore) == 0)
        throw std::runtime_error("invalid number of argument");
    return zep::CheckReturnCode(code);
}

int XlfOper4::CheckReturnCode(int code, const std::string& text)
{
    return zep::CheckReturnCode(code, text);
}

XlfOper4 Cell4(const XlfRangeRef& range, std::int32_t row, std::int32_t column)
{
    XlfOper4 cell;
    cell.SetRangeRef(XlfRangeRef(range.FirstRow() + row, range.FirstColumn() + column, range.SheetId()));
    return cell;
}

}  // namespace zep
