#ifndef BENCH_THREADSAFEWORK_H
#define BENCH_THREADSAFEWORK_H

// The work of the benchmark add-in's functions, also timed alone.

#include <zep/NumericMatrix.h>

#include <stdexcept>

namespace benchwork {

// A chain of dependent multiply-adds the compiler cannot shorten: about 50 µs on a 3 GHz core.
inline double Spin(double seed) {
    volatile double x = seed;
    for (int i = 0; i < 40000; ++i) x = x * 0.999999 + 1e-9;
    return x;
}

// By cofactors: the work of a 3 x 3 inverse without any library around it.
inline NumericMatrix Inverse3x3(const NumericMatrix& m) {
    if (m.rows() != 3 || m.columns() != 3) throw std::invalid_argument("3 x 3 only");
    NumericMatrix inverse(3, 3);
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    if (det == 0) throw std::invalid_argument("singular");
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            const int r1 = (j + 1) % 3, r2 = (j + 2) % 3, c1 = (i + 1) % 3, c2 = (i + 2) % 3;
            inverse[i][j] = (m[r1][c1] * m[r2][c2] - m[r1][c2] * m[r2][c1]) / det;
        }
    return inverse;
}

}  // namespace benchwork

#endif
