#include "Coercion.h"

#include "XlCall.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <locale>
#include <sstream>

namespace xlhost {

namespace {

// The order in which a scalar tries the wanted types it does not already have.
constexpr std::uint32_t scalarTargets[] = {xltypeNum, xltypeInt, xltypeBool, xltypeStr};

std::uint32_t typeBitOf(const Value& value) {
    switch (value.kind()) {
        case Kind::Number:
            return xltypeNum;
        case Kind::Text:
            return xltypeStr;
        case Kind::Boolean:
            return xltypeBool;
        case Kind::Error:
            return xltypeErr;
        case Kind::Integer:
            return xltypeInt;
        case Kind::Missing:
            return xltypeMissing;
        case Kind::Nil:
            return xltypeNil;
        case Kind::Array:
            return xltypeMulti;
        case Kind::Reference:
            return value.isSheetReference() ? xltypeSRef : xltypeRef;
        default:
            return 0;
    }
}

bool equalsIgnoringCase(const std::u16string& text, const char* word) {
    std::size_t i = 0;
    for (; word[i] != '\0'; ++i)
        if (i >= text.size() || text[i] > 0x7F ||
            std::toupper(static_cast<unsigned char>(text[i])) != static_cast<unsigned char>(word[i]))
            return false;
    return i == text.size();
}

std::optional<double> numberOf(const Value& scalar) {
    switch (scalar.kind()) {
        case Kind::Number:
            return scalar.number();
        case Kind::Integer:
        case Kind::Boolean:
            return double(scalar.integer());
        case Kind::Nil:
            return 0.0;
        case Kind::Text:
            return textToNumber(scalar.text());
        default:
            return std::nullopt;
    }
}

std::optional<Value> convert(const Value& scalar, std::uint32_t target) {
    if (scalar.kind() == Kind::Number && !std::isfinite(scalar.number())) return std::nullopt;
    switch (target) {
        case xltypeNum:
            if (const auto number = numberOf(scalar)) return Value::number(*number);
            return std::nullopt;
        case xltypeInt: {
            const auto number = numberOf(scalar);
            if (!number) return std::nullopt;
            const double rounded = std::round(*number);  // half away from zero
            if (rounded < double(INT32_MIN) || rounded > double(INT32_MAX)) return std::nullopt;
            return Value::integer(static_cast<std::int32_t>(rounded));
        }
        case xltypeBool:
            if (scalar.kind() == Kind::Text) {
                if (equalsIgnoringCase(scalar.text(), "TRUE")) return Value::boolean(true);
                if (equalsIgnoringCase(scalar.text(), "FALSE")) return Value::boolean(false);
                return std::nullopt;
            }
            if (const auto number = numberOf(scalar)) return Value::boolean(*number != 0.0);
            return std::nullopt;
        case xltypeStr:
            switch (scalar.kind()) {
                case Kind::Number:
                    if (const auto text = numberToText(scalar.number())) return Value::text(*text);
                    return std::nullopt;
                case Kind::Integer:
                    return Value::text(std::to_string(scalar.integer()));
                case Kind::Boolean:
                    return Value::text(scalar.boolean() ? "TRUE" : "FALSE");
                case Kind::Nil:
                    return Value::text(std::u16string());
                default:
                    return std::nullopt;
            }
        default:
            return std::nullopt;
    }
}

Coerced failed() {
    return Coerced{xlretFailed, Value::nil()};
}
Coerced succeeded(Value value) {
    return Coerced{xlretSuccess, std::move(value)};
}

Coerced coerceScalar(const Value& scalar, std::uint32_t mask) {
    if ((typeBitOf(scalar) & mask) != 0) return succeeded(scalar);
    if (scalar.kind() == Kind::Error || scalar.kind() == Kind::Missing) return failed();
    for (std::uint32_t target : scalarTargets)
        if ((mask & target) != 0)
            if (auto converted = convert(scalar, target)) return succeeded(std::move(*converted));
    if ((mask & xltypeMulti) != 0) return succeeded(Value::array(1, 1, {scalar}));
    return failed();
}

const Value& topLeft(const Value& value) {
    return value.kind() == Kind::Array ? value.element(0, 0) : value;
}

}  // namespace

Coerced coerce(const Value& source, std::optional<std::uint32_t> wanted, const SheetModel& sheets) {
    const std::uint32_t mask = wanted.value_or(0) & ~xltypeFlow;
    if (wanted.value_or(0) != 0 && (mask == 0 || mask == xltypeBigData)) return failed();
    switch (source.kind()) {
        case Kind::BigData:
        case Kind::Flow:
        case Kind::Invalid:
            return failed();
        case Kind::Reference: {
            const SheetId sheet = source.isSheetReference() ? sheets.activeSheet() : source.sheet();
            if (!sheets.hasSheet(sheet)) return failed();
            if ((mask & xltypeRef) != 0) return succeeded(Value::reference(sheet, source.areas()));
            const bool onActiveSheet = sheet == sheets.activeSheet() && source.areas().size() == 1;
            if ((mask & xltypeSRef) != 0 && onActiveSheet)
                return succeeded(Value::sheetReference(source.areas().front()));
            if (source.areas().size() != 1) return failed();
            const Value contents = *sheets.valueOf(sheet, source.areas().front());
            if (mask == 0 || (mask & xltypeMulti) != 0) return succeeded(contents);
            return coerceScalar(topLeft(contents), mask);
        }
        case Kind::Array:
            if (mask == 0 || (mask & xltypeMulti) != 0) return succeeded(source);
            return coerceScalar(topLeft(source), mask);
        default:
            if (mask == 0) return succeeded(source);
            return coerceScalar(source, mask);
    }
}

std::optional<std::u16string> numberToText(double number) {
    char digits[generalNumberSize];
    const std::size_t length = writeGeneralNumber(number, digits);
    if (length == 0) return std::nullopt;
    return std::u16string(digits, digits + length);
}

std::size_t writeGeneralNumber(double number, char* digits) {
    if (!std::isfinite(number)) return 0;
    if (number == 0.0) number = 0.0;  // no "-0"
    // C's "%.15G", without the locale and several times faster than printf.
    char* const end = std::to_chars(digits, digits + generalNumberSize, number, std::chars_format::general, 15).ptr;
    std::replace(digits, end, 'e', 'E');
    return std::size_t(end - digits);
}

std::optional<double> textToNumber(const std::u16string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && text[begin] == u' ') ++begin;
    while (end > begin && text[end - 1] == u' ') --end;
    std::string ascii;
    std::size_t i = begin;
    auto digits = [&] {
        std::size_t count = 0;
        for (; i < end && text[i] >= u'0' && text[i] <= u'9'; ++i, ++count) ascii.push_back(char(text[i]));
        return count;
    };
    if (i < end && (text[i] == u'+' || text[i] == u'-')) ascii.push_back(char(text[i++]));
    std::size_t mantissaDigits = digits();
    if (i < end && text[i] == u'.') {
        ascii.push_back('.');
        ++i;
        mantissaDigits += digits();
    }
    if (mantissaDigits == 0) return std::nullopt;
    if (i < end && (text[i] == u'e' || text[i] == u'E')) {
        ascii.push_back('e');
        ++i;
        if (i < end && (text[i] == u'+' || text[i] == u'-')) ascii.push_back(char(text[i++]));
        if (digits() == 0) return std::nullopt;
    }
    if (i != end) return std::nullopt;
    std::istringstream stream(ascii);
    stream.imbue(std::locale::classic());
    double number = 0.0;
    stream >> number;
    if (stream.fail() || !std::isfinite(number)) return std::nullopt;
    return number;
}

}  // namespace xlhost
