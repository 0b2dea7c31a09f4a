#include "XlfOperImpl12.h"

#include "XlfExcel.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace zep {

namespace {

constexpr std::size_t kMaxTextUnits = 0xFFFF;  // what the 16-bit count holds

using Records = LayoutRecords<Excel12Layout>;

void PutUnits(XLOPER12& record, const XCHAR* units, std::size_t count) {
    const std::size_t kept = Records::CutBetweenCharacters(units, count, kMaxTextUnits);
    std::copy(units, units + kept, Records::NewTextBody(record, kept) + 1);
}

}  // namespace

int Excel12Layout::Call(int function, Record* result, int count, Record* argv[]) {
    return XlfExcel::Current().CallExcel12v(function, result, count, argv);
}

// The count is of the units the conversion produced, which a multibyte text has fewer of
// than bytes.
void Excel12Layout::SetString(Record& record, const char* text) {
    const WideString units = text == nullptr ? WideString() : WidenText(text, std::strlen(text));
    PutUnits(record, units.data(), units.size());
}

void Excel12Layout::SetWideString(Record& record, const WideString& text) {
    PutUnits(record, text.data(), text.size());
}

const char* Excel12Layout::CString(std::basic_string_view<XCHAR> text) {
    text = Records::BeforeNul(text);
    return Records::NewCString(NarrowText(text.data(), text.size()));
}

WideString Excel12Layout::WString(std::basic_string_view<XCHAR> text) {
    return WideString(Records::BeforeNul(text));
}

XLOPER* XlfOperImpl12::Excel4Value(const XlfOper&) const {
    throw "Unable to convert Excel 12 datatype to Excel 4 datatype - operation not yet implemented";
}

XLOPER12* XlfOperImpl12::Excel12Value(const XlfOper& h) const {
    return RecordPtr(h);
}

}  // namespace zep
