#include "NativeCall.h"

#include "XlCall.h"

#include <gtest/gtest.h>

#include <utility>

namespace xlhost {
namespace {

// Exported functions as Excel calls them: __stdcall on 32-bit Windows.
double XLCALL_STDCALL combine(std::int16_t a, double b, std::uint16_t c, std::int32_t d, const double* e) {
    return a * 1e0 + b * 1e1 + c * 1e2 + d * 1e3 + *e * 1e4;
}
std::int16_t XLCALL_STDCALL negate16(std::int16_t value) {
    return std::int16_t(-value);
}
std::uint16_t XLCALL_STDCALL twice16(std::uint16_t value) {
    return std::uint16_t(value * 2);
}
std::int32_t XLCALL_STDCALL negate32(std::int32_t value) {
    return -value;
}
const double* XLCALL_STDCALL same(const double* value) {
    return value;
}
void XLCALL_STDCALL store(double value, double* into) {
    *into = value;
}

// The sum of position times argument, over as many doubles as the instantiation takes.
template <class... Doubles>
double XLCALL_STDCALL weigh(Doubles... values) {
    double position = 0, sum = 0;
    ((sum += ++position * values), ...);
    return sum;
}

template <std::size_t... Index>
void (*weighOf(std::index_sequence<Index...>))() {
    return reinterpret_cast<void (*)()>(&weigh<decltype(double(Index))...>);
}

#if defined(_WIN32) && !defined(_WIN64)
#define WRONG_CONVENTION __cdecl
#else
#define WRONG_CONVENTION
#endif

// Exported without WINAPI: on 32-bit Windows it leaves its 20 bytes of arguments on the stack.
double WRONG_CONVENTION addCdecl(double a, double b, std::int32_t c) {
    return a + b + c;
}

template <class Function>
void (*entry(Function* function))() {
    return reinterpret_cast<void (*)()>(function);
}

TEST(NativeCall, PassesEachTypeInItsPlaceAndReadsEachResultType) {
    const double e = 5;
    const std::vector<NativeArgument> arguments{{NativeType::Int16, nativeInt16(-1)},
                                                {NativeType::Double, nativeNumber(0.5)},
                                                {NativeType::UInt16, nativeUInt16(65535)},
                                                {NativeType::Int32, nativeInt32(-70000)},
                                                {NativeType::Pointer, nativePointer(const_cast<double*>(&e))}};
    EXPECT_EQ(callNative(entry(combine), NativeType::Double, arguments).number, -1 + 5 + 65535e2 - 70000e3 + 5e4);
    EXPECT_EQ(callNative(entry(negate16), NativeType::Int16, {{NativeType::Int16, nativeInt16(32767)}}).int16, -32767);
    EXPECT_EQ(callNative(entry(twice16), NativeType::UInt16, {{NativeType::UInt16, nativeUInt16(40000)}}).uint16,
              14464);
    EXPECT_EQ(callNative(entry(negate32), NativeType::Int32, {{NativeType::Int32, nativeInt32(-2147483647)}}).int32,
              2147483647);
    EXPECT_EQ(
        callNative(entry(same), NativeType::Pointer, {{NativeType::Pointer, nativePointer(const_cast<double*>(&e))}})
            .pointer,
        &e);
    double stored = 0;
    callNative(entry(store), NativeType::Void,
               {{NativeType::Double, nativeNumber(2.5)}, {NativeType::Pointer, nativePointer(&stored)}});
    EXPECT_EQ(stored, 2.5);
}

TEST(NativeCall, PassesAsManyArgumentsAsExcelAllows) {
    std::vector<NativeArgument> arguments;
    double expected = 0;
    for (int i = 1; i <= 255; ++i) {
        arguments.push_back({NativeType::Double, nativeNumber(i % 7 - 3)});
        expected += i * (i % 7 - 3);
    }
    EXPECT_EQ(callNative(weighOf(std::make_index_sequence<255>()), NativeType::Double, arguments).number, expected);
}

// Excel restores its stack pointer after every call; so does callNative, or these calls would
// leave 20 bytes each behind on 32-bit Windows and the test would crash.
TEST(NativeCall, SurvivesAFunctionThatLeavesItsArgumentsOnTheStack) {
    for (int i = 0; i < 10000; ++i) {
        const NativeValue sum = callNative(entry(addCdecl), NativeType::Double,
                                           {{NativeType::Double, nativeNumber(i)},
                                            {NativeType::Double, nativeNumber(0.5)},
                                            {NativeType::Int32, nativeInt32(-i)}});
        ASSERT_EQ(sum.number, 0.5);
    }
}

}  // namespace
}  // namespace xlhost
