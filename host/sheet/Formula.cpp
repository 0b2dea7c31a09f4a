#include "Formula.h"

#include "BuiltinFunctions.h"
#include "Coercion.h"
#include "XlCall.h"

#include <cctype>
#include <cstring>
#include <utility>

namespace xlhost {

namespace {

bool isWordCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || std::strchr("_.$\\", c) != nullptr || (c & 0x80) != 0;
}

bool isDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// Recursive descent over the text, one level per rank of operator.
class Parser {
public:
    Parser(std::string_view text, const SheetLimits& limits) : text_(text), limits_(limits) {}

    FormulaNode formula() {
        take('=');
        if (atEnd()) fail("an empty formula");
        FormulaNode node = comparison();
        if (!atEnd()) fail("unexpected '" + std::string(text_.substr(at_)) + "' after the formula");
        return node;
    }

private:
    [[noreturn]] void fail(const std::string& message) const { throw FormulaSyntaxError(message); }
    void skipBlanks() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t')) ++at_;
    }
    bool atEnd() {
        skipBlanks();
        return at_ >= text_.size();
    }
    char peek() {
        skipBlanks();
        return at_ < text_.size() ? text_[at_] : '\0';
    }
    bool take(char c) {
        if (peek() != c) return false;
        ++at_;
        return true;
    }
    // One of the operators, longest first ("<=" before "<").
    bool takeOperator(std::initializer_list<const char*> operators, std::string& taken) {
        skipBlanks();
        for (const char* op : operators)
            if (text_.compare(at_, std::strlen(op), op) == 0) {
                // "<" is no "<>" or "<=", which come first in the list.
                taken = op;
                at_ += taken.size();
                return true;
            }
        return false;
    }

    static FormulaNode infix(std::string op, FormulaNode left, FormulaNode right) {
        FormulaNode node;
        node.type = FormulaNode::Type::Infix;
        node.text = std::move(op);
        node.operands.push_back(std::move(left));
        node.operands.push_back(std::move(right));
        return node;
    }

    template <class Operand>
    FormulaNode leftToRight(std::initializer_list<const char*> operators, Operand operand) {
        FormulaNode node = (this->*operand)();
        std::string op;
        while (takeOperator(operators, op)) node = infix(op, std::move(node), (this->*operand)());
        return node;
    }
    // Every nesting (parentheses, arguments, signs) goes through here; a bound keeps a hostile
    // formula from exhausting the stack.
    class Nested {
    public:
        explicit Nested(Parser& parser) : parser_(parser) {
            if (++parser_.depth_ > maxDepth)
                parser_.fail("the formula nests deeper than " + std::to_string(maxDepth) + " levels");
        }
        ~Nested() { --parser_.depth_; }
        Nested(const Nested&) = delete;
        Nested& operator=(const Nested&) = delete;

    private:
        Parser& parser_;
    };
    static constexpr int maxDepth = 255;

    FormulaNode comparison() {
        const Nested nested(*this);
        return leftToRight({"<>", "<=", ">=", "=", "<", ">"}, &Parser::joined);
    }
    FormulaNode joined() { return leftToRight({"&"}, &Parser::sum); }
    FormulaNode sum() { return leftToRight({"+", "-"}, &Parser::product); }
    FormulaNode product() { return leftToRight({"*", "/"}, &Parser::power); }
    FormulaNode power() { return leftToRight({"^"}, &Parser::percent); }
    FormulaNode percent() {
        FormulaNode node = signed_();
        while (take('%')) {
            FormulaNode outer;
            outer.type = FormulaNode::Type::Percent;
            outer.operands.push_back(std::move(node));
            node = std::move(outer);
        }
        return node;
    }
    FormulaNode signed_() {
        const char sign = peek();
        if (sign != '-' && sign != '+') return primary();
        const Nested nested(*this);
        ++at_;
        FormulaNode node;
        node.type = FormulaNode::Type::Prefix;
        node.text = std::string(1, sign);
        node.operands.push_back(signed_());
        return node;
    }

    static FormulaNode constant(Value value) {
        FormulaNode node;
        node.constant = std::move(value);
        return node;
    }

