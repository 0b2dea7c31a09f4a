#include "FormulaText.h"

#include "Coercion.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

namespace xlhost {

namespace {

// The book and sheet parts of a reference name xllhost's one book and sheet (a book's name may
// carry its file's extension).
bool isTheBook(const std::string& book) {
    return sameIgnoringCase(book.substr(0, book.find('.')), ExcelStandIn::workbookName);
}

// Thrown for a text xllhost does not understand.
struct NotUnderstood {};

// The formula's pieces: a word (a name, a number, a range, an error, TRUE), a "text", a 'sheet'
// name, a [book] name, or one sign of punctuation.
struct Token {
    enum class Kind { Word, Text, Sheet, Book, Sign };
    Kind kind;
    std::string text;
};

bool isWordCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || std::strchr("_.$:\\", c) != nullptr || (c & 0x80) != 0;
}

// Up to the closing mark (a doubled one stands for itself in a text); `at` is past the opening one.
std::string enclosed(const std::string& formula, std::size_t& at, char close, bool doubled) {
    std::string inside;
    for (;;) {
        const std::size_t end = formula.find(close, at);
        if (end == std::string::npos) throw NotUnderstood{};
        inside += formula.substr(at, end - at);
        at = end + 1;
        if (!doubled || at >= formula.size() || formula[at] != close) return inside;
        inside += close;
        ++at;
    }
}

std::vector<Token> tokensOf(const std::string& formula) {
    std::vector<Token> tokens;
    for (std::size_t at = 0; at < formula.size();) {
        const char c = formula[at];
        if (c == ' ') {
            ++at;
        } else if (c == '"' || c == '\'' || c == '[') {
            ++at;
            const auto kind = c == '"' ? Token::Kind::Text : c == '\'' ? Token::Kind::Sheet : Token::Kind::Book;
            tokens.push_back(Token{kind, enclosed(formula, at, c == '[' ? ']' : c, c == '"')});
        } else if (c == '#') {  // an error: up to the next separator
            const std::size_t end = std::min(formula.find_first_of(",() ", at), formula.size());
            tokens.push_back(Token{Token::Kind::Word, formula.substr(at, end - at)});
            at = end;
        } else if (isWordCharacter(c)) {
            const std::size_t begin = at;
            while (at < formula.size() && (isWordCharacter(formula[at]) ||
                                           // the sign of a number's exponent: 1.5E-3
                                           ((formula[at] == '-' || formula[at] == '+') &&
                                            std::toupper(static_cast<unsigned char>(formula[at - 1])) == 'E' &&
                                            std::isdigit(static_cast<unsigned char>(formula[begin])))))
                ++at;
            tokens.push_back(Token{Token::Kind::Word, formula.substr(begin, at - begin)});
        } else {
            tokens.push_back(Token{Token::Kind::Sign, std::string(1, c)});
            ++at;
        }
    }
    return tokens;
}

class FormulaParser {
public:
    FormulaParser(const std::string& formula, const ExcelStandIn& host, const SheetLimits& limits,
                  const ExcelStandIn::FunctionCaller& callFunction)
        : tokens_(tokensOf(formula)), host_(host), limits_(limits), callFunction_(callFunction) {}

    Value formula() {
        sign("=");
        Value value = expression();
        if (next_ != tokens_.size()) throw NotUnderstood{};
        if (value.kind() != Kind::Reference) return value;
        const Coerced contents = coerce(value, std::nullopt, host_.sheets());
        return contents.code == xlretSuccess ? contents.value : Value::error(xlerrRef);
    }

private:
    const Token* upcoming() const { return next_ < tokens_.size() ? &tokens_[next_] : nullptr; }
    bool sign(const char* text) {
        const Token* token = upcoming();
        if (token == nullptr || token->kind != Token::Kind::Sign || token->text != text) return false;
        ++next_;
        return true;
    }
    const Token& take() {
        if (next_ >= tokens_.size()) throw NotUnderstood{};
        return tokens_[next_++];
    }
    std::string word() {
        const Token& token = take();
        if (token.kind != Token::Kind::Word) throw NotUnderstood{};
        return token.text;
    }

