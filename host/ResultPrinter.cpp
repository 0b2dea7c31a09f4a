#include "ResultPrinter.h"

#include "Coercion.h"
#include "SheetFile.h"

#include <algorithm>
#include <charconv>
#include <ostream>
#include <set>
#include <sstream>
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

std::string csvField(const Value& value) {
    if (value.kind() == Kind::Nil) return std::string();
    if (value.kind() != Kind::Text) return cellText(value, true);
    std::string quoted = "\"";
    for (char c : visible(value.text())) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + '"';
}

// Visible width of UTF-8 text: one column per character.
std::size_t widthOf(const std::string& text) {
    return std::size_t(std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

void printBlock(std::ostream& out, const Value& value, bool fullPrecision) {
    const std::int32_t rows = value.kind() == Kind::Array ? value.rows() : 1;
    const std::int32_t columns = value.kind() == Kind::Array ? value.columns() : 1;
    const auto at = [&value](std::int32_t r, std::int32_t c) -> const Value& {
        return value.kind() == Kind::Array ? value.element(r, c) : value;
    };
    std::vector<std::size_t> widths(std::size_t(columns), 0);
    for (std::int32_t r = 0; r < rows; ++r)
        for (std::int32_t c = 0; c < columns; ++c)
            widths[std::size_t(c)] = std::max(widths[std::size_t(c)], widthOf(cellText(at(r, c), fullPrecision)));
    for (std::int32_t r = 0; r < rows; ++r) {
        std::string line = "   ";
        for (std::int32_t c = 0; c < columns; ++c) {
            const std::string text = cellText(at(r, c), fullPrecision);
            const std::string padding(widths[std::size_t(c)] - widthOf(text), ' ');
            // Numbers to the right, everything else to the left, as a sheet aligns them.
            line += "  " + (at(r, c).kind() == Kind::Number ? padding + text : text + padding);
        }
        line.erase(line.find_last_not_of(' ') + 1);
        out << line << '\n';
    }
}

}  // namespace

std::string cellText(const Value& value, bool fullPrecision) {
    switch (value.kind()) {
        case Kind::Number: {
            // Excel shows what it cannot hold (infinities, NaN) as #NUM!.
            const auto general = numberToText(value.number());
            if (!general) return errorName(xlerrNum);
            if (!fullPrecision) return toUtf8(*general);
            char digits[32];
            const auto written = std::to_chars(digits, digits + sizeof digits, value.number() == 0.0 ? 0.0 : value.number());
            return std::string(digits, written.ptr);
        }
        case Kind::Text: return visible(value.text());
        case Kind::Boolean: return value.boolean() ? "TRUE" : "FALSE";
        case Kind::Error: return errorName(value.error());
        case Kind::Nil: return std::string();
        default: return describe(value);
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
    for (std::int32_t r = 0; r <= sheet.usedArea->lastRow; ++r) {
        for (std::int32_t c = 0; c <= sheet.usedArea->lastColumn; ++c) {
            if (c > 0) out << ',';
            out << (blocked.count({r, c}) != 0 ? spillText : csvField(sheets.cell(sheets.activeSheet(), r, c)));
        }
        out << '\n';
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
