#ifndef TESTING_MATRIXTESTSUPPORT_H
#define TESTING_MATRIXTESTSUPPORT_H

// Test-only helpers for the matrix functions: building and comparing matrices with plain loops
// (independent of Newmat), printing them in failure messages, and sorting a thrown exception
// into what the worksheet call frame would show.

#include <zep/NumericMatrix.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <exception>
#include <initializer_list>
#include <limits>
#include <ostream>
#include <string>

inline const double notANumber = std::numeric_limits<double>::quiet_NaN();
inline const double infinity = std::numeric_limits<double>::infinity();

// GoogleTest prints a NumericMatrix through this, so a failed expectation shows what came back.
std::ostream& operator<<(std::ostream& out, const NumericMatrix& m);

NumericMatrix matrixOf(std::initializer_list<std::initializer_list<double>> rows);
NumericMatrix identity(std::uint32_t n);
NumericMatrix product(const NumericMatrix& a, const NumericMatrix& b);
NumericMatrix transposed(const NumericMatrix& a);
// Elements uniform in [-1, 1] from a generator seeded with `seed`.
NumericMatrix randomMatrix(std::uint32_t rows, std::uint32_t columns, unsigned seed);
NumericMatrix hilbert(std::uint32_t n);

// Same shape and every element within `tolerance` (NaN matches NaN); prints both on failure.
::testing::AssertionResult matricesNear(const NumericMatrix& expected, const NumericMatrix& actual, double tolerance);
// m' m = I: the columns of m are orthonormal.
::testing::AssertionResult orthonormalColumns(const NumericMatrix& m, double tolerance);

// What the call frame's handler table makes of a call: Returned (nothing thrown), StdException
// (its text, or a null result for the framework's own exceptions), StdString and Text (that text
// in the cell), Value (anything else, among them Newmat's errors: #VALUE!).
enum class Outcome { Returned, StdException, StdString, Text, Value };

template <class Call>
Outcome classify(Call call) {
    try {
        call();
    } catch (const std::exception&) {
        return Outcome::StdException;
    } catch (const std::string&) {
        return Outcome::StdString;
    } catch (const char*) {
        return Outcome::Text;
    } catch (...) {
        return Outcome::Value;
    }
    return Outcome::Returned;
}

// An input holding NaN or infinity may be computed through or end in a Newmat error; nothing else.
inline bool returnedOrValue(Outcome outcome) {
    return outcome == Outcome::Returned || outcome == Outcome::Value;
}

// The const char* text a call throws, or a note saying that it threw none.
template <class Call>
std::string thrownText(Call call) {
    try {
        call();
    } catch (const char* text) {
        return text;
    } catch (...) {
        return "<something other than a text was thrown>";
    }
    return "<nothing was thrown>";
}

#endif
