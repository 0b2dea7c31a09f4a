// An add-in of five worksheet functions on the zep framework: each block is the function's
// exported entry point, its registration for Excel's function wizard, and its body.
#include <zep/WorksheetFunction.h>

#include <cmath>
#include <stdexcept>

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

// Thread-safe: Excel 12 and later may calculate many cells of it at once, on several threads. The
// body uses only its arguments and its own variables.
ZEP_FUNCTION(xlex_Hypotenuse, "ex_Hypotenuse", "The hypotenuse of a right triangle", "Example Add-In", zep::ThreadSafe,
             (zep::NumberArgument, a, "one short side"), (zep::NumberArgument, b, "the other")) {
    if (a < 0 || b < 0) throw std::invalid_argument("sides cannot be negative");
    return std::hypot(a, b);
}
