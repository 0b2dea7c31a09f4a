#include "NativeCall.h"

#include <ffi.h>

#include <stdexcept>

namespace xlhost {

namespace {

ffi_type* ffiTypeOf(NativeType type) {
    switch (type) {
        case NativeType::Void:
            return &ffi_type_void;
        case NativeType::Int16:
            return &ffi_type_sint16;
        case NativeType::UInt16:
            return &ffi_type_uint16;
        case NativeType::Int32:
            return &ffi_type_sint32;
        case NativeType::Double:
            return &ffi_type_double;
        case NativeType::Pointer:
            return &ffi_type_pointer;
    }
    return &ffi_type_void;
}

// libffi's frame on x86-32 sets the stack pointer back from its frame pointer after the call, so
// a callee that pops nothing (cdecl) and one that pops its arguments (stdcall) both return cleanly.
#if defined(_WIN32) && !defined(_WIN64)
constexpr ffi_abi excelConvention = FFI_STDCALL;
#else
constexpr ffi_abi excelConvention = FFI_DEFAULT_ABI;
#endif

}  // namespace

NativeValue nativeInt16(std::int16_t value) {
    NativeValue native{};
    native.int16 = value;
    return native;
}

NativeValue nativeUInt16(std::uint16_t value) {
    NativeValue native{};
    native.uint16 = value;
    return native;
}

NativeValue nativeInt32(std::int32_t value) {
    NativeValue native{};
    native.int32 = value;
    return native;
}

NativeValue nativeNumber(double value) {
    NativeValue native{};
    native.number = value;
    return native;
}

NativeValue nativePointer(void* value) {
    NativeValue native{};
    native.pointer = value;
    return native;
}

NativeValue callNative(void (*procedure)(), NativeType result, const std::vector<NativeArgument>& arguments) {
    std::vector<ffi_type*> types;
    std::vector<NativeValue> values;  // copies libffi reads from, one per argument
    types.reserve(arguments.size());
    values.reserve(arguments.size());
    for (const NativeArgument& argument : arguments) {
        types.push_back(ffiTypeOf(argument.type));
        values.push_back(argument.value);
    }
    std::vector<void*> pointers;
    for (NativeValue& value : values) pointers.push_back(&value);
    ffi_cif cif;
    if (ffi_prep_cif(&cif, excelConvention, static_cast<unsigned>(types.size()), ffiTypeOf(result), types.data()) !=
        FFI_OK)
        throw std::invalid_argument("libffi cannot describe a call of " + std::to_string(types.size()) + " arguments");
    // Integer results come back widened to a full register (ffi_arg); a double as itself.
    union {
        ffi_arg integer;
        double number;
        void* pointer;
    } returned{};
    ffi_call(&cif, procedure, &returned, pointers.empty() ? nullptr : pointers.data());
    switch (result) {
        case NativeType::Int16:
            return nativeInt16(static_cast<std::int16_t>(returned.integer));
        case NativeType::UInt16:
            return nativeUInt16(static_cast<std::uint16_t>(returned.integer));
        case NativeType::Int32:
            return nativeInt32(static_cast<std::int32_t>(returned.integer));
        case NativeType::Double:
            return nativeNumber(returned.number);
        case NativeType::Pointer:
            return nativePointer(returned.pointer);
        case NativeType::Void:
            break;
    }
    return NativeValue{};
}

}  // namespace xlhost
