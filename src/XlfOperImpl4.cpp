#include "XlfOperImpl4.h"

#include "Win32StreamBuf.h"
#include "XlfExcel.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace zep {

namespace {

constexpr std::size_t kMaxNarrowText = 254;  // plus the counted terminating zero: count 255
constexpr std::size_t kMaxWideText = 255;

using Records = LayoutRecords<Excel4Layout>;

}  // namespace

int Excel4Layout::Call(int function, Record* result, int count, Record* argv[]) {
    return XlfExcel::Current().CallExcel4v(function, result, count, argv);
}

void Excel4Layout::SetNarrowText(Record& record, const char* text, const DiagnosticSite& cut) {
    std::size_t length = text == nullptr ? 0 : std::strlen(text);
    if (length > kMaxNarrowText) {
        DiagnosticLine(cut) << "String truncated to 254 bytes" << std::endl;
        length = kMaxNarrowText;
    }
    // The count takes in a terminating zero, which Excel sees as the text's last byte.
    char* body = Records::NewTextBody(record, length + 1);
    std::copy(text, text + length, body + 1);
    body[length + 1] = '\0';
}

void Excel4Layout::SetWideString(Record& record, const WideString& text) {
    // At most 255 bytes, cut between characters: where the locale's encoding takes several
    // bytes for a character, the count is of the bytes it produced, never of units.
    std::size_t units = Records::CutBetweenCharacters(text.data(), text.size(), kMaxWideText);
    std::string bytes = NarrowText(text.data(), units);
    while (bytes.size() > kMaxWideText) {
        units = Records::CutBetweenCharacters(text.data(), text.size(), units - 1);
        bytes = NarrowText(text.data(), units);
    }
    if (units < text.size())
        DiagnosticLine(sites::xlfOperImpl4WideTextCut) << "String truncated to 255 bytes" << std::endl;
    std::copy(bytes.begin(), bytes.end(), Records::NewTextBody(record, bytes.size()) + 1);
}

const char* Excel4Layout::CString(std::string_view text) {
    return Records::NewCString(text);
}

WideString Excel4Layout::WString(std::string_view text) {
    text = Records::BeforeNul(text);
    return WidenText(text.data(), text.size());
}

XLOPER* XlfOperImpl4::Excel4Value(const XlfOper& h) const {
    return RecordPtr(h);
}

XLOPER12* XlfOperImpl4::Excel12Value(const XlfOper&) const {
    throw "Unable to convert Excel 4 datatype to Excel 12 datatype - operation not yet implemented";
}

}  // namespace zep
