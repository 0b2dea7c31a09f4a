#ifndef HOST_SHEETFILE_H
#define HOST_SHEETFILE_H

// The sheet files xllhost evaluates: plain text, one cell or range per line.
//
//   # a comment; blank lines are ignored
//   A1:B2 = 4, 2; 2, 3            values: ',' between columns, ';' between rows
//   A3 = 1.5, "text", TRUE, #N/A, , 7   numbers, "texts" ("" for a quote), TRUE/FALSE, errors, blank
//   A4 = @data.csv                a block read from a CSV file, relative to the sheet's folder
//   D1 = mtrx_Cholesky(A1:B2)     a formula: one that starts with a function's name, or any
//   D5 = =ROUND(D1 * 2, 3) + 1    formula after a second '=' (the language: Formula.h)
//   D6 = mtrx_Row(A1:B2, )        an argument left empty is missing
//   run fDance                    runs the add-in's command fDance, as Excel's Run dialog does
//
// A target of one cell takes the block's shape from its values; a range must have the values'
// shape. A formula's target is one cell, from which an array result spills. Cell names are
// case-insensitive and may carry '$'. In a CSV file a field that is no number, boolean or error is a
// text, quoted or not, and short rows are padded with blanks. Every cell is given at most once;
// formulas are evaluated top to bottom, so a formula may not use the cell of a formula below it.

#include "Value.h"

#include <cstddef>
#include <cstdint>
#include <istream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace xlhost {

// Bad input, with the file and line where it is: what() reads "file:line: message" ("file: message"
// for line 0, a fault of the whole file).
class SheetError : public std::runtime_error {
public:
    SheetError(const std::string& file, int line, const std::string& message);
};

// How far a sheet reaches: Excel 12 and newer have 1048576 rows and 16384 columns, older 65536 × 256.
struct SheetLimits {
    std::int32_t rows;
    std::int32_t columns;
    static SheetLimits forExcel(int majorVersion);
};

// "A1", "XFD1048576", "A1:B2" (either corner first); 0-based and inclusive.
std::optional<Area> parseRange(const std::string& text, const SheetLimits& limits);
std::string cellName(std::int32_t row, std::int32_t column);
std::string rangeName(const Area& area);

struct FormulaNode;

// An argument of an add-in function's call.
struct FormulaArgument {
    std::optional<Area> range;  // a range argument; otherwise `literal`
    Value literal = Value::missing();
};

struct SheetEntry {
    int line = 0;
    Area target;
    bool isFormula = false;
    bool isCommand = false;                      // a "run" line: no target; `function` names the command
    Value values = Value::nil();                 // an array holding the block, for a values or CSV line
    std::string function;                        // for a command line
    std::shared_ptr<const FormulaNode> formula;  // for a formula line
    std::string formulaText;                     // as written, for the output
};

struct SheetFile {
    std::string path;
    std::vector<SheetEntry> entries;
};

// The formulas' cells of a sheet's entries in row-major order, so that the formulas whose cells
// lie in an area are found without looking at the others.
class FormulaCells {
public:
    explicit FormulaCells(const std::vector<SheetEntry>& entries);

    // Calls visit(index of the entry) for each formula whose cell lies in the area, row by row,
    // until visit returns true; whether it did.
    template <class Visit>
    bool anyIn(const Area& area, Visit visit) const;

private:
    struct Anchor {
        std::int32_t row;
        std::int32_t column;
        std::size_t entry;
    };
    // The first anchor at or after the position in row-major order.
    std::vector<Anchor>::const_iterator from(std::int64_t row, std::int64_t column) const;

    std::vector<Anchor> anchors_;
};

template <class Visit>
bool FormulaCells::anyIn(const Area& area, Visit visit) const {
    auto at = from(area.firstRow, area.firstColumn);
    while (at != anchors_.end() && at->row <= area.lastRow) {
        if (at->column < area.firstColumn)
            at = from(at->row, area.firstColumn);
        else if (at->column > area.lastColumn)
            at = from(std::int64_t(at->row) + 1, area.firstColumn);
        else if (visit(at->entry))
            return true;
        else
            ++at;
    }
    return false;
}

// Every area a formula line reads.
std::vector<Area> formulaReferences(const SheetEntry& formula);

// Reads a sheet; `path` names it in messages and is where CSV files are looked for beside.
// Throws SheetError for every fault of the sheet or a CSV file it names.
SheetFile parseSheet(std::istream& text, const std::string& path, const SheetLimits& limits);
SheetFile readSheetFile(const std::string& path, const SheetLimits& limits);

// Sheet and CSV files are UTF-8; Excel's texts are 16-bit units.
std::u16string fromUtf8(const std::string& bytes);
std::string toUtf8(const std::u16string& units);

// One CSV file as a block of values (see above); `path` names it in messages.
Value parseCsv(std::istream& text, const std::string& path);

}  // namespace xlhost

#endif
