#ifndef SRC_XLFOPERIMPL12_H
#define SRC_XLFOPERIMPL12_H

#include "XlfOperImplLayout.h"

namespace zep {

// The strategy for Excel's 12 layout (XLOPER12): texts of 16-bit units after a 16-bit count.
// A text longer than the count can hold keeps its first 65535 units. The layout's texts and
// Excel entry (Excel12Layout) are defined here too.
class XlfOperImpl12 : public XlfOperImplLayout<Excel12Layout> {
public:
    XlfOperImpl12() = default;

    XLOPER* Excel4Value(const XlfOper& h) const override;  // throws its text
    XLOPER12* Excel12Value(const XlfOper& h) const override;
};

}  // namespace zep

#endif
