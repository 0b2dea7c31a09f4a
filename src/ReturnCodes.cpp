#include "ReturnCodes.h"

#include "XlCall.h"
#include "XlfException.h"

#include <stdexcept>

namespace zep {

namespace {

struct TextedCode {
    int bit;
    bool isXlfException;  // otherwise std::runtime_error
    const char* plainText;
    const char* textPrefix;  // put before the caller's text
};

// In the order of testing, after the three codes whose exceptions carry fixed texts.
constexpr TextedCode kTextedCodes[] = {
    {xlretInvXloper, true, "invalid OPER structure (memory could be exhausted)",
     "invalid OPER structure (memory could be exhausted),"},
    {xlretFailed, false, "command failed", "command failed, "},
    {xlretInvCount, false, "invalid number of arguments", "invalid number of argument, "},
    {xlretInvXlfn, false, "invalid function number", "invalid function number, "},
};

int Check(int code, const std::string* text) {
    if (code & xlretUncalced) throw XlfExceptionUncalculated();
    if (code & xlretAbort) throw XlfExceptionAbort();
    if (code & xlretStackOvfl) throw XlfExceptionStackOverflow();
    for (const TextedCode& entry : kTextedCodes) {
        if (!(code & entry.bit)) continue;
        std::string message = text ? entry.textPrefix + *text : std::string(entry.plainText);
        if (entry.isXlfException) throw XlfException(message);
        throw std::runtime_error(message);
    }
    return code;
}

struct NamedType {
    std::uint32_t typeWord;
    const char* name;
};

constexpr NamedType kTypeNames[] = {
    {xltypeNum, "xltypeNum"},         {xltypeStr, "xltypeStr"}, {xltypeBool, "xltypeBool"},
    {xltypeRef, "xltypeRef"},         {xltypeErr, "xltypeErr"}, {xltypeMulti, "xltypeMulti"},
    {xltypeMissing, "xltypeMissing"}, {xltypeNil, "xltypeNil"}, {xltypeSRef, "xltypeSRef"},
    {xltypeInt, "xltypeInt"},
};

}  // namespace

int CheckReturnCode(int code) {
    return Check(code, nullptr);
}

int CheckReturnCode(int code, const std::string& text) {
    return Check(code, &text);
}

const char* TypeName(std::uint32_t typeWord) {
    for (const NamedType& entry : kTypeNames)
        if (entry.typeWord == typeWord) return entry.name;
    return "unknown";
}

}  // namespace zep
