#ifndef SRC_PENDINGREGISTRATIONS_H
#define SRC_PENDINGREGISTRATIONS_H

#include <cstdint>
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

// How Excel is to treat a worksheet function, joined with |.
struct FunctionFlags {
    std::uint32_t bits;
    constexpr FunctionFlags operator|(FunctionFlags other) const { return FunctionFlags{bits | other.bits}; }
    constexpr bool Has(FunctionFlags flag) const { return (bits & flag.bits) == flag.bits; }
};
inline constexpr FunctionFlags NoFlags{0};
// Recalculated whenever Excel recalculates anything ('!').
inline constexpr FunctionFlags Volatile{1};
// Treated as a macro-sheet function ('#'): it may call the Excel functions only macro sheets may
// call, and reads cells not yet recalculated as they stand.
inline constexpr FunctionFlags MacroSheet{2};
// Left out of the function wizard's lists; a formula that names it still calls it.
inline constexpr FunctionFlags Hidden{4};
// Excel may call it from several threads at once ('$', Excel 12 on). Refused when compiled until
// the framework's calls into Excel and its temporary memory are safe for it.
inline constexpr FunctionFlags ThreadSafe{8};

// Everything xlfRegister needs about one worksheet function or command, collected before Excel
// is there.
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
    bool macroSheetEquivalent = false;
    double macroType = 1;        // 1 a function, 0 a hidden one, 2 a command
    std::string returnTypeCode;  // empty: the OPER code of the running Excel
};

// A static object announcing one worksheet function: its construction appends the record to
// PendingRegistrations(), so the list is complete before Excel calls xlAutoOpen.
class FunctionRegistrar {
public:
    FunctionRegistrar(const char* exportedName, const char* worksheetName, const char* help, const char* category,
                      const ArgumentSpec* arguments, int argumentCount, FunctionFlags flags);
};

// The same for a command: no arguments, an int back (J), macro type 2.
class CommandRegistrar {
public:
    CommandRegistrar(const char* exportedName, const char* commandName, const char* help);
};

// The functions and commands announced so far, in the order their registrars were built. Created
// on first use, so registrars in any unit's static initialisation may append to it.
std::vector<RegistrationRecord>& PendingRegistrations();

// Registers every pending function with Excel, in list order. The list stays as it is, so a
// second open registers everything again.
void RegisterAll();

// A menu item that runs a command, on a menu of the worksheet menu bar.
class MenuItemRegistrar {
public:
    MenuItemRegistrar(const char* menu, const char* item, const char* commandName);
};

// Adds each declared menu, with its items in declaration order, to the end of the worksheet
// menu bar (a menu of that name already there is replaced); RemoveMenus deletes them. A menu
// Excel refuses is reported and the others still added.
void AddMenus();
void RemoveMenus();

// The add-in's name for the Add-in Manager (ZEP_ADDIN_NAME); empty when the add-in declares none.
class AddInNameRegistrar {
public:
    explicit AddInNameRegistrar(const char* name);
};
const std::string& AddInName();

// The add-in's own code for open and close.
enum class HookKind { Open, Close };
class HookRegistrar {
public:
    HookRegistrar(HookKind kind, void (*hook)());
};
// Runs the hooks of that kind in declaration order. An open hook's exception propagates, so the
// open fails; a close hook's is reported on the diagnostic stream and the next one still runs.
void RunHooks(HookKind kind);

}  // namespace zep

#endif
