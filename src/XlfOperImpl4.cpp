#include "XlfOperImpl4.h"

#include "Win32StreamBuf.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace zep {

namespace {

constexpr std::size_t kMaxNarrowText = 254;  // plus the counted terminating zero: count 255
constexpr std::size_t kMaxWideText = 255;

}  // namespace

XLOPER* XlfOperImpl4::Excel4Value(const XlfOper& h) const {
    return RecordPtr(h);
}

XLOPER12* XlfOperImpl4::Excel12Value(const XlfOper&) const {
    throw "Unable to convert Excel 4 datatype to Excel 12 datatype - operation not yet implemented";
}

XlfOper& XlfOperImpl4::SetString(XlfOper& h, const char* text) const {
    XLOPER* record = RecordPtr(h);
    if (record == nullptr) return h;
    std::size_t length = text == nullptr ? 0 : std::strlen(text);
    if (length > kMaxNarrowText) {
        DiagnosticLine(sites::xlfOperImpl4TextCut) << "String truncated to 254 bytes" << std::endl;
        length = kMaxNarrowText;
    }
    // The count takes in a terminating zero, which Excel sees as the text's last byte.
    char* body = NewTextBody(*record, length + 1);
    std::copy(text, text + length, body + 1);
    body[length + 1] = '\0';
    return h;
}

XlfOper& XlfOperImpl4::SetWideString(XlfOper& h, const WideString& text) const {
    XLOPER* record = RecordPtr(h);
    if (record == nullptr) return h;
    // At most 255 bytes, cut between characters: where the locale's encoding takes several
    // bytes for a character, the count is of the bytes it produced, never of units.
    std::size_t units = CutBetweenCharacters(text.data(), text.size(), kMaxWideText);
    std::string bytes = NarrowText(text.data(), units);
    while (bytes.size() > kMaxWideText) {
        units = CutBetweenCharacters(text.data(), text.size(), units - 1);
        bytes = NarrowText(text.data(), units);
    }
    if (units < text.size())
        DiagnosticLine(sites::xlfOperImpl4WideTextCut) << "String truncated to 255 bytes" << std::endl;
    std::copy(bytes.begin(), bytes.end(), NewTextBody(*record, bytes.size()) + 1);
    return h;
}

int XlfOperImpl4::GetCString(const XlfOper& h, const char*& out) const {
    return ReadText(h, [&out](Text text) { out = NewCString(text); });
}

int XlfOperImpl4::GetWString(const XlfOper& h, WideString& out) const {
    return ReadText(h, [&out](Text text) {
        text = BeforeNul(text);
        out = WidenText(text.data(), text.size());
    });
}

}  // namespace zep
