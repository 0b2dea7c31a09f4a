#include "XlfOper4.h"

#include "ReturnCodes.h"
#include "XlfOperImplLayout.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>

namespace zep {

namespace {

using Records = LayoutRecords<XlfOper4Layout>;

const Records& Algorithm() {
    static const Records records;
    return records;
}

}  // namespace

// ---- construction, memory and record access

XlfOper4::XlfOper4() : record_(Records::NewRecord()) {}

XlfOper4::XlfOper4(double number) : XlfOper4() {
    SetDouble(number);
}

XlfOper4::XlfOper4(const char* text) : XlfOper4() {
    SetString(text);
}

XlfOper4::XlfOper4(const std::string& text) : XlfOper4() {
    SetString(text.c_str());
}

XlfOper4::XlfOper4(std::int16_t value) : XlfOper4() {
    SetInt(value);
}

XlfOper4::XlfOper4(std::int16_t value, bool isError) : XlfOper4() {
    SetWord(value, isError);
}

XlfOper4::XlfOper4(bool value) : XlfOper4() {
    SetBool(value);
}

XlfOper4::XlfOper4(XLOPER* record) : record_(record) {}

XlfOper4::~XlfOper4() {
    Algorithm().Release(record_);
}

int XlfOper4::Allocate() {
    record_ = Records::NewRecord();
    return xlretSuccess;
}

void XlfOper4::FreeThroughExcel() {
    Algorithm().FreeThroughExcel(record_);
}

int XlfOper4::Coerce(std::uint16_t type, XlfOper4& result) const {
    return Algorithm().Coerce(record_, static_cast<std::int16_t>(type), result.record_);
}

std::uint32_t XlfOper4::Type() const {
    return Records::Type(record_);
}

std::uint16_t XlfOper4::Rows() const {
    return static_cast<std::uint16_t>(Records::Rows(record_));
}

std::uint16_t XlfOper4::Columns() const {
    return static_cast<std::uint16_t>(Records::Columns(record_));
}

XlfOper4 XlfOper4::Element(std::uint16_t row, std::uint16_t column) const {
    return XlfOper4(Records::Element(record_, row, column));
}

// ---- core conversions

int XlfOper4::GetDouble(double& out) const {
    return Algorithm().GetDouble(record_, out);
}

int XlfOper4::GetShort(std::int16_t& out) const {
    return Algorithm().GetShort(record_, out);
}

int XlfOper4::GetBool(bool& out) const {
    return Algorithm().GetBool(record_, out);
}

int XlfOper4::GetErrorCode(std::uint16_t& out) const {
    return Algorithm().GetErrorCode(record_, out);
}

int XlfOper4::GetCString(const char*& out) const {
    return Algorithm().GetCString(record_, out);
}

int XlfOper4::GetRangeRef(XlfRangeRef& out) const {
    return Algorithm().GetRangeRef(record_, out);
}

int XlfOper4::GetDoubleVector(NumericVector& out, VectorPolicy policy) const {
    return Algorithm().GetDoubleVector(record_, out, policy);
}

int XlfOper4::GetMatrix(NumericMatrix& out) const {
    return Algorithm().GetMatrix(record_, out);
}

int XlfOper4::GetCellMatrix(CellMatrix& out) const {
    return Algorithm().GetCellMatrix(record_, out);
}

// ---- setters

XlfOper4& XlfOper4::SetDouble(double number) {
    Records::SetDouble(record_, number);
    return *this;
}

XlfOper4& XlfOper4::SetInt(std::int16_t value) {
    Records::SetInt(record_, value);
    return *this;
}

XlfOper4& XlfOper4::SetWord(std::int16_t value, bool isError) {
    Records::SetWord(record_, value, isError);
    return *this;
}

XlfOper4& XlfOper4::SetBool(bool value) {
    Records::SetBool(record_, value);
    return *this;
}

XlfOper4& XlfOper4::SetError(std::uint16_t code) {
    Records::SetError(record_, code);
    return *this;
}

XlfOper4& XlfOper4::SetString(const char* text) {
    Records::SetString(record_, text);
    return *this;
}

XlfOper4& XlfOper4::SetRangeRef(const XlfRangeRef& range) {
    Records::SetRangeRef(record_, range);
    return *this;
}

XlfOper4& XlfOper4::SetMulti(std::uint16_t rows, std::uint16_t columns) {
    Records::SetMulti(record_, rows, columns);
    return *this;
}

XlfOper4& XlfOper4::SetElement(std::uint16_t row, std::uint16_t column, const XlfOper4& value) {
    Records::SetElement(record_, row, column, value.record_);
    return *this;
}

XlfOper4& XlfOper4::SetCellMatrix(const CellMatrix& cells) {
    Algorithm().SetCellMatrix(record_, cells);
    return *this;
}

// Numbers go straight into the array's elements: the same records as through a CellMatrix of
// number cells, without building one.
XlfOper4& XlfOper4::Set(const NumericMatrix& numbers) {
    if (record_ == nullptr || numbers.rows() == 0 || numbers.columns() == 0) return *this;
    Records::SetMulti(record_, numbers.rows(), std::min(numbers.columns(), XlfOper4Layout::maxResultColumns));
    Records::SetNumbers(record_, numbers.data(), numbers.columns());
    return *this;
}

XlfOper4& XlfOper4::Set(const NumericVector& numbers) {
    if (record_ == nullptr || numbers.empty()) return *this;
    // A vector of more rows than the layout holds is refused.
    Records::SetMulti(record_, static_cast<std::uint32_t>(std::min<std::size_t>(numbers.size(), UINT32_MAX)), 1);
    Records::SetNumbers(record_, numbers.data(), 1);
    return *this;
}

// ---- return codes

int XlfOper4::CheckReturnCode(int code) {
    // Only the plain invalid-count text differs; every bit tested before it keeps its exception.
    constexpr int testedBefore = xlretUncalced | xlretAbort | xlretStackOvfl | xlretInvXloper | xlretFailed;
    if ((code & xlretInvCount) != 0 && (code & testedBefore) == 0)
        throw std::runtime_error("invalid number of argument");
    return zep::CheckReturnCode(code);
}

int XlfOper4::CheckReturnCode(int code, const std::string& text) {
    return zep::CheckReturnCode(code, text);
}

XlfOper4 Cell4(const XlfRangeRef& range, std::int32_t row, std::int32_t column) {
    // Added wide, so that a cell beyond the largest index is refused rather than overflowing.
    XlfOper4 cell;
    cell.SetRangeRef(XlfRangeRef(static_cast<std::int32_t>(std::int64_t{range.FirstRow()} + row),
                                 static_cast<std::int32_t>(std::int64_t{range.FirstColumn()} + column),
                                 range.SheetId()));
    return cell;
}

}  // namespace zep
