// MatrixToolbox's numerics against MatrixFunctions' Newmat on the same matrices, at n = 100, 300
// and 1000, and the toolbox's worksheet calls through the stand-in Excel against the numerics
// alone at n = 300. lapack_reference.py times numpy and scipy on matrices of the same sizes and
// puts both in one table (README.md, "MatrixToolbox's speed").
//   Toolbox/<method>/n    the numerics alone (toolbox/ToolboxNumerics.h), on Eigen matrices.
//   Newmat/<method>/n     MatrixFunctions' own functions (addin/: mtrx_Invert,
//                         mtrx_QRDecomposition_R, mtrx_SVDDecomposition, mtrx_EVDecomposition),
//                         and Newmat directly for least squares (QRZ and a triangular solve),
//                         which MatrixFunctions has no function for. Newmat has no general
//                         eigensolver.
//   EndToEnd/<method>/300 the MTX.* entry point of the same method, timed as SameRunRatio.h
//                         says against the numerics alone ("ratio"), in the thread's processor
//                         time: on this shared machine the wall clock mostly measures the wait for
//                         a core. Compare the other rows by their CPU column for the same reason.
// Least squares is a 2n x n system with one right-hand side; the other methods take n x n.
#include "DecompositionFunctions.h"
#include "ExcelStandIn.h"
#include "SameRunRatio.h"
#include "SquareMatrixFunctions.h"
#include "ToolboxNumerics.h"

#include <zep/XlfExcel.h>

#include <benchmark/benchmark.h>
#include <newmat/newmat.h>
#include <newmat/newmatap.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

// MatrixToolbox's entry points, compiled into this program from toolbox/XlToolboxFunctions.cpp.
extern "C" {
void* XLCALL_STDCALL xlmtx_Inv(void*);
void* XLCALL_STDCALL xlmtx_QR(void*, void*, void*);
void* XLCALL_STDCALL xlmtx_SVD(void*, void*);
void* XLCALL_STDCALL xlmtx_EigSym(void*, void*);
void* XLCALL_STDCALL xlmtx_Eig(void*, void*, void*);
void* XLCALL_STDCALL xlmtx_LstSq(void*, void*, void*);
}

