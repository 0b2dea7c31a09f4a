#include "SheetFile.h"

#include "Formula.h"
#include "XlCall.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string_view>
#include <tuple>
#include <utility>

namespace xlhost {

namespace {

constexpr int knownErrors[] = {xlerrNull, xlerrDiv0, xlerrValue, xlerrRef, xlerrName, xlerrNum, xlerrNA};

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

bool sameIgnoringCase(std::string_view text, std::string_view word) {
    return text.size() == word.size() && std::equal(text.begin(), text.end(), word.begin(), [](char a, char b) {
               return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
           });
}

std::optional<double> numberFrom(std::string_view text) {
    if (!text.empty() && text[0] == '+') text.remove_prefix(1);
    double number = 0.0;
    const char* end = text.data() + text.size();
    const auto parsed = std::from_chars(text.data(), end, number);
    if (text.empty() || parsed.ec != std::errc() || parsed.ptr != end || !std::isfinite(number)) return std::nullopt;
    return number;
}

// An unquoted token as a value: a number, TRUE/FALSE or an error name; nothing for anything else.
std::optional<Value> scalarFrom(std::string_view token) {
    if (const auto number = numberFrom(token)) return Value::number(*number);
    if (sameIgnoringCase(token, "TRUE") || sameIgnoringCase(token, "FALSE"))
        return Value::boolean(sameIgnoringCase(token, "TRUE"));
    if (token.empty() || token[0] != '#') return std::nullopt;  // a range, mostly: no error name to try
    for (int code : knownErrors)
        if (sameIgnoringCase(token, errorName(code))) return Value::error(code);
    return std::nullopt;
}

// Walks one line, which outlives it, reporting faults with the file and line.
class LineReader {
public:
    LineReader(std::string_view text, const std::string& file, int line) : text_(text), file_(file), line_(line) {}

    [[noreturn]] void fail(const std::string& message) const { throw SheetError(file_, line_, message); }

    bool atEnd() {
        skipBlanks();
        return position_ >= text_.size();
    }
    char peek() {
        skipBlanks();
        return position_ < text_.size() ? text_[position_] : '\0';
    }
    bool take(char c) {
        if (peek() != c) return false;
        ++position_;
        return true;
    }
    // Up to (not including) the next character of `stops` or the end, trimmed.
    std::string_view tokenUntil(std::string_view stops) {
        skipBlanks();
        const std::size_t begin = position_;
        // A loop of its own: find_first_of calls memchr for each character it looks at.
        const auto isStop = [stops](char c) { return std::find(stops.begin(), stops.end(), c) != stops.end(); };
        while (position_ < text_.size() && !isStop(text_[position_])) ++position_;
        return trimmed(text_.substr(begin, position_ - begin));
    }
    std::string_view rest() {
        skipBlanks();
        const std::string_view all = trimmed(text_.substr(position_));
        position_ = text_.size();
        return all;
    }
    // A text in quotes, "" standing for one quote; the reader is at the opening quote.
    std::string quoted() {
        take('"');
        std::string text;
        while (position_ < text_.size()) {
            const char c = text_[position_++];
            if (c != '"') {
                text.push_back(c);
            } else if (position_ < text_.size() && text_[position_] == '"') {
                text.push_back('"');
                ++position_;
            } else {
                return text;
            }
        }
        fail("a text has no closing quote");
    }

private:
    void skipBlanks() {
        while (position_ < text_.size() && isBlank(text_[position_])) ++position_;
    }

    std::string_view text_;
    const std::string& file_;
    int line_;
    std::size_t position_ = 0;
};

// A value of a values line or a formula literal; nil for nothing between separators.
Value valueAt(LineReader& reader, const char* stops) {
    if (reader.peek() == '"') return Value::text(fromUtf8(reader.quoted()));
    const std::string_view token = reader.tokenUntil(stops);
    if (token.empty()) return Value::nil();
    if (auto scalar = scalarFrom(token)) return std::move(*scalar);
    reader.fail("'" + std::string(token) +
                "' is no value (texts need quotes; errors are #NULL!, #DIV/0!, #VALUE!, "
                "#REF!, #NAME?, #NUM!, #N/A; a formula starts with '=' or a function's name)");
}

// The values of a block as read, row after row, with where each row ends.
struct Rows {
    std::vector<Value> cells;
    std::vector<std::size_t> ends;

