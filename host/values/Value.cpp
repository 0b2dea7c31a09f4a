#include "Value.h"

#include "XlCall.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <iomanip>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace xlhost {

bool operator==(const Area& a, const Area& b) {
    return a.firstRow == b.firstRow && a.lastRow == b.lastRow && a.firstColumn == b.firstColumn &&
           a.lastColumn == b.lastColumn;
}

Value Value::number(double number) {
    Value v(Kind::Number);
    v.number_ = number;
    return v;
}

Value::Value(Kind kind, Payload payload) : kind_(kind), payload_(std::make_shared<const Payload>(std::move(payload))) {}

const Value::Payload& Value::noPayload() {
    static const Payload none;
    return none;
}

Value Value::text(std::u16string units) {
    Payload payload;
    payload.text = std::move(units);
    return Value(Kind::Text, std::move(payload));
}

Value Value::text(std::string_view bytes) {
    std::u16string units;
    units.reserve(bytes.size());
    for (char c : bytes) units.push_back(static_cast<unsigned char>(c));
    return text(std::move(units));
}

Value Value::boolean(bool value) {
    Value v(Kind::Boolean);
    v.integer_ = value ? 1 : 0;
    return v;
}

Value Value::error(int code) {
    Value v(Kind::Error);
    v.integer_ = code;
    return v;
}

Value Value::integer(std::int32_t value) {
    Value v(Kind::Integer);
    v.integer_ = value;
    return v;
}

Value Value::missing() {
    return Value(Kind::Missing);
}
Value Value::nil() {
    return Value(Kind::Nil);
}
Value Value::bigData() {
    return Value(Kind::BigData);
}

Value Value::handle(std::uintptr_t handle) {
    Payload payload;
    payload.isHandle = true;
    payload.handle = handle;
    return Value(Kind::BigData, std::move(payload));
}
Value Value::flow() {
    return Value(Kind::Flow);
}

Value Value::array(std::int32_t rows, std::int32_t columns, std::vector<Value> elements) {
    if (rows < 0 || columns < 0 || std::int64_t(rows) * columns != std::int64_t(elements.size()))
        throw std::invalid_argument("array: the element count must be rows x columns");
    Payload payload;
    payload.rows = rows;
    payload.columns = columns;
    payload.elements = std::move(elements);
    return Value(Kind::Array, std::move(payload));
}

Value Value::reference(SheetId sheet, std::vector<Area> areas) {
    Payload payload;
    payload.sheet = sheet;
    payload.areas = std::move(areas);
    return Value(Kind::Reference, std::move(payload));
}

Value Value::reference(SheetId sheet, const Area& area) {
    return reference(sheet, std::vector<Area>{area});
}

Value Value::sheetReference(const Area& area) {
    Payload payload;
    payload.sheetLocal = true;
    payload.areas = {area};
    return Value(Kind::Reference, std::move(payload));
}

Value Value::invalid(std::uint32_t typeWord, std::string problem) {
    Payload payload;
    payload.typeWord = typeWord;
    payload.problem = std::move(problem);
    return Value(Kind::Invalid, std::move(payload));
}

std::string Value::narrowText() const {
    std::string bytes(text().size(), '?');
    std::transform(text().begin(), text().end(), bytes.begin(),
                   [](char16_t unit) { return unit <= 0xFF ? static_cast<char>(unit) : '?'; });
    return bytes;
}

const Value& Value::element(std::int32_t row, std::int32_t column) const {
    if (kind_ != Kind::Array || row < 0 || column < 0 || row >= rows() || column >= columns())
        throw std::out_of_range("element outside the array");
    return elements()[std::size_t(row) * std::size_t(columns()) + std::size_t(column)];
}

std::optional<double> Value::numeric() const {
    if (kind_ == Kind::Number) return number_;
    if (kind_ == Kind::Integer) return double(integer_);
    return std::nullopt;
}

const Value* Value::firstInvalid() const {
    if (kind_ == Kind::Invalid) return this;
    for (const Value& element : elements())
        if (const Value* found = element.firstInvalid()) return found;
    return nullptr;
}

bool operator==(const Value& a, const Value& b) {
    if (a.kind_ != b.kind_) return false;
    switch (a.kind_) {
        case Kind::Number:
            return a.number_ == b.number_ || (std::isnan(a.number_) && std::isnan(b.number_));
        case Kind::Text:
            return a.text() == b.text();
        case Kind::Boolean:
        case Kind::Error:
        case Kind::Integer:
            return a.integer_ == b.integer_;
        case Kind::Array:
            return a.rows() == b.rows() && a.columns() == b.columns() && a.elements() == b.elements();
        case Kind::Reference:
            return a.isSheetReference() == b.isSheetReference() && a.sheet() == b.sheet() && a.areas() == b.areas();
        case Kind::Invalid:
            return a.typeWord() == b.typeWord() && a.problem() == b.problem();
        case Kind::BigData:
            return a.isHandle() == b.isHandle() && a.handleValue() == b.handleValue();
        case Kind::Missing:
        case Kind::Nil:
        case Kind::Flow:
            return true;
    }
    return false;
}

namespace {

void printText(std::ostream& out, const std::u16string& units) {
    out << '"';
    for (char16_t unit : units) {
        if (unit == u'"' || unit == u'\\')
            out << '\\' << static_cast<char>(unit);
        else if (unit >= 0x20 && unit < 0x7F)
            out << static_cast<char>(unit);
        else
            out << "\\u" << std::hex << std::setw(4) << std::setfill('0') << unsigned(unit) << std::dec
                << std::setfill(' ');
    }
    out << '"';
}

}  // namespace

