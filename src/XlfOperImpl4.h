#ifndef SRC_XLFOPERIMPL4_H
#define SRC_XLFOPERIMPL4_H

#include "XlfOperImplLayout.h"

namespace zep {

// The strategy for Excel's 4 layout (XLOPER): byte texts with a count byte. Texts built from a
// narrow string keep at most 254 bytes and count a terminating zero; texts built from a wide
// string keep at most 255 bytes. Arrays hold at most 65535 rows. The layout's texts and Excel
// entry (Excel4Layout) are defined here too.
class XlfOperImpl4 : public XlfOperImplLayout<Excel4Layout> {
public:
    XlfOperImpl4() = default;

    XLOPER* Excel4Value(const XlfOper& h) const override;
    XLOPER12* Excel12Value(const XlfOper& h) const override;  // throws its text
};

}  // namespace zep

#endif
