#include "XlCallFrame.h"

#include "Win32StreamBuf.h"
#include "XlCall.h"
#include "XlfException.h"
#include "XlfOperImpl.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <exception>
#include <ostream>
#include <string>

namespace zep {

int WorksheetInteger(double number) {
    // Both bounds are exact doubles; the open interval keeps INT_MIN out, and NaN fails both tests.
    if (!(number > -2147483648.0 && number < 2147483648.0)) return 0;
    return static_cast<int>(number);
}

double NumberArgument::ReadRecord(void* record, const char* name) {
    return XlfOper(record).ReadDouble(name);
}

int IntegerArgument::ReadRecord(void* record, const char* name) {
    return WorksheetInteger(XlfOper(record).ReadDouble(name));
}

bool BooleanArgument::ReadRecord(void* record, const char* name) {
    return XlfOper(record).ReadBool(name);
}

bool IsLeftOut(void* record) {
    const XlfOper value(record);
    return value.Type() == 0 || (value.Type() & (xltypeMissing | xltypeNil)) != 0;
}

NumericMatrix MatrixArgument::Read(void* record, const char* name) {
    return XlfOper(record).ReadMatrix(name);
}

NumericVector VectorArgument::Read(void* record, const char* name) {
    return XlfOper(record).ReadArray(name, VectorOnly);
}

std::string TextArgument::Read(void* record, const char* name) {
    const XlfOper value(record);
    if (!XlfExcel::Current().IsExcel12()) return value.ReadCString(name);
    int code = xlretSuccess;
    const WideString text = value.ReadWString(&code);
    XlfOper::CheckReturnCode(code, std::string(name) + " conversion to char* failed");
    return NarrowToUtf8(text.data(), text.size());
}

CellMatrix CellsArgument::Read(void* record, const char* name) {
    return XlfOper(record).ReadCellMatrix(name);
}

WorksheetResult::WorksheetResult(bool value) : WorksheetResult(XlfOper(value)) {}

WorksheetResult::WorksheetResult(const char* text) : WorksheetResult(std::string(text == nullptr ? "" : text)) {}

XlfOper TextValue(const std::string& text) {
    constexpr std::size_t longestExcel4Text = 255;
    XlfExcel& excel = XlfExcel::Current();
    if (excel.IsExcel12()) return XlfOper(WidenUtf8(text.data(), text.size()));
    std::size_t length = text.size();
    if (length > longestExcel4Text) {
        DiagnosticLine(sites::xlfOperImpl4WideTextCut) << "String truncated to 255 bytes" << std::endl;
        length = longestExcel4Text;
    }
    auto* record = static_cast<XLOPER*>(excel.TempAlloc(sizeof(XLOPER)));
    auto* bytes = static_cast<char*>(excel.TempAlloc(length + 1));
    bytes[0] = static_cast<char>(static_cast<unsigned char>(length));
    std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length), bytes + 1);
    record->xltype = xltypeStr;
    record->val.str = bytes;
    return XlfOper(static_cast<void*>(record));
}

namespace {

XlfOper CellValue(const MatrixCell& cell) {
    if (cell.IsNumber()) return XlfOper(cell.Number());
    if (cell.IsString()) return TextValue(cell.Text());
    if (cell.IsWideString()) return XlfOper(cell.WideText());
    if (cell.IsBoolean()) return XlfOper(cell.Boolean());
    return XlfOper::Error(static_cast<std::uint16_t>(cell.ErrorCode()));
}

}  // namespace

WorksheetResult::WorksheetResult(const std::string& text) : WorksheetResult(TextValue(text)) {}

WorksheetResult::WorksheetResult(const WideString& text) : WorksheetResult(XlfOper(text)) {}

WorksheetResult::WorksheetResult(const NumericMatrix& numbers) : WorksheetResult(XlfOper().Set(numbers)) {}

WorksheetResult::WorksheetResult(const NumericVector& numbers) : WorksheetResult(XlfOper().Set(numbers)) {}

// Every element starts blank, so only the cells that hold something are written (a reserved
// cell counts as empty, as everywhere).
WorksheetResult::WorksheetResult(const CellMatrix& cells) {
    const XlfOperImpl& impl = XlfOperImpl::Current();
    XlfOper array;
    const std::uint32_t columns = std::min(cells.Columns(), impl.MaxResultColumns());
    impl.SetMulti(array, cells.Rows(), columns);
    for (std::uint32_t i = 0; i < cells.Rows(); ++i)
        for (std::uint32_t j = 0; j < columns; ++j)
            if (!cells.Cell(i, j).IsEmpty() && !cells.Cell(i, j).IsReserved())
                impl.SetElement(array, i, j, CellValue(cells.Cell(i, j)));
    record_ = array.Pointer();
}

