// An add-in on the zep framework: each block is a worksheet function's or command's exported
// entry point, its registration for Excel, and its body; the add-in's name, menu and open and
// close code are declared beside them.
#include <zep/WorksheetFunction.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

ZEP_ADDIN_NAME("Example Add-In");

ZEP_WORKSHEET_FUNCTION(xlex_Fahrenheit, "ex_Fahrenheit", "Converts degrees Celsius to degrees Fahrenheit",
                       "Example Add-In", (zep::NumberArgument, celsius, "a temperature in degrees Celsius")) {
    return celsius * 9 / 5 + 32;
}

ZEP_WORKSHEET_FUNCTION(xlex_Greeting, "ex_Greeting", "Greets someone by name", "Example Add-In",
                       (zep::TextArgument, name, "who to greet")) {
    return "Hello, " + name + "!";
}

ZEP_WORKSHEET_FUNCTION(xlex_RunningTotal, "ex_RunningTotal", "The running total of a row or column of numbers",
                       "Example Add-In", (zep::VectorArgument, values, "one row or one column of numbers")) {
    double total = 0;
    for (double& value : values) {
        total += value;
        value = total;
    }
    return values;  // one column
}

ZEP_WORKSHEET_FUNCTION(xlex_Ratio, "ex_Ratio", "Divides one number by another", "Example Add-In",
                       (zep::NumberArgument, numerator, "the number to divide"),
                       (zep::NumberArgument, denominator, "the number to divide by")) {
    if (denominator == 0) throw std::invalid_argument("cannot divide by zero");
    return numerator / denominator;
}

// An optional argument with its default, and a boolean.
ZEP_WORKSHEET_FUNCTION(xlex_Round, "ex_Round", "Rounds a number to some digits", "Example Add-In",
                       (zep::NumberArgument, x, "the number"),
                       (zep::OptionalInteger, digits, "digits after the point (0 if left out)", 0),
                       (zep::OptionalBoolean, up, "TRUE to round away from zero", false)) {
    const double scale = std::pow(10.0, digits);
    return (up ? std::copysign(std::ceil(std::fabs(x) * scale), x) : std::round(x * scale)) / scale;
}

// A row of mixed cells: numbers, texts, and empty cells for empty pieces (Excel shows those as 0,
// as it shows a formula that refers to an empty cell).
ZEP_WORKSHEET_FUNCTION(xlex_Split, "ex_Split", "Splits a text at its commas into a row", "Example Add-In",
                       (zep::TextArgument, text, "pieces between commas")) {
    std::vector<std::string> pieces;
    std::istringstream in(text + ",");
    for (std::string piece; std::getline(in, piece, ',');) pieces.push_back(piece);
    zep::CellMatrix row(1, static_cast<std::uint32_t>(pieces.size()));
    for (std::uint32_t i = 0; i < pieces.size(); ++i) {
        if (pieces[i].empty()) continue;  // stays blank
        char* end = nullptr;
        const double number = std::strtod(pieces[i].c_str(), &end);
        row.Cell(0, i) = *end == '\0' ? zep::MatrixCell(number) : zep::MatrixCell(pieces[i]);
    }
    return row;
}

// A reference, not its values; and the formula's own cell.
ZEP_WORKSHEET_FUNCTION(xlex_Address, "ex_Address", "Where a range is, and where the formula is", "Example Add-In",
                       (zep::ReferenceArgument, range, "a cell or range")) {
    return zep::ReferenceAddress(range) + " from " + zep::CallerAddress();
}

// Flags: recalculated on every change, no arguments.
ZEP_FUNCTION(xlex_Calls, "ex_Calls", "How often it has been calculated", "Example Add-In", zep::Volatile) {
    static int calls = 0;
    return ++calls;
}

// A macro-sheet function, hidden from the function wizard.
ZEP_FUNCTION(xlex_Where, "ex_Where", "The formula's cell", "Example Add-In", zep::MacroSheet | zep::Hidden) {
    return zep::CallerAddress();
}

// A command, and the menu item that runs it.
ZEP_COMMAND(xlex_About, "ex_About", "Says what the add-in is") {
    zep::Alert("Example Add-In, built on zep");
}
ZEP_MENU_ITEM("Example Add-In", "About", "ex_About");

// The add-in's own code, after the framework has opened it and before it closes it: here a
// status-bar text for as long as the add-in is open.
ZEP_ON_OPEN {
    zep::XlfExcel::Current().ShowStatus("Example Add-In is ready");
}
ZEP_ON_CLOSE {
    zep::XlfExcel::Current().ShowStatus(nullptr);
}

// Thread-safe: Excel 12 and later may calculate many cells of it at once, on several threads. The
// body uses only its arguments and its own variables.
ZEP_FUNCTION(xlex_Hypotenuse, "ex_Hypotenuse", "The hypotenuse of a right triangle", "Example Add-In", zep::ThreadSafe,
             (zep::NumberArgument, a, "one short side"), (zep::NumberArgument, b, "the other")) {
    if (a < 0 || b < 0) throw std::invalid_argument("sides cannot be negative");
    return std::hypot(a, b);
}
