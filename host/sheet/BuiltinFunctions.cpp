#include "BuiltinFunctions.h"

#include "FormulaValues.h"
#include "XlCall.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <utility>

namespace xlhost {

BuiltinArguments::BuiltinArguments(std::size_t count, Evaluate evaluate, ReadCells readCells)
    : values_(count), evaluate_(std::move(evaluate)), readCells_(std::move(readCells)) {}

const Value& BuiltinArguments::operator[](std::size_t index) {
    if (!values_[index]) values_[index] = evaluate_(index);
    return *values_[index];
}

bool BuiltinArguments::omitted(std::size_t index) {
    return index >= size() || (*this)[index].kind() == Kind::Missing;
}

Value BuiltinArguments::cells(std::size_t index) {
    return cellsOf((*this)[index]);
}

Value BuiltinArguments::cellsOf(const Value& value) const {
    return value.kind() == Kind::Reference ? readCells_(value) : value;
}

namespace {

// An argument or element as the whole number Excel makes of it (the fraction dropped), or the error.
Value wholeNumber(const Value& value) {
    const Value number = arithmeticOperand(value);
    return number.kind() == Kind::Error ? number : Value::number(std::trunc(number.number()));
}

// The numbers SUM, MAX and MIN see: those in ranges and arrays (texts, booleans, blanks skipped),
// and arguments given directly as numbers, booleans or texts of numbers (other texts: #VALUE!).
// Gives the first error met, or nil.
Value gatherNumbers(BuiltinArguments& arguments, std::vector<double>& numbers) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (arguments.omitted(i)) {
            numbers.push_back(0);
            continue;
        }
        const Value& given = arguments[i];
        if (given.kind() != Kind::Reference && given.kind() != Kind::Array) {
            const Value number = arithmeticOperand(given);
            if (number.kind() == Kind::Error) return number;
            numbers.push_back(number.number());
            continue;
        }
        const Value block = arguments.cellsOf(given);
        const auto take = [&numbers](const Value& cell) {
            if (const auto number = cell.numeric()) numbers.push_back(*number);
            return cell.kind() == Kind::Error;
        };
        if (block.kind() != Kind::Array) {
            if (take(block)) return block;
            continue;
        }
        for (const Value& cell : block.elements())
            if (take(cell)) return cell;
    }
    return Value::nil();
}

Value sum(BuiltinArguments& arguments) {
    std::vector<double> numbers;
    const Value error = gatherNumbers(arguments, numbers);
    if (error.kind() == Kind::Error) return error;
    double total = 0;
    for (double number : numbers) total += number;
    return numberResult(total);
}

template <bool largest>
Value extreme(BuiltinArguments& arguments) {
    std::vector<double> numbers;
    const Value error = gatherNumbers(arguments, numbers);
    if (error.kind() == Kind::Error) return error;
    if (numbers.empty()) return Value::number(0);
    return Value::number(largest ? *std::max_element(numbers.begin(), numbers.end())
                                 : *std::min_element(numbers.begin(), numbers.end()));
}

Value absolute(BuiltinArguments& arguments) {
    return elementwise({arguments.cells(0)}, [](const std::vector<Value>& at) {
        const Value number = arithmeticOperand(at[0]);
        return number.kind() == Kind::Error ? number : Value::number(std::fabs(number.number()));
    });
}

// Half away from zero on the number's 15 significant digits, as Excel rounds: ROUND(2.675, 2) is
// 2.68 though the double nearest 2.675 lies below it.
double roundDecimal(double number, double digits) {
    if (number == 0 || digits > 308) return number;
    char text[40];
    std::snprintf(text, sizeof text, "%.14e", std::fabs(number));  // d.dddddddddddddde±x
    std::string mantissa(1, text[0]);
    mantissa.append(text + 2, 14);
    const int exponent = std::atoi(std::strchr(text, 'e') + 1);
    // The last digit kept: the one worth 10^-digits.
    const double lastKept = exponent + digits;
    if (lastKept >= 14) return number;
    if (lastKept < -1) return 0.0;
    const auto keep = std::size_t(lastKept + 1);  // 0 when only the carry of the first digit counts
    const bool up = mantissa[keep] >= '5';
    std::string kept = "0" + mantissa.substr(0, keep);
    if (up)
        for (std::size_t i = kept.size(); i-- > 0;) {
            if (kept[i] != '9') {
                ++kept[i];
                break;
            }
            kept[i] = '0';
        }
    // kept holds the digits from 10^(exponent+1) down to 10^-digits.
    const double rounded = std::strtod((kept + "e" + std::to_string(int(-digits))).c_str(), nullptr);
    return number < 0 ? -rounded : rounded;
}

