#ifndef SRC_PENDINGREGISTRATIONS_H
#define SRC_PENDINGREGISTRATIONS_H

#include <string>
#include <vector>

namespace zep {

// One row of a function's static argument table. The type tag is "XLF_OPER", "XLF_XLOPER",
// "ZEP_WSTR" (resolved against the running Excel) or a literal Excel type code such as "B".
struct ArgumentSpec {
    const char* name;
    const char* description;
    const char* typeTag;
};

// Everything xlfRegister needs about one worksheet function, collected before Excel is there.
struct RegistrationRecord {
    std::string exportedName;
    std::string worksheetName;
    std::string help;
    std::string category;
    int argumentCount = 0;
    std::vector<std::string> argumentNames;
    std::vector<std::string> argumentDescriptions;
    std::vector<std::string> argumentTypeTags;
    bool isVolatile = false;
    bool threadSafe = false;
    std::string returnTypeCode;  // empty: the OPER code of the running Excel
};

// A static object announcing one worksheet function: its construction appends the record to
// PendingRegistrations(), so the list is complete before Excel calls xlAutoOpen.
class FunctionRegistrar {
public:
    FunctionRegistrar(const char* exportedName, const char* worksheetName, const char* help, const char* category,
                      const ArgumentSpec* arguments, int argumentCount, bool isVolatile, bool threadSafe,
                      const char* returnTypeCode);
};

// The functions announced so far, in the order their registrars were built. Created on first
// use, so registrars in any unit's static initialisation may append to it.
std::vector<RegistrationRecord>& PendingRegistrations();

// Registers every pending function with Excel, in list order. The list stays as it is, so a
// second open registers everything again.
void RegisterAll();

}  // namespace zep

#endif
