#ifndef HOST_VALUE_H
#define HOST_VALUE_H

// A cell value as the stand-in Excel thinks of it, independent of the record layout it travels in:
// what argument records are built from, what result records decode to, what the call log keeps.

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace xlhost {

enum class Kind { Number, Text, Boolean, Error, Integer, Missing, Nil, Array, Reference, BigData, Flow, Invalid };

// One rectangular area of a reference: 0-based rows and columns, both ends inclusive, as in XLREF.
struct Area {
    std::int32_t firstRow = 0;
    std::int32_t lastRow = 0;
    std::int32_t firstColumn = 0;
    std::int32_t lastColumn = 0;

    std::int64_t rows() const { return std::int64_t(lastRow) - firstRow + 1; }
    std::int64_t columns() const { return std::int64_t(lastColumn) - firstColumn + 1; }
};
bool operator==(const Area& a, const Area& b);
inline bool operator!=(const Area& a, const Area& b) {
    return !(a == b);
}

using SheetId = std::uint64_t;

class Value {
public:
    static Value number(double number);
    static Value text(std::u16string units);
    // Narrow text, one byte per unit (Latin-1), as the stand-in reads Excel 4 bytes.
    static Value text(std::string_view bytes);
    static Value boolean(bool value);
    static Value error(int code);
    static Value integer(std::int32_t value);
    static Value missing();
    static Value nil();
    // Elements row after row; their count must be rows × columns.
    static Value array(std::int32_t rows, std::int32_t columns, std::vector<Value> elements);
    // No areas: the sheet alone, as xlSheetId gives it (a record whose area list is null).
    static Value reference(SheetId sheet, std::vector<Area> areas);
    static Value reference(SheetId sheet, const Area& area);
    // A one-area reference on the active sheet (xltypeSRef).
    static Value sheetReference(const Area& area);
    static Value bigData();
    // A handle in a bigdata record (val.bigdata.h.hdata), as xlGetInstPtr gives Excel's instance.
    static Value handle(std::uintptr_t handle);
    static Value flow();
    // A record that breaks the layout's rules: the raw type word and what is wrong with it.
    static Value invalid(std::uint32_t typeWord, std::string problem);

    Kind kind() const { return kind_; }
    double number() const { return number_; }
    const std::u16string& text() const { return payload().text; }
    // The text with every unit above 0xFF replaced by '?', as Excel 4 would see it.
    std::string narrowText() const;
    bool boolean() const { return integer_ != 0; }
    int error() const { return static_cast<int>(integer_); }
    std::int32_t integer() const { return integer_; }
    std::int32_t rows() const { return payload().rows; }
    std::int32_t columns() const { return payload().columns; }
    const std::vector<Value>& elements() const { return payload().elements; }
    const Value& element(std::int32_t row, std::int32_t column) const;
    SheetId sheet() const { return payload().sheet; }
    bool isSheetReference() const { return payload().sheetLocal; }
    const std::vector<Area>& areas() const { return payload().areas; }
    // For a bigdata value made by handle(): whether it holds one, and which.
    bool isHandle() const { return payload().isHandle; }
    std::uintptr_t handleValue() const { return payload().handle; }
    std::uint32_t typeWord() const { return payload().typeWord; }
    const std::string& problem() const { return payload().problem; }

    // The number a number or an integer holds; nothing for any other kind.
    std::optional<double> numeric() const;

    // The first invalid part of this value (itself or an element), or null when there is none.
    const Value* firstInvalid() const;

    friend bool operator==(const Value& a, const Value& b);
    friend bool operator!=(const Value& a, const Value& b) { return !(a == b); }

private:
    // What texts, arrays, references and invalid records carry besides their kind. A value never
    // changes once made, so copies share it; numbers, booleans, errors and integers, the bulk of
    // a sheet, carry none and copy as a few words.
    struct Payload {
        std::u16string text;
        std::int32_t rows = 0;
        std::int32_t columns = 0;
        std::vector<Value> elements;
        SheetId sheet = 0;
        bool sheetLocal = false;
        std::vector<Area> areas;
        bool isHandle = false;
        std::uintptr_t handle = 0;
        std::uint32_t typeWord = 0;
        std::string problem;
    };

    explicit Value(Kind kind) : kind_(kind) {}
    Value(Kind kind, Payload payload);
    const Payload& payload() const { return payload_ ? *payload_ : noPayload(); }
    static const Payload& noPayload();

    Kind kind_;
    std::int32_t integer_ = 0;  // boolean, error code or integer
    double number_ = 0.0;
    std::shared_ptr<const Payload> payload_;
};

// No Excel error: what the cell of a formula shows when xllhost could not call its function or
// show its result (#XLLHOST!). Records never carry it; a formula that reads such a cell is not called.
constexpr int uncalledCellError = -1;

// Readable forms for failure messages and the host's reports: 2.5, "abc", TRUE, #N/A, int 12,
// {1, 2; 3, 4}, Ref(sheet 0x...: R1C1:R2C2), <missing>, <nil>, <invalid type 0x...: why>.
std::ostream& operator<<(std::ostream& out, const Value& value);
std::ostream& operator<<(std::ostream& out, const Area& area);
std::string describe(const Value& value);
const char* kindName(Kind kind);
// Whether two texts are the same but for the case of their ASCII letters, as Excel compares names.
bool sameIgnoringCase(std::string_view a, std::string_view b);
// "#N/A" for xlerrNA and so on; "#ERR<code>" for a code Excel does not have.
std::string errorName(int code);
bool isExcelErrorCode(int code);
// "xlCoerce", "xlfRegister", ...; the number for a function the stand-in does not know.
std::string functionName(int function);

}  // namespace xlhost

#endif
