#include "RecordCodec.h"

#include <sstream>

namespace xlhost {

const char* layoutName(Layout layout) {
    return layout == Layout::Excel4 ? "XLOPER" : "XLOPER12";
}

namespace {

std::string hex(std::uint64_t number) {
    std::ostringstream text;
    text << "0x" << std::hex << number;
    return text.str();
}

// Excel reads integer elements too, as numbers: Microsoft's own xlAutoFree example returns them.
bool allowedInArray(Kind kind) {
    return kind == Kind::Number || kind == Kind::Text || kind == Kind::Boolean || kind == Kind::Error ||
           kind == Kind::Integer || kind == Kind::Nil;
}

template <class L>
bool areaFits(const Area& area) {
    return area.firstRow >= 0 && area.firstRow <= area.lastRow && area.lastRow < L::sheetRows &&
           area.firstColumn >= 0 && area.firstColumn <= area.lastColumn && area.lastColumn < L::sheetColumns;
}

template <class L>
Area readArea(const typename L::AreaRecord& record) {
    return Area{std::int32_t(record.rwFirst), std::int32_t(record.rwLast), std::int32_t(record.colFirst),
                std::int32_t(record.colLast)};
}

template <class L>
void writeArea(const Area& area, typename L::AreaRecord& record) {
    using AreaRecord = typename L::AreaRecord;
    record.rwFirst = static_cast<decltype(AreaRecord::rwFirst)>(area.firstRow);
    record.rwLast = static_cast<decltype(AreaRecord::rwLast)>(area.lastRow);
    record.colFirst = static_cast<decltype(AreaRecord::colFirst)>(area.firstColumn);
    record.colLast = static_cast<decltype(AreaRecord::colLast)>(area.lastColumn);
}

template <class L>
std::size_t referenceListSize(std::size_t areas) {
    return offsetof(typename L::MultiRef, reftbl) + areas * sizeof(typename L::AreaRecord);
}

}  // namespace

template <class L>
Value RecordCodec<L>::decode(const Record& record) {
    const std::uint32_t word = record.xltype;
    switch (word & ~(xlbitXLFree | xlbitDLLFree)) {
        case xltypeNum:
            return Value::number(record.val.num);
        case xltypeStr: {
            if (record.val.str == nullptr) return Value::invalid(word, "text with a null body");
            const auto* body = reinterpret_cast<const typename L::Unit*>(record.val.str);
            const std::size_t count = L::fromUnit(body[0]);
            if (count > L::maxTextUnits) return Value::invalid(word, "text count " + std::to_string(count));
            std::u16string units;
            units.reserve(count);
            for (std::size_t i = 1; i <= count; ++i) units.push_back(L::fromUnit(body[i]));
            return Value::text(std::move(units));
        }
        case xltypeBool:
            return Value::boolean(record.val.xbool != 0);
        case xltypeErr: {
            const int code = static_cast<int>(std::uint32_t(record.val.err) & L::errorMask);
            if (!isExcelErrorCode(code)) return Value::invalid(word, "error code " + std::to_string(code));
            return Value::error(code);
        }
        case xltypeInt:
            return Value::integer(record.val.w);
        case xltypeMissing:
            return Value::missing();
        case xltypeNil:
            return Value::nil();
        case xltypeBigData:
            // A count of zero marks a handle, as Excel gives its instance; bytes are not read.
            if (record.val.bigdata.cbData == 0)
                return Value::handle(reinterpret_cast<std::uintptr_t>(record.val.bigdata.h.hdata));
            return Value::bigData();
        case xltypeFlow:
            return Value::flow();
        case xltypeMulti: {
            const std::int64_t rows = record.val.array.rows;
            const std::int64_t columns = record.val.array.columns;
            if (record.val.array.lparray == nullptr) return Value::invalid(word, "array with a null element pointer");
            if (rows < 1 || columns < 1 || rows > L::maxArrayRows || columns > L::sheetColumns)
                return Value::invalid(word, "array of " + std::to_string(rows) + " x " + std::to_string(columns));
            std::vector<Value> elements;
            elements.reserve(std::size_t(rows * columns));
            for (std::int64_t i = 0; i < rows * columns; ++i)
                elements.push_back(decodeElement(record.val.array.lparray[i]));
            return Value::array(std::int32_t(rows), std::int32_t(columns), std::move(elements));
        }
        case xltypeRef: {
            const auto* list = record.val.mref.lpmref;
            // A null list names the sheet alone: what xlSheetId gives and xlSheetNm takes.
            if (list == nullptr) return Value::reference(record.val.mref.idSheet, std::vector<Area>());
            if (list->count == 0) return Value::invalid(word, "reference with no area");
            std::vector<Area> areas;
            for (std::size_t i = 0; i < list->count; ++i) {
                areas.push_back(readArea<L>(list->reftbl[i]));
                if (!areaFits<L>(areas.back())) return Value::invalid(word, "reference area out of the sheet");
            }
            return Value::reference(record.val.mref.idSheet, std::move(areas));
        }
        case xltypeSRef: {
            if (record.val.sref.count != 1)
                return Value::invalid(word, "sheet reference of " + std::to_string(record.val.sref.count) + " areas");
            const Area area = readArea<L>(record.val.sref.ref);
            if (!areaFits<L>(area)) return Value::invalid(word, "sheet reference area out of the sheet");
            return Value::sheetReference(area);
        }
        default:
            return Value::invalid(word, "unknown type word " + hex(word));
    }
}

template <class L>
Value RecordCodec<L>::decodeElement(const Record& record) {
    Value element = decode(record);
    if (element.kind() == Kind::Invalid || allowedInArray(element.kind())) return element;
    // A row of asynchronous calls' handles, as xlAsyncReturn takes several results at once.
    if (element.kind() == Kind::BigData && element.isHandle()) return element;
    return Value::invalid(record.xltype, std::string("array element of kind ") + kindName(element.kind()));
}

template <class L>
std::optional<std::size_t> RecordCodec<L>::blockSize(const Value& value, std::string* problem) {
    auto refuse = [problem](std::string why) -> std::optional<std::size_t> {
        if (problem != nullptr) *problem = std::move(why);
        return std::nullopt;
    };
    switch (value.kind()) {
        case Kind::Number:
        case Kind::Boolean:
        case Kind::Missing:
        case Kind::Nil:
            return 0;
        case Kind::Error:
            if (!isExcelErrorCode(value.error())) return refuse("no such error code");
            return 0;
        case Kind::Integer:
            if (value.integer() < L::minInteger || value.integer() > L::maxInteger)
                return refuse("integer out of the layout's range");
            return 0;
        case Kind::Text:
            if (value.text().size() > L::maxTextUnits) return refuse("text too long for the layout");
            return (value.text().size() + 1) * sizeof(typename L::Unit);
        case Kind::Array: {
            if (value.rows() < 1 || value.columns() < 1 || value.rows() > L::maxArrayRows ||
                value.columns() > L::sheetColumns)
                return refuse("array shape outside the layout's range");
            std::size_t bytes = value.elements().size() * sizeof(Record);
            for (const Value& element : value.elements()) {
                const auto elementBytes = elementBlockSize(element, problem);
                if (!elementBytes) return std::nullopt;
                bytes += *elementBytes;
            }
            return bytes;
        }
        case Kind::Reference: {
            if (value.areas().empty() && !value.isSheetReference()) {
                if (value.sheet() > L::maxSheetId) return refuse("sheet id too wide for the layout");
                return 0;  // the sheet alone: a null area list
            }
            if (value.areas().empty() || value.areas().size() > UINT16_MAX) return refuse("reference area count");
            for (const Area& area : value.areas())
                if (!areaFits<L>(area)) return refuse("reference area outside the layout's sheet");
            if (value.isSheetReference())
                return value.areas().size() == 1 ? std::optional<std::size_t>(0)
                                                 : refuse("sheet reference of several areas");
            if (value.sheet() > L::maxSheetId) return refuse("sheet id too wide for the layout");
            return referenceListSize<L>(value.areas().size());
        }
        case Kind::BigData:
            if (value.isHandle()) return 0;
            break;
        case Kind::Flow:
        case Kind::Invalid:
            break;
    }
    return refuse(std::string("a ") + kindName(value.kind()) + " value cannot be built");
}

template <class L>
std::optional<std::size_t> RecordCodec<L>::elementBlockSize(const Value& element, std::string* problem) {
    // Missing values may be built into arrays, so that tests can hand the add-in arrays that Excel
    // itself would not make; nested arrays and references cannot be laid out.
    const Kind kind = element.kind();
    const bool handle = kind == Kind::BigData && element.isHandle();  // as decodeElement reads them
    if (!allowedInArray(kind) && kind != Kind::Missing && !handle) {
        if (problem != nullptr) *problem = std::string("an array cannot hold a ") + kindName(kind);
        return std::nullopt;
    }
    return blockSize(element, problem);
}

template <class L>
void RecordCodec<L>::encode(const Value& value, Record& record, unsigned char* block) {
    // Cleared first: a field narrower than the add-in reads it (the Excel 4 sheet id, pointer-wide
    // in Excel's own layout) must not show what the record held before.
    record = Record{};
    write(value, record, block);
}

template <class L>
unsigned char* RecordCodec<L>::write(const Value& value, Record& record, unsigned char* cursor) {
    using TypeWord = decltype(Record::xltype);
    switch (value.kind()) {
        case Kind::Number:
            record.val.num = value.number();
            record.xltype = TypeWord(xltypeNum);
            break;
        case Kind::Text: {
            auto* body = reinterpret_cast<typename L::Unit*>(cursor);
            body[0] = static_cast<typename L::Unit>(value.text().size());
            for (std::size_t i = 0; i < value.text().size(); ++i) body[i + 1] = L::toUnit(value.text()[i]);
            record.val.str = body;
            record.xltype = TypeWord(xltypeStr);
            cursor += (value.text().size() + 1) * sizeof(typename L::Unit);
            break;
        }
        case Kind::Boolean:
            record.val.xbool = value.boolean() ? 1 : 0;
            record.xltype = TypeWord(xltypeBool);
            break;
        case Kind::Error:
            record.val.err = static_cast<decltype(record.val.err)>(value.error());
            record.xltype = TypeWord(xltypeErr);
            break;
        case Kind::Integer:
            record.val.w = static_cast<decltype(record.val.w)>(value.integer());
            record.xltype = TypeWord(xltypeInt);
            break;
        case Kind::Missing:
            record.xltype = TypeWord(xltypeMissing);
            break;
        case Kind::Nil:
            record.xltype = TypeWord(xltypeNil);
            break;
        case Kind::Array: {
            auto* elements = reinterpret_cast<Record*>(cursor);
            cursor += value.elements().size() * sizeof(Record);
            for (std::size_t i = 0; i < value.elements().size(); ++i) {
                elements[i] = Record{};
                cursor = write(value.elements()[i], elements[i], cursor);
            }
            record.val.array.lparray = elements;
            record.val.array.rows = static_cast<decltype(record.val.array.rows)>(value.rows());
            record.val.array.columns = static_cast<decltype(record.val.array.columns)>(value.columns());
            record.xltype = TypeWord(xltypeMulti);
            break;
        }
        case Kind::Reference:
            if (value.isSheetReference()) {
                record.val.sref.count = 1;
                writeArea<L>(value.areas().front(), record.val.sref.ref);
                record.xltype = TypeWord(xltypeSRef);
            } else if (value.areas().empty()) {
                record.val.mref.lpmref = nullptr;
                record.val.mref.idSheet = static_cast<decltype(record.val.mref.idSheet)>(value.sheet());
                record.xltype = TypeWord(xltypeRef);
            } else {
                auto* list = reinterpret_cast<typename L::MultiRef*>(cursor);
                list->count = static_cast<std::uint16_t>(value.areas().size());
                for (std::size_t i = 0; i < value.areas().size(); ++i) writeArea<L>(value.areas()[i], list->reftbl[i]);
                record.val.mref.lpmref = list;
                record.val.mref.idSheet = static_cast<decltype(record.val.mref.idSheet)>(value.sheet());
                record.xltype = TypeWord(xltypeRef);
                cursor += referenceListSize<L>(value.areas().size());
            }
            break;
        case Kind::BigData:
            if (value.isHandle()) {
                record.val.bigdata.h.hdata = reinterpret_cast<void*>(value.handleValue());
                record.val.bigdata.cbData = 0;
                record.xltype = TypeWord(xltypeBigData);
            }
            break;
        case Kind::Flow:
        case Kind::Invalid:
            break;  // blockSize() refuses these; nothing is written
    }
    return cursor;
}

template <class L>
const void* RecordCodec<L>::ownedPointer(const Record& record) {
    switch (record.xltype & ~(xlbitXLFree | xlbitDLLFree)) {
        case xltypeStr:
            return record.val.str;
        case xltypeMulti:
            return record.val.array.lparray;
        case xltypeRef:
            return record.val.mref.lpmref;
        default:
            return nullptr;
    }
}

template class RecordCodec<Layout4>;
template class RecordCodec<Layout12>;

}  // namespace xlhost
