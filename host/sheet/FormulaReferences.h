#ifndef HOST_FORMULAREFERENCES_H
#define HOST_FORMULAREFERENCES_H

// What a formula reads: the one question the recalculation asks of a formula's text.

#include "SheetFile.h"
#include "Value.h"

#include <vector>

namespace xlhost {

// The areas of the active sheet the formula reads, in the order it names them (an area named
// twice appears twice).
std::vector<Area> formulaReferences(const SheetEntry& formula);

}  // namespace xlhost

#endif
