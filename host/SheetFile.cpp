#include "SheetFile.h"

#include "XlCall.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <utility>

namespace xlhost {

namespace {

constexpr int knownErrors[] = {xlerrNull, xlerrDiv0, xlerrValue, xlerrRef, xlerrName, xlerrNum, xlerrNA};

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string trimmed(const std::string& text) {
    const auto begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return std::string();
    return text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
}

std::optional<double> numberFrom(std::string text) {
    if (!text.empty() && text[0] == '+') text.erase(0, 1);
    double number = 0.0;
    const char* end = text.data() + text.size();
    const auto parsed = std::from_chars(text.data(), end, number);
    if (text.empty() || parsed.ec != std::errc() || parsed.ptr != end || !std::isfinite(number)) return std::nullopt;
    return number;
}

// An unquoted token as a value: a number, TRUE/FALSE or an error name; nothing for anything else.
std::optional<Value> scalarFrom(const std::string& token) {
    if (const auto number = numberFrom(token)) return Value::number(*number);
    const std::string word = upper(token);
    if (word == "TRUE" || word == "FALSE") return Value::boolean(word == "TRUE");
    for (int code : knownErrors)
        if (word == errorName(code)) return Value::error(code);
    return std::nullopt;
}

// Walks one line, reporting faults with the file and line.
class LineReader {
public:
    LineReader(std::string text, const std::string& file, int line) : text_(std::move(text)), file_(file), line_(line) {}

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
    std::string tokenUntil(const char* stops) {
        skipBlanks();
        const std::size_t begin = position_;
        while (position_ < text_.size() && std::strchr(stops, text_[position_]) == nullptr) ++position_;
        return trimmed(text_.substr(begin, position_ - begin));
    }
    std::string rest() {
        skipBlanks();
        std::string all = trimmed(text_.substr(position_));
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
        while (position_ < text_.size() && (text_[position_] == ' ' || text_[position_] == '\t')) ++position_;
    }

