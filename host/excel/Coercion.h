#ifndef HOST_COERCION_H
#define HOST_COERCION_H

// Excel's xlCoerce on values, independent of the record layout: conversions between numbers,
// texts, booleans, integers, errors and arrays, and references read through the sheet model.

#include "SheetModel.h"
#include "Value.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace xlhost {

struct Coerced {
    int code;     // xlretSuccess or xlretFailed
    Value value;  // meaningful on success only
};

// `wanted` is the mask of acceptable type bits; without it (or with 0) a reference becomes its
// value and anything else stays as it is. A reference wanted as an array also becomes its value:
// a cell's value (nil for a blank cell) or an array of a block's values. An array or a block
// wanted as a single value gives its top-left value. Bigdata and flow convert neither way.
Coerced coerce(const Value& source, std::optional<std::uint32_t> wanted, const SheetModel& sheets);

// Excel's general number format: up to 15 significant digits, "1E+20" style exponents.
std::optional<std::u16string> numberToText(double number);
// The same in ASCII into `digits`, which has room for generalNumberSize characters: the length
// written, 0 for infinities and NaN, which the format cannot show.
constexpr std::size_t generalNumberSize = 32;
std::size_t writeGeneralNumber(double number, char* digits);
// A plain decimal number with optional sign and exponent, blanks around it allowed; nothing else.
std::optional<double> textToNumber(const std::u16string& text);

}  // namespace xlhost

#endif
