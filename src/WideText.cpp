#include "WideText.h"

#include <climits>
#include <cstdint>
#include <cwchar>
#include <type_traits>
#include <utility>

namespace zep {

namespace {

constexpr char32_t kHighSurrogateFirst = 0xD800;
constexpr char32_t kLowSurrogateFirst = 0xDC00;
constexpr char32_t kSurrogateEnd = 0xE000;
constexpr char32_t kFirstSupplementary = 0x10000;
constexpr char32_t kLastCodePoint = 0x10FFFF;

bool IsHighSurrogate(char32_t unit) {
    return unit >= kHighSurrogateFirst && unit < kLowSurrogateFirst;
}
bool IsLowSurrogate(char32_t unit) {
    return unit >= kLowSurrogateFirst && unit < kSurrogateEnd;
}

// A code point as 16-bit units; one a 16-bit unit cannot stand for becomes '?'.
void AppendUtf16(WideString& out, char32_t point) {
    if (point < kFirstSupplementary) {
        bool isSurrogate = point >= kHighSurrogateFirst && point < kSurrogateEnd;
        out.push_back(static_cast<XCHAR>(isSurrogate ? U'?' : point));
    } else if (point <= kLastCodePoint) {
        char32_t offset = point - kFirstSupplementary;
        out.push_back(static_cast<XCHAR>(kHighSurrogateFirst + (offset >> 10)));
        out.push_back(static_cast<XCHAR>(kLowSurrogateFirst + (offset & 0x3FF)));
    } else {
        out.push_back(static_cast<XCHAR>(u'?'));
    }
}

constexpr char32_t kReplacement = 0xFFFD;

// The code point of the UTF-8 sequence at text[at], and its length; nothing valid (a stray or
// missing continuation byte, an overlong form, a surrogate, a point beyond U+10FFFF) is one
// byte of U+FFFD.
std::pair<char32_t, std::size_t> DecodeUtf8(const unsigned char* text, std::size_t length) {
    const unsigned char lead = text[0];
    if (lead < 0x80) return {lead, 1};
    std::size_t count = 0;
    char32_t point = 0, least = 0;
    if ((lead & 0xE0) == 0xC0) {
        count = 2, point = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        count = 3, point = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        count = 4, point = lead & 0x07, least = kFirstSupplementary;
    } else {
        return {kReplacement, 1};
    }
    if (count > length) return {kReplacement, 1};
    for (std::size_t i = 1; i < count; ++i) {
        if ((text[i] & 0xC0) != 0x80) return {kReplacement, 1};
        point = (point << 6) | (text[i] & 0x3F);
    }
    if (point < least || point > kLastCodePoint || (point >= kHighSurrogateFirst && point < kSurrogateEnd))
        return {kReplacement, 1};
    return {point, count};
}

void AppendUtf8(std::string& out, char32_t point) {
    if (point < 0x80) {
        out.push_back(static_cast<char>(point));
    } else if (point < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (point >> 6)));
        out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
    } else if (point < kFirstSupplementary) {
        out.push_back(static_cast<char>(0xE0 | (point >> 12)));
        out.push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (point >> 18)));
        out.push_back(static_cast<char>(0x80 | ((point >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
    }
}

// The code point at units[at], a surrogate pair joined (`at` then stands on its second unit); a
// lone surrogate comes back as it is.
char32_t ReadCodePoint(const XCHAR* units, std::size_t count, std::size_t& at) {
    const char32_t point = static_cast<char16_t>(units[at]);
    if (IsHighSurrogate(point) && at + 1 < count && IsLowSurrogate(static_cast<char16_t>(units[at + 1]))) {
        ++at;
        return kFirstSupplementary + ((point - kHighSurrogateFirst) << 10) +
               (static_cast<char16_t>(units[at]) - kLowSurrogateFirst);
    }
    return point;
}

}  // namespace

WideString WidenUtf8(const char* text, std::size_t length) {
    WideString out;
    out.reserve(length);
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    for (std::size_t at = 0; at < length;) {
        const auto [point, used] = DecodeUtf8(bytes + at, length - at);
        AppendUtf16(out, point);
        at += used;
    }
    return out;
}

std::string NarrowToUtf8(const XCHAR* units, std::size_t count) {
    std::string out;
    out.reserve(count);
    for (std::size_t at = 0; at < count; ++at) {
        char32_t point = ReadCodePoint(units, count, at);
        if (point >= kHighSurrogateFirst && point < kSurrogateEnd) point = kReplacement;
        AppendUtf8(out, point);
    }
    return out;
}

WideString WidenText(const char* text, std::size_t length) {
    WideString out;
    out.reserve(length);  // never more units than bytes
    std::mbstate_t state{};
    std::size_t at = 0;
    while (at < length) {
        wchar_t character = 0;
        std::size_t used = std::mbrtowc(&character, text + at, length - at, &state);
        if (used == static_cast<std::size_t>(-1) || used == static_cast<std::size_t>(-2)) {
            // Not a character of this encoding, or cut off at the end: mark it and go on at
            // the next byte from a clean state.
            out.push_back(static_cast<XCHAR>(u'?'));
            state = std::mbstate_t{};
            at += used == static_cast<std::size_t>(-1) ? 1 : length - at;
            continue;
        }
        // A counted text may hold NULs; mbrtowc reports one as 0 bytes used.
        at += used == 0 ? 1 : used;
        AppendUtf16(out, static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(character)));
    }
    return out;
}

std::string NarrowText(const XCHAR* units, std::size_t count) {
    std::string out;
    out.reserve(count);
    std::mbstate_t state{};
    char bytes[MB_LEN_MAX];
    for (std::size_t at = 0; at < count; ++at) {
        const char32_t point = ReadCodePoint(units, count, at);
        // A lone surrogate, or a code point this platform's wchar_t cannot hold, has no byte form.
        bool representable =
            !(point >= kHighSurrogateFirst && point < kSurrogateEnd) && point <= static_cast<char32_t>(WCHAR_MAX);
        std::size_t made =
            representable ? std::wcrtomb(bytes, static_cast<wchar_t>(point), &state) : static_cast<std::size_t>(-1);
        if (made == static_cast<std::size_t>(-1)) {
            out.push_back('?');
            state = std::mbstate_t{};
            continue;
        }
        out.append(bytes, made);
    }
    // A stateful encoding must end in its initial shift state; wcrtomb of NUL writes the
    // sequence back to it, followed by the NUL itself, which is not part of the text.
    std::size_t made = std::wcrtomb(bytes, L'\0', &state);
    if (made != static_cast<std::size_t>(-1) && made > 1) out.append(bytes, made - 1);
    return out;
}

}  // namespace zep