Value round(BuiltinArguments& arguments) {
    return elementwise({arguments.cells(0), arguments.cells(1)}, [](const std::vector<Value>& at) {
        const Value number = arithmeticOperand(at[0]);
        if (number.kind() == Kind::Error) return number;
        const Value digits = wholeNumber(at[1]);
        if (digits.kind() == Kind::Error) return digits;
        return numberResult(roundDecimal(number.number(), digits.number()));
    });
}

// IF(test, [if true], [if false]): a branch left empty is 0, one not given at all FALSE. A test of
// an array chooses element by element.
Value ifThenElse(BuiltinArguments& arguments) {
    const auto branch = [&arguments](std::size_t index) {
        if (index >= arguments.size()) return Value::boolean(false);
        return arguments.omitted(index) ? Value::number(0) : arguments[index];
    };
    const Value test = arguments.cells(0);
    if (test.kind() != Kind::Array) {
        const Value condition = conditionOperand(test);
        if (condition.kind() == Kind::Error) return condition;
        return branch(condition.boolean() ? 1 : 2);
    }
    return elementwise({test, arguments.cellsOf(branch(1)), arguments.cellsOf(branch(2))},
                       [](const std::vector<Value>& at) {
                           const Value condition = conditionOperand(at[0]);
                           if (condition.kind() == Kind::Error) return condition;
                           return at[condition.boolean() ? 1 : 2];
                       });
}

Value isError(BuiltinArguments& arguments) {
    return elementwise({arguments.cells(0)},
                       [](const std::vector<Value>& at) { return Value::boolean(at[0].kind() == Kind::Error); });
}

// IFERROR(value, if error): an empty cell in either is "", as Microsoft documents.
Value ifError(BuiltinArguments& arguments) {
    const auto emptyAsText = [](const Value& value) {
        return value.kind() == Kind::Nil || value.kind() == Kind::Missing ? Value::text(std::u16string()) : value;
    };
    const Value value = arguments.cells(0);
    if (value.kind() != Kind::Array)
        return value.kind() == Kind::Error ? emptyAsText(arguments.cells(1)) : emptyAsText(value);
    bool anyError = std::any_of(value.elements().begin(), value.elements().end(),
                                [](const Value& element) { return element.kind() == Kind::Error; });
    const Value fallback = anyError ? arguments.cells(1) : Value::nil();
    return elementwise({value, fallback}, [&emptyAsText](const std::vector<Value>& at) {
        return emptyAsText(at[0].kind() == Kind::Error ? at[1] : at[0]);
    });
}

// Rows and columns of an argument: a reference's area, an array's shape, 1 x 1 for one value.
std::pair<std::int64_t, std::int64_t> shapeOf(const Value& value) {
    if (value.kind() == Kind::Reference) return {value.areas().front().rows(), value.areas().front().columns()};
    if (value.kind() == Kind::Array) return {value.rows(), value.columns()};
    return {1, 1};
}

template <bool ofRows>
Value countOf(BuiltinArguments& arguments) {
    const Value& value = arguments[0];
    if (value.kind() == Kind::Error) return value;
    const auto shape = shapeOf(value);
    return Value::number(double(ofRows ? shape.first : shape.second));
}