WorksheetResult::WorksheetResult(const XlfOper& value) : record_(value.Pointer()) {}

namespace {

// "A", ..., "Z", "AA", ... for the zero-based column.
std::string ColumnLetters(std::int64_t column) {
    std::string letters;
    for (++column; column > 0; column = (column - 1) / 26)
        letters.insert(letters.begin(), static_cast<char>('A' + (column - 1) % 26));
    return letters;
}

std::string CellName(std::int64_t row, std::int64_t column) {
    return ColumnLetters(column) + std::to_string(row + 1);
}

// Excel's sheet title "[Book1]Sheet1" as a formula names the sheet: "Sheet1", or quoted as
// 'My sheet' when it holds anything but letters, digits, '_' and '.'.
std::string SheetPrefix(std::string title) {
    title.erase(0, title.find(']') == std::string::npos ? 0 : title.find(']') + 1);
    const bool plain = std::all_of(title.begin(), title.end(), [](char c) {
        return static_cast<unsigned char>(c) >= 0x80 || std::isalnum(static_cast<unsigned char>(c)) || c == '_' ||
               c == '.';
    });
    if (plain) return title + "!";
    std::string quoted = "'";
    for (char c : title) quoted += c == '\'' ? std::string("''") : std::string(1, c);
    return quoted + "'!";
}

// The text of what is being thrown; to be called from a catch block only.
std::string FailureMessage() {
    try {
        throw;
    } catch (const std::exception& failure) {
        return failure.what();
    } catch (const std::string& message) {
        return message;
    } catch (const char* message) {
        return message == nullptr ? "" : message;
    } catch (...) {
        return "the command failed";
    }
}

}  // namespace

std::string ReferenceAddress(const XlfOper& reference) {
    if ((reference.Type() & (xltypeRef | xltypeSRef)) == 0) return std::string();
    int code = xlretSuccess;
    const XlfRangeRef range = reference.ReadRangeRef(&code);  // one area only
    if (code != xlretSuccess) return std::string();
    // Built again, as a reference Excel returned carries a mark of ours that Excel must not see.
    XlfOper area;
    XlfOperImpl::Current().SetRangeRef(area, range);
    XlfOper title;
    if (XlfExcel::Current().CallHost(xlSheetNm, title.Pointer(), area.Pointer()) != xlretSuccess) return std::string();
    std::string address = SheetPrefix(TextArgument::Read(title.Pointer(), "sheet name")) +
                          CellName(range.FirstRow(), range.FirstColumn());
    if (range.Rows() != 1 || range.Columns() != 1)
        address += ":" + CellName(std::int64_t{range.EndRow()} - 1, std::int64_t{range.EndColumn()} - 1);
    return address;
}

std::string CallerAddress() {
    XlfOper caller;
    if (XlfExcel::Current().CallHost(xlfCaller, caller.Pointer()) != xlretSuccess) return std::string();
    return ReferenceAddress(caller);
}

int RunCommand(void (*body)()) noexcept {
    try {
        XlfExcel& excel = XlfExcel::Current();
        const XlfExcel::TempLockHold lock(excel);
        excel.ReleaseTemp(false);
        try {
            body();
            return 1;
        } catch (...) {
            const XlfOper text = TextValue(FailureMessage());
            XlfOper ignored;
            excel.CallHost(xlcAlert, ignored.Pointer(), text.Pointer());
            return 0;
        }
    } catch (...) {
        return 0;
    }
}

void* FailureRecord() {
    // XlfException derives from std::exception: it must be tried first, so that a fault Excel
    // reported (an uncalculated argument, an abort) returns no value rather than its text.
    try {
        throw;
    } catch (const XlfException&) {
        return nullptr;
    } catch (const std::exception& failure) {
        return XlfOper(failure.what()).Pointer();
    } catch (const std::string& message) {
        return XlfOper(message).Pointer();
    } catch (const char* message) {
        return XlfOper(message).Pointer();
    } catch (const CellMatrix& cells) {
        return XlfOper(cells).Pointer();
    } catch (...) {
        // Exceptions of no standard family (a numerics library's own, say) all become #VALUE!.
        return XlfOper::Error(xlerrValue).Pointer();
    }
}

}  // namespace zep
