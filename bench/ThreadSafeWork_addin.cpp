// The benchmark's add-in: worksheet functions whose own work is known, thread-safe and not.
#include <zep/WorksheetFunction.h>

#include "ThreadSafeWork.h"

// About 50 µs of arithmetic on one number, as a cell of a real model might cost.
ZEP_FUNCTION(xlbn_Work, "bn_Work", "Some 50 microseconds of work", "Benchmark", zep::ThreadSafe,
             (zep::NumberArgument, seed, "any number")) {
    return benchwork::Spin(seed);
}

// The inverse of a 3 x 3 matrix, through each of the two call paths.
ZEP_FUNCTION(xlbn_InverseThreadSafe, "bn_InverseThreadSafe", "3 x 3 inverse", "Benchmark", zep::ThreadSafe,
             (zep::MatrixArgument, matrix, "3 x 3 numbers")) {
    return benchwork::Inverse(matrix);
}

ZEP_WORKSHEET_FUNCTION(xlbn_InverseShared, "bn_InverseShared", "3 x 3 inverse", "Benchmark",
                       (zep::MatrixArgument, matrix, "3 x 3 numbers")) {
    return benchwork::Inverse(matrix);
}
