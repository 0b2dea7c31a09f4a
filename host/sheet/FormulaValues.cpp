#include "FormulaValues.h"

#include "Coercion.h"
#include "XlCall.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace xlhost {

namespace {

bool isTextEqual(const std::u16string& text, const char* word) {
    std::size_t i = 0;
    for (; word[i] != '\0'; ++i)
        if (i >= text.size() || (text[i] < 0x80 ? std::toupper(int(text[i])) : -1) != word[i]) return false;
    return i == text.size();
}

// Excel's order across kinds: numbers, then texts, then FALSE, then TRUE.
int rankOf(Kind kind) {
    return kind == Kind::Text ? 1 : kind == Kind::Boolean ? 2 : 0;
}

char16_t folded(char16_t unit) {
    return unit >= u'A' && unit <= u'Z' ? char16_t(unit - u'A' + u'a') : unit;
}

// Negative, zero or positive as left sorts before, with or after right; neither is an error.
int compareValues(Value left, Value right) {
    // A blank takes the other side's kind: 0, "" or FALSE.
    const auto blankLike = [](const Value& other) {
        return other.kind() == Kind::Text      ? Value::text(std::u16string())
               : other.kind() == Kind::Boolean ? Value::boolean(false)
                                               : Value::number(0);
    };
    if (left.kind() == Kind::Nil || left.kind() == Kind::Missing) left = blankLike(right);
    if (right.kind() == Kind::Nil || right.kind() == Kind::Missing) right = blankLike(left);
    if (left.kind() == Kind::Integer) left = Value::number(left.integer());
    if (right.kind() == Kind::Integer) right = Value::number(right.integer());
    if (rankOf(left.kind()) != rankOf(right.kind())) return rankOf(left.kind()) - rankOf(right.kind());
    switch (left.kind()) {
        case Kind::Text: {
            const std::u16string& a = left.text();
            const std::u16string& b = right.text();
            const auto less = [](char16_t x, char16_t y) { return folded(x) < folded(y); };
            if (std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), less)) return -1;
            return std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), less) ? 1 : 0;
        }
        case Kind::Boolean:
            return int(left.boolean()) - int(right.boolean());
        default:
            return left.number() < right.number() ? -1 : left.number() > right.number() ? 1 : 0;
    }
}

// A value in a text join: numbers in the general format, TRUE/FALSE, blanks as "".
Value joinOperand(const Value& value) {
    switch (value.kind()) {
        case Kind::Text:
        case Kind::Error:
            return value;
        case Kind::Boolean:
            return Value::text(value.boolean() ? "TRUE" : "FALSE");
        case Kind::Number:
        case Kind::Integer: {
            const auto text = numberToText(*value.numeric());
            return text ? Value::text(*text) : Value::error(xlerrNum);
        }
        case Kind::Nil:
        case Kind::Missing:
            return Value::text(std::u16string());
        default:
            return Value::error(xlerrValue);
    }
}

}  // namespace

Value arithmeticOperand(const Value& value) {
    switch (value.kind()) {
        case Kind::Number:
        case Kind::Error:
            return value;
        case Kind::Integer:
            return Value::number(value.integer());
        case Kind::Boolean:
            return Value::number(value.boolean() ? 1 : 0);
        case Kind::Nil:
        case Kind::Missing:
            return Value::number(0);
        case Kind::Text:
            if (const auto number = textToNumber(value.text())) return Value::number(*number);
            return Value::error(xlerrValue);
        default:
            return Value::error(xlerrValue);
    }
}

Value conditionOperand(const Value& value) {
    switch (value.kind()) {
        case Kind::Boolean:
        case Kind::Error:
            return value;
        case Kind::Number:
        case Kind::Integer:
            return Value::boolean(*value.numeric() != 0);
        case Kind::Nil:
        case Kind::Missing:
            return Value::boolean(false);
        case Kind::Text:
            if (isTextEqual(value.text(), "TRUE")) return Value::boolean(true);
            if (isTextEqual(value.text(), "FALSE")) return Value::boolean(false);
            return Value::error(xlerrValue);
        default:
            return Value::error(xlerrValue);
    }
}

Value numberResult(double number) {
    return std::isfinite(number) ? Value::number(number == 0 ? 0.0 : number) : Value::error(xlerrNum);
}

Value elementwise(const std::vector<Value>& operands, const std::function<Value(const std::vector<Value>&)>& compute) {
    std::int32_t rows = 0;
    std::int32_t columns = 0;
    for (const Value& operand : operands)
        if (operand.kind() == Kind::Array) {
            rows = std::max(rows, operand.rows());
            columns = std::max(columns, operand.columns());
        }
    if (rows == 0 || columns == 0) return compute(operands);
    if (std::size_t(rows) * std::size_t(columns) > largestComputedArray) return Value::error(xlerrNum);
    std::vector<Value> elements;
    elements.reserve(std::size_t(rows) * std::size_t(columns));
    std::vector<Value> at(operands.size(), Value::nil());
    for (std::int32_t r = 0; r < rows; ++r)
        for (std::int32_t c = 0; c < columns; ++c) {
            bool outside = false;
            for (std::size_t i = 0; i < operands.size(); ++i) {
                const Value& operand = operands[i];
                if (operand.kind() != Kind::Array) {
                    at[i] = operand;
                    continue;
                }
                const std::int32_t row = operand.rows() == 1 ? 0 : r;
                const std::int32_t column = operand.columns() == 1 ? 0 : c;
                outside = outside || row >= operand.rows() || column >= operand.columns();
                if (!outside) at[i] = operand.element(row, column);
            }
            elements.push_back(outside ? Value::error(xlerrNA) : compute(at));
        }
    return Value::array(rows, columns, std::move(elements));
}

Value applyOperator(const std::string& op, const Value& left, const Value& right) {
    if (op == "&") {
        const Value a = joinOperand(left);
        const Value b = joinOperand(right);
        if (a.kind() == Kind::Error) return a;
        if (b.kind() == Kind::Error) return b;
        return Value::text(a.text() + b.text());
    }
    const bool comparison = op[0] == '=' || op[0] == '<' || op[0] == '>';
    if (comparison) {
        if (left.kind() == Kind::Error) return left;
        if (right.kind() == Kind::Error) return right;
        const int order = compareValues(left, right);
        if (op == "=") return Value::boolean(order == 0);
        if (op == "<>") return Value::boolean(order != 0);
        if (op == "<") return Value::boolean(order < 0);
        if (op == "<=") return Value::boolean(order <= 0);
        if (op == ">") return Value::boolean(order > 0);
        return Value::boolean(order >= 0);
    }
    const Value a = arithmeticOperand(left);
    if (a.kind() == Kind::Error) return a;
    const Value b = arithmeticOperand(right);
    if (b.kind() == Kind::Error) return b;
    const double x = a.number();
    const double y = b.number();
    switch (op[0]) {
        case '+':
            return numberResult(x + y);
        case '-':
            return numberResult(x - y);
        case '*':
            return numberResult(x * y);
        case '/':
            return y == 0 ? Value::error(xlerrDiv0) : numberResult(x / y);
        default:  // '^': 0^0 and a root of a negative number are #NUM!, 0 to a negative power #DIV/0!
            if (x == 0 && y == 0) return Value::error(xlerrNum);
            if (x == 0 && y < 0) return Value::error(xlerrDiv0);
            return numberResult(std::pow(x, y));
    }
}

}  // namespace xlhost
