#ifndef BENCH_THREADSAFEWORK_H
#define BENCH_THREADSAFEWORK_H

// The work of the benchmark add-in's functions, also timed alone.

#include <zep/NumericMatrix.h>

#include <ToolboxNumerics.h>

namespace benchwork {

// A chain of dependent multiply-adds the compiler cannot shorten, each through memory (some 4.5 ns
// on this 2.1 GHz build machine): about 50 µs.
inline double Spin(double seed) {
    volatile double x = seed;
    for (int i = 0; i < 11000; ++i) x = x * 0.999999 + 1e-9;
    return x;
}

// A 3 x 3 inverse as MatrixToolbox's MTX.INV computes it (LU with partial pivoting, with its
// checks), from the framework's matrix and back: what a small thread-safe call really does.
inline NumericMatrix Inverse(const NumericMatrix& m) {
    using RowMajor = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;
    const toolbox::Matrix inverse = toolbox::inverse(Eigen::Map<const RowMajor>(m.data(), m.rows(), m.columns()));
    NumericMatrix result(m.rows(), m.columns());
    Eigen::Map<RowMajor>(result.data(), m.rows(), m.columns()) = inverse;
    return result;
}

}  // namespace benchwork

#endif
