#ifndef SRC_WORKSHEETFUNCTION_H
#define SRC_WORKSHEETFUNCTION_H

// A worksheet function written in one place: its exported entry point and its registration.
//
//     ZEP_WORKSHEET_FUNCTION(xlex_Scale, "ex_Scale", "Multiplies a number by a factor", "Example",
//                            (zep::NumberArgument, x, "the number"),
//                            (zep::NumberArgument, factor, "what to multiply it by"))
//     {
//         return x * factor;
//     }
//
// defines the entry point xlex_Scale, exported under that plain name with the parameters Excel
// passes (here two doubles), and registers it when Excel opens the add-in: worksheet name, help
// text, category, and each argument's name and help text. The body runs inside the worksheet call
// frame (XlCallFrame.h) with the converted arguments, and returns a WorksheetResult. From one to
// 20 arguments, each (kind, name, help text); the kinds are the ...Argument types of
// XlCallFrame.h. Functions are registered in the order they are defined in their file.

#include "PendingRegistrations.h"
#include "XlCall.h"
#include "XlCallFrame.h"
#include "XlExport.h"

#define ZEP_WORKSHEET_FUNCTION(exportedName, worksheetName, help, category, ...)                                    \
    static ::zep::WorksheetResult exportedName##_zepBody(ZEP_PP_MAP(ZEP_PP_BODY_PARAMETER, __VA_ARGS__));           \
    extern "C" ZEP_EXPORT void* XLCALL_STDCALL exportedName(ZEP_PP_MAP(ZEP_PP_ENTRY_PARAMETER, __VA_ARGS__)) {      \
        return ::zep::CallWorksheetFunction(&exportedName##_zepBody, ZEP_PP_MAP(ZEP_PP_PENDING, __VA_ARGS__));      \
    }                                                                                                               \
    static const ::zep::ArgumentSpec exportedName##_zepArguments[] = {ZEP_PP_MAP(ZEP_PP_SPEC, __VA_ARGS__)};        \
    static const ::zep::FunctionRegistrar exportedName##_zepRegistrar(                                              \
        #exportedName, worksheetName, help, category, exportedName##_zepArguments,                                  \
        static_cast<int>(sizeof exportedName##_zepArguments / sizeof exportedName##_zepArguments[0]), false, false, \
        "");                                                                                                        \
    static ::zep::WorksheetResult exportedName##_zepBody(ZEP_PP_MAP(ZEP_PP_BODY_PARAMETER, __VA_ARGS__))

// What each (kind, name, help) becomes in the pieces above.
// clang-format off
#define ZEP_PP_BODY_PARAMETER(kind, name, help) kind::Value name
#define ZEP_PP_ENTRY_PARAMETER(kind, name, help) kind::Raw name
#define ZEP_PP_PENDING(kind, name, help) ::zep::PendingArgument<kind>{name, #name}
#define ZEP_PP_SPEC(kind, name, help) {#name, help, kind::typeTag}
// clang-format on

// ZEP_PP_MAP(f, (a...), (b...)) is f(a...), f(b...), for up to 20 parenthesised lists.
#define ZEP_PP_MAP(f, ...) ZEP_PP_CONCAT(ZEP_PP_MAP_, ZEP_PP_COUNT(__VA_ARGS__))(f, __VA_ARGS__)
#define ZEP_PP_APPLY(f, arguments) f arguments
#define ZEP_PP_CONCAT(a, b) ZEP_PP_CONCAT_(a, b)
#define ZEP_PP_CONCAT_(a, b) a##b
#define ZEP_PP_COUNT(...) \
    ZEP_PP_COUNT_(__VA_ARGS__, 20, 19, 18, 17, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0)
#define ZEP_PP_COUNT_(_1, _2, _3, _4, _5, _6, _7, _8, _9, _10, _11, _12, _13, _14, _15, _16, _17, _18, _19, _20, \
                      count, ...)                                                                                \
    count
#define ZEP_PP_MAP_1(f, x) ZEP_PP_APPLY(f, x)
#define ZEP_PP_MAP_2(f, x, ...) ZEP_PP_APPLY(f, x), ZEP_PP_MAP_1(f, __VA_ARGS__)
#define ZEP_PP_MAP_3(f, x, ...) ZEP_PP_APPLY(f, x), ZEP_PP_MAP_2(f, __VA_ARGS__)
#define ZEP_PP_MAP_4(f, x, ...) ZEP_PP_APPLY(f, x), ZEP_PP_MAP_3(f, __VA_ARGS__)
#define ZEP_PP_MAP_5(f, x, ...) ZEP_PP_APPLY(f, x), ZEP_PP_MAP_4(f, __VA_ARGS__)
#define ZEP_PP_MAP_6(f, x, ...) ZEP_PP_APPLY(f, x), ZEP_PP_MAP_5(f, __VA_ARGS__)
#define ZEP_PP_MAP_7(f, x, ...) ZEP_PP_APPLY(f, x), ZEP_PP_MAP_6(f, __VA_ARGS__)
#define ZEP_PP_MAP_8(f, x, ...) ZEP_PP_APPLY(f, x), ZEP_PP_MAP_7(f, __VA_ARGS__)
#define ZEP_PP_MAP_9(f, x, ...) ZEP_PP_APPLY(f, x), ZEP_PP_MAP_8(f, __VA_ARGS__)
#define ZEP_PP_MAP_10(f, x, ...) ZEP_PP_APPLY(f, x), ZEP_PP_MAP_9(f, __VA_ARGS__)
#define ZEP_PP_MAP_11(f, x, ...) ZEP_PP_APPLY(f, x), ZEP_PP_MAP_10(f, __VA_ARGS__)
#define ZEP_PP_MAP_12(f, x, ...) ZEP_PP_APPLY(f, x), ZEP_PP_MAP_11(f, __VA_ARGS__)
#define ZEP_PP_MAP_13(f, x, ...) ZEP_PP_APPLY(f, x), ZEP_PP_MAP_12(f, __VA_ARGS__)
#define ZEP_PP_MAP_14(f, x, ...) ZEP_PP_APPLY(f, x), ZEP_PP_MAP_13(f, __VA_ARGS__)
#define ZEP_PP_MAP_15(f, x, ...) ZEP_PP_APPLY(f, x), ZEP_PP_MAP_14(f, __VA_ARGS__)
#define ZEP_PP_MAP_16(f, x, ...) ZEP_PP_APPLY(f, x), ZEP_PP_MAP_15(f, __VA_ARGS__)
#define ZEP_PP_MAP_17(f, x, ...) ZEP_PP_APPLY(f, x), ZEP_PP_MAP_16(f, __VA_ARGS__)
#define ZEP_PP_MAP_18(f, x, ...) ZEP_PP_APPLY(f, x), ZEP_PP_MAP_17(f, __VA_ARGS__)
#define ZEP_PP_MAP_19(f, x, ...) ZEP_PP_APPLY(f, x), ZEP_PP_MAP_18(f, __VA_ARGS__)
#define ZEP_PP_MAP_20(f, x, ...) ZEP_PP_APPLY(f, x), ZEP_PP_MAP_19(f, __VA_ARGS__)

#endif
