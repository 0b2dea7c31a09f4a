#include "WorksheetCallCheck.h"

#include "XlEntryPoints.h"
#include "XlfExcel.h"

#include <sstream>

namespace worksheetcheck {

using xlhost::Kind;
using xlhost::Value;

const std::array<EntryPoint, 11>& EntryPoints() {
    static const std::array<EntryPoint, 11> table = {{
        {"xlmtrx_Invert", 1, false, [](void* a, void*, double) { return xlmtrx_Invert(a); }},
        {"xlmtrx_Transpose", 1, false, [](void* a, void*, double) { return xlmtrx_Transpose(a); }},
        {"xlmtrx_Determinant", 1, false, [](void* a, void*, double) { return xlmtrx_Determinant(a); }},
        {"xlmtrx_Row", 1, true, [](void* a, void*, double n) { return xlmtrx_Row(a, n); }},
        {"xlmtrx_Column", 1, true, [](void* a, void*, double n) { return xlmtrx_Column(a, n); }},
        {"xlmtrx_LinEqSolve", 2, false, [](void* a, void* b, double) { return xlmtrx_LinEqSolve(a, b); }},
        {"xlmtrx_Cholesky", 1, false, [](void* a, void*, double) { return xlmtrx_Cholesky(a); }},
        {"xlmtrx_QRDecomposition_R", 1, false, [](void* a, void*, double) { return xlmtrx_QRDecomposition_R(a); }},
        {"xlmtrx_SVDDecomposition", 1, true, [](void* a, void*, double n) { return xlmtrx_SVDDecomposition(a, n); }},
        {"xlmtrx_quickSort", 1, true, [](void* a, void*, double n) { return xlmtrx_quickSort(a, n); }},
        {"xlmtrx_EVDecomposition", 1, true, [](void* a, void*, double n) { return xlmtrx_EVDecomposition(a, n); }},
    }};
    return table;
}

void ConnectToCurrentHost() {
    zep::XlfExcel::DeleteCurrent();
    zep::XlfExcel::Current();
}

namespace {

// What a worksheet function may hand back: the values a cell can show, and arrays of them.
bool IsCellValue(Kind kind) {
    return kind == Kind::Number || kind == Kind::Text || kind == Kind::Boolean || kind == Kind::Error ||
           kind == Kind::Nil;
}

}  // namespace

template <class L>
std::string ResultProblem(const void* record) {
    if (record == nullptr) return "null result";
    const Value result = xlhost::RecordCodec<L>::decode(*static_cast<const typename L::Record*>(record));
    // The decoder checks type words, text counts, error codes and array shapes, elements included.
    if (const Value* invalid = result.firstInvalid()) return "unreadable result: " + describe(*invalid);
    if (result.kind() == Kind::Array) {
        // Excel shows no more columns than its oldest sheets have.
        if (result.columns() > 255) return "array of " + std::to_string(result.columns()) + " columns";
        return "";
    }
    if (!IsCellValue(result.kind())) return "result of kind " + std::string(kindName(result.kind()));
    return "";
}

template <class L>
std::string CallProblems(xlhost::ExcelStandIn& host, const void* result,
                         const std::vector<const xlhost::ArgumentRecord<L>*>& arguments) {
    std::ostringstream problems;
    const std::string resultProblem = ResultProblem<L>(result);
    if (!resultProblem.empty()) problems << resultProblem << "\n";
    if (host.checkForLeaks() != 0 || !host.faults().empty()) problems << host.faults();
    host.clearFaults();
    for (const auto* argument : arguments)
        if (!argument->intact()) problems << "argument " << argument->value() << " was written to\n";
    return problems.str();
}

template std::string ResultProblem<xlhost::Layout4>(const void*);
template std::string ResultProblem<xlhost::Layout12>(const void*);
template std::string CallProblems<xlhost::Layout4>(xlhost::ExcelStandIn&, const void*,
                                                   const std::vector<const xlhost::Argument4*>&);
template std::string CallProblems<xlhost::Layout12>(xlhost::ExcelStandIn&, const void*,
                                                    const std::vector<const xlhost::Argument12*>&);

}  // namespace worksheetcheck