    FormulaNode primary() {
        const char c = peek();
        if (c == '\0') fail("an operand is missing");
        if (c == '(') {
            ++at_;
            FormulaNode inner = comparison();
            if (!take(')')) fail("expected ')'");
            return inner;
        }
        if (c == '{') return arrayConstant();
        if (c == '"') return constant(Value::text(fromUtf8(quoted('"'))));
        if (c == '#') return constant(error());
        if (isDigit(c) || (c == '.' && at_ + 1 < text_.size() && isDigit(text_[at_ + 1])))
            return constant(Value::number(number()));
        if (c == '\'' || c == '[' || c == '!') return qualified();
        if (!isWordCharacter(c)) fail("unexpected '" + std::string(1, c) + "'");
        const std::string name = word();
        if (peek() == '(') return call(name);
        if (peek() == '!') return qualified(name);
        if (sameIgnoringCase(name, "TRUE") || sameIgnoringCase(name, "FALSE"))
            return constant(Value::boolean(sameIgnoringCase(name, "TRUE")));
        return referenceOrName(name);
    }

    // A word; a range's two corners ("A1:B2") make one word.
    std::string word() {
        skipBlanks();
        const std::size_t begin = at_;
        while (at_ < text_.size() && isWordCharacter(text_[at_])) ++at_;
        if (at_ < text_.size() && text_[at_] == ':' && at_ + 1 < text_.size() && isWordCharacter(text_[at_ + 1])) {
            ++at_;
            while (at_ < text_.size() && isWordCharacter(text_[at_])) ++at_;
        }
        if (at_ == begin) fail("expected a cell, range or name");
        return std::string(text_.substr(begin, at_ - begin));
    }

    FormulaNode referenceOrName(const std::string& name) {
        FormulaNode node;
        if (const auto area = parseRange(name, limits_)) {
            node.type = FormulaNode::Type::Reference;
            node.area = *area;
            return node;
        }
        if (name.find(':') != std::string::npos) fail("'" + name + "' is no range on the sheet");
        if (isDigit(name[0]) || name[0] == '.') fail("'" + name + "' is no number");
        node.type = FormulaNode::Type::Name;
        node.text = name;
        return node;
    }

    // Sheet1!A1, 'My sheet'!A1, [Book1]Sheet1!A1, '[Book1]Sheet1'!A1, !A1 (the active sheet).
    FormulaNode qualified(std::string sheet = {}) {
        std::string book;
        if (sheet.empty()) {
            if (take('[')) {
                book = enclosedUntil(']');
                sheet = peek() == '\'' ? quoted('\'') : word();
            } else if (peek() == '\'') {
                sheet = quoted('\'');
            }
        }
        if (book.empty() && !sheet.empty() && sheet[0] == '[') {
            const std::size_t close = sheet.find(']');
            if (close == std::string::npos) fail("a book name has no closing ']'");
            book = sheet.substr(1, close - 1);
            sheet.erase(0, close + 1);
        }
        if (!take('!')) fail("expected '!' after the sheet name");
        FormulaNode node = referenceOrName(word());
        node.qualified = true;
        node.sheet = std::move(sheet);
        node.book = std::move(book);
        return node;
    }

    std::string enclosedUntil(char close) {
        const std::size_t end = text_.find(close, at_);
        if (end == std::string_view::npos) fail(std::string("no closing '") + close + "'");
        std::string inside(text_.substr(at_, end - at_));
        at_ = end + 1;
        return inside;
    }

    // A text between quotes, the quote doubled for itself; the parser is at the opening one.
    std::string quoted(char quote) {
        take(quote);
        std::string inside;
        for (;;) {
            if (at_ >= text_.size()) fail("a text has no closing quote");
            const char c = text_[at_++];
            if (c != quote) {
                inside.push_back(c);
            } else if (at_ < text_.size() && text_[at_] == quote) {
                inside.push_back(quote);
                ++at_;
            } else {
                return inside;
            }
        }
    }

    Value error() {
        for (int code = 0; code <= xlerrGettingData; ++code) {
            if (!isExcelErrorCode(code)) continue;
            const std::string name = errorName(code);
            if (at_ + name.size() <= text_.size() && sameIgnoringCase(text_.substr(at_, name.size()), name)) {
                at_ += name.size();
                return Value::error(code);
            }
        }
        fail("unknown error value");
    }

