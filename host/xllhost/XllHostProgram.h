#ifndef HOST_XLLHOSTPROGRAM_H
#define HOST_XLLHOSTPROGRAM_H

// xllhost: plays Excel for one add-in, so that its functions can be listed and run on a small
// sheet without Excel. The program's whole behaviour, callable from tests; main() only passes
// its arguments and streams.

#include <iosfwd>
#include <string>
#include <vector>

namespace xlhost {

// Exit statuses.
constexpr int xllhostSucceeded = 0;
constexpr int xllhostAddInFaults = 1;        // the add-in leaked Excel memory or broke Excel's rules
constexpr int xllhostBadInput = 2;           // bad arguments, sheet, CSV file or add-in file
constexpr int xllhostUncalledCells = 3;      // a formula xllhost could not call or show (its cell shows #XLLHOST!)
constexpr int xllhostCircularReference = 4;  // formulas that read each other in a circle (they show #REF!)
constexpr int xllhostAsyncTimeout = 5;       // an asynchronous call gave no result in time (#GETTING_DATA)

extern const char* const xllhostHelp;

// `arguments` without the program's name. `err` must not be std::cerr itself: an add-in may point
// std::cerr at the debugger while it is open; pass a stream on std::cerr's original buffer.
int runXllHost(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace xlhost

#endif
