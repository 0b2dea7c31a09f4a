#ifndef TESTING_HOSTLAYOUTS_H
#define TESTING_HOSTLAYOUTS_H

// The stand-in Excel's two record layouts as typed test suites use them.

#include "RecordCodec.h"

#include <string>

namespace xltest {

// The Excel that speaks layout L: exactly 12 is the Excel 12 interface, a later version Excel 4's
// (the layout an Excel newer than 12 gives an add-in that does not ask for Excel 12 records).
template <class L>
constexpr const char* VersionText() {
    return L::layout == xlhost::Layout::Excel12 ? "12.0" : "11.0";
}

// Names typed test suites after their layout.
struct LayoutNames {
    template <class L>
    static std::string GetName(int) {
        return L::layout == xlhost::Layout::Excel12 ? "Excel12" : "Excel4";
    }
};

}  // namespace xltest

#endif