// INDEX(array, row, [column]): 0 (or nothing) for a row or column takes all of it; a one-row array
// takes its one number as the column. A reference gives a reference.
Value index(BuiltinArguments& arguments) {
    const Value& source = arguments[0];
    if (source.kind() == Kind::Error) return source;
    const auto shape = shapeOf(source);
    std::int64_t position[2] = {0, 0};
    for (std::size_t i = 1; i < 3; ++i) {
        if (arguments.omitted(i)) continue;
        const Value number = wholeNumber(arguments.cells(i));
        if (number.kind() == Kind::Error) return number;
        if (number.number() < 0) return Value::error(xlerrValue);
        position[i - 1] = number.number() > 2e9 ? std::int64_t(2e9) : std::int64_t(number.number());
    }
    if (arguments.omitted(2) && shape.first == 1 && shape.second > 1) std::swap(position[0], position[1]);
    if (position[0] > shape.first || position[1] > shape.second) return Value::error(xlerrRef);
    const std::int64_t firstRow = position[0] == 0 ? 0 : position[0] - 1;
    const std::int64_t lastRow = position[0] == 0 ? shape.first - 1 : firstRow;
    const std::int64_t firstColumn = position[1] == 0 ? 0 : position[1] - 1;
    const std::int64_t lastColumn = position[1] == 0 ? shape.second - 1 : firstColumn;
    if (source.kind() == Kind::Reference) {
        const Area& area = source.areas().front();
        return Value::sheetReference(Area{area.firstRow + std::int32_t(firstRow), area.firstRow + std::int32_t(lastRow),
                                          area.firstColumn + std::int32_t(firstColumn),
                                          area.firstColumn + std::int32_t(lastColumn)});
    }
    if (source.kind() != Kind::Array) return source;
    if (firstRow == lastRow && firstColumn == lastColumn)
        return source.element(std::int32_t(firstRow), std::int32_t(firstColumn));
    std::vector<Value> elements;
    for (std::int64_t r = firstRow; r <= lastRow; ++r)
        for (std::int64_t c = firstColumn; c <= lastColumn; ++c)
            elements.push_back(source.element(std::int32_t(r), std::int32_t(c)));
    return Value::array(std::int32_t(lastRow - firstRow + 1), std::int32_t(lastColumn - firstColumn + 1),
                        std::move(elements));
}

Value transpose(BuiltinArguments& arguments) {
    const Value value = arguments.cells(0);
    if (value.kind() != Kind::Array) return value;
    std::vector<Value> elements;
    elements.reserve(value.elements().size());
    for (std::int32_t c = 0; c < value.columns(); ++c)
        for (std::int32_t r = 0; r < value.rows(); ++r) elements.push_back(value.element(r, c));
    return Value::array(value.columns(), value.rows(), std::move(elements));
}

struct Matrix {
    std::size_t rows = 0;
    std::size_t columns = 0;
    std::vector<double> elements;  // row after row
    double& at(std::size_t row, std::size_t column) { return elements[row * columns + column]; }
};

// The argument as a matrix of numbers: #VALUE! when any element is no number (a blank, a text, a
// boolean or an error in the block); an error given as the whole argument passes through.
Value matrixOf(BuiltinArguments& arguments, std::size_t index, Matrix& matrix) {
    const Value value = arguments.cells(index);
    if (value.kind() == Kind::Error) return value;
    const Value block = value.kind() == Kind::Array ? value : Value::array(1, 1, {value});
    matrix.rows = std::size_t(block.rows());
    matrix.columns = std::size_t(block.columns());
    for (const Value& element : block.elements()) {
        const auto number = element.numeric();
        if (!number) return Value::error(xlerrValue);
        matrix.elements.push_back(*number);
    }
    return Value::nil();
}

Value arrayOf(const Matrix& matrix) {
    std::vector<Value> elements;
    elements.reserve(matrix.elements.size());
    for (double number : matrix.elements) {
        elements.push_back(numberResult(number));
        if (elements.back().kind() == Kind::Error) return elements.back();
    }
    return Value::array(std::int32_t(matrix.rows), std::int32_t(matrix.columns), std::move(elements));
}

Value matrixProduct(BuiltinArguments& arguments) {
    Matrix a;
    Matrix b;
    const Value first = matrixOf(arguments, 0, a);
    if (first.kind() == Kind::Error) return first;
    const Value second = matrixOf(arguments, 1, b);
    if (second.kind() == Kind::Error) return second;
    if (a.columns != b.rows) return Value::error(xlerrValue);
    if (a.rows * b.columns > largestComputedArray) return Value::error(xlerrNum);
    Matrix product{a.rows, b.columns, std::vector<double>(a.rows * b.columns)};
    for (std::size_t r = 0; r < a.rows; ++r)
        for (std::size_t k = 0; k < a.columns; ++k)
            for (std::size_t c = 0; c < b.columns; ++c) product.at(r, c) += a.at(r, k) * b.at(k, c);
    return arrayOf(product);
}

