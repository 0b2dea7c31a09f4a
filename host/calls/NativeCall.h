#ifndef HOST_NATIVECALL_H
#define HOST_NATIVECALL_H

// Calls of an add-in's exported function whose signature is known only at run time, from its
// registration: through libffi, in the convention Excel uses (__stdcall on 32-bit Windows, the
// platform's C convention elsewhere).

#include <cstdint>
#include <vector>

namespace xlhost {

// The C types that Excel's data type codes travel as.
enum class NativeType { Void, Int16, UInt16, Int32, Double, Pointer };

union NativeValue {
    std::int16_t int16;
    std::uint16_t uint16;
    std::int32_t int32;
    double number;
    void* pointer;
};

NativeValue nativeInt16(std::int16_t value);
NativeValue nativeUInt16(std::uint16_t value);
NativeValue nativeInt32(std::int32_t value);
NativeValue nativeNumber(double value);
NativeValue nativePointer(void* value);

struct NativeArgument {
    NativeType type;
    NativeValue value;
};

// Calls `procedure` with the arguments in order and gives what it returned (nothing for Void).
// On 32-bit Windows the stack pointer is restored after the call, as Excel restores it, so that a
// function exported as __cdecl by mistake, which leaves its arguments on the stack, does no harm.
// Throws std::invalid_argument when libffi cannot describe the call.
NativeValue callNative(void (*procedure)(), NativeType result, const std::vector<NativeArgument>& arguments);

}  // namespace xlhost

#endif