std::ostream& operator<<(std::ostream& out, const Area& area) {
    out << 'R' << std::int64_t(area.firstRow) + 1 << 'C' << std::int64_t(area.firstColumn) + 1;
    if (area.lastRow != area.firstRow || area.lastColumn != area.firstColumn)
        out << ":R" << std::int64_t(area.lastRow) + 1 << 'C' << std::int64_t(area.lastColumn) + 1;
    return out;
}

std::ostream& operator<<(std::ostream& out, const Value& value) {
    switch (value.kind()) {
        case Kind::Number: {
            // The short form where it reads back as the same double, all digits where it does not.
            std::ostringstream number;
            number << std::setprecision(15) << value.number();
            std::istringstream readBack(number.str());
            double shortForm = 0.0;
            readBack >> shortForm;
            if (shortForm != value.number() && std::isfinite(value.number())) {
                number.str(std::string());
                number << std::setprecision(17) << value.number();
            }
            return out << number.str();
        }
        case Kind::Text:
            printText(out, value.text());
            return out;
        case Kind::Boolean:
            return out << (value.boolean() ? "TRUE" : "FALSE");
        case Kind::Error:
            return out << errorName(value.error());
        case Kind::Integer:
            return out << "int " << value.integer();
        case Kind::Missing:
            return out << "<missing>";
        case Kind::Nil:
            return out << "<nil>";
        case Kind::BigData:
            if (value.isHandle())
                return out << "<bigdata handle 0x" << std::hex << value.handleValue() << std::dec << '>';
            return out << "<bigdata>";
        case Kind::Flow:
            return out << "<flow>";
        case Kind::Array:
            out << '{';
            for (std::int32_t r = 0; r < value.rows(); ++r) {
                if (r > 0) out << "; ";
                for (std::int32_t c = 0; c < value.columns(); ++c) out << (c > 0 ? ", " : "") << value.element(r, c);
            }
            return out << '}';
        case Kind::Reference:
            if (value.isSheetReference()) return out << "SRef(" << value.areas().front() << ')';
            out << "Ref(sheet 0x" << std::hex << value.sheet() << std::dec << ':';
            for (const Area& area : value.areas()) out << ' ' << area;
            return out << ')';
        case Kind::Invalid:
            return out << "<invalid type 0x" << std::hex << value.typeWord() << std::dec << ": " << value.problem()
                       << '>';
    }
    return out;
}

std::string describe(const Value& value) {
    std::ostringstream text;
    text << value;
    return text.str();
}

const char* kindName(Kind kind) {
    switch (kind) {
        case Kind::Number:
            return "number";
        case Kind::Text:
            return "text";
        case Kind::Boolean:
            return "boolean";
        case Kind::Error:
            return "error";
        case Kind::Integer:
            return "integer";
        case Kind::Missing:
            return "missing";
        case Kind::Nil:
            return "nil";
        case Kind::Array:
            return "array";
        case Kind::Reference:
            return "reference";
        case Kind::BigData:
            return "bigdata";
        case Kind::Flow:
            return "flow";
        case Kind::Invalid:
            return "invalid";
    }
    return "?";
}

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string errorName(int code) {
    switch (code) {
        case xlerrNull:
            return "#NULL!";
        case xlerrDiv0:
            return "#DIV/0!";
        case xlerrValue:
            return "#VALUE!";
        case xlerrRef:
            return "#REF!";
        case xlerrName:
            return "#NAME?";
        case xlerrNum:
            return "#NUM!";
        case xlerrNA:
            return "#N/A";
        case xlerrGettingData:
            return "#GETTING_DATA";
        case uncalledCellError:
            return "#XLLHOST!";
        default:
            return "#ERR" + std::to_string(code);
    }
}

bool isExcelErrorCode(int code) {
    return code != uncalledCellError && errorName(code).compare(0, 4, "#ERR") != 0;
}

std::string functionName(int function) {
    switch (function) {
        case xlFree:
            return "xlFree";
        case xlCoerce:
            return "xlCoerce";
        case xlGetHwnd:
            return "xlGetHwnd";
        case xlGetName:
            return "xlGetName";
        case xlfRegister:
            return "xlfRegister";
        case xlfGetWorkspace:
            return "xlfGetWorkspace";
        case xlfUnregister:
            return "xlfUnregister";
        case xlcMessage:
            return "xlcMessage";
        case xlStack:
            return "xlStack";
        case xlSet:
            return "xlSet";
        case xlSheetId:
            return "xlSheetId";
        case xlSheetNm:
            return "xlSheetNm";
        case xlAbort:
            return "xlAbort";
        case xlGetInst:
            return "xlGetInst";
        case xlEnableXLMsgs:
            return "xlEnableXLMsgs";
        case xlDisableXLMsgs:
            return "xlDisableXLMsgs";
        case xlGetFmlaInfo:
            return "xlGetFmlaInfo";
        case xlGetInstPtr:
            return "xlGetInstPtr";
        case xlAsyncReturn:
            return "xlAsyncReturn";
        case xlUDF:
            return "xlUDF";
        case xlfSetName:
            return "xlfSetName";
        case xlfCaller:
            return "xlfCaller";
        case xlfAddMenu:
            return "xlfAddMenu";
        case xlfDeleteMenu:
            return "xlfDeleteMenu";
        case xlfGetBar:
            return "xlfGetBar";
        case xlfGetDocument:
            return "xlfGetDocument";
        case xlfAddToolbar:
            return "xlfAddToolbar";
        case xlfDeleteToolbar:
            return "xlfDeleteToolbar";
        case xlfEvaluate:
            return "xlfEvaluate";
        case xlfGetToolbar:
            return "xlfGetToolbar";
        case xlcAlert:
            return "xlcAlert";
        default:
            return "function " + std::to_string(function);
    }
}

}  // namespace xlhost