    double number() {
        const std::size_t begin = at_;
        while (at_ < text_.size() && (isDigit(text_[at_]) || text_[at_] == '.')) ++at_;
        if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
            std::size_t exponent = at_ + 1;
            if (exponent < text_.size() && (text_[exponent] == '+' || text_[exponent] == '-')) ++exponent;
            if (exponent < text_.size() && isDigit(text_[exponent])) {
                at_ = exponent;
                while (at_ < text_.size() && isDigit(text_[at_])) ++at_;
            }
        }
        const std::string digits(text_.substr(begin, at_ - begin));
        const auto value = textToNumber(fromUtf8(digits));
        if (!value) fail("'" + digits + "' is no number");
        return *value;
    }

    // {1,2;3,4}: numbers (signed), texts, booleans and errors; ',' between columns, ';' between rows.
    FormulaNode arrayConstant() {
        take('{');
        std::vector<Value> elements;
        std::size_t columns = 0;
        std::size_t inRow = 0;
        for (;;) {
            elements.push_back(arrayElement());
            ++inRow;
            if (take(',')) continue;
            if (columns != 0 && inRow != columns) fail("the rows of an array constant differ in length");
            columns = inRow;
            inRow = 0;
            if (take(';')) continue;
            if (!take('}')) fail("expected ',', ';' or '}' in an array constant");
            break;
        }
        const auto rows = std::int32_t(elements.size() / columns);
        return constant(Value::array(rows, std::int32_t(columns), std::move(elements)));
    }
    Value arrayElement() {
        const char c = peek();
        if (c == '"') return Value::text(fromUtf8(quoted('"')));
        if (c == '#') return error();
        if (c == '-' || c == '+') {
            ++at_;
            skipBlanks();
            const double magnitude = number();
            return Value::number(c == '-' ? -magnitude : magnitude);
        }
        if (isDigit(c) || c == '.') return Value::number(number());
        const std::string name = isWordCharacter(c) ? word() : std::string();
        if (sameIgnoringCase(name, "TRUE") || sameIgnoringCase(name, "FALSE"))
            return Value::boolean(sameIgnoringCase(name, "TRUE"));
        fail("an array constant holds numbers, texts, TRUE/FALSE and errors only");
    }

    FormulaNode call(const std::string& name) {
        if (name.find(':') != std::string::npos || isDigit(name[0])) fail("'" + name + "' is no function name");
        take('(');
        FormulaNode node;
        node.type = FormulaNode::Type::Call;
        node.text = name;
        if (!take(')')) {
            do {
                const char next = peek();
                node.operands.push_back(next == ',' || next == ')' ? constant(Value::missing()) : comparison());
            } while (take(','));
            if (!take(')')) fail("expected ',' or ')' in the arguments of " + name);
        }
        if (const BuiltinFunction* builtin = findBuiltin(name)) {
            const std::size_t count = node.operands.size();
            if (count < builtin->minArguments || count > builtin->maxArguments) {
                const std::string range =
                    builtin->minArguments == builtin->maxArguments
                        ? std::to_string(builtin->minArguments)
                        : std::to_string(builtin->minArguments) + " to " + std::to_string(builtin->maxArguments);
                fail(std::string(builtin->name) + " takes " + range + " arguments, not " + std::to_string(count));
            }
        }
        return node;
    }

    std::string_view text_;
    const SheetLimits& limits_;
    std::size_t at_ = 0;
    int depth_ = 0;
};

template <class Visit>
void forEachNode(const FormulaNode& node, Visit& visit) {
    visit(node);
    for (const FormulaNode& operand : node.operands) forEachNode(operand, visit);
}

}  // namespace

FormulaNode parseFormula(std::string_view text, const SheetLimits& limits) {
    return Parser(text, limits).formula();
}

std::vector<Area> formulaAreas(const FormulaNode& formula) {
    std::vector<Area> areas;
    auto collect = [&areas](const FormulaNode& node) {
        if (node.type == FormulaNode::Type::Reference) areas.push_back(node.area);
    };
    forEachNode(formula, collect);
    return areas;
}

bool callsVolatileBuiltin(const FormulaNode& formula) {
    bool found = false;
    auto look = [&found](const FormulaNode& node) {
        if (node.type != FormulaNode::Type::Call) return;
        const BuiltinFunction* builtin = findBuiltin(node.text);
        found = found || (builtin != nullptr && builtin->recalculatesAlways);
    };
    forEachNode(formula, look);
    return found;
}

}  // namespace xlhost
