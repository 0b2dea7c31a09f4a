#include "XlfOperImpl12.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace zep {

namespace {

constexpr std::size_t kMaxTextUnits = 0xFFFF;  // what the 16-bit count holds

}  // namespace

XLOPER* XlfOperImpl12::Excel4Value(const XlfOper&) const {
    throw "Unable to convert Excel 12 datatype to Excel 4 datatype - operation not yet implemented";
}

XLOPER12* XlfOperImpl12::Excel12Value(const XlfOper& h) const {
    return RecordPtr(h);
}

XlfOper& XlfOperImpl12::PutUnits(XlfOper& h, const XCHAR* units, std::size_t count) const {
    XLOPER12* record = RecordPtr(h);
    if (record == nullptr) return h;
    const std::size_t kept = CutBetweenCharacters(units, count, kMaxTextUnits);
    std::copy(units, units + kept, NewTextBody(*record, kept) + 1);
    return h;
}

// The count is of the units the conversion produced, which a multibyte text has fewer of
// than bytes.
XlfOper& XlfOperImpl12::SetString(XlfOper& h, const char* text) const {
    const WideString units = text == nullptr ? WideString() : WidenText(text, std::strlen(text));
    return PutUnits(h, units.data(), units.size());
}

XlfOper& XlfOperImpl12::SetWideString(XlfOper& h, const WideString& text) const {
    return PutUnits(h, text.data(), text.size());
}

int XlfOperImpl12::GetCString(const XlfOper& h, const char*& out) const {
    return ReadText(h, [&out](Text text) {
        text = BeforeNul(text);
        out = NewCString(NarrowText(text.data(), text.size()));
    });
}

int XlfOperImpl12::GetWString(const XlfOper& h, WideString& out) const {
    return ReadText(h, [&out](Text text) { out.assign(BeforeNul(text)); });
}

}  // namespace zep
