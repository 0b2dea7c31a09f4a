// Cells read and written: xlCoerce and xlSet.

#include "CallbackSupport.h"
#include "Coercion.h"
#include "ExcelStandIn.h"
#include "XlCall.h"

#include <utility>

namespace xlhost {

ExcelStandIn::Answer ExcelStandIn::coerceCall(const std::vector<Value>& arguments) {
    if (arguments.empty() || arguments.size() > 2) return {xlretInvCount, std::nullopt};
    std::optional<std::uint32_t> wanted;
    if (arguments.size() == 2 && arguments[1].kind() != Kind::Missing) {
        // The wanted types come as an integer of type bits, nothing else.
        if (arguments[1].kind() != Kind::Integer) return {xlretInvXloper, std::nullopt};
        const auto mask = static_cast<std::uint32_t>(arguments[1].integer()) & 0xFFFFu;
        if ((mask & ~allTypeBits) != 0) return {xlretInvXloper, std::nullopt};
        wanted = mask;
    }
    Coerced coerced = coerce(arguments[0], wanted, sheets_);
    if (coerced.code != xlretSuccess) return {coerced.code, std::nullopt};
    return {xlretSuccess, std::move(coerced.value)};
}

ExcelStandIn::Answer ExcelStandIn::setCall(const std::vector<Value>& arguments) {
    if (arguments.empty() || arguments.size() > 2) return {xlretInvCount, std::nullopt};
    // A command equivalent: a worksheet function cannot change cells.
    if (caller_.kind != Caller::Kind::Command && caller_.kind != Caller::Kind::Excel)
        return {xlretInvXlfn, std::nullopt};
    const Value& target = arguments[0];
    if (target.kind() != Kind::Reference || target.areas().size() != 1) return {xlretInvXloper, std::nullopt};
    const auto sheet = sheetOf(target);
    if (!sheet) return {xlretFailed, std::nullopt};
    const Area& area = target.areas().front();
    Value source = isGiven(arguments, 1) ? arguments[1] : Value::nil();  // nothing clears the cells
    if (source.kind() == Kind::Integer) source = Value::number(source.integer());
    const bool isArray = source.kind() == Kind::Array;
    for (std::int32_t r = 0; r < area.rows(); ++r)
        for (std::int32_t c = 0; c < area.columns(); ++c) {
            // A row is repeated down, a column to the right; a smaller block leaves #N/A.
            Value cell = source;
            if (isArray) {
                const std::int32_t row = source.rows() == 1 ? 0 : r;
                const std::int32_t column = source.columns() == 1 ? 0 : c;
                cell = row < source.rows() && column < source.columns() ? source.element(row, column)
                                                                        : Value::error(xlerrNA);
            }
            if (cell.kind() == Kind::Integer) cell = Value::number(cell.integer());
            if (cell.kind() == Kind::Missing) cell = Value::nil();
            if (cell.kind() != Kind::Number && cell.kind() != Kind::Text && cell.kind() != Kind::Boolean &&
                cell.kind() != Kind::Error && cell.kind() != Kind::Nil)
                return {xlretInvXloper, std::nullopt};
            sheets_.setCell(*sheet, area.firstRow + r, area.firstColumn + c, cell);
        }
    cellsSet_.push_back(CellsSet{*sheet, area});
    return {xlretSuccess, Value::boolean(true)};
}

}  // namespace xlhost
