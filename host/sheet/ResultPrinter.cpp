#include "ResultPrinter.h"

#include "Coercion.h"
#include "SheetFile.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <ostream>
#include <set>
#include <sstream>
#include <string_view>
#include <vector>

namespace xlhost {

namespace {

const char* const spillText = "#SPILL!";

// Control characters would vanish on a terminal or break a line; "\x00" shows them (an Excel 4
// text whose count includes its terminating zero, for one).
std::string visible(const std::u16string& text) {
    std::string shown;
    for (char c : toUtf8(text)) {
        if (static_cast<unsigned char>(c) >= 0x20 || c == '\t') {
            shown += c;
        } else {
            const char* const digits = "0123456789ABCDEF";
            shown += std::string("\\x") + digits[(c >> 4) & 0xF] + digits[c & 0xF];
        }
    }
    return shown;
}

// A number as a cell shows it (see cellText), added to `text`.
void appendNumber(std::string& text, double number, bool fullPrecision) {
    // Excel shows what it cannot hold (infinities, NaN) as #NUM!.
    if (!std::isfinite(number)) {
        text += errorName(xlerrNum);
        return;
    }
    char digits[generalNumberSize];
    if (!fullPrecision) {
        text.append(digits, writeGeneralNumber(number, digits));
        return;
    }
    text.append(digits, std::to_chars(digits, digits + sizeof digits, number == 0.0 ? 0.0 : number).ptr);
}

void appendCellText(std::string& text, const Value& value, bool fullPrecision) {
    if (value.kind() == Kind::Number)
        appendNumber(text, value.number(), fullPrecision);
    else
        text += cellText(value, fullPrecision);
}

void appendCsvField(std::string& line, const Value& value) {
    if (value.kind() != Kind::Text) {
        if (value.kind() != Kind::Nil) appendCellText(line, value, true);
        return;
    }
    line += '"';
    for (char c : visible(value.text())) line += c == '"' ? std::string("\"\"") : std::string(1, c);
    line += '"';
}

// Visible width of UTF-8 text: one column per character.
std::size_t widthOf(std::string_view text) {
    return std::size_t(std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

void printBlock(std::ostream& out, const Value& value, bool fullPrecision) {
    const std::size_t columns = value.kind() == Kind::Array ? std::size_t(value.columns()) : 1;
    const std::size_t cells = value.kind() == Kind::Array ? value.elements().size() : 1;
    const auto at = [&value](std::size_t index) -> const Value& {
        return value.kind() == Kind::Array ? value.elements()[index] : value;
    };
    // Every cell's text once, one after another, and where each begins.
    std::string texts;
    std::vector<std::size_t> begins(cells + 1, 0);
    std::vector<std::size_t> widths(columns, 0);
    for (std::size_t i = 0; i < cells; ++i) {
        appendCellText(texts, at(i), fullPrecision);
        begins[i + 1] = texts.size();
        widths[i % columns] = std::max(widths[i % columns], widthOf(std::string_view(texts).substr(begins[i])));
    }
    std::string line;
    for (std::size_t i = 0; i < cells; ++i) {
        const std::size_t column = i % columns;
        if (column == 0) line = "   ";
        const std::string_view text = std::string_view(texts).substr(begins[i], begins[i + 1] - begins[i]);
        const std::size_t padding = widths[column] - widthOf(text);
        // Numbers to the right, everything else to the left, as a sheet aligns them.
        const bool right = at(i).kind() == Kind::Number;
        line.append(2 + (right ? padding : 0), ' ').append(text).append(right ? 0 : padding, ' ');
        if (column + 1 == columns) {
            line.erase(line.find_last_not_of(' ') + 1);
            line += '\n';
            out << line;
        }
    }
}

}  // namespace

std::string cellText(const Value& value, bool fullPrecision) {
    switch (value.kind()) {
        case Kind::Number: {
            std::string text;
            appendNumber(text, value.number(), fullPrecision);
            return text;
        }
        case Kind::Text:
            return visible(value.text());
        case Kind::Boolean:
            return value.boolean() ? "TRUE" : "FALSE";
        case Kind::Error:
            return errorName(value.error());
        case Kind::Nil:
            return std::string();
        default:
            return describe(value);
    }
}

void printFormulaResults(std::ostream& out, const EvaluatedSheet& sheet, bool fullPrecision) {
    for (const FormulaResult& result : sheet.formulas) {
        if (result.entry->isCommand) {
            out << result.entry->formulaText << '\n';
            for (const std::string& effect : result.effects) out << "     " << effect << '\n';
            continue;
        }
        out << rangeName(result.area) << " = " << result.entry->formulaText << '\n';
        if (result.spillBlocked) {
            out << "     " << spillText << "  (the " << result.value.rows() << " x " << result.value.columns()
                << " result has no room to spill)\n";
            continue;
        }
        printBlock(out, result.value, fullPrecision);
    }
}

void printCsv(std::ostream& out, const EvaluatedSheet& sheet, const SheetModel& sheets) {
    if (!sheet.usedArea) return;
    std::set<std::pair<std::int32_t, std::int32_t>> blocked;
    for (const FormulaResult& result : sheet.formulas)
        if (result.spillBlocked) blocked.insert({result.area.firstRow, result.area.firstColumn});
    std::string line;
    for (std::int32_t r = 0; r <= sheet.usedArea->lastRow; ++r) {
        const std::vector<Value> cells = sheets.cells(sheets.activeSheet(), Area{r, r, 0, sheet.usedArea->lastColumn});
        line.clear();
        for (std::int32_t c = 0; c <= sheet.usedArea->lastColumn; ++c) {
            if (c > 0) line += ',';
            if (blocked.count({r, c}) != 0)
                line += spillText;
            else
                appendCsvField(line, cells[std::size_t(c)]);
        }
        line += '\n';
        out << line;
    }
}

void printRegistrations(std::ostream& out, const FunctionRegistry& registry) {
    std::vector<std::string> categories;
    for (const Registration& registration : registry.registrations())
        if (registration.active && !registration.isCommand() &&
            std::find(categories.begin(), categories.end(), registration.category()) == categories.end())
            categories.push_back(registration.category());
    for (const std::string& category : categories) {
        out << "Category: " << category << '\n';
        for (const Registration& registration : registry.registrations()) {
            if (!registration.active || registration.isCommand() || registration.category() != category) continue;
            std::vector<std::string> names;
            std::istringstream argumentText(registration.argumentText());
            for (std::string name; std::getline(argumentText, name, ',');) {
                const auto first = name.find_first_not_of(' ');  // "mtrx, n": the dialog shows "n"
                names.push_back(first == std::string::npos ? std::string() : name.substr(first));
            }
            out << "  " << registration.functionName() << '(';
            for (std::size_t i = 0; i < names.size(); ++i) out << (i > 0 ? ", " : "") << names[i];
            out << ")    [" << registration.procedure() << ", type " << registration.typeText() << "]\n";
            out << "      " << registration.functionHelp() << '\n';
            for (std::size_t i = 0; i < registration.argumentHelpCount(); ++i)
                out << "      " << (i < names.size() ? names[i] : "argument " + std::to_string(i + 1)) << ": "
                    << registration.argumentHelp(i) << '\n';
        }
    }
    // Commands have no place in the dialog: Excel runs them from menus, shortcuts and its Run dialog.
    bool anyCommand = false;
    for (const Registration& registration : registry.registrations()) {
        if (!registration.active || !registration.isCommand()) continue;
        if (!anyCommand) out << "Commands:\n";
        anyCommand = true;
        out << "  " << registration.functionName() << "    [" << registration.procedure() << ", type "
            << registration.typeText() << "]";
        if (!registration.shortcut().empty()) out << "  shortcut Ctrl+" << registration.shortcut();
        out << '\n';
    }
    for (const Registration& registration : registry.registrations())
        if (!registration.accepted())
            out << "Refused: " << registration.functionName() << " [" << registration.procedure() << ", type "
                << registration.typeText() << "]: " << registration.rejection << '\n';
}

}  // namespace xlhost
