#ifndef HOST_SHEETMODEL_H
#define HOST_SHEETMODEL_H

// The workbook behind references: sheets with ids, each a sparse grid of cells holding a number,
// a text, a boolean or an error; every other cell is blank.

#include "Value.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>

namespace xlhost {

class SheetModel {
public:
    // Starts with one sheet, "Sheet1", which is active.
    SheetModel();

    SheetId addSheet(std::string name);
    bool hasSheet(SheetId sheet) const { return sheets_.count(sheet) != 0; }
    const std::string& sheetName(SheetId sheet) const;
    SheetId activeSheet() const { return active_; }
    void activate(SheetId sheet);

    // 0-based row and column. Accepts numbers, texts, booleans and errors; nil blanks the cell.
    void setCell(SheetId sheet, std::int32_t row, std::int32_t column, const Value& value);
    // Fills a block from a row-major array value, its top-left at (row, column).
    void setCells(SheetId sheet, std::int32_t row, std::int32_t column, const Value& rowMajorArray);
    // A blank cell reads as nil.
    Value cell(SheetId sheet, std::int32_t row, std::int32_t column) const;
    // One cell's value, or an array of the block's values; nothing for an unknown sheet.
    std::optional<Value> valueOf(SheetId sheet, const Area& area) const;

private:
    struct Sheet {
        std::string name;
        std::map<std::pair<std::int32_t, std::int32_t>, Value> cells;
    };
    const Sheet& sheetAt(SheetId sheet) const;

    std::map<SheetId, Sheet> sheets_;
    SheetId nextId_;
    SheetId active_ = 0;
};

}  // namespace xlhost

#endif
