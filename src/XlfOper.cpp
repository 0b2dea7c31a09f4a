#include "XlfOper.h"

#include "ReturnCodes.h"
#include "XlfOperImpl.h"

#include <algorithm>
#include <stdexcept>

namespace zep {

namespace {

const XlfOperImpl& Impl() {
    return XlfOperImpl::Current();
}

}  // namespace

XlfOper::XlfOper() : record_(nullptr) {
    Impl().Allocate(*this);
}

XlfOper::XlfOper(void* record) : record_(record) {}

XlfOper::XlfOper(const XlfOper& other) : record_(nullptr) {
    Impl().Copy(*this, other);
}

XlfOper& XlfOper::operator=(const XlfOper& other) {
    if (record_ != other.record_) {
        Impl().Release(*this);
        Impl().Copy(*this, other);
    }
    return *this;
}

XlfOper::~XlfOper() {
    if (record_ != nullptr) Impl().Release(*this);
}

XlfOper::XlfOper(double number) : XlfOper() {
    Impl().SetDouble(*this, number);
}

XlfOper::XlfOper(bool value) : XlfOper() {
    Impl().SetBool(*this, value);
}

XlfOper::XlfOper(const char* text) : XlfOper() {
    Impl().SetString(*this, text);
}

XlfOper::XlfOper(const std::string& text) : XlfOper(text.c_str()) {}

XlfOper::XlfOper(const WideString& text) : XlfOper() {
    Impl().SetWideString(*this, text);
}

XlfOper::XlfOper(const CellMatrix& cells) : XlfOper() {
    Impl().SetCellMatrix(*this, cells);
}

XlfOper::XlfOper(std::int16_t value, bool isError) : XlfOper() {
    Impl().SetWord(*this, value, isError);
}

XlfOper::XlfOper(std::int16_t value) : XlfOper() {
    Impl().SetInt(*this, value);
}

XlfOper XlfOper::Error(std::uint16_t code) {
    XlfOper error;
    Impl().SetError(error, code);
    return error;
}

// ---- conversions

int XlfOper::GetDouble(double& out) const {
    return Impl().GetDouble(*this, out);
}

int XlfOper::GetDoubleVector(NumericVector& out, VectorPolicy policy) const {
    return Impl().GetDoubleVector(*this, out, policy);
}

int XlfOper::GetShort(std::int16_t& out) const {
    return Impl().GetShort(*this, out);
}

int XlfOper::GetBool(bool& out) const {
    return Impl().GetBool(*this, out);
}

int XlfOper::GetMatrix(NumericMatrix& out) const {
    return Impl().GetMatrix(*this, out);
}

int XlfOper::GetCellMatrix(CellMatrix& out) const {
    return Impl().GetCellMatrix(*this, out);
}

int XlfOper::GetCString(const char*& out) const {
    return Impl().GetCString(*this, out);
}

int XlfOper::GetRangeRef(XlfRangeRef& out) const {
    return Impl().GetRangeRef(*this, out);
}

WideString XlfOper::ReadWString(int* err) const {
    WideString text;
    Report(Impl().GetWString(*this, text), err, nullptr);
    return text;
}

std::uint16_t XlfOper::ReadErrorCode(int* err) const {
    std::uint16_t code = 0;
    Report(Impl().GetErrorCode(*this, code), err, nullptr);
    return code;
}

// ---- setters and accessors

XlfOper& XlfOper::Set(const CellMatrix& cells) {
    return Impl().SetCellMatrix(*this, cells);
}

// Numbers go straight into the array's elements: the same records as through a CellMatrix of
// number cells, without building one.
XlfOper& XlfOper::Set(const NumericMatrix& numbers) {
    if (numbers.rows() == 0 || numbers.columns() == 0) return *this;
    const XlfOperImpl& impl = Impl();
    const std::uint32_t columns = std::min(numbers.columns(), impl.MaxResultColumns());
    impl.SetMulti(*this, numbers.rows(), columns);
    impl.SetNumbers(*this, numbers.data(), numbers.columns());
    return *this;
}

XlfOper& XlfOper::Set(const NumericVector& numbers) {
    if (numbers.empty()) return *this;
    const auto rows = static_cast<std::uint32_t>(numbers.size());
    if (rows != numbers.size()) throw std::length_error("a vector of more rows than an array can have");
    const XlfOperImpl& impl = Impl();
    impl.SetMulti(*this, rows, 1);
    impl.SetNumbers(*this, numbers.data(), 1);
    return *this;
}

void* XlfOper::Pointer() const {
    return Impl().Pointer(*this);
}

XLOPER* XlfOper::Excel4Value() const {
    return Impl().Excel4Value(*this);
}

XLOPER12* XlfOper::Excel12Value() const {
    return Impl().Excel12Value(*this);
}

std::uint32_t XlfOper::Type() const {
    return Impl().Type(*this);
}

const char* XlfOper::TypeName() const {
    return zep::TypeName(Type());
}

int XlfOper::CheckReturnCode(int code) {
    return zep::CheckReturnCode(code);
}

int XlfOper::CheckReturnCode(int code, const std::string& text) {
    return zep::CheckReturnCode(code, text);
}

// ---- XlfRangeRef

namespace {

// One past a last row or column; computed wide, so the largest index does not overflow.
std::int32_t OnePast(std::int32_t last) {
    return static_cast<std::int32_t>(std::int64_t{last} + 1);
}

}  // namespace

XlfRangeRef::XlfRangeRef() : firstRow_(0), endRow_(0), firstColumn_(0), endColumn_(0), sheetId_(0) {}

XlfRangeRef::XlfRangeRef(std::int32_t firstRow, std::int32_t firstColumn, std::int32_t lastRow, std::int32_t lastColumn,
                         std::int32_t sheetId)
    : firstRow_(firstRow),
      endRow_(OnePast(lastRow)),
      firstColumn_(firstColumn),
      endColumn_(OnePast(lastColumn)),
      sheetId_(sheetId) {}

XlfRangeRef::XlfRangeRef(std::int32_t row, std::int32_t column, std::int32_t sheetId)
    : XlfRangeRef(row, column, row, column, sheetId) {}

std::int32_t XlfRangeRef::Rows() const {
    return static_cast<std::int32_t>(std::int64_t{endRow_} - firstRow_);
}

std::int32_t XlfRangeRef::Columns() const {
    return static_cast<std::int32_t>(std::int64_t{endColumn_} - firstColumn_);
}

XlfOper XlfRangeRef::Cell(std::int32_t row, std::int32_t column) const {
    XlfOper cell;
    Impl().SetRangeRef(cell, XlfRangeRef(static_cast<std::int32_t>(std::int64_t{firstRow_} + row),
                                         static_cast<std::int32_t>(std::int64_t{firstColumn_} + column), sheetId_));
    return cell;
}

}  // namespace zep
