#ifndef SRC_VALUEREADS_H
#define SRC_VALUEREADS_H

#include "CellMatrix.h"
#include "NumericMatrix.h"

#include <cstdint>
#include <string>

namespace zep {

// How a two-dimensional value is read into a vector. Any other value reads column by column.
enum VectorPolicy : int {
    VectorOnly = 0,      // one row or one column only, elements in order
    RowByRow = 1,        // element (i, j) at i x columns + j
    ColumnByColumn = 2,  // element (i, j) at j x rows + i
};

class XlfRangeRef;

// The conversions of the value handles XlfOper and XlfOper4, on the core reads each handle has
// (GetDouble, GetMatrix and so on, each giving an Excel return code). With a return-code pointer
// the code is stored there and nothing is thrown (the result is then meaningless unless the code
// is 0); without one a failing code throws through the handle's CheckReturnCode, the named forms
// with a text that names the argument.
template <class Handle>
class ValueReads {
public:
    double ReadDouble(int* err = nullptr) const;
    double ReadDouble(const std::string& name, int* err = nullptr) const;
    NumericVector ReadDoubleVector(VectorPolicy policy = VectorOnly, int* err = nullptr) const;
    NumericVector ReadDoubleVector(const std::string& name, VectorPolicy policy = VectorOnly, int* err = nullptr) const;
    NumericVector ReadArray(VectorPolicy policy = VectorOnly, int* err = nullptr) const;
    NumericVector ReadArray(const std::string& name, VectorPolicy policy = VectorOnly, int* err = nullptr) const;
    std::int16_t ReadShort(int* err = nullptr) const;
    std::int16_t ReadShort(const std::string& name, int* err = nullptr) const;
    bool ReadBool(int* err = nullptr) const;
    bool ReadBool(const std::string& name, int* err = nullptr) const;
    NumericMatrix ReadMatrix(int* err = nullptr) const;
    NumericMatrix ReadMatrix(const std::string& name, int* err = nullptr) const;
    CellMatrix ReadCellMatrix(int* err = nullptr) const;
    CellMatrix ReadCellMatrix(const std::string& name, int* err = nullptr) const;
    // Points into temporary memory, valid until the next worksheet call.
    const char* ReadCString(int* err = nullptr) const;
    const char* ReadCString(const std::string& name, int* err = nullptr) const;
    XlfRangeRef ReadRangeRef(int* err = nullptr) const;

protected:
    ValueReads() = default;
    ~ValueReads() = default;

    // The text of a failing named read: before + name + after. Put together only when a read
    // fails, so that a successful call allocates nothing for it.
    struct FailureText {
        const char* before;
        const std::string& name;
        const char* after;
    };
    // The caller asked for the code, or gets the exception of a failing one, named by text.
    static void Report(int code, int* err, const FailureText* text);
    // One core read of this handle into value, reported as Report does.
    template <class T>
    T Converted(int (Handle::*read)(T&) const, T value, int* err, const FailureText* text) const;
};

}  // namespace zep

#endif
