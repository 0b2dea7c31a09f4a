#ifndef ADDIN_XLENTRYPOINTS_H
#define ADDIN_XLENTRYPOINTS_H

// The worksheet functions as Excel calls them: record arguments arrive as pointers to Excel's
// value records (XLOPER or XLOPER12, whichever the running Excel speaks), numbers as doubles.
// Each returns a pointer to the result record, valid until the next call of any of them, or
// null when Excel itself reported a fault (uncalculated argument, abort). The add-in needs no
// declarations (XlEntryPoints.cpp defines and registers each function in one place): these are
// for the programs that call the entry points directly, the tests and the benchmark. The
// framework's entry points, the Add-in Manager's among them, are declared in <zep/XlOpenClose.h>.

#include <zep/XlCall.h>
#include <zep/XlExport.h>
#include <zep/XlOpenClose.h>

extern "C" {
ZEP_EXPORT void* XLCALL_STDCALL xlmtrx_Invert(void* mtrx);
ZEP_EXPORT void* XLCALL_STDCALL xlmtrx_Transpose(void* mtrx);
ZEP_EXPORT void* XLCALL_STDCALL xlmtrx_Determinant(void* mtrx);
ZEP_EXPORT void* XLCALL_STDCALL xlmtrx_Row(void* mtrx, double n);
ZEP_EXPORT void* XLCALL_STDCALL xlmtrx_Column(void* mtrx, double n);
ZEP_EXPORT void* XLCALL_STDCALL xlmtrx_LinEqSolve(void* coeffMtrx, void* rhsVector);
ZEP_EXPORT void* XLCALL_STDCALL xlmtrx_Cholesky(void* mtrx);
ZEP_EXPORT void* XLCALL_STDCALL xlmtrx_QRDecomposition_R(void* mtrx);
ZEP_EXPORT void* XLCALL_STDCALL xlmtrx_SVDDecomposition(void* mtrx, double param);
ZEP_EXPORT void* XLCALL_STDCALL xlmtrx_quickSort(void* mtrx, double param);
ZEP_EXPORT void* XLCALL_STDCALL xlmtrx_EVDecomposition(void* mtrx, double param);
}

#endif
