#include "SheetModel.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace xlhost {

namespace {

// Sheet ids look like Excel's (arbitrary large numbers), so an add-in that confuses an id with an
// index or drops its high bits is caught.
constexpr SheetId firstSheetId = 0x5A7E0011;
constexpr SheetId sheetIdStep = 0x1000;

void checkPosition(std::int64_t row, std::int64_t column) {
    if (row < 0 || column < 0) throw std::out_of_range("cell position must not be negative");
    if (row > INT32_MAX || column > INT32_MAX) throw std::out_of_range("cell position beyond the sheet");
}

void checkStorable(const Value& value) {
    switch (value.kind()) {
        case Kind::Nil:
        case Kind::Number:
        case Kind::Text:
        case Kind::Boolean:
        case Kind::Error:
            return;
        default:
            throw std::invalid_argument(std::string("a cell cannot hold a ") + kindName(value.kind()));
    }
}

// A page by its row and its index along the row.
std::uint64_t pageKey(std::int32_t row, std::int32_t page) {
    return std::uint64_t(std::uint32_t(row)) << 32 | std::uint32_t(page);
}

template <std::size_t... Index>
std::array<Value, sizeof...(Index)> blankCells(std::index_sequence<Index...>) {
    return {{(static_cast<void>(Index), Value::nil())...}};
}

}  // namespace

SheetModel::SheetModel() : nextId_(firstSheetId) {
    active_ = addSheet("Sheet1");
}

SheetId SheetModel::addSheet(std::string name) {
    const SheetId id = nextId_;
    nextId_ += sheetIdStep;
    sheets_.emplace(id, Sheet{std::move(name), {}});
    return id;
}

const SheetModel::Sheet& SheetModel::sheetAt(SheetId sheet) const {
    const auto found = sheets_.find(sheet);
    if (found == sheets_.end()) throw std::out_of_range("no sheet with id " + std::to_string(sheet));
    return found->second;
}

SheetModel::Sheet& SheetModel::sheetAt(SheetId sheet) {
    return const_cast<Sheet&>(static_cast<const SheetModel&>(*this).sheetAt(sheet));
}

const std::string& SheetModel::sheetName(SheetId sheet) const {
    return sheetAt(sheet).name;
}

void SheetModel::activate(SheetId sheet) {
    sheetAt(sheet);
    active_ = sheet;
}

const SheetModel::Page* SheetModel::pageAt(const Sheet& sheet, std::int32_t row, std::int32_t column) {
    const auto found = sheet.pages.find(pageKey(row, column / pageWidth));
    return found == sheet.pages.end() ? nullptr : &found->second;
}

SheetModel::Page& SheetModel::pageFor(Sheet& sheet, std::int32_t row, std::int32_t column) {
    const auto key = pageKey(row, column / pageWidth);
    const auto found = sheet.pages.find(key);
    if (found != sheet.pages.end()) return found->second;
    return sheet.pages.emplace(key, blankCells(std::make_index_sequence<pageWidth>())).first->second;
}

template <class Visit>
void SheetModel::forEachPage(const Sheet& sheet, const Area& area, Visit visit) {
    // Cells at negative positions are blank: they have no page.
    const std::int64_t firstRow = std::max(area.firstRow, 0);
    const std::int64_t firstPage = std::max(area.firstColumn, 0) / pageWidth;
    const std::int64_t lastPage = std::int64_t(area.lastColumn) / pageWidth;
    if (firstRow > area.lastRow || area.lastColumn < 0) return;
    const auto visitPage = [&](const Page& page, std::int64_t row, std::int64_t pageIndex) {
        const std::int64_t first = std::max<std::int64_t>(area.firstColumn, pageIndex * pageWidth);
        const std::int64_t last = std::min<std::int64_t>(area.lastColumn, pageIndex * pageWidth + pageWidth - 1);
        const auto offset = std::size_t((row - area.firstRow) * area.columns() + (first - area.firstColumn));
        visit(page, std::int32_t(first), std::int32_t(last), offset);
    };
    // Over the area's runs, or over the sheet's pages when it has fewer: a read of a whole
    // column costs no more than the cells there are.
    if (std::uint64_t((area.lastRow - firstRow + 1) * (lastPage - firstPage + 1)) > sheet.pages.size()) {
        for (const auto& [key, page] : sheet.pages) {
            const std::int64_t row = std::int64_t(key >> 32);
            const std::int64_t pageIndex = std::int64_t(key & 0xFFFFFFFFu);
            if (row >= firstRow && row <= area.lastRow && pageIndex >= firstPage && pageIndex <= lastPage)
                visitPage(page, row, pageIndex);
        }
        return;
    }
    for (std::int64_t row = firstRow; row <= area.lastRow; ++row)
        for (std::int64_t pageIndex = firstPage; pageIndex <= lastPage; ++pageIndex) {
            const auto found = sheet.pages.find(pageKey(std::int32_t(row), std::int32_t(pageIndex)));
            if (found != sheet.pages.end()) visitPage(found->second, row, pageIndex);
        }
}

