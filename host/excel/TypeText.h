#ifndef HOST_TYPETEXT_H
#define HOST_TYPETEXT_H

// A registration's type text as Excel reads it (xlfRegister's pxTypeText): the result's data type
// code or the number of the argument modified in place, each argument's code, and the marks after
// them: '!' volatile, '#' macro-sheet equivalent, '$' thread-safe, '&' cluster-safe.

#include <optional>
#include <string>
#include <vector>

namespace xlhost {

// One data type code ('>' for no result): its letter and, after C, D, F, G, K or O, the '%' of Excel 12's wide text or
// large array form.
struct TypeCode {
    char letter = '\0';
    bool percent = false;

    std::string text() const { return percent ? std::string{letter, '%'} : std::string(1, letter); }
    // Passed as a pointer, so that the function may change what it points to: C D E F G K L M N O P Q R U.
    bool byReference() const;
    // Only Excel 12 and newer know it: Q, U, X and every '%' form.
    bool needsExcel12() const { return percent || letter == 'Q' || letter == 'U' || letter == 'X'; }
};

struct TypeText {
    TypeCode result;          // no letter when the result is an argument modified in place
    int inPlaceArgument = 0;  // 1 to 9: the function returns nothing; that argument after the call is the result
    std::vector<TypeCode> arguments;
    bool isVolatile = false;
    bool isMacroSheetEquivalent = false;
    bool isThreadSafe = false;
    bool isClusterSafe = false;

    // Has an X argument: the function gets a handle and gives its result later through xlAsyncReturn,
    // returning nothing ('>') itself.
    bool isAsynchronous() const {
        for (const TypeCode& code : arguments)
            if (code.letter == 'X') return true;
        return false;
    }
};

struct ParsedTypeText {
    std::optional<TypeText> typeText;
    std::string problem;  // why Excel refuses the text, when it does
};

// The text as any version of Excel reads it.
ParsedTypeText parseTypeText(const std::string& text);

// Why Excel of that major version refuses a type text it can read, or nothing: codes and marks it
// does not know yet, more arguments than it allows (30 before Excel 12, then 255).
std::optional<std::string> versionProblem(const TypeText& typeText, int majorVersion);

}  // namespace xlhost

#endif
