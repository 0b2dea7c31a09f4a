#ifndef HOST_SHEETMODEL_H
#define HOST_SHEETMODEL_H

// The workbook behind references: sheets with ids, each a grid of cells holding a number, a text,
// a boolean or an error; every other cell is blank.

#include "Value.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

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
    // The block's values row after row, nil for a blank cell.
    std::vector<Value> cells(SheetId sheet, const Area& area) const;
    // How many cells of the block are not blank.
    std::size_t filledCount(SheetId sheet, const Area& area) const;

private:
    // A sheet keeps its cells in runs of `pageWidth` along a row, found by row and run: a block
    // costs one look-up per run, a lone cell no more than one run.
    static constexpr std::int32_t pageWidth = 16;
    using Page = std::array<Value, pageWidth>;
    struct Sheet {
        std::string name;
        std::unordered_map<std::uint64_t, Page> pages;
    };
    const Sheet& sheetAt(SheetId sheet) const;
    Sheet& sheetAt(SheetId sheet);
    static const Page* pageAt(const Sheet& sheet, std::int32_t row, std::int32_t column);
    static Page& pageFor(Sheet& sheet, std::int32_t row, std::int32_t column);
    // Calls visit(page, firstColumn, lastColumn, offset) for each page of the area that holds
    // cells, the columns being the part of the page in the area, offset the position of
    // firstColumn in the area's row-major order.
    template <class Visit>
    static void forEachPage(const Sheet& sheet, const Area& area, Visit visit);

    std::map<SheetId, Sheet> sheets_;
    SheetId nextId_;
    SheetId active_ = 0;
};

}  // namespace xlhost

#endif
