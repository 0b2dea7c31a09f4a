#ifndef SRC_CELLMATRIX_H
#define SRC_CELLMATRIX_H

#include "NumericMatrix.h"
#include "WideText.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zep {

enum class CellKind : std::uint32_t {
    String = 0,
    WString = 1,  // Excel 12 text (zep::WideString)
    Number = 2,
    Boolean = 3,
    Reserved = 4,  // created by nothing; every consumer treats it like Empty
    Error = 5,
    Empty = 6,
};

// One cell of a worksheet range. The accessors and conversions throw their message as a bare
// const char* (the worksheet wrappers return such a text as the function's result).
class MatrixCell {
public:
    MatrixCell();
    explicit MatrixCell(const std::string& text);
    explicit MatrixCell(const char* text);
    explicit MatrixCell(const WideString& text);
    explicit MatrixCell(double number);
    explicit MatrixCell(std::int32_t number);
    // An Excel error code when isError, else a number; the code is kept as both either way.
    MatrixCell(std::uint32_t code, bool isError);
    explicit MatrixCell(bool value);

    void Clear();

    CellKind Kind() const { return kind_; }
    bool IsString() const { return kind_ == CellKind::String; }
    bool IsWideString() const { return kind_ == CellKind::WString; }
    bool IsNumber() const { return kind_ == CellKind::Number; }
    bool IsBoolean() const { return kind_ == CellKind::Boolean; }
    bool IsReserved() const { return kind_ == CellKind::Reserved; }
    bool IsError() const { return kind_ == CellKind::Error; }
    bool IsEmpty() const { return kind_ == CellKind::Empty; }

    // Of a String or WideString cell; wide text is narrowed to the low byte of each unit.
    std::string Text() const;
    const WideString& WideText() const;  // WideString cells only
    std::string LowerText() const;
    // A String cell's text lower-cased, then widened by sign-extending each byte.
    WideString LowerWideText() const;
    double Number() const;
    bool Boolean() const;
    std::uint32_t ErrorCode() const;

    // Strict conversions: each accepts exactly one kind (a WideString cell is no std::string).
    explicit operator std::string() const;
    explicit operator WideString() const;
    explicit operator double() const;
    // Truncated toward zero, keeping the low 32 bits.
    explicit operator std::int32_t() const;
    explicit operator bool() const;

private:
    void RequireNumber() const;

    CellKind kind_;
    std::string text_;
    WideString wideText_;
    double number_;
    bool boolean_;
    std::uint32_t errorCode_;
};

// Rows x columns of cells, zero-based, row first: the Excel-independent picture of a range.
class CellMatrix {
public:
    CellMatrix();
    CellMatrix(std::uint32_t rows, std::uint32_t columns);  // all Empty
    explicit CellMatrix(double number);
    explicit CellMatrix(std::int32_t number);
    explicit CellMatrix(std::uint32_t number);
    explicit CellMatrix(const char* text);
    explicit CellMatrix(const std::string& text);
    explicit CellMatrix(const WideString& text);
    // One column; an empty vector gives 0 rows and 1 column.
    explicit CellMatrix(const NumericVector& values);
    explicit CellMatrix(const NumericMatrix& values);

    std::uint32_t Rows() const { return rows_; }
    std::uint32_t Columns() const { return columns_; }

    // Bounds-tested: std::out_of_range outside the matrix.
    const MatrixCell& Cell(std::uint32_t row, std::uint32_t column) const;
    MatrixCell& Cell(std::uint32_t row, std::uint32_t column);

    // Puts other's rows under these; the narrower of the two is padded with Empty cells.
    void AppendBelow(const CellMatrix& other);

private:
    explicit CellMatrix(const MatrixCell& only);

    std::vector<std::vector<MatrixCell>> cells_;
    std::uint32_t rows_;
    std::uint32_t columns_;
};

// top above bottom, as wide as the wider of them; cells neither covers are Empty.
CellMatrix StackCellMatrices(const CellMatrix& top, const CellMatrix& bottom);

}  // namespace zep

#endif
