#include "SheetModel.h"

#include <stdexcept>
#include <vector>

namespace xlhost {

namespace {

// Sheet ids look like Excel's (arbitrary large numbers), so an add-in that confuses an id with an
// index or drops its high bits is caught.
constexpr SheetId firstSheetId = 0x5A7E0011;
constexpr SheetId sheetIdStep = 0x1000;

}  // namespace

SheetModel::SheetModel() : nextId_(firstSheetId) { active_ = addSheet("Sheet1"); }

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

const std::string& SheetModel::sheetName(SheetId sheet) const { return sheetAt(sheet).name; }

void SheetModel::activate(SheetId sheet) {
    sheetAt(sheet);
    active_ = sheet;
}

void SheetModel::setCell(SheetId sheet, std::int32_t row, std::int32_t column, const Value& value) {
    sheetAt(sheet);
    if (row < 0 || column < 0) throw std::out_of_range("cell position must not be negative");
    auto& cells = sheets_.at(sheet).cells;
    switch (value.kind()) {
        case Kind::Nil:
            cells.erase({row, column});
            return;
        case Kind::Number:
        case Kind::Text:
        case Kind::Boolean:
        case Kind::Error:
            cells.insert_or_assign({row, column}, value);
            return;
        default:
            throw std::invalid_argument(std::string("a cell cannot hold a ") + kindName(value.kind()));
    }
}

void SheetModel::setCells(SheetId sheet, std::int32_t row, std::int32_t column, const Value& rowMajorArray) {
    if (rowMajorArray.kind() != Kind::Array) throw std::invalid_argument("setCells takes an array");
    for (std::int32_t r = 0; r < rowMajorArray.rows(); ++r)
        for (std::int32_t c = 0; c < rowMajorArray.columns(); ++c)
            setCell(sheet, row + r, column + c, rowMajorArray.element(r, c));
}

Value SheetModel::cell(SheetId sheet, std::int32_t row, std::int32_t column) const {
    const auto& cells = sheetAt(sheet).cells;
    const auto found = cells.find({row, column});
    return found == cells.end() ? Value::nil() : found->second;
}

std::optional<Value> SheetModel::valueOf(SheetId sheet, const Area& area) const {
    if (!hasSheet(sheet)) return std::nullopt;
    if (area.rows() == 1 && area.columns() == 1) return cell(sheet, area.firstRow, area.firstColumn);
    std::vector<Value> values;
    values.reserve(std::size_t(area.rows() * area.columns()));
    for (std::int32_t r = area.firstRow; r <= area.lastRow; ++r)
        for (std::int32_t c = area.firstColumn; c <= area.lastColumn; ++c) values.push_back(cell(sheet, r, c));
    return Value::array(std::int32_t(area.rows()), std::int32_t(area.columns()), std::move(values));
}

}  // namespace xlhost
