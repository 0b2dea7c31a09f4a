#ifndef HOST_CALLBACKSUPPORT_H
#define HOST_CALLBACKSUPPORT_H

// What the stand-in's families of callbacks share in reading their arguments. Internal to the
// stand-in's units.

#include "Value.h"
#include "XlCall.h"

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace xlhost {

// Every type bit of the interface; anything else in a type word is not Excel's.
constexpr std::uint32_t allTypeBits = xltypeNum | xltypeStr | xltypeBool | xltypeRef | xltypeErr | xltypeFlow |
                                      xltypeMulti | xltypeMissing | xltypeNil | xltypeSRef | xltypeInt;

inline bool isGiven(const std::vector<Value>& arguments, std::size_t index) {
    return index < arguments.size() && arguments[index].kind() != Kind::Missing;
}

// Excel's names and sheet titles ignore the case of ASCII letters.
inline std::u16string upper(std::u16string text) {
    for (char16_t& c : text)
        if (c < 0x80) c = char16_t(std::toupper(static_cast<int>(c)));
    return text;
}

inline std::u16string wide(const std::string& bytes) {
    return Value::text(bytes).text();
}

}  // namespace xlhost

#endif