    Value expression() {
        const Token& token = take();
        switch (token.kind) {
            case Token::Kind::Text:
                return Value::text(fromUtf8(token.text));
            case Token::Kind::Book:
                return inBook(token.text);
            case Token::Kind::Sheet:
                if (!sign("!")) throw NotUnderstood{};
                return onSheet(token.text, word());
            case Token::Kind::Sign:
                if (token.text == "!") return onActiveSheet(word());
                if (token.text == "-" || token.text == "+") return number(token.text + word());
                throw NotUnderstood{};
            case Token::Kind::Word:
                break;
        }
        const std::string& name = token.text;
        if (name[0] == '#') return errorNamed(name);
        if (std::isdigit(static_cast<unsigned char>(name[0])) || name[0] == '.') return number(name);
        if (sign("(")) return call(name);
        if (sign("!")) return onSheet(name, word());
        if (sameIgnoringCase(name, "TRUE") || sameIgnoringCase(name, "FALSE"))
            return Value::boolean(sameIgnoringCase(name, "TRUE"));
        if (parseRange(name, limits_)) return Value::error(xlerrRef);  // the macro sheet's cells: none here
        if (auto value = host_.nameValue(fromUtf8(name))) return std::move(*value);
        return Value::error(xlerrName);
    }

    static Value errorNamed(const std::string& name) {
        for (int code = 0; code <= xlerrGettingData; ++code)
            if (isExcelErrorCode(code) && sameIgnoringCase(name, errorName(code))) return Value::error(code);
        throw NotUnderstood{};
    }

    static Value number(const std::string& text) {
        const auto number = textToNumber(fromUtf8(text));
        if (!number) throw NotUnderstood{};
        return Value::number(*number);
    }

    // [Book1]Sheet1!A1, with the book's extension or without; another book is none that is open.
    Value inBook(const std::string& book) {
        const std::string sheet = word();
        if (!sign("!")) throw NotUnderstood{};
        const std::string cells = word();
        if (!isTheBook(book)) return Value::error(xlerrRef);
        return onSheet(sheet, cells);
    }

    Value onSheet(const std::string& sheet, const std::string& cells) {
        // '[Book1]Sheet1'!A1 names the book inside the quotes.
        if (!sheet.empty() && sheet[0] == '[') {
            const std::size_t close = sheet.find(']');
            if (close == std::string::npos) throw NotUnderstood{};
            if (!isTheBook(sheet.substr(1, close - 1))) return Value::error(xlerrRef);
            return onSheet(sheet.substr(close + 1), cells);
        }
        const SheetModel& sheets = host_.sheets();
        if (!sameIgnoringCase(sheet, sheets.sheetName(sheets.activeSheet()))) return Value::error(xlerrRef);
        return onActiveSheet(cells);
    }

    Value onActiveSheet(const std::string& cells) {
        const auto range = parseRange(cells, limits_);
        if (!range) return Value::error(xlerrName);  // a worksheet name: xllhost's sheet has none
        return Value::reference(host_.sheets().activeSheet(), *range);
    }

    Value call(const std::string& name) {
        std::vector<Value> arguments;
        if (!sign(")")) {
            do {
                const Token* token = upcoming();
                const bool missing =
                    token != nullptr && token->kind == Token::Kind::Sign && (token->text == "," || token->text == ")");
                arguments.push_back(missing ? Value::missing() : expression());
            } while (sign(","));
            if (!sign(")")) throw NotUnderstood{};
        }
        const Registration* function = host_.registry().findFunction(name);
        if (function == nullptr) throw NotUnderstood{};  // a built-in function, or none at all
        return callFunction_(*function, arguments);
    }

    std::vector<Token> tokens_;
    std::size_t next_ = 0;
    const ExcelStandIn& host_;
    const SheetLimits& limits_;
    const ExcelStandIn::FunctionCaller& callFunction_;
};

}  // namespace

std::optional<Value> evaluateFormulaText(const std::u16string& formula, const ExcelStandIn& host,
                                         const SheetLimits& limits, const ExcelStandIn::FunctionCaller& callFunction) {
    try {
        return FormulaParser(toUtf8(formula), host, limits, callFunction).formula();
    } catch (const NotUnderstood&) {
        return std::nullopt;
    }
}

}  // namespace xlhost