    std::string text_;
    const std::string& file_;
    int line_;
    std::size_t position_ = 0;
};

// A value of a values line or a formula literal; nil for nothing between separators.
Value valueAt(LineReader& reader, const char* stops) {
    if (reader.peek() == '"') return Value::text(fromUtf8(reader.quoted()));
    const std::string token = reader.tokenUntil(stops);
    if (token.empty()) return Value::nil();
    if (auto scalar = scalarFrom(token)) return std::move(*scalar);
    reader.fail("'" + token + "' is no value (texts need quotes; errors are #NULL!, #DIV/0!, #VALUE!, #REF!, "
                "#NAME?, #NUM!, #N/A)");
}

Value blockOf(std::vector<std::vector<Value>> rows, bool padShortRows, LineReader& reader) {
    std::size_t columns = 0;
    for (const auto& row : rows) columns = std::max(columns, row.size());
    std::vector<Value> elements;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        if (rows[r].size() != columns && !padShortRows)
            reader.fail("row " + std::to_string(r + 1) + " has " + std::to_string(rows[r].size()) + " values, row 1 has " +
                        std::to_string(rows[0].size()));
        rows[r].resize(columns, Value::nil());
        elements.insert(elements.end(), rows[r].begin(), rows[r].end());
    }
    if (elements.empty()) reader.fail("no values");
    return Value::array(std::int32_t(rows.size()), std::int32_t(columns), std::move(elements));
}

Value valuesLine(LineReader& reader) {
    std::vector<std::vector<Value>> rows(1);
    for (;;) {
        rows.back().push_back(valueAt(reader, ",;"));
        if (reader.take(';'))
            rows.emplace_back();
        else if (!reader.take(','))
            break;
    }
    if (!reader.atEnd()) reader.fail("unexpected '" + reader.rest() + "' after the values");
    return blockOf(std::move(rows), false, reader);
}

FormulaArgument argumentAt(LineReader& reader, const SheetLimits& limits) {
    FormulaArgument argument;
    const char next = reader.peek();
    if (next == ',' || next == ')') return argument;  // missing
    if (next == '"') {
        argument.literal = Value::text(fromUtf8(reader.quoted()));
        return argument;
    }
    const std::string token = reader.tokenUntil(",()");
    if (reader.peek() == '(') reader.fail("'" + token + "(': a formula argument cannot be another formula");
    if (auto scalar = scalarFrom(token)) {
        argument.literal = std::move(*scalar);
        return argument;
    }
    argument.range = parseRange(token, limits);
    if (!argument.range) reader.fail("'" + token + "' is no range, number, text, boolean or error");
    return argument;
}

bool isFunctionName(const std::string& name) {
    return !name.empty() && (std::isalpha(static_cast<unsigned char>(name[0])) || name[0] == '_') &&
           std::all_of(name.begin(), name.end(), [](char c) {
               return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.';
           });
}

void formulaLine(LineReader& reader, const std::string& name, SheetEntry& entry, const SheetLimits& limits) {
    entry.isFormula = true;
    entry.function = name;
    reader.take('(');
    if (!reader.take(')')) {
        do {
            entry.arguments.push_back(argumentAt(reader, limits));
        } while (reader.take(','));
        if (!reader.take(')')) reader.fail("expected ',' or ')' in the arguments of " + name);
    }
    if (!reader.atEnd()) reader.fail("unexpected '" + reader.rest() + "' after the formula");
}

Value csvFile(LineReader& reader, const std::string& sheetPath) {
    const std::string name = reader.rest();
    if (name.empty()) reader.fail("'@' names no CSV file");
    const std::filesystem::path csvPath = std::filesystem::path(sheetPath).parent_path() / name;
    std::ifstream file(csvPath, std::ios::binary);
    if (!file) reader.fail("cannot read the CSV file " + csvPath.string());
    return parseCsv(file, csvPath.string());
}

bool contains(const Area& area, std::int32_t row, std::int32_t column) {
    return row >= area.firstRow && row <= area.lastRow && column >= area.firstColumn && column <= area.lastColumn;
}

// Every cell given once, and no formula reading its own cell or the cell of a formula below it.
void checkCells(const SheetFile& sheet) {
    std::map<std::pair<std::int32_t, std::int32_t>, int> givenOn;
    for (const SheetEntry& entry : sheet.entries) {
        if (entry.isCommand) continue;
        for (std::int32_t r = 0; r < entry.target.rows(); ++r)
            for (std::int32_t c = 0; c < entry.target.columns(); ++c) {
                if (!entry.isFormula && entry.values.element(r, c).kind() == Kind::Nil) continue;
                const auto cell = std::make_pair(entry.target.firstRow + r, entry.target.firstColumn + c);
                const auto [earlier, isNew] = givenOn.emplace(cell, entry.line);
                if (!isNew)
                    throw SheetError(sheet.path, entry.line, cellName(cell.first, cell.second) +
                                                                 " is already given on line " +
                                                                 std::to_string(earlier->second));
            }
    }
    for (auto formula = sheet.entries.begin(); formula != sheet.entries.end(); ++formula) {
        if (!formula->isFormula) continue;
        for (const FormulaArgument& argument : formula->arguments) {
            if (!argument.range) continue;
            for (auto other = formula; other != sheet.entries.end(); ++other) {
                if (!other->isFormula || !contains(*argument.range, other->target.firstRow, other->target.firstColumn))
                    continue;
                const std::string cell = rangeName(other->target);
                if (other == formula) throw SheetError(sheet.path, formula->line, "the formula uses its own cell " + cell);
                throw SheetError(sheet.path, formula->line,
                                 "the formula uses " + cell + ", which the formula on line " +
                                     std::to_string(other->line) + " computes later (formulas run top to bottom)");
            }
        }
    }
}

// "run NAME": a command to run; false for any other line.
bool commandLine(LineReader& reader, SheetEntry& entry) {
    LineReader lookahead = reader;
    if (upper(lookahead.tokenUntil(" \t=")) != "RUN" || lookahead.peek() == '=') return false;
    const std::string name = lookahead.rest();
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
    const std::string targetText = reader.tokenUntil("=");
    if (!reader.take('=')) reader.fail("expected 'CELL = ...' or 'RANGE = ...'");
    const auto target = parseRange(targetText, limits);
    if (!target) reader.fail("'" + targetText + "' is no cell or range");
    entry.target = *target;
    if (reader.take('@')) {
        entry.values = csvFile(reader, path);
    } else {
        LineReader lookahead = reader;
        const std::string name = lookahead.tokenUntil("(,;");
        if (lookahead.peek() == '(' && isFunctionName(name)) {
            entry.formulaText = reader.rest();
            LineReader formula(entry.formulaText, path, line);
            formula.tokenUntil("(");
            formulaLine(formula, name, entry, limits);
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
    const std::string plain = trimmed(text);
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
    std::vector<std::vector<Value>> rows;
    const int lines = forEachLine(text, path, [&rows](LineReader& reader, int) {
        std::vector<Value> row;
        do {
            if (reader.peek() == '"') {
                row.push_back(Value::text(fromUtf8(reader.quoted())));
                if (!reader.atEnd() && reader.peek() != ',') reader.fail("unexpected text after a quoted field");
                continue;
            }
            const std::string field = reader.tokenUntil(",");
            const auto scalar = scalarFrom(field);
            row.push_back(field.empty() ? Value::nil() : scalar ? *scalar : Value::text(fromUtf8(field)));
        } while (reader.take(','));
        rows.push_back(std::move(row));
    });
    // Blank lines at the end of a file are no rows of the block.
    while (!rows.empty() && std::all_of(rows.back().begin(), rows.back().end(),
                                        [](const Value& v) { return v.kind() == Kind::Nil; }))
        rows.pop_back();
    LineReader whole(std::string(), path, std::max(lines, 1));
    return blockOf(std::move(rows), true, whole);
}

SheetFile parseSheet(std::istream& text, const std::string& path, const SheetLimits& limits) {
    SheetFile sheet{path, {}};
    forEachLine(text, path, [&](LineReader& reader, int line) {
        if (!reader.atEnd() && reader.peek() != '#') sheet.entries.push_back(entryOf(reader, line, path, limits));
    });
    checkCells(sheet);
    return sheet;
}

SheetFile readSheetFile(const std::string& path, const SheetLimits& limits) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw SheetError(path, 0, "cannot read the sheet file");
    return parseSheet(file, path, limits);
}

}  // namespace xlhost