    std::size_t size(std::size_t row) const { return ends[row] - (row == 0 ? 0 : ends[row - 1]); }
    bool allBlank(std::size_t row) const {
        return std::all_of(cells.begin() + std::ptrdiff_t(ends[row] - size(row)),
                           cells.begin() + std::ptrdiff_t(ends[row]),
                           [](const Value& v) { return v.kind() == Kind::Nil; });
    }
};

Value blockOf(Rows rows, bool padShortRows, LineReader& reader) {
    std::size_t columns = 0;
    for (std::size_t r = 0; r < rows.ends.size(); ++r) columns = std::max(columns, rows.size(r));
    if (rows.cells.empty()) reader.fail("no values");
    if (rows.cells.size() != rows.ends.size() * columns) {
        std::vector<Value> padded;
        padded.reserve(rows.ends.size() * columns);
        for (std::size_t r = 0; r < rows.ends.size(); ++r) {
            if (rows.size(r) != columns && !padShortRows)
                reader.fail("row " + std::to_string(r + 1) + " has " + std::to_string(rows.size(r)) +
                            " values, row 1 has " + std::to_string(rows.size(0)));
            const auto end = rows.cells.begin() + std::ptrdiff_t(rows.ends[r]);
            padded.insert(padded.end(), end - std::ptrdiff_t(rows.size(r)), end);
            padded.resize(padded.size() + columns - rows.size(r), Value::nil());
        }
        rows.cells = std::move(padded);
    }
    return Value::array(std::int32_t(rows.ends.size()), std::int32_t(columns), std::move(rows.cells));
}

Value valuesLine(LineReader& reader) {
    Rows rows;
    for (;;) {
        rows.cells.push_back(valueAt(reader, ",;"));
        if (reader.take(';'))
            rows.ends.push_back(rows.cells.size());
        else if (!reader.take(','))
            break;
    }
    rows.ends.push_back(rows.cells.size());
    if (!reader.atEnd()) reader.fail("unexpected '" + std::string(reader.rest()) + "' after the values");
    return blockOf(std::move(rows), false, reader);
}

bool isFunctionName(std::string_view name) {
    return !name.empty() && (std::isalpha(static_cast<unsigned char>(name[0])) || name[0] == '_') &&
           std::all_of(name.begin(), name.end(),
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.'; });
}

Value csvFile(LineReader& reader, const std::string& sheetPath) {
    const std::string_view name = reader.rest();
    if (name.empty()) reader.fail("'@' names no CSV file");
    const std::filesystem::path csvPath = std::filesystem::path(sheetPath).parent_path() / std::string(name);
    std::ifstream file(csvPath, std::ios::binary);
    if (!file) reader.fail("cannot read the CSV file " + csvPath.string());
    return parseCsv(file, csvPath.string());
}

// The cells given so far, as runs along rows, each with the line that gave it.
class GivenCells {
public:
    // Adds the cells `first` to `last` of a row; a SheetError when one of them is given already.
    void add(std::int32_t row, std::int32_t first, std::int32_t last, int line, const std::string& path) {
        const auto next = runs_.upper_bound({row, first});
        std::optional<std::pair<std::int32_t, int>> clash;  // the first cell given twice, and its earlier line
        if (next != runs_.begin()) {
            const auto previous = std::prev(next);
            if (previous->first.first == row && previous->second.last >= first) clash = {first, previous->second.line};
        }
        if (!clash && next != runs_.end() && next->first.first == row && next->first.second <= last)
            clash = {next->first.second, next->second.line};
        if (clash)
            throw SheetError(
                path, line, cellName(row, clash->first) + " is already given on line " + std::to_string(clash->second));
        runs_.emplace_hint(next, std::make_pair(row, first), Run{last, line});
    }

private:
    struct Run {
        std::int32_t last;
        int line;
    };
    std::map<std::pair<std::int32_t, std::int32_t>, Run> runs_;  // by row and first column
};

// Every cell given once, and no formula reading its own cell or the cell of a formula below it.
void checkCells(const SheetFile& sheet) {
    GivenCells given;
    for (const SheetEntry& entry : sheet.entries) {
        if (entry.isCommand) continue;
        const Area& target = entry.target;
        if (entry.isFormula) {
            given.add(target.firstRow, target.firstColumn, target.firstColumn, entry.line, sheet.path);
            continue;
        }
        // A block's blank cells are not given: runs of the others.
        const std::int32_t columns = entry.values.columns();
        for (std::int32_t r = 0; r < entry.values.rows(); ++r) {
            const Value* cells = entry.values.elements().data() + std::size_t(r) * std::size_t(columns);
            for (std::int32_t c = 0; c < columns; ++c) {
                if (cells[c].kind() == Kind::Nil) continue;
                const std::int32_t first = c;
                while (c + 1 < columns && cells[c + 1].kind() != Kind::Nil) ++c;
                given.add(target.firstRow + r, target.firstColumn + first, target.firstColumn + c, entry.line,
                          sheet.path);
            }
        }
    }
    const FormulaCells formulas(sheet.entries);
    for (std::size_t index = 0; index < sheet.entries.size(); ++index) {
        const SheetEntry& formula = sheet.entries[index];
        if (!formula.isFormula) continue;
        for (const Area& range : formulaReferences(formula)) {
            std::optional<std::size_t> first;  // the first formula from this one on whose cell the range holds
            formulas.anyIn(range, [&first, index](std::size_t other) {
                if (other >= index && (!first || other < *first)) first = other;
                return other == index;
            });
            if (!first) continue;
            const SheetEntry& other = sheet.entries[*first];
            const std::string cell = rangeName(other.target);
            if (*first == index) throw SheetError(sheet.path, formula.line, "the formula uses its own cell " + cell);
            throw SheetError(sheet.path, formula.line,
                             "the formula uses " + cell + ", which the formula on line " + std::to_string(other.line) +
                                 " computes later (formulas run top to bottom)");
        }
    }
}

// "run NAME": a command to run; false for any other line.
bool commandLine(LineReader& reader, SheetEntry& entry) {
    LineReader lookahead = reader;
    if (!sameIgnoringCase(lookahead.tokenUntil(" \t="), "RUN") || lookahead.peek() == '=') return false;
    const std::string name(lookahead.rest());
    if (!isFunctionName(name)) reader.fail("'run' takes the name of a command, not '" + name + "'");
    entry.isCommand = true;
    entry.function = name;
    entry.formulaText = "run " + name;
    return true;
}

SheetEntry entryOf(LineReader& reader, int line, const std::string& path, const SheetLimits& limits) {
    SheetEntry entry;
    entry.line = line;
    if (commandLine(reader, entry)) return entry;
    const std::string targetText(reader.tokenUntil("="));
    if (!reader.take('=')) reader.fail("expected 'CELL = ...' or 'RANGE = ...'");
    const auto target = parseRange(targetText, limits);
    if (!target) reader.fail("'" + targetText + "' is no cell or range");
    entry.target = *target;
    if (reader.take('@')) {
        entry.values = csvFile(reader, path);
    } else {
        LineReader lookahead = reader;
        const std::string_view name = lookahead.tokenUntil("(,;=");
        if ((name.empty() && lookahead.peek() == '=') || (lookahead.peek() == '(' && isFunctionName(name))) {
            entry.isFormula = true;
            entry.formulaText = reader.rest();
            try {
                entry.formula = std::make_shared<const FormulaNode>(parseFormula(entry.formulaText, limits));
            } catch (const FormulaSyntaxError& error) {
                reader.fail(error.what());
            }
            if (entry.target.rows() != 1 || entry.target.columns() != 1)
                reader.fail("a formula goes into one cell, from which its result spills; not into " + targetText);
            return entry;
        }
        entry.values = valuesLine(reader);
    }
    const bool oneCell = target->rows() == 1 && target->columns() == 1;
    if (!oneCell && (target->rows() != entry.values.rows() || target->columns() != entry.values.columns()))
        reader.fail(rangeName(*target) + " has " + std::to_string(target->rows()) + " x " +
                    std::to_string(target->columns()) + " cells, the values " + std::to_string(entry.values.rows()) +
                    " x " + std::to_string(entry.values.columns()));
    entry.target.lastRow = target->firstRow + entry.values.rows() - 1;
    entry.target.lastColumn = target->firstColumn + entry.values.columns() - 1;
    if (std::int64_t(target->firstRow) + entry.values.rows() > limits.rows ||
        std::int64_t(target->firstColumn) + entry.values.columns() > limits.columns)
        reader.fail("the values reach beyond the sheet's last row or column");
    return entry;
}

// Calls `read` with a reader on each line (without its line end) and its number; returns the count.
template <class Read>
int forEachLine(std::istream& text, const std::string& path, Read read) {
    std::string physical;
    int line = 0;
    while (std::getline(text, physical)) {
        ++line;
        if (!physical.empty() && physical.back() == '\r') physical.pop_back();
        LineReader reader(physical, path, line);
        read(reader, line);
    }
    return line;
}

}  // namespace

SheetError::SheetError(const std::string& file, int line, const std::string& message)
    : std::runtime_error(file + (line > 0 ? ":" + std::to_string(line) : std::string()) + ": " + message) {}

SheetLimits SheetLimits::forExcel(int majorVersion) {
    if (majorVersion >= 12) return SheetLimits{1048576, 16384};
    return SheetLimits{65536, 256};
}

std::optional<Area> parseRange(const std::string& text, const SheetLimits& limits) {
    const auto cellAt = [&limits](std::string cell) -> std::optional<std::pair<std::int32_t, std::int32_t>> {
        cell.erase(std::remove(cell.begin(), cell.end(), '$'), cell.end());
        std::size_t i = 0;
        std::int64_t column = 0;
        for (; i < cell.size() && std::isalpha(static_cast<unsigned char>(cell[i])) && i < 3; ++i)
            column = column * 26 + (std::toupper(static_cast<unsigned char>(cell[i])) - 'A' + 1);
        std::int64_t row = 0;
        const std::size_t digits = i;
        for (; i < cell.size() && std::isdigit(static_cast<unsigned char>(cell[i])) && i - digits < 8; ++i)
            row = row * 10 + (cell[i] - '0');
        if (digits == 0 || i == digits || i != cell.size() || row < 1 || row > limits.rows || column > limits.columns)
            return std::nullopt;
        return std::make_pair(std::int32_t(row - 1), std::int32_t(column - 1));
    };
    const std::string plain(trimmed(text));
    const auto colon = plain.find(':');
    const auto first = cellAt(plain.substr(0, colon));
    const auto second = colon == std::string::npos ? first : cellAt(plain.substr(colon + 1));
    if (!first || !second) return std::nullopt;
    return Area{std::min(first->first, second->first), std::max(first->first, second->first),
                std::min(first->second, second->second), std::max(first->second, second->second)};
}

std::string cellName(std::int32_t row, std::int32_t column) {
    std::string letters;
    for (std::int64_t c = std::int64_t(column) + 1; c > 0; c = (c - 1) / 26)
        letters.insert(letters.begin(), char('A' + (c - 1) % 26));
    return letters + std::to_string(std::int64_t(row) + 1);
}

std::string rangeName(const Area& area) {
    std::string name = cellName(area.firstRow, area.firstColumn);
    if (area.rows() > 1 || area.columns() > 1) name += ":" + cellName(area.lastRow, area.lastColumn);
    return name;
}

std::u16string fromUtf8(const std::string& bytes) {
    std::u16string units;
    for (std::size_t i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
        std::uint32_t code = extra == 0 ? lead : lead & (0x3Fu >> extra);
        std::size_t next = i + 1;
        for (int k = 0; k < extra && next < bytes.size() && (bytes[next] & 0xC0) == 0x80; ++k, ++next)
            code = (code << 6) | (static_cast<unsigned char>(bytes[next]) & 0x3Fu);
        // A broken sequence keeps its lead byte as a Latin-1 character rather than losing it.
        if (next - i != std::size_t(extra) + 1) code = lead, next = i + 1;
        if (code >= 0x10000) {
            units.push_back(char16_t(0xD800 + ((code - 0x10000) >> 10)));
            units.push_back(char16_t(0xDC00 + ((code - 0x10000) & 0x3FF)));
        } else {
            units.push_back(char16_t(code));
        }
        i = next;
    }
    return units;
}

std::string toUtf8(const std::u16string& units) {
    std::string bytes;
    for (std::size_t i = 0; i < units.size(); ++i) {
        std::uint32_t code = units[i];
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000)
            code = 0x10000 + ((code - 0xD800) << 10) + (units[++i] - 0xDC00);
        if (code < 0x80) {
            bytes.push_back(char(code));
        } else if (code < 0x800) {
            bytes.push_back(char(0xC0 | (code >> 6)));
            bytes.push_back(char(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
            bytes.push_back(char(0xE0 | (code >> 12)));
            bytes.push_back(char(0x80 | ((code >> 6) & 0x3F)));
            bytes.push_back(char(0x80 | (code & 0x3F)));
        } else {
            bytes.push_back(char(0xF0 | (code >> 18)));
            bytes.push_back(char(0x80 | ((code >> 12) & 0x3F)));
            bytes.push_back(char(0x80 | ((code >> 6) & 0x3F)));
            bytes.push_back(char(0x80 | (code & 0x3F)));
        }
    }
    return bytes;
}

Value parseCsv(std::istream& text, const std::string& path) {
    Rows rows;
    const int lines = forEachLine(text, path, [&rows](LineReader& reader, int) {
        do {
            if (reader.peek() == '"') {
                rows.cells.push_back(Value::text(fromUtf8(reader.quoted())));
                if (!reader.atEnd() && reader.peek() != ',') reader.fail("unexpected text after a quoted field");
                continue;
            }
            const std::string_view field = reader.tokenUntil(",");
            auto scalar = scalarFrom(field);
            if (field.empty())
                rows.cells.push_back(Value::nil());
            else
                rows.cells.push_back(scalar ? std::move(*scalar) : Value::text(fromUtf8(std::string(field))));
        } while (reader.take(','));
        rows.ends.push_back(rows.cells.size());
    });
    // Blank lines at the end of a file are no rows of the block.
    while (!rows.ends.empty() && rows.allBlank(rows.ends.size() - 1)) {
        rows.cells.resize(rows.cells.size() - rows.size(rows.ends.size() - 1), Value::nil());
        rows.ends.pop_back();
    }
    LineReader whole(std::string_view(), path, std::max(lines, 1));
    return blockOf(std::move(rows), true, whole);
}

FormulaCells::FormulaCells(const std::vector<SheetEntry>& entries) {
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i].isFormula)
            anchors_.push_back(Anchor{entries[i].target.firstRow, entries[i].target.firstColumn, i});
    std::sort(anchors_.begin(), anchors_.end(),
              [](const Anchor& a, const Anchor& b) { return std::tie(a.row, a.column) < std::tie(b.row, b.column); });
}

std::vector<FormulaCells::Anchor>::const_iterator FormulaCells::from(std::int64_t row, std::int64_t column) const {
    return std::lower_bound(anchors_.begin(), anchors_.end(), std::make_pair(row, column),
                            [](const Anchor& anchor, const std::pair<std::int64_t, std::int64_t>& position) {
                                return std::make_pair(std::int64_t(anchor.row), std::int64_t(anchor.column)) < position;
                            });
}

SheetFile parseSheet(std::istream& text, const std::string& path, const SheetLimits& limits) {
    SheetFile sheet{path, {}};
    forEachLine(text, path, [&](LineReader& reader, int line) {
        if (!reader.atEnd() && reader.peek() != '#') sheet.entries.push_back(entryOf(reader, line, path, limits));
    });
    checkCells(sheet);
    return sheet;
}

std::vector<Area> formulaReferences(const SheetEntry& formula) {
    return formula.formula ? formulaAreas(*formula.formula) : std::vector<Area>();
}

SheetFile readSheetFile(const std::string& path, const SheetLimits& limits) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw SheetError(path, 0, "cannot read the sheet file");
    return parseSheet(file, path, limits);
}

}  // namespace xlhost