namespace {

using xlhost::Value;
using RowMajor = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;

// The matrices every side of one size works on, from a fixed seed: a general A, a symmetric
// positive definite S, and the tall least-squares system T x = b.
struct Problem {
    explicit Problem(int size) : n(size) {
        std::mt19937_64 generator(20261208u + unsigned(n));
        std::uniform_real_distribution<double> uniform(-1.0, 1.0);
        const auto random = [&](Eigen::Index rows, Eigen::Index columns) {
            return toolbox::Matrix(toolbox::Matrix::NullaryExpr(rows, columns, [&] { return uniform(generator); }));
        };
        a = random(n, n);
        s = a.transpose() * a / n + toolbox::Matrix::Identity(n, n);
        t = random(2 * n, n);
        b = random(2 * n, 1);
    }
    int n;
    toolbox::Matrix a, s, t, b;
};

const Problem& ProblemOf(int n) {
    static std::vector<std::unique_ptr<Problem>> problems;
    for (const auto& problem : problems)
        if (problem->n == n) return *problem;
    problems.push_back(std::make_unique<Problem>(n));
    return *problems.back();
}

std::vector<double> RowMajorNumbers(const toolbox::Matrix& m) {
    std::vector<double> numbers(std::size_t(m.size()));
    Eigen::Map<RowMajor>(numbers.data(), m.rows(), m.cols()) = m;
    return numbers;
}

NumericMatrix NumericOf(const toolbox::Matrix& m) {
    NumericMatrix result(std::uint32_t(m.rows()), std::uint32_t(m.cols()));
    Eigen::Map<RowMajor>(result.data(), m.rows(), m.cols()) = m;
    return result;
}

NEWMAT::Matrix NewmatOf(const toolbox::Matrix& m) {
    NEWMAT::Matrix result(int(m.rows()), int(m.cols()));
    result << RowMajorNumbers(m).data();
    return result;
}

Value ArrayOf(const toolbox::Matrix& m) {
    std::vector<Value> elements;
    for (const double number : RowMajorNumbers(m)) elements.push_back(Value::number(number));
    return Value::array(std::int32_t(m.rows()), std::int32_t(m.cols()), std::move(elements));
}

enum class Method { inverse, qr, svd, symmetricEigen, generalEigen, leastSquares };

// The numerics alone: what each worksheet call computes before it picks its part.
std::function<void()> ToolboxWork(Method method, const Problem& p) {
    switch (method) {
        case Method::inverse:
            return [&p] { benchmark::DoNotOptimize(toolbox::inverse(p.a)); };
        case Method::qr:
            return [&p] { benchmark::DoNotOptimize(toolbox::qrDecomposition(p.a, false)); };
        case Method::svd:
            return [&p] { benchmark::DoNotOptimize(toolbox::singularValueDecomposition(p.a)); };
        case Method::symmetricEigen:
            return [&p] { benchmark::DoNotOptimize(toolbox::symmetricEigen(p.s)); };
        case Method::generalEigen:
            return [&p] { benchmark::DoNotOptimize(toolbox::generalEigen(p.a)); };
        case Method::leastSquares:
            return [&p] { benchmark::DoNotOptimize(toolbox::leastSquares(p.t, p.b)); };
    }
    return {};
}

void Toolbox(benchmark::State& state, Method method, int n) {
    const std::function<void()> work = ToolboxWork(method, ProblemOf(n));
    for (auto _ : state) work();
}

void Newmat(benchmark::State& state, Method method, int n) {
    const Problem& p = ProblemOf(n);
    const NumericMatrix a = NumericOf(p.a), s = NumericOf(p.s);
    const NEWMAT::Matrix t = NewmatOf(p.t), b = NewmatOf(p.b);
    for (auto _ : state) {
        switch (method) {
            case Method::inverse:
                benchmark::DoNotOptimize(mtrx_Invert(a));
                break;
            case Method::qr:
                benchmark::DoNotOptimize(mtrx_QRDecomposition_R(a));
                break;
            case Method::svd:
                benchmark::DoNotOptimize(mtrx_SVDDecomposition(a, 3));
                break;
            case Method::symmetricEigen:
                benchmark::DoNotOptimize(mtrx_EVDecomposition(s, 1));
                break;
            case Method::leastSquares: {
                NEWMAT::Matrix x = t, y = b, m;
                NEWMAT::UpperTriangularMatrix u;
                NEWMAT::QRZ(x, u);
                NEWMAT::QRZ(x, y, m);
                const NEWMAT::Matrix solution = u.i() * m;
                benchmark::DoNotOptimize(solution.Store());
                break;
            }
            case Method::generalEigen:
                state.SkipWithError("Newmat has no general eigensolver");
                return;
        }
        benchmark::ClobberMemory();
    }
}

// The worksheet call, as Excel 12 makes it, against the numerics alone.
void EndToEnd(benchmark::State& state, Method method, int n) {
    using L = xlhost::Layout12;
    const auto host = std::make_unique<xlhost::ExcelStandIn>("12.0");
    zep::XlfExcel::DeleteCurrent();
    zep::XlfExcel::Current();
    const Problem& p = ProblemOf(n);
    const bool symmetric = method == Method::symmetricEigen;
    const bool tall = method == Method::leastSquares;
    xlhost::ArgumentRecord<L> matrix(ArrayOf(symmetric ? p.s : tall ? p.t : p.a));
    xlhost::ArgumentRecord<L> rhs(ArrayOf(p.b));
    xlhost::ArgumentRecord<L> missing(Value::missing());
    const auto call = [&] {
        switch (method) {
            case Method::inverse:
                return xlmtx_Inv(matrix.get());
            case Method::qr:
                return xlmtx_QR(matrix.get(), missing.get(), missing.get());
            case Method::svd:
                return xlmtx_SVD(matrix.get(), missing.get());
            case Method::symmetricEigen:
                return xlmtx_EigSym(matrix.get(), missing.get());
            case Method::generalEigen:
                return xlmtx_Eig(matrix.get(), missing.get(), missing.get());
            case Method::leastSquares:
                return xlmtx_LstSq(matrix.get(), rhs.get(), missing.get());
        }
        return static_cast<void*>(nullptr);
    };
    bench::Compare<bench::ThreadCpuClock>(
        state, 1,
        [&] {
            benchmark::DoNotOptimize(call());
            host->clearCalls();  // the stand-in's log of calls into it, which Excel does not keep
        },
        ToolboxWork(method, p));
    zep::XlfExcel::DeleteCurrent();
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const std::pair<Method, const char*> methods[] = {
        {Method::inverse, "inverse"},
        {Method::qr, "qr"},
        {Method::svd, "svd"},
        {Method::symmetricEigen, "symmetric_eigen"},
        {Method::generalEigen, "general_eigen"},
        {Method::leastSquares, "least_squares"},
    };
    for (const int n : {100, 300, 1000})
        for (const auto& [method, name] : methods) {
            const std::string suffix = std::string(name) + "/" + std::to_string(n);
            // A few runs of the large sizes: one n = 1000 SVD by Newmat takes seconds.
            const auto runs = [n](benchmark::internal::Benchmark* b) {
                b->Unit(benchmark::kMillisecond);
                if (n >= 1000)
                    b->Iterations(3);
                else
                    b->MinTime(0.3);
            };
            const auto sameRun = [](benchmark::internal::Benchmark* b) {
                b->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(9);
            };
            runs(benchmark::RegisterBenchmark(("Toolbox/" + suffix).c_str(), Toolbox, method, n));
            if (method != Method::generalEigen)
                runs(benchmark::RegisterBenchmark(("Newmat/" + suffix).c_str(), Newmat, method, n));
            if (n == 300) sameRun(benchmark::RegisterBenchmark(("EndToEnd/" + suffix).c_str(), EndToEnd, method, n));
        }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
