#include "FormulaReferences.h"

namespace xlhost {

std::vector<Area> formulaReferences(const SheetEntry& formula) {
    std::vector<Area> areas;
    for (const FormulaArgument& argument : formula.arguments)
        if (argument.range) areas.push_back(*argument.range);
    return areas;
}

}  // namespace xlhost
