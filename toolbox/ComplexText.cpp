#include "ComplexText.h"

#include <cstdio>
#include <cstdlib>

namespace toolbox {

namespace {

std::string numberText(double x) {
    if (x == 0) return "0";  // no "-0"
    char text[32];
    for (int digits = 15; digits <= 17; ++digits) {
        std::snprintf(text, sizeof text, "%.*G", digits, x);
        if (std::strtod(text, nullptr) == x) break;
    }
    return text;
}

}  // namespace

std::string complexText(std::complex<double> z) {
    const double re = z.real(), im = z.imag();
    if (im == 0) return numberText(re);
    std::string imaginary = im == 1 ? "" : im == -1 ? "-" : numberText(im);
    if (re == 0) return imaginary + "i";
    return numberText(re) + (im > 0 ? "+" : "") + imaginary + "i";
}

}  // namespace toolbox
