#include "XlEntryPoints.h"

#include "DecompositionFunctions.h"
#include "RowColumnFunctions.h"
#include "SortFunctions.h"
#include "SquareMatrixFunctions.h"
#include "XlCallFrame.h"

using zep::CallMatrixFunction;
using zep::IntegerArgument;
using zep::MatrixArgument;
using zep::VectorArgument;

extern "C" {

void* XLCALL_STDCALL xlmtrx_Invert(void* mtrx) {
    return CallMatrixFunction(mtrx_Invert, MatrixArgument{mtrx, "mtrx"});
}

void* XLCALL_STDCALL xlmtrx_Transpose(void* mtrx) {
    return CallMatrixFunction(mtrx_Transpose, MatrixArgument{mtrx, "mtrx"});
}

void* XLCALL_STDCALL xlmtrx_Determinant(void* mtrx) {
    return CallMatrixFunction(mtrx_Determinant, MatrixArgument{mtrx, "mtrx"});
}

void* XLCALL_STDCALL xlmtrx_Row(void* mtrx, double n) {
    return CallMatrixFunction(mtrx_Row, MatrixArgument{mtrx, "mtrx"}, IntegerArgument{n});
}

void* XLCALL_STDCALL xlmtrx_Column(void* mtrx, double n) {
    return CallMatrixFunction(mtrx_Column, MatrixArgument{mtrx, "mtrx"}, IntegerArgument{n});
}

void* XLCALL_STDCALL xlmtrx_LinEqSolve(void* coeffMtrx, void* rhsVector) {
    return CallMatrixFunction(mtrx_LinEqSolve, MatrixArgument{coeffMtrx, "coeffMtrx"},
                              MatrixArgument{rhsVector, "rhsVector"});
}

void* XLCALL_STDCALL xlmtrx_Cholesky(void* mtrx) {
    return CallMatrixFunction(mtrx_Cholesky, MatrixArgument{mtrx, "mtrx"});
}

void* XLCALL_STDCALL xlmtrx_QRDecomposition_R(void* mtrx) {
    return CallMatrixFunction(mtrx_QRDecomposition_R, MatrixArgument{mtrx, "mtrx"});
}

void* XLCALL_STDCALL xlmtrx_SVDDecomposition(void* mtrx, double param) {
    return CallMatrixFunction(mtrx_SVDDecomposition, MatrixArgument{mtrx, "mtrx"}, IntegerArgument{param});
}

void* XLCALL_STDCALL xlmtrx_quickSort(void* mtrx, double param) {
    return CallMatrixFunction(mtrx_quickSort, VectorArgument{mtrx, "mtrx"}, IntegerArgument{param});
}

void* XLCALL_STDCALL xlmtrx_EVDecomposition(void* mtrx, double param) {
    return CallMatrixFunction(mtrx_EVDecomposition, MatrixArgument{mtrx, "mtrx"}, IntegerArgument{param});
}

}
