#ifndef HOST_RECORDCODEC_H
#define HOST_RECORDCODEC_H

// Between Values and Excel's records, in either layout. A value that needs memory beyond its record
// (text body, array elements and their texts, reference list) is laid out in one block, so that
// one pointer, the one the record holds, owns all of it: that is the pointer xlFree gets back.

#include "Value.h"
#include "XlCall.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace xlhost {

enum class Layout { Excel4, Excel12 };
const char* layoutName(Layout layout);

// What differs between the two layouts; everything else is written once in RecordCodec.
struct Layout4 {
    using Record = XLOPER;
    using Unit = char;
    using MultiRef = XLMREF;
    using AreaRecord = XLREF;
    static constexpr Layout layout = Layout::Excel4;
    static constexpr std::size_t maxTextUnits = 255;
    static constexpr std::int64_t sheetRows = 65536;
    static constexpr std::int64_t sheetColumns = 256;
    static constexpr std::int64_t maxArrayRows = 65535;  // a 16-bit count
    static constexpr std::int64_t minInteger = INT16_MIN;
    static constexpr std::int64_t maxInteger = INT16_MAX;
    static constexpr std::uint64_t maxSheetId = UINT32_MAX;
    static constexpr std::uint32_t errorMask = 0xFFFF;
    // Excel 4 texts are bytes of the ANSI code page; the stand-in takes that to be Latin-1.
    static Unit toUnit(char16_t unit) { return unit <= 0xFF ? static_cast<char>(unit) : '?'; }
    static char16_t fromUnit(Unit unit) { return static_cast<unsigned char>(unit); }
};

struct Layout12 {
    using Record = XLOPER12;
    using Unit = XCHAR;
    using MultiRef = XLMREF12;
    using AreaRecord = XLREF12;
    static constexpr Layout layout = Layout::Excel12;
    static constexpr std::size_t maxTextUnits = 32767;
    static constexpr std::int64_t sheetRows = 1048576;
    static constexpr std::int64_t sheetColumns = 16384;
    static constexpr std::int64_t maxArrayRows = 1048576;
    static constexpr std::int64_t minInteger = INT32_MIN;
    static constexpr std::int64_t maxInteger = INT32_MAX;
    static constexpr std::uint64_t maxSheetId = UINTPTR_MAX;
    static constexpr std::uint32_t errorMask = 0xFFFFFFFFu;
    static Unit toUnit(char16_t unit) { return static_cast<XCHAR>(unit); }
    static char16_t fromUnit(Unit unit) { return static_cast<char16_t>(unit); }
};

template <class L>
class RecordCodec {
public:
    using Record = typename L::Record;

    // Reads any record; what breaks the layout's rules becomes an invalid value (never a crash on
    // a null pointer). Arrays may hold numbers, texts, booleans, errors, integers and nils only.
    static Value decode(const Record& record);

    // The bytes the value needs outside its record (0 for none), or nothing when the value cannot
    // travel in this layout; then *problem says why.
    static std::optional<std::size_t> blockSize(const Value& value, std::string* problem);

    // Writes the value into the record, its memory into the block of blockSize() bytes.
    static void encode(const Value& value, Record& record, unsigned char* block);

    // The pointer that owns the record's memory (text body, element array, reference list), if any.
    static const void* ownedPointer(const Record& record);

private:
    static Value decodeElement(const Record& record);
    static std::optional<std::size_t> elementBlockSize(const Value& element, std::string* problem);
    static unsigned char* write(const Value& value, Record& record, unsigned char* cursor);
};

extern template class RecordCodec<Layout4>;
extern template class RecordCodec<Layout12>;

inline Value decode(const XLOPER& record) {
    return RecordCodec<Layout4>::decode(record);
}
inline Value decode(const XLOPER12& record) {
    return RecordCodec<Layout12>::decode(record);
}

}  // namespace xlhost

#endif