// Gauss-Jordan elimination with partial pivoting on a square matrix: its determinant, and its
// inverse into `inverse` when asked; false when a pivot is 0 (the matrix is singular).
bool eliminate(Matrix a, double& determinant, Matrix* inverse) {
    const std::size_t n = a.rows;
    Matrix identity{n, n, std::vector<double>(n * n)};
    for (std::size_t i = 0; i < n; ++i) identity.at(i, i) = 1;
    determinant = 1;
    for (std::size_t k = 0; k < n; ++k) {
        std::size_t pivot = k;
        for (std::size_t r = k + 1; r < n; ++r)
            if (std::fabs(a.at(r, k)) > std::fabs(a.at(pivot, k))) pivot = r;
        if (a.at(pivot, k) == 0) {
            determinant = 0;
            return false;
        }
        if (pivot != k) {
            for (std::size_t c = 0; c < n; ++c) {
                std::swap(a.at(k, c), a.at(pivot, c));
                std::swap(identity.at(k, c), identity.at(pivot, c));
            }
            determinant = -determinant;
        }
        const double p = a.at(k, k);
        determinant *= p;
        for (std::size_t c = 0; c < n; ++c) {
            a.at(k, c) /= p;
            identity.at(k, c) /= p;
        }
        for (std::size_t r = 0; r < n; ++r) {
            const double factor = a.at(r, k);
            if (r == k || factor == 0) continue;
            for (std::size_t c = 0; c < n; ++c) {
                a.at(r, c) -= factor * a.at(k, c);
                identity.at(r, c) -= factor * identity.at(k, c);
            }
        }
    }
    if (inverse != nullptr) *inverse = std::move(identity);
    return true;
}

// The one argument as a square matrix of numbers; the error it gives, or nil.
Value squareMatrixOf(BuiltinArguments& arguments, Matrix& matrix) {
    const Value given = matrixOf(arguments, 0, matrix);
    if (given.kind() == Kind::Error) return given;
    return matrix.rows == matrix.columns ? Value::nil() : Value::error(xlerrValue);
}

Value matrixInverse(BuiltinArguments& arguments) {
    Matrix a;
    const Value given = squareMatrixOf(arguments, a);
    if (given.kind() == Kind::Error) return given;
    double determinant = 0;
    Matrix inverse;
    if (!eliminate(a, determinant, &inverse)) return Value::error(xlerrNum);
    return arrayOf(inverse);
}

Value matrixDeterminant(BuiltinArguments& arguments) {
    Matrix a;
    const Value given = squareMatrixOf(arguments, a);
    if (given.kind() == Kind::Error) return given;
    double determinant = 0;
    eliminate(a, determinant, nullptr);
    return numberResult(determinant);
}

Value unitMatrix(BuiltinArguments& arguments) {
    const Value size = wholeNumber(arguments.cells(0));
    if (size.kind() == Kind::Error) return size;
    if (size.number() < 1) return Value::error(xlerrValue);
    if (size.number() * size.number() > double(largestComputedArray)) return Value::error(xlerrNum);
    const auto n = std::int32_t(size.number());
    std::vector<Value> elements(std::size_t(n) * std::size_t(n), Value::number(0));
    for (std::int32_t i = 0; i < n; ++i) elements[std::size_t(i) * std::size_t(n) + std::size_t(i)] = Value::number(1);
    return Value::array(n, n, std::move(elements));
}

Value random(BuiltinArguments&) {
    static std::mt19937_64 generator{std::random_device{}()};
    return Value::number(std::uniform_real_distribution<double>(0.0, 1.0)(generator));
}

constexpr std::size_t manyArguments = 255;

}  // namespace

const std::vector<BuiltinFunction>& builtinFunctions() {
    static const std::vector<BuiltinFunction> table = {
        {"ABS", 1, 1, false, absolute},
        {"COLUMNS", 1, 1, false, countOf<false>},
        {"IF", 2, 3, false, ifThenElse},
        {"IFERROR", 2, 2, false, ifError},
        {"INDEX", 2, 3, false, index},
        {"ISERROR", 1, 1, false, isError},
        {"MAX", 1, manyArguments, false, extreme<true>},
        {"MDETERM", 1, 1, false, matrixDeterminant},
        {"MIN", 1, manyArguments, false, extreme<false>},
        {"MINVERSE", 1, 1, false, matrixInverse},
        {"MMULT", 2, 2, false, matrixProduct},
        {"MUNIT", 1, 1, false, unitMatrix},
        {"RAND", 0, 0, true, random},
        {"ROUND", 2, 2, false, round},
        {"ROWS", 1, 1, false, countOf<true>},
        {"SUM", 1, manyArguments, false, sum},
        {"TRANSPOSE", 1, 1, false, transpose},
    };
    return table;
}

const BuiltinFunction* findBuiltin(std::string_view name) {
    for (const BuiltinFunction& function : builtinFunctions())
        if (sameIgnoringCase(name, function.name)) return &function;
    return nullptr;
}

}  // namespace xlhost
