#include "TypedArgument.h"

#include "Coercion.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <stdexcept>

namespace xlhost {

namespace {

// The arrays of doubles of K and K%, as the add-in's compiler lays them out on this target.
struct FloatingPointArray4 {
    std::uint16_t rows;
    std::uint16_t columns;
    double array[1];
};
struct FloatingPointArray12 {
    std::int32_t rows;
    std::int32_t columns;
    double array[1];
};

// Byte texts hold up to 255 units, wide texts up to 32767; a text argument's buffer has room for
// the longest one and its count or terminating zero, so that F, G, F% and G% can be written in place.
constexpr std::size_t maxByteUnits = 255;
constexpr std::size_t maxWideUnits = 32767;

enum class Family {
    Boolean,
    Double,
    UInt16,
    Int16,
    Int32,
    Text,
    FloatingPointArray,
    ThreeArgumentArray,
    Record,
    Unknown
};

Family familyOf(const TypeCode& code) {
    switch (code.letter) {
        case 'A':
        case 'L':
            return Family::Boolean;
        case 'B':
        case 'E':
            return Family::Double;
        case 'H':
            return Family::UInt16;
        case 'I':
        case 'M':
            return Family::Int16;
        case 'J':
        case 'N':
            return Family::Int32;
        case 'C':
        case 'D':
        case 'F':
        case 'G':
            return Family::Text;
        case 'K':
            return Family::FloatingPointArray;
        case 'O':
            return Family::ThreeArgumentArray;
        case 'P':
        case 'Q':
        case 'R':
        case 'U':
            return Family::Record;
        default:
            return Family::Unknown;
    }
}

bool isCounted(const TypeCode& code) {
    return code.letter == 'D' || code.letter == 'G';
}
bool isScalarPointer(const TypeCode& code) {
    return std::strchr("ELMN", code.letter) != nullptr;
}

NativeType scalarType(Family family) {
    switch (family) {
        case Family::Boolean:
        case Family::Int16:
            return NativeType::Int16;
        case Family::UInt16:
            return NativeType::UInt16;
        case Family::Int32:
            return NativeType::Int32;
        case Family::Double:
            return NativeType::Double;
        default:
            return NativeType::Pointer;
    }
}

bool holdsUncalledCell(const Value& value) {
    if (value.kind() == Kind::Error) return value.error() == uncalledCellError;
    if (value.kind() != Kind::Array) return false;
    for (const Value& element : value.elements())
        if (holdsUncalledCell(element)) return true;
    return false;
}

// A single value of the wanted type (xltypeNum, xltypeBool or xltypeStr), read as Excel reads a
// worksheet argument: an omitted one is 0, FALSE or an empty text; an error is shown without
// calling; a block of cells or an array is #VALUE! (no implicit intersection here), and so is a
// value that does not convert.
std::optional<Value> scalarOf(const Value& value, std::uint32_t wanted, const SheetModel& sheets,
                              NotPassed& notPassed) {
    switch (value.kind()) {
        case Kind::Missing:
            if (wanted == xltypeNum) return Value::number(0.0);
            if (wanted == xltypeBool) return Value::boolean(false);
            return Value::text(std::u16string());
        case Kind::Error:
            notPassed.shown = value;
            return std::nullopt;
        case Kind::Array:
            notPassed.shown = Value::error(xlerrValue);
            return std::nullopt;
        default:
            break;
    }
    const Coerced converted = coerce(value, wanted, sheets);
    if (converted.code != xlretSuccess) {
        notPassed.shown = Value::error(xlerrValue);
        return std::nullopt;
    }
    return converted.value;
}

// An integer argument: Excel drops the fraction and refuses a number outside the type with #NUM!.
std::optional<std::int64_t> integerOf(double number, std::int64_t lowest, std::int64_t highest, NotPassed& notPassed) {
    const double whole = std::trunc(number);
    if (!(whole >= double(lowest) && whole <= double(highest))) {
        notPassed.shown = Value::error(xlerrNum);
        return std::nullopt;
    }
    return static_cast<std::int64_t>(whole);
}

// The numbers of an array argument (K, O), row after row: each element read as a number argument
// would be (a blank cell is 0); an error element is shown without calling, and an omitted argument,
// which holds no numbers, is #VALUE!.
std::optional<Value> numbersOf(const Value& value, const SheetModel& sheets, NotPassed& notPassed) {
    if (value.kind() == Kind::Missing) {
        notPassed.shown = Value::error(xlerrValue);
        return std::nullopt;
    }
    const Value block = value.kind() == Kind::Array ? value : Value::array(1, 1, {value});
    std::vector<Value> numbers;
    numbers.reserve(block.elements().size());
    for (const Value& element : block.elements()) {
        const auto number =
            scalarOf(element.kind() == Kind::Missing ? Value::nil() : element, xltypeNum, sheets, notPassed);
        if (!number) return std::nullopt;
        numbers.push_back(*number);
    }
    return Value::array(block.rows(), block.columns(), std::move(numbers));
}

// What a pointer of E, L, M or N points to, read as its own type.
NativeValue loadScalar(Family family, const void* pointer) {
    switch (family) {
        case Family::Boolean:
        case Family::Int16:
            return nativeInt16(*static_cast<const std::int16_t*>(pointer));
        case Family::Int32:
            return nativeInt32(*static_cast<const std::int32_t*>(pointer));
        default:
            return nativeNumber(*static_cast<const double*>(pointer));
    }
}

char16_t unitValue(char unit) {
    return static_cast<unsigned char>(unit);
}
char16_t unitValue(XCHAR unit) {
    return static_cast<char16_t>(unit);
}

// A text the function handed over: counted (its first unit is the length) or ending at a zero
// unit; Excel reads no further than the longest text of that width.
template <class Unit>
std::optional<Value> readText(const Unit* text, bool counted, std::size_t maxUnits, std::string& fault) {
    std::u16string units;
    if (counted) {
        const std::size_t count = unitValue(text[0]);
        if (count > maxUnits) {
            fault = "gave a counted text of " + std::to_string(count) + " units, more than the " +
                    std::to_string(maxUnits) + " Excel reads";
            return std::nullopt;
        }
        for (std::size_t i = 1; i <= count; ++i) units.push_back(unitValue(text[i]));
    } else {
        for (std::size_t i = 0; i < maxUnits && text[i] != 0; ++i) units.push_back(unitValue(text[i]));
    }
    return Value::text(std::move(units));
}

std::optional<Value> readTextOf(const TypeCode& code, const void* text, std::string& fault) {
    if (code.percent) return readText(static_cast<const XCHAR*>(text), isCounted(code), maxWideUnits, fault);
    return readText(static_cast<const char*>(text), isCounted(code), maxByteUnits, fault);
}

// An array of doubles the function handed over: at least one row and column, and no more elements
// than `capacity` when it is the argument Excel passed (a function may shrink it, never grow it).
std::optional<Value> readNumbers(std::int64_t rows, std::int64_t columns, const double* elements,
                                 std::optional<std::int64_t> capacity, std::string& fault) {
    const bool fits =
        rows >= 1 && columns >= 1 && rows <= 1048576 && columns <= 16384 && (!capacity || rows * columns <= *capacity);
    if (!fits) {
        fault = "gave an array of doubles of " + std::to_string(rows) + " x " + std::to_string(columns) +
                (capacity ? ", beyond the " + std::to_string(*capacity) + " elements Excel passed" : std::string());
        return std::nullopt;
    }
    std::vector<Value> numbers;
    numbers.reserve(std::size_t(rows * columns));
    for (std::int64_t i = 0; i < rows * columns; ++i) numbers.push_back(Value::number(elements[i]));
    return Value::array(std::int32_t(rows), std::int32_t(columns), std::move(numbers));
}

template <class Array>
std::optional<Value> readFloatingPointArray(const void* block, std::optional<std::int64_t> capacity,
                                            std::string& fault) {
    const auto* array = static_cast<const Array*>(block);
    return readNumbers(
        array->rows, array->columns,
        reinterpret_cast<const double*>(static_cast<const unsigned char*>(block) + offsetof(Array, array)), capacity,
        fault);
}

template <class Array>
std::vector<unsigned char> floatingPointBlock(const Value& numbers) {
    std::vector<unsigned char> block(offsetof(Array, array) + numbers.elements().size() * sizeof(double));
    auto* array = reinterpret_cast<Array*>(block.data());
    array->rows = static_cast<decltype(array->rows)>(numbers.rows());
    array->columns = static_cast<decltype(array->columns)>(numbers.columns());
    auto* elements = reinterpret_cast<double*>(block.data() + offsetof(Array, array));
    for (std::size_t i = 0; i < numbers.elements().size(); ++i) elements[i] = numbers.elements()[i].number();
    return block;
}

// A text argument's units, in a buffer with room for the longest text of its width.
template <class Unit>
std::vector<unsigned char> textBlock(const std::u16string& text, bool counted, std::size_t maxUnits) {
    std::vector<unsigned char> block((maxUnits + 1) * sizeof(Unit), 0);
    auto* units = reinterpret_cast<Unit*>(block.data());
    const std::size_t length = std::min(text.size(), maxUnits);
    Unit* body = counted ? units + 1 : units;
    if (counted) units[0] = static_cast<Unit>(length);
    for (std::size_t i = 0; i < length; ++i) body[i] = static_cast<Unit>(text[i]);
    return block;
}

}  // namespace

bool isRecordCode(const TypeCode& code) {
    return familyOf(code) == Family::Record;
}

TypedArgument::TypedArgument(const TypeCode& code, Value passed) : code_(code), passed_(std::move(passed)) {}

TypedArgument::~TypedArgument() = default;

std::unique_ptr<TypedArgument> TypedArgument::make(const TypeCode& code, int position, const FormulaArgument& argument,
                                                   const SheetModel& sheets, NotPassed& notPassed) {
    const Family family = familyOf(code);
    Value value = argument.literal;
    if (argument.range)
        value = family == Family::Record && (code.letter == 'R' || code.letter == 'U')
                    ? Value::sheetReference(*argument.range)
                    : coerce(Value::sheetReference(*argument.range), std::nullopt, sheets).value;
    if (holdsUncalledCell(value)) {
        notPassed = NotPassed{Value::error(uncalledCellError),
                              "argument " + std::to_string(position) + " holds a cell xllhost could not compute"};
        return nullptr;
    }
    std::unique_ptr<TypedArgument> made;
    switch (family) {
        case Family::Record:
            made.reset(new TypedArgument(code, value));
            try {
                if (code.letter == 'Q' || code.letter == 'U')
                    made->record12_ = std::make_unique<Argument12>(value);
                else
                    made->record4_ = std::make_unique<Argument4>(value);
            } catch (const std::exception& tooLarge) {  // a value the layout cannot carry
                notPassed = NotPassed{Value::error(uncalledCellError),
                                      "argument " + std::to_string(position) + " cannot be passed: " + tooLarge.what()};
                return nullptr;
            }
            return made;
        case Family::FloatingPointArray:
        case Family::ThreeArgumentArray: {
            const auto numbers = numbersOf(value, sheets, notPassed);
            if (!numbers) return nullptr;
            const std::int64_t maxRows = code.percent ? 1048576 : 65535;
            if (numbers->rows() > maxRows) {
                notPassed.shown = Value::error(xlerrValue);
                return nullptr;
            }
            made.reset(new TypedArgument(code, *numbers));
            if (family == Family::FloatingPointArray) {
                made->bytes_ = code.percent ? floatingPointBlock<FloatingPointArray12>(*numbers)
                                            : floatingPointBlock<FloatingPointArray4>(*numbers);
            } else {
                for (const Value& element : numbers->elements()) made->elements_.push_back(element.number());
                made->rows_ = numbers->rows();
                made->columns_ = numbers->columns();
                made->rows16_ = static_cast<std::uint16_t>(numbers->rows());
                made->columns16_ = static_cast<std::uint16_t>(numbers->columns());
            }
            return made;
        }
        case Family::Text: {
            const auto text = scalarOf(value, xltypeStr, sheets, notPassed);
            if (!text) return nullptr;
            // Byte texts are the Excel 4 kind: units above 0xFF become '?', and Excel cuts them at 255.
            const Value passed = code.percent ? *text : Value::text(text->narrowText().substr(0, maxByteUnits));
            made.reset(new TypedArgument(code, passed));
            made->bytes_ = code.percent ? textBlock<XCHAR>(passed.text(), isCounted(code), maxWideUnits)
                                        : textBlock<char>(passed.text(), isCounted(code), maxByteUnits);
            return made;
        }
        case Family::Boolean: {
            const auto flag = scalarOf(value, xltypeBool, sheets, notPassed);
            if (!flag) return nullptr;
            made.reset(new TypedArgument(code, *flag));
            made->scalar_ = nativeInt16(flag->boolean() ? 1 : 0);  // any non-zero value passes as 1
            return made;
        }
        case Family::Double: {
            const auto number = scalarOf(value, xltypeNum, sheets, notPassed);
            if (!number) return nullptr;
            made.reset(new TypedArgument(code, *number));
            made->scalar_ = nativeNumber(number->number());
            return made;
        }
        case Family::UInt16:
        case Family::Int16:
        case Family::Int32: {
            const auto number = scalarOf(value, xltypeNum, sheets, notPassed);
            if (!number) return nullptr;
            const std::int64_t lowest = family == Family::UInt16 ? 0 : family == Family::Int16 ? INT16_MIN : INT32_MIN;
            const std::int64_t highest = family == Family::UInt16  ? UINT16_MAX
                                         : family == Family::Int16 ? INT16_MAX
                                                                   : INT32_MAX;
            const auto integer = integerOf(number->number(), lowest, highest, notPassed);
            if (!integer) return nullptr;
            made.reset(new TypedArgument(code, Value::number(double(*integer))));
            made->scalar_ = family == Family::UInt16  ? nativeUInt16(std::uint16_t(*integer))
                            : family == Family::Int16 ? nativeInt16(std::int16_t(*integer))
                                                      : nativeInt32(std::int32_t(*integer));
            return made;
        }
        case Family::Unknown:
            break;
    }
    notPassed =
        NotPassed{Value::error(uncalledCellError), "xllhost cannot pass an argument of type code " + code.text() +
                                                       " (argument " + std::to_string(position) + ")"};
    return nullptr;
}

void TypedArgument::appendTo(std::vector<NativeArgument>& natives) {
    const Family family = familyOf(code_);
    if (record4_) {
        natives.push_back({NativeType::Pointer, nativePointer(record4_->get())});
    } else if (record12_) {
        natives.push_back({NativeType::Pointer, nativePointer(record12_->get())});
    } else if (family == Family::ThreeArgumentArray) {
        natives.push_back({NativeType::Pointer, nativePointer(code_.percent ? static_cast<void*>(&rows_) : &rows16_)});
        natives.push_back(
            {NativeType::Pointer, nativePointer(code_.percent ? static_cast<void*>(&columns_) : &columns16_)});
        natives.push_back({NativeType::Pointer, nativePointer(elements_.data())});
    } else if (!bytes_.empty()) {
        natives.push_back({NativeType::Pointer, nativePointer(bytes_.data())});
    } else if (isScalarPointer(code_)) {
        natives.push_back({NativeType::Pointer, nativePointer(&scalar_)});
    } else {
        natives.push_back({scalarType(family), scalar_});
    }
}

std::optional<Value> TypedArgument::current(std::string& fault) const {
    const Family family = familyOf(code_);
    switch (family) {
        case Family::Record:
            return record12_ ? decode(*record12_->get()) : decode(*record4_->get());
        case Family::Text:
            return readTextOf(code_, bytes_.data(), fault);
        case Family::FloatingPointArray: {
            const std::int64_t capacity = passed_.rows() * std::int64_t(passed_.columns());
            return code_.percent ? readFloatingPointArray<FloatingPointArray12>(bytes_.data(), capacity, fault)
                                 : readFloatingPointArray<FloatingPointArray4>(bytes_.data(), capacity, fault);
        }
        case Family::ThreeArgumentArray:
            return readNumbers(code_.percent ? rows_ : rows16_, code_.percent ? columns_ : columns16_, elements_.data(),
                               std::int64_t(elements_.size()), fault);
        default:  // E, L, M, N: what the pointer passed points to now
            return readResult(code_, nativePointer(const_cast<NativeValue*>(&scalar_)), fault);
    }
}

bool TypedArgument::intact() const {
    if (record4_) return record4_->intact();
    if (record12_) return record12_->intact();
    return true;
}

NativeType resultType(const TypeText& typeText) {
    if (typeText.inPlaceArgument != 0 || typeText.result.letter == '>') return NativeType::Void;
    return isScalarPointer(typeText.result) ? NativeType::Pointer : scalarType(familyOf(typeText.result));
}

std::optional<Value> readResult(const TypeCode& code, NativeValue returned, std::string& fault) {
    const Family family = familyOf(code);
    const bool byPointer = isScalarPointer(code) || scalarType(family) == NativeType::Pointer;
    if (byPointer && returned.pointer == nullptr) return Value::error(xlerrNum);
    // The scalar itself, or what E, L, M and N point to.
    const NativeValue scalar = isScalarPointer(code) ? loadScalar(family, returned.pointer) : returned;
    switch (family) {
        case Family::Boolean:
            return Value::boolean(scalar.int16 != 0);
        case Family::Double:
            return Value::number(scalar.number);
        case Family::UInt16:
            return Value::number(scalar.uint16);
        case Family::Int16:
            return Value::number(scalar.int16);
        case Family::Int32:
            return Value::number(scalar.int32);
        case Family::Text:
            return readTextOf(code, returned.pointer, fault);
        case Family::FloatingPointArray:
            return code.percent ? readFloatingPointArray<FloatingPointArray12>(returned.pointer, std::nullopt, fault)
                                : readFloatingPointArray<FloatingPointArray4>(returned.pointer, std::nullopt, fault);
        default:
            fault = "returned a result of type code " + code.text() + ", which xllhost does not read";
            return std::nullopt;
    }
}

}  // namespace xlhost
