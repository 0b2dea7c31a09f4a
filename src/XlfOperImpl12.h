#ifndef SRC_XLFOPERIMPL12_H
#define SRC_XLFOPERIMPL12_H

#include "XlfOperImplLayout.h"

#include <cstddef>

namespace zep {

// The strategy for Excel's 12 layout (XLOPER12): texts of 16-bit units after a 16-bit count.
// A text longer than the count can hold keeps its first 65535 units.
class XlfOperImpl12 : public XlfOperImplLayout<Excel12Layout> {
public:
    XlfOperImpl12() = default;

    XLOPER* Excel4Value(const XlfOper& h) const override;  // throws its text
    XLOPER12* Excel12Value(const XlfOper& h) const override;
    XlfOper& SetWideString(XlfOper& h, const WideString& text) const override;
    XlfOper& SetString(XlfOper& h, const char* text) const override;
    int GetCString(const XlfOper& h, const char*& out) const override;
    int GetWString(const XlfOper& h, WideString& out) const override;

private:
    XlfOper& PutUnits(XlfOper& h, const XCHAR* units, std::size_t count) const;
};

}  // namespace zep

#endif
