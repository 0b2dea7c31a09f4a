#include "CellMatrix.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace zep {

namespace {

const char* const kNotString = "non string cell asked to be a string";
const char* const kNotWideString = "non wstring cell asked to be a wstring";
const char* const kNotNumber = "non number cell asked to be a number";
const char* const kNotBoolean = "non boolean cell asked to be a bool";
const char* const kNotError = "non error cell asked to be an error";

// A cell's own byte/unit mapping, not the locale's: each unit keeps its low 8 bits.
std::string NarrowUnits(const WideString& text) {
    std::string out(text.size(), '\0');
    std::transform(text.begin(), text.end(), out.begin(),
                   [](XCHAR unit) { return static_cast<char>(static_cast<unsigned char>(unit & 0xFF)); });
    return out;
}

// Each byte read as signed 8-bit: 0x80..0xFF become units 0xFF80..0xFFFF.
WideString WidenBytes(const std::string& text) {
    WideString out(text.size(), XCHAR{});
    std::transform(text.begin(), text.end(), out.begin(), [](char byte) {
        return static_cast<XCHAR>(
            static_cast<std::uint16_t>(static_cast<std::int16_t>(static_cast<signed char>(byte))));
    });
    return out;
}

// tolower is defined only for values of unsigned char (and EOF): bytes are passed as
// unsigned, and units above 0xFF, which no narrow locale maps, stay as they are.
std::string LowerBytes(std::string text) {
    for (char& byte : text) byte = static_cast<char>(std::tolower(static_cast<unsigned char>(byte)));
    return text;
}

WideString LowerUnits(WideString text) {
    for (XCHAR& unit : text)
        if (unit <= 0xFF) unit = static_cast<XCHAR>(std::tolower(static_cast<int>(unit)));
    return text;
}

// The low 32 bits of the truncation to 64 bits. A value with no 64-bit truncation (NaN, or
// beyond +-2^63) gives the bits of x86's "integer indefinite" 0x8000000000000000, i.e. 0.
std::int32_t LowBitsOfTruncation(double number) {
    constexpr double kTwoTo63 = 9223372036854775808.0;
    if (!(number > -kTwoTo63 && number < kTwoTo63)) return 0;
    auto low = static_cast<std::uint32_t>(static_cast<std::uint64_t>(static_cast<std::int64_t>(number)));
    return static_cast<std::int32_t>(low);
}

}  // namespace

MatrixCell::MatrixCell() : kind_(CellKind::Empty), number_(0.0), boolean_(false), errorCode_(0) {}

MatrixCell::MatrixCell(const std::string& text) : MatrixCell() {
    kind_ = CellKind::String;
    text_ = text;
}

// A null pointer is taken as no text rather than read.
MatrixCell::MatrixCell(const char* text) : MatrixCell(std::string(text ? text : "")) {}

MatrixCell::MatrixCell(const WideString& text) : MatrixCell() {
    kind_ = CellKind::WString;
    wideText_ = text;
}

MatrixCell::MatrixCell(double number) : MatrixCell() {
    kind_ = CellKind::Number;
    number_ = number;
}

MatrixCell::MatrixCell(std::int32_t number) : MatrixCell(static_cast<double>(number)) {}

MatrixCell::MatrixCell(std::uint32_t code, bool isError) : MatrixCell(static_cast<double>(code)) {
    if (isError) kind_ = CellKind::Error;
    errorCode_ = code;
}

MatrixCell::MatrixCell(bool value) : MatrixCell() {
    kind_ = CellKind::Boolean;
    boolean_ = value;
}

void MatrixCell::Clear() {
    *this = MatrixCell();
}

std::string MatrixCell::Text() const {
    if (IsString()) return text_;
    if (IsWideString()) return NarrowUnits(wideText_);
    throw kNotString;
}

const WideString& MatrixCell::WideText() const {
    if (!IsWideString()) throw kNotWideString;
    return wideText_;
}

