#include "TypeText.h"

#include <cstring>

namespace xlhost {

namespace {

bool isModifier(char c) {
    return c == '!' || c == '#' || c == '$' || c == '&';
}

ParsedTypeText refused(std::string problem) {
    return ParsedTypeText{std::nullopt, std::move(problem)};
}

}  // namespace

bool TypeCode::byReference() const {
    return letter != '\0' && std::strchr("CDEFGKLMNOPQRU", letter) != nullptr;
}

ParsedTypeText parseTypeText(const std::string& text) {
    TypeText parsed;
    std::vector<TypeCode> codes;  // the result's first, unless it is an in-place number
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (isModifier(c)) {
            parsed.isVolatile |= c == '!';
            parsed.isMacroSheetEquivalent |= c == '#';
            parsed.isThreadSafe |= c == '$';
            parsed.isClusterSafe |= c == '&';
            continue;
        }
        if (parsed.isVolatile || parsed.isMacroSheetEquivalent || parsed.isThreadSafe || parsed.isClusterSafe)
            return refused(std::string("type code '") + c + "' after a modifier");
        if (c == '%') {
            if (codes.empty() || codes.back().percent || std::strchr("CDFGKO", codes.back().letter) == nullptr)
                return refused("'%' after a code that has no '%' form");
            codes.back().percent = true;
            continue;
        }
        if (i == 0 && c >= '1' && c <= '9') {
            parsed.inPlaceArgument = c - '0';
            continue;
        }
        if (c == '\0' || std::strchr("ABCDEFGHIJKLMNOPQRUX>", c) == nullptr)
            return refused(std::string("unknown type code '") + c + "'");
        codes.push_back(TypeCode{c, false});
    }
    if (parsed.inPlaceArgument == 0) {
        if (codes.empty()) return refused("no return type");
        parsed.result = codes.front();
        codes.erase(codes.begin());
        // The array code passes three arguments (rows, columns, elements): a function can only
        // give such an array back in place.
        if (parsed.result.letter == 'O') return refused("O cannot be a return type; return the array in place");
    }
    parsed.arguments = std::move(codes);
    for (const TypeCode& code : parsed.arguments)
        if (code.letter == '>') return refused("'>' (no result) can only be the return type");
    if (parsed.result.letter == '>' && !parsed.isAsynchronous())
        return refused("'>' (no result) needs an asynchronous handle argument X");
    if (parsed.inPlaceArgument != 0) {
        const std::size_t index = std::size_t(parsed.inPlaceArgument) - 1;
        if (index >= parsed.arguments.size())
            return refused("the result is argument " + std::to_string(parsed.inPlaceArgument) + ", which is not there");
        if (!parsed.arguments[index].byReference())
            return refused("the result is argument " + std::to_string(parsed.inPlaceArgument) + ", of type " +
                           parsed.arguments[index].text() + ", which is passed by value");
    }
    if (parsed.isThreadSafe && parsed.isMacroSheetEquivalent)
        return refused("a function cannot be both thread-safe ('$') and macro-sheet equivalent ('#')");
    return ParsedTypeText{std::move(parsed), std::string()};
}

std::optional<std::string> versionProblem(const TypeText& typeText, int majorVersion) {
    if (typeText.isThreadSafe && majorVersion < 12) return std::string("'$' needs Excel 12 or newer");
    if (typeText.isClusterSafe && majorVersion < 14) return std::string("'&' needs Excel 14 or newer");
    std::vector<TypeCode> codes = typeText.arguments;
    codes.push_back(typeText.result);
    if (majorVersion < 12)
        for (const TypeCode& code : codes)
            if (code.needsExcel12()) return "type code " + code.text() + " needs Excel 12 or newer";
    if (typeText.isAsynchronous() && majorVersion < 14)
        return std::string("asynchronous functions (X) need Excel 14 or newer");
    const std::size_t maxArguments = majorVersion >= 12 ? 255 : 30;
    if (typeText.arguments.size() > maxArguments)
        return "too many arguments: " + std::to_string(typeText.arguments.size()) + ", Excel " +
               std::to_string(majorVersion) + " allows " + std::to_string(maxArguments);
    return std::nullopt;
}

}  // namespace xlhost
