#ifndef ADDIN_XLENTRYPOINTS_H
#define ADDIN_XLENTRYPOINTS_H

// The worksheet functions as Excel calls them: record arguments arrive as pointers to Excel's
// value records (XLOPER or XLOPER12, whichever the running Excel speaks), numbers as doubles.
// Each returns a pointer to the result record, valid until the next call of any of them, or
// null when Excel itself reported a fault (uncalculated argument, abort). The add-in needs no
// declarations (XlEntryPoints.cpp defines and registers each function in one place): these are
// for the programs that call the entry points directly, the tests and the benchmark.

#include <zep/XlCall.h>
#include <zep/XlExport.h>

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

// Excel's Add-in Manager asks for the name it lists the add-in under: with an action that is, or
// Excel coerces to, the number 1 the answer is the text "Matrix Functions", otherwise #VALUE!.
// Excel 2007 and later call the 12 form and read its answer as an XLOPER12 whichever layout the
// worksheet functions speak; older versions call the other and read an XLOPER. The answer lives
// in the temporary memory like every worksheet result; null when even that cannot be had.
ZEP_EXPORT XLOPER* XLCALL_STDCALL xlAddInManagerInfo(XLOPER* action);
ZEP_EXPORT XLOPER12* XLCALL_STDCALL xlAddInManagerInfo12(XLOPER12* action);
}

#endif