void SheetModel::setCell(SheetId sheet, std::int32_t row, std::int32_t column, const Value& value) {
    Sheet& target = sheetAt(sheet);
    checkPosition(row, column);
    checkStorable(value);
    // Blanking a cell that has no page leaves it so.
    if (value.kind() == Kind::Nil && pageAt(target, row, column) == nullptr) return;
    pageFor(target, row, column)[std::size_t(column % pageWidth)] = value;
}

void SheetModel::setCells(SheetId sheet, std::int32_t row, std::int32_t column, const Value& rowMajorArray) {
    if (rowMajorArray.kind() != Kind::Array) throw std::invalid_argument("setCells takes an array");
    Sheet& target = sheetAt(sheet);
    const std::int32_t rows = rowMajorArray.rows();
    const std::int32_t columns = rowMajorArray.columns();
    if (rows == 0 || columns == 0) return;
    checkPosition(row, column);
    checkPosition(std::int64_t(row) + rows - 1, std::int64_t(column) + columns - 1);
    const Value* element = rowMajorArray.elements().data();
    for (std::int64_t r = row; r < std::int64_t(row) + rows; ++r) {
        for (std::int64_t c = column; c < std::int64_t(column) + columns;) {
            Page& page = pageFor(target, std::int32_t(r), std::int32_t(c));
            const std::int64_t end = std::min(std::int64_t(column) + columns, (c / pageWidth + 1) * pageWidth);
            for (; c < end; ++c, ++element) {
                checkStorable(*element);  // what went before stays, as with one setCell after another
                page[std::size_t(c % pageWidth)] = *element;
            }
        }
    }
}

Value SheetModel::cell(SheetId sheet, std::int32_t row, std::int32_t column) const {
    const Sheet& source = sheetAt(sheet);
    if (row < 0 || column < 0) return Value::nil();
    const Page* page = pageAt(source, row, column);
    return page == nullptr ? Value::nil() : (*page)[std::size_t(column % pageWidth)];
}

std::vector<Value> SheetModel::cells(SheetId sheet, const Area& area) const {
    const Sheet& source = sheetAt(sheet);
    std::vector<Value> values(std::size_t(area.rows() * area.columns()), Value::nil());
    forEachPage(source, area, [&values](const Page& page, std::int32_t first, std::int32_t last, std::size_t offset) {
        std::copy(page.begin() + first % pageWidth, page.begin() + last % pageWidth + 1, values.begin() + offset);
    });
    return values;
}

std::size_t SheetModel::filledCount(SheetId sheet, const Area& area) const {
    std::size_t filled = 0;
    forEachPage(sheetAt(sheet), area, [&filled](const Page& page, std::int32_t first, std::int32_t last, std::size_t) {
        filled += std::size_t(std::count_if(page.begin() + first % pageWidth, page.begin() + last % pageWidth + 1,
                                            [](const Value& value) { return value.kind() != Kind::Nil; }));
    });
    return filled;
}

std::optional<Value> SheetModel::valueOf(SheetId sheet, const Area& area) const {
    if (!hasSheet(sheet)) return std::nullopt;
    if (area.rows() == 1 && area.columns() == 1) return cell(sheet, area.firstRow, area.firstColumn);
    return Value::array(std::int32_t(area.rows()), std::int32_t(area.columns()), cells(sheet, area));
}

}  // namespace xlhost