std::string MatrixCell::LowerText() const {
    if (IsString()) return LowerBytes(text_);
    if (IsWideString()) return NarrowUnits(LowerUnits(wideText_));
    throw kNotString;
}

WideString MatrixCell::LowerWideText() const {
    if (IsWideString()) return LowerUnits(wideText_);
    if (IsString()) return WidenBytes(LowerBytes(text_));
    throw kNotString;
}

void MatrixCell::RequireNumber() const {
    if (!IsNumber()) throw kNotNumber;
}

double MatrixCell::Number() const {
    RequireNumber();
    return number_;
}

bool MatrixCell::Boolean() const {
    if (!IsBoolean()) throw kNotBoolean;
    return boolean_;
}

std::uint32_t MatrixCell::ErrorCode() const {
    if (!IsError()) throw kNotError;
    return errorCode_;
}

MatrixCell::operator std::string() const {
    if (!IsString()) throw kNotString;
    return text_;
}

MatrixCell::operator WideString() const {
    if (!IsWideString()) throw kNotString;
    return wideText_;
}

MatrixCell::operator double() const {
    return Number();
}

MatrixCell::operator std::int32_t() const {
    return LowBitsOfTruncation(Number());
}

MatrixCell::operator bool() const {
    return Boolean();
}

CellMatrix::CellMatrix() : rows_(0), columns_(0) {}

CellMatrix::CellMatrix(std::uint32_t rows, std::uint32_t columns)
    : cells_(rows, std::vector<MatrixCell>(columns)), rows_(rows), columns_(columns) {}

CellMatrix::CellMatrix(const MatrixCell& only) : cells_(1, std::vector<MatrixCell>(1, only)), rows_(1), columns_(1) {}

CellMatrix::CellMatrix(double number) : CellMatrix(MatrixCell(number)) {}

CellMatrix::CellMatrix(std::int32_t number) : CellMatrix(MatrixCell(number)) {}

CellMatrix::CellMatrix(std::uint32_t number) : CellMatrix(MatrixCell(static_cast<double>(number))) {}

CellMatrix::CellMatrix(const char* text) : CellMatrix(MatrixCell(text)) {}

CellMatrix::CellMatrix(const std::string& text) : CellMatrix(MatrixCell(text)) {}

CellMatrix::CellMatrix(const WideString& text) : CellMatrix(MatrixCell(text)) {}

CellMatrix::CellMatrix(const NumericVector& values) : CellMatrix(static_cast<std::uint32_t>(values.size()), 1) {
    for (std::uint32_t i = 0; i < rows_; ++i) cells_[i][0] = MatrixCell(values[i]);
}

CellMatrix::CellMatrix(const NumericMatrix& values) : CellMatrix(values.rows(), values.columns()) {
    for (std::uint32_t i = 0; i < rows_; ++i)
        for (std::uint32_t j = 0; j < columns_; ++j) cells_[i][j] = MatrixCell(values[i][j]);
}

const MatrixCell& CellMatrix::Cell(std::uint32_t row, std::uint32_t column) const {
    return cells_.at(row).at(column);
}

MatrixCell& CellMatrix::Cell(std::uint32_t row, std::uint32_t column) {
    return cells_.at(row).at(column);
}

void CellMatrix::AppendBelow(const CellMatrix& other) {
    // A copy first, so that appending a matrix to itself reads rows that are not growing.
    CellMatrix below(other);
    std::uint32_t columns = std::max(columns_, below.columns_);
    for (auto& row : cells_) row.resize(columns);
    for (auto& row : below.cells_) row.resize(columns);
    cells_.insert(cells_.end(), std::make_move_iterator(below.cells_.begin()),
                  std::make_move_iterator(below.cells_.end()));
    rows_ = static_cast<std::uint32_t>(cells_.size());
    columns_ = columns;
}

CellMatrix StackCellMatrices(const CellMatrix& top, const CellMatrix& bottom) {
    CellMatrix stacked(top);
    stacked.AppendBelow(bottom);
    return stacked;
}

}  // namespace zep
