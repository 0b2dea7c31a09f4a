#include "PendingRegistrations.h"

#include "CellMatrix.h"
#include "XlCallFrame.h"
#include "XlOpenClose.h"
#include "XlfAbstractCmdDesc.h"
#include "XlfArgDesc.h"
#include "XlfExcel.h"
#include "XlfOper.h"

#include <algorithm>
#include <exception>
#include <ostream>

namespace zep {

namespace {

struct MenuItem {
    std::string menu;
    std::string item;
    std::string commandName;
};

// What an add-in declares besides its functions, in declaration order.
struct AddInDeclarations {
    std::string name;
    std::vector<MenuItem> menuItems;
    std::vector<void (*)()> openHooks;
    std::vector<void (*)()> closeHooks;
};

AddInDeclarations& Declarations() {
    static AddInDeclarations declarations;
    return declarations;
}

// The menus in the order of their first item.
std::vector<std::string> MenuNames() {
    std::vector<std::string> names;
    for (const MenuItem& item : Declarations().menuItems)
        if (std::find(names.begin(), names.end(), item.menu) == names.end()) names.push_back(item.menu);
    return names;
}

constexpr double worksheetMenuBar = 10;

int DeleteMenu(const std::string& menu) {
    XlfOper result;
    return XlfExcel::Current().CallHost(xlfDeleteMenu, result.Pointer(), XlfOper(worksheetMenuBar).Pointer(),
                                        TextValue(menu).Pointer());
}

}  // namespace

FunctionRegistrar::FunctionRegistrar(const char* exportedName, const char* worksheetName, const char* help,
                                     const char* category, const ArgumentSpec* arguments, int argumentCount,
                                     FunctionFlags flags) {
    RegistrationRecord record;
    record.exportedName = exportedName;
    record.worksheetName = worksheetName;
    record.help = help;
    record.category = category;
    record.argumentCount = argumentCount;
    for (int i = 0; i < argumentCount; ++i) {
        record.argumentNames.push_back(arguments[i].name);
        record.argumentDescriptions.push_back(arguments[i].description);
        record.argumentTypeTags.push_back(arguments[i].typeTag);
    }
    record.isVolatile = flags.Has(Volatile);
    record.threadSafe = flags.Has(ThreadSafe);
    record.macroSheetEquivalent = flags.Has(MacroSheet);
    record.macroType = flags.Has(Hidden) ? 0 : 1;
    PendingRegistrations().push_back(record);
}

CommandRegistrar::CommandRegistrar(const char* exportedName, const char* commandName, const char* help) {
    RegistrationRecord record;
    record.exportedName = exportedName;
    record.worksheetName = commandName;
    record.help = help;
    record.macroType = 2;
    record.returnTypeCode = "J";
    PendingRegistrations().push_back(record);
}

std::vector<RegistrationRecord>& PendingRegistrations() {
    static std::vector<RegistrationRecord> pending;
    // Whatever order an add-in's units define their functions in, the debugger stream is built at
    // load right after the list, and so goes before it at unload. The reference also links the
    // lifecycle unit, with xlAutoOpen and xlAutoClose, into every module that registers a function.
    static const Win32StreamBuf& debuggerStream = DebuggerStreamBuffer();
    static_cast<void>(debuggerStream);
    return pending;
}

void RegisterAll() {
    for (const RegistrationRecord& record : PendingRegistrations()) {
        const std::string returnTypeCode =
            record.returnTypeCode.empty() ? XlfExcel::Current().OperTypeCode() : record.returnTypeCode;
        XlfFuncDesc function(record.exportedName, record.worksheetName, record.help, record.category,
                             record.isVolatile ? 1 : 0, record.threadSafe, returnTypeCode);
        function.SetMacroType(record.macroType, record.macroSheetEquivalent);
        std::vector<XlfArgDesc> arguments;
        for (int i = 0; i < record.argumentCount; ++i)
            arguments.emplace_back(record.argumentNames[i], record.argumentDescriptions[i], record.argumentTypeTags[i]);
        function.SetArguments(arguments);
        function.RegisterInHost();
    }
}

MenuItemRegistrar::MenuItemRegistrar(const char* menu, const char* item, const char* commandName) {
    // The list's first use links in xlAutoOpen and xlAutoClose, which act on the declarations.
    PendingRegistrations();
    Declarations().menuItems.push_back(MenuItem{menu, item, commandName});
}

void AddMenus() {
    for (const std::string& menu : MenuNames()) {
        DeleteMenu(menu);  // left from an earlier open; no such menu is no fault
        // Excel's menu description: the menu's name, then a row per item (its text and command).
        std::vector<const MenuItem*> items;
        for (const MenuItem& item : Declarations().menuItems)
            if (item.menu == menu) items.push_back(&item);
        CellMatrix description(static_cast<std::uint32_t>(items.size() + 1), 2);
        description.Cell(0, 0) = MatrixCell(menu);
        description.Cell(0, 1) = MatrixCell("");
        for (std::size_t i = 0; i < items.size(); ++i) {
            description.Cell(static_cast<std::uint32_t>(i + 1), 0) = MatrixCell(items[i]->item);
            description.Cell(static_cast<std::uint32_t>(i + 1), 1) = MatrixCell(items[i]->commandName);
        }
        XlfOper result;
        const int code = XlfExcel::Current().CallHost(xlfAddMenu, result.Pointer(), XlfOper(worksheetMenuBar).Pointer(),
                                                      WorksheetResult(description).Record());
        if (code != xlretSuccess || (result.Type() & xltypeErr) != 0)
            DiagnosticLine(sites::pendingRegistrationsMenuRefused)
                << " Excel refused the menu " << menu << " (code " << code << ")" << std::endl;
    }
}

void RemoveMenus() {
    for (const std::string& menu : MenuNames()) DeleteMenu(menu);
}

AddInNameRegistrar::AddInNameRegistrar(const char* name) {
    PendingRegistrations();
    Declarations().name = name;
}

const std::string& AddInName() {
    return Declarations().name;
}

HookRegistrar::HookRegistrar(HookKind kind, void (*hook)()) {
    PendingRegistrations();
    (kind == HookKind::Open ? Declarations().openHooks : Declarations().closeHooks).push_back(hook);
}

void RunHooks(HookKind kind) {
    if (kind == HookKind::Open) {
        for (void (*hook)() : Declarations().openHooks) hook();
        return;
    }
    for (void (*hook)() : Declarations().closeHooks) {
        try {
            hook();
        } catch (const std::exception& failure) {
            DiagnosticLine(sites::pendingRegistrationsCloseHookFailed)
                << " Close failed: " << failure.what() << std::endl;
        } catch (...) {
            DiagnosticLine(sites::pendingRegistrationsCloseHookFailed) << " Close failed" << std::endl;
        }
    }
}

}  // namespace zep
