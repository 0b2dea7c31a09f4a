#ifndef SRC_WORKSHEETFUNCTION_H
#define SRC_WORKSHEETFUNCTION_H

// Everything an add-in declares, each in one place: its worksheet functions (exported entry
// point, registration and body), its commands and their menu items, its name in the Add-in
// Manager, and its own code for when Excel opens and closes it.
//
//     ZEP_WORKSHEET_FUNCTION(xlex_Scale, "ex_Scale", "Multiplies a number by a factor", "Example",
//                            (zep::NumberArgument, x, "the number"),
//                            (zep::OptionalNumber, factor, "what to multiply it by", 2))
//     {
//         return x * factor;
//     }
//
// defines the entry point xlex_Scale, exported under that plain name with the parameters Excel
// passes, and registers it when Excel opens the add-in: worksheet name, help text, category, and
// each argument's name and help text. The body runs inside the worksheet call frame
// (XlCallFrame.h) with the converted arguments, and returns a WorksheetResult. Up to 20
// arguments, each (kind, name, help text) or, for the Optional... kinds, (kind, name, help text,
// default); the kinds are the ...Argument types of XlCallFrame.h. ZEP_FUNCTION is the same with
// flags before the arguments:
//
//     ZEP_FUNCTION(xlex_Now, "ex_Now", "The time now", "Example", zep::Volatile | zep::Hidden) { ... }
//
// Functions and commands are registered in the order they are defined in their file.

#include "PendingRegistrations.h"
#include "XlCall.h"
#include "XlCallFrame.h"
#include "XlExport.h"

#include <type_traits>

#define ZEP_WORKSHEET_FUNCTION(exportedName, worksheetName, help, category, ...) \
    ZEP_FUNCTION(exportedName, worksheetName, help, category, ::zep::NoFlags, __VA_ARGS__)

