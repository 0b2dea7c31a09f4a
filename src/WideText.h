#ifndef SRC_WIDETEXT_H
#define SRC_WIDETEXT_H

#include "XlCall.h"

#include <cstddef>
#include <string>

namespace zep {

// Excel 12 text: 16-bit units (wchar_t on Windows, char16_t elsewhere).
using WideString = std::basic_string<XCHAR>;

// The conversions between narrow and Excel 12 text, under the current locale's multibyte
// encoding (LC_CTYPE), as the runtime's mbstowcs/wcstombs do. Both read exactly the given
// count, NULs included, and return exactly what they produced: a character the encoding cannot
// map, and a sequence cut off at the end, become '?'. Characters outside the 16-bit range
// become UTF-16 surrogate pairs and back.
WideString WidenText(const char* text, std::size_t length);
std::string NarrowText(const XCHAR* units, std::size_t count);

// The conversions between UTF-8 and Excel 12 text, whatever the locale: every code point goes
// both ways unchanged, those beyond 16 bits as surrogate pairs. Bytes that are no UTF-8, and a
// surrogate without its partner, become U+FFFD, one per bad byte or unit.
WideString WidenUtf8(const char* text, std::size_t length);
std::string NarrowToUtf8(const XCHAR* units, std::size_t count);

}  // namespace zep

#endif
