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

// The caller asked for the code, or gets the exception of a failing one, named by text.
void Report(int code, int* err, const std::string* text) {
    if (err != nullptr)
        *err = code;
    else if (text != nullptr)
        CheckReturnCode(code, *text);
    else
        CheckReturnCode(code);
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

double XlfOper::ReadDouble(int* err) const {
    double value = 0.0;
    Report(Impl().GetDouble(*this, value), err, nullptr);
    return value;
}

double XlfOper::ReadDouble(const std::string& name, int* err) const {
    double value = 0.0;
    const std::string text = "Conversion to double " + name;
    Report(Impl().GetDouble(*this, value), err, &text);
    return value;
}

NumericVector XlfOper::ReadDoubleVector(VectorPolicy policy, int* err) const {
    NumericVector values;
    Report(Impl().GetDoubleVector(*this, values, policy), err, nullptr);
    return values;
}

NumericVector XlfOper::ReadDoubleVector(const std::string& name, VectorPolicy policy, int* err) const {
    NumericVector values;
    const std::string text = name + " conversion to double vector";
    Report(Impl().GetDoubleVector(*this, values, policy), err, &text);
    return values;
}

NumericVector XlfOper::ReadArray(VectorPolicy policy, int* err) const {
    return ReadDoubleVector(policy, err);
}

NumericVector XlfOper::ReadArray(const std::string& name, VectorPolicy policy, int* err) const {
    return ReadDoubleVector(name, policy, err);
}

std::int16_t XlfOper::ReadShort(int* err) const {
    std::int16_t value = 0;
    Report(Impl().GetShort(*this, value), err, nullptr);
    return value;
}

std::int16_t XlfOper::ReadShort(const std::string& name, int* err) const {
    std::int16_t value = 0;
    const std::string text = name + " conversion to short failed";
    Report(Impl().GetShort(*this, value), err, &text);
    return value;
}

bool XlfOper::ReadBool(int* err) const {
    bool value = false;
    Report(Impl().GetBool(*this, value), err, nullptr);
    return value;
}

bool XlfOper::ReadBool(const std::string& name, int* err) const {
    bool value = false;
    const std::string text = name + " conversion to bool failed";
    Report(Impl().GetBool(*this, value), err, &text);
    return value;
}

NumericMatrix XlfOper::ReadMatrix(int* err) const {
    return ReadMatrix(std::string(), err);
}

NumericMatrix XlfOper::ReadMatrix(const std::string& name, int* err) const {
    NumericMatrix value(0, 0);
    const std::string text = name + " conversion to matrix failed";
    Report(Impl().GetMatrix(*this, value), err, &text);
    return value;
}

CellMatrix XlfOper::ReadCellMatrix(int* err) const {
    return ReadCellMatrix(std::string(), err);
}

CellMatrix XlfOper::ReadCellMatrix(const std::string& name, int* err) const {
    CellMatrix value(1, 1);
    const std::string text = name + " conversion to cell matrix failed";
    Report(Impl().GetCellMatrix(*this, value), err, &text);
    return value;
}

const char* XlfOper::ReadCString(int* err) const {
    const char* value = nullptr;
    Report(Impl().GetCString(*this, value), err, nullptr);
    return value;
}

const char* XlfOper::ReadCString(const std::string& name, int* err) const {
    const char* value = nullptr;
    const std::string text = name + " conversion to char* failed";
    Report(Impl().GetCString(*this, value), err, &text);
    return value;
}

WideString XlfOper::ReadWString(int* err) const {
    WideString value;
    Report(Impl().GetWString(*this, value), err, nullptr);
    return value;
}

XlfRangeRef XlfOper::ReadRangeRef(int* err) const {
    XlfRangeRef value;
    Report(Impl().GetRangeRef(*this, value), err, nullptr);
    return value;
}

std::uint16_t XlfOper::ReadErrorCode(int* err) const {
    std::uint16_t value = 0;
    Report(Impl().GetErrorCode(*this, value), err, nullptr);
    return value;
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
    const std::uint32_t columns = std::min(numbers.columns(), XlfOperImpl::MaxArrayColumns);
    impl.SetMulti(*this, numbers.rows(), columns);
    for (std::uint32_t i = 0; i < numbers.rows(); ++i) {
        for (std::uint32_t j = 0; j < columns; ++j) {
            XlfOper element = impl.Element(*this, i, j);
            impl.SetDouble(element, numbers[i][j]);
        }
    }
    return *this;
}

XlfOper& XlfOper::Set(const NumericVector& numbers) {
    if (numbers.empty()) return *this;
    if (std::uint64_t{numbers.size()} > UINT32_MAX) throw std::length_error("a vector of more rows than an array can have");
    const XlfOperImpl& impl = Impl();
    const auto rows = static_cast<std::uint32_t>(numbers.size());
    impl.SetMulti(*this, rows, 1);
    for (std::uint32_t i = 0; i < rows; ++i) {
        XlfOper element = impl.Element(*this, i, 0);
        impl.SetDouble(element, numbers[i]);
    }
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

XlfRangeRef::XlfRangeRef(std::int32_t firstRow, std::int32_t firstColumn, std::int32_t lastRow,
                         std::int32_t lastColumn, std::int32_t sheetId)
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