#define ZEP_FUNCTION(exportedName, worksheetName, help, category, flags, ...)                                     \
    ZEP_PP_CHECK_NAME_AND_HELP(worksheetName, help, "worksheet name");                                            \
    static_assert(std::is_same_v<std::decay_t<decltype(flags)>, ::zep::FunctionFlags>,                            \
                  "a function's flags are zep::NoFlags or zep::Volatile, zep::MacroSheet, zep::Hidden and "       \
                  "zep::ThreadSafe joined with |");                                                               \
    static_assert(ZEP_PP_COUNT(__VA_ARGS__) <= 20, "a worksheet function takes at most 20 arguments");            \
    static ::zep::WorksheetResult exportedName##_zepBody(                                                         \
        ZEP_PP_MAP(ZEP_PP_BODY_PARAMETER, ZEP_PP_COMMA, __VA_ARGS__));                                            \
    extern "C" ZEP_EXPORT void* XLCALL_STDCALL exportedName(                                                      \
        ZEP_PP_MAP(ZEP_PP_ENTRY_PARAMETER, ZEP_PP_COMMA, __VA_ARGS__)) {                                          \
        return ::zep::CallWorksheetFunction<(flags).bits>(                                                        \
            &exportedName##_zepBody ZEP_PP_MAP(ZEP_PP_PENDING, ZEP_PP_NOTHING, __VA_ARGS__));                     \
    }                                                                                                             \
    static const ::zep::ArgumentSpec exportedName##_zepArguments[] = {                                            \
        ZEP_PP_MAP(ZEP_PP_SPEC, ZEP_PP_NOTHING, __VA_ARGS__){nullptr, nullptr, nullptr}};                         \
    static const ::zep::FunctionRegistrar exportedName##_zepRegistrar(                                            \
        #exportedName, worksheetName, help, category, exportedName##_zepArguments,                                \
        static_cast<int>(sizeof exportedName##_zepArguments / sizeof exportedName##_zepArguments[0]) - 1, flags); \
    static ::zep::WorksheetResult exportedName##_zepBody(ZEP_PP_MAP(ZEP_PP_BODY_PARAMETER, ZEP_PP_COMMA, __VA_ARGS__))

// A command (macro type 2): Excel runs it by name, from a menu item (ZEP_MENU_ITEM) or from the
// Run dialog, without arguments. What the body throws is shown in an alert.
//
//     ZEP_COMMAND(xlex_Clear, "ex_Clear", "Clears the selection") { ... }
#define ZEP_COMMAND(exportedName, commandName, help)                                                    \
    ZEP_PP_CHECK_NAME_AND_HELP(commandName, help, "command name");                                      \
    static void exportedName##_zepBody();                                                               \
    extern "C" ZEP_EXPORT int XLCALL_STDCALL exportedName() {                                           \
        return ::zep::RunCommand(&exportedName##_zepBody);                                              \
    }                                                                                                   \
    static const ::zep::CommandRegistrar exportedName##_zepRegistrar(#exportedName, commandName, help); \
    static void exportedName##_zepBody()

// An item on a menu of the worksheet menu bar (the ribbon's Add-Ins tab from Excel 2007 on) that
// runs a command by its name; added when Excel opens the add-in and removed when it closes it.
// The items of one menu stand on it in the order they are declared.
//
//     ZEP_MENU_ITEM("Example Add-In", "Clear the selection", "ex_Clear");
#define ZEP_MENU_ITEM(menu, item, commandName) \
    static const ::zep::MenuItemRegistrar ZEP_PP_CONCAT(zepMenuItem_, __LINE__)(menu, item, commandName)

// The name the Add-in Manager lists the add-in under, declared once in the add-in: the framework's
// xlAddInManagerInfo and xlAddInManagerInfo12 answer with it.
//
//     ZEP_ADDIN_NAME("Example Add-In");
#define ZEP_ADDIN_NAME(name)                                                                            \
    static_assert(sizeof(name) - 1 <= 255, "an add-in name holds at most 255 characters");              \
    extern const ::zep::AddInNameRegistrar zepAddInNameIsDeclaredOnce; /* a second one fails to link */ \
    const ::zep::AddInNameRegistrar zepAddInNameIsDeclaredOnce(name)

// The add-in's own code for open and close, run inside the framework's xlAutoOpen after it has
// registered everything and added the menus, and inside xlAutoClose before it removes the menus
// and lets go of Excel. Each block runs once per open or close, in the order written; what an open
// block throws makes the open fail, what a close block throws is only reported.
//
//     ZEP_ON_OPEN { zep::XlfExcel::Current().ShowStatus("Ready"); }
#define ZEP_ON_OPEN ZEP_PP_HOOK(::zep::HookKind::Open, ZEP_PP_CONCAT(zepOnOpen_, __LINE__))
#define ZEP_ON_CLOSE ZEP_PP_HOOK(::zep::HookKind::Close, ZEP_PP_CONCAT(zepOnClose_, __LINE__))
#define ZEP_PP_HOOK(kind, function)                                                         \
    static void function();                                                                 \
    static const ::zep::HookRegistrar ZEP_PP_CONCAT(function, _registrar)(kind, &function); \
    static void function()

// Excel refuses a name or help text of more than 255 characters when it registers the function.
#define ZEP_PP_CHECK_NAME_AND_HELP(name, help, what)                                                    \
    static_assert(sizeof(name) - 1 <= 255 && sizeof(name) > 1, "a " what " holds 1 to 255 characters"); \
    static_assert(sizeof(help) - 1 <= 255, "a help text holds at most 255 characters")

// What each (kind, name, help[, default]) becomes in the pieces above.
// clang-format off
#define ZEP_PP_BODY_PARAMETER(kind, name, ...) kind::Value name
#define ZEP_PP_ENTRY_PARAMETER(kind, name, ...) kind::Raw name
#define ZEP_PP_PENDING(kind, name, help, ...) , ::zep::PendingArgument<kind>{name, #name, {__VA_ARGS__}}
#define ZEP_PP_SPEC(kind, name, help, ...) {#name, help, kind::typeTag},
#define ZEP_PP_COMMA() ,
#define ZEP_PP_NOTHING()
// clang-format on

// ZEP_PP_MAP(f, separator, (a...), (b...)) is f(a...) separator() f(b...), for up to 20
// parenthesised lists, and nothing for none. More than 20 give nothing either, after the
// static_assert that says so.
#define ZEP_PP_MAP(f, separator, ...) \
    __VA_OPT__(ZEP_PP_CONCAT(ZEP_PP_MAP_, ZEP_PP_COUNT(__VA_ARGS__))(f, separator, __VA_ARGS__))
#define ZEP_PP_APPLY(f, arguments) f arguments
#define ZEP_PP_CONCAT(a, b) ZEP_PP_CONCAT_(a, b)
#define ZEP_PP_CONCAT_(a, b) a##b
#define ZEP_PP_COUNT(...) ZEP_PP_COUNT_(__VA_ARGS__ __VA_OPT__(, ) ZEP_PP_COUNTS)
#define ZEP_PP_COUNTS                                                                                               \
    40, 39, 38, 37, 36, 35, 34, 33, 32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17, 16, 15, 14, 13, \
        12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0
#define ZEP_PP_COUNT_(...) ZEP_PP_COUNT_PICK(__VA_ARGS__)
#define ZEP_PP_COUNT_PICK(_1, _2, _3, _4, _5, _6, _7, _8, _9, _10, _11, _12, _13, _14, _15, _16, _17, _18, _19, _20, \
                          _21, _22, _23, _24, _25, _26, _27, _28, _29, _30, _31, _32, _33, _34, _35, _36, _37, _38,  \
                          _39, _40, count, ...)                                                                      \
    count
#define ZEP_PP_MAP_1(f, s, x) ZEP_PP_APPLY(f, x)
#define ZEP_PP_MAP_2(f, s, x, ...) ZEP_PP_APPLY(f, x) s() ZEP_PP_MAP_1(f, s, __VA_ARGS__)
#define ZEP_PP_MAP_3(f, s, x, ...) ZEP_PP_APPLY(f, x) s() ZEP_PP_MAP_2(f, s, __VA_ARGS__)
#define ZEP_PP_MAP_4(f, s, x, ...) ZEP_PP_APPLY(f, x) s() ZEP_PP_MAP_3(f, s, __VA_ARGS__)
#define ZEP_PP_MAP_5(f, s, x, ...) ZEP_PP_APPLY(f, x) s() ZEP_PP_MAP_4(f, s, __VA_ARGS__)
#define ZEP_PP_MAP_6(f, s, x, ...) ZEP_PP_APPLY(f, x) s() ZEP_PP_MAP_5(f, s, __VA_ARGS__)
#define ZEP_PP_MAP_7(f, s, x, ...) ZEP_PP_APPLY(f, x) s() ZEP_PP_MAP_6(f, s, __VA_ARGS__)
#define ZEP_PP_MAP_8(f, s, x, ...) ZEP_PP_APPLY(f, x) s() ZEP_PP_MAP_7(f, s, __VA_ARGS__)
#define ZEP_PP_MAP_9(f, s, x, ...) ZEP_PP_APPLY(f, x) s() ZEP_PP_MAP_8(f, s, __VA_ARGS__)
#define ZEP_PP_MAP_10(f, s, x, ...) ZEP_PP_APPLY(f, x) s() ZEP_PP_MAP_9(f, s, __VA_ARGS__)
#define ZEP_PP_MAP_11(f, s, x, ...) ZEP_PP_APPLY(f, x) s() ZEP_PP_MAP_10(f, s, __VA_ARGS__)
#define ZEP_PP_MAP_12(f, s, x, ...) ZEP_PP_APPLY(f, x) s() ZEP_PP_MAP_11(f, s, __VA_ARGS__)
#define ZEP_PP_MAP_13(f, s, x, ...) ZEP_PP_APPLY(f, x) s() ZEP_PP_MAP_12(f, s, __VA_ARGS__)
#define ZEP_PP_MAP_14(f, s, x, ...) ZEP_PP_APPLY(f, x) s() ZEP_PP_MAP_13(f, s, __VA_ARGS__)
#define ZEP_PP_MAP_15(f, s, x, ...) ZEP_PP_APPLY(f, x) s() ZEP_PP_MAP_14(f, s, __VA_ARGS__)
#define ZEP_PP_MAP_16(f, s, x, ...) ZEP_PP_APPLY(f, x) s() ZEP_PP_MAP_15(f, s, __VA_ARGS__)
#define ZEP_PP_MAP_17(f, s, x, ...) ZEP_PP_APPLY(f, x) s() ZEP_PP_MAP_16(f, s, __VA_ARGS__)
#define ZEP_PP_MAP_18(f, s, x, ...) ZEP_PP_APPLY(f, x) s() ZEP_PP_MAP_17(f, s, __VA_ARGS__)
#define ZEP_PP_MAP_19(f, s, x, ...) ZEP_PP_APPLY(f, x) s() ZEP_PP_MAP_18(f, s, __VA_ARGS__)
#define ZEP_PP_MAP_20(f, s, x, ...) ZEP_PP_APPLY(f, x) s() ZEP_PP_MAP_19(f, s, __VA_ARGS__)
#define ZEP_PP_MAP_TOO_MANY(f, s, ...)
#define ZEP_PP_MAP_21 ZEP_PP_MAP_TOO_MANY
#define ZEP_PP_MAP_22 ZEP_PP_MAP_TOO_MANY
#define ZEP_PP_MAP_23 ZEP_PP_MAP_TOO_MANY
#define ZEP_PP_MAP_24 ZEP_PP_MAP_TOO_MANY
#define ZEP_PP_MAP_25 ZEP_PP_MAP_TOO_MANY
#define ZEP_PP_MAP_26 ZEP_PP_MAP_TOO_MANY
#define ZEP_PP_MAP_27 ZEP_PP_MAP_TOO_MANY
#define ZEP_PP_MAP_28 ZEP_PP_MAP_TOO_MANY
#define ZEP_PP_MAP_29 ZEP_PP_MAP_TOO_MANY
#define ZEP_PP_MAP_30 ZEP_PP_MAP_TOO_MANY
#define ZEP_PP_MAP_31 ZEP_PP_MAP_TOO_MANY
#define ZEP_PP_MAP_32 ZEP_PP_MAP_TOO_MANY
#define ZEP_PP_MAP_33 ZEP_PP_MAP_TOO_MANY
#define ZEP_PP_MAP_34 ZEP_PP_MAP_TOO_MANY
#define ZEP_PP_MAP_35 ZEP_PP_MAP_TOO_MANY
#define ZEP_PP_MAP_36 ZEP_PP_MAP_TOO_MANY
#define ZEP_PP_MAP_37 ZEP_PP_MAP_TOO_MANY
#define ZEP_PP_MAP_38 ZEP_PP_MAP_TOO_MANY
#define ZEP_PP_MAP_39 ZEP_PP_MAP_TOO_MANY
#define ZEP_PP_MAP_40 ZEP_PP_MAP_TOO_MANY

#endif
