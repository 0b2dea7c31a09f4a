#include "ValueReads.h"

#include "XlfOper.h"
#include "XlfOper4.h"

namespace zep {

template <class Handle>
void ValueReads<Handle>::Report(int code, int* err, const FailureText* text) {
    if (err != nullptr)
        *err = code;
    else if (text != nullptr && code != xlretSuccess)
        Handle::CheckReturnCode(code, text->before + text->name + text->after);
    else
        Handle::CheckReturnCode(code);
}

template <class Handle>
template <class T>
T ValueReads<Handle>::Converted(int (Handle::*read)(T&) const, T value, int* err, const FailureText* text) const {
    Report((static_cast<const Handle&>(*this).*read)(value), err, text);
    return value;
}

template <class Handle>
double ValueReads<Handle>::ReadDouble(int* err) const {
    return Converted(&Handle::GetDouble, 0.0, err, nullptr);
}

template <class Handle>
double ValueReads<Handle>::ReadDouble(const std::string& name, int* err) const {
    const FailureText text{"Conversion to double ", name, ""};
    return Converted(&Handle::GetDouble, 0.0, err, &text);
}

template <class Handle>
NumericVector ValueReads<Handle>::ReadDoubleVector(VectorPolicy policy, int* err) const {
    NumericVector values;
    Report(static_cast<const Handle&>(*this).GetDoubleVector(values, policy), err, nullptr);
    return values;
}

template <class Handle>
NumericVector ValueReads<Handle>::ReadDoubleVector(const std::string& name, VectorPolicy policy, int* err) const {
    const FailureText text{"", name, " conversion to double vector"};
    NumericVector values;
    Report(static_cast<const Handle&>(*this).GetDoubleVector(values, policy), err, &text);
    return values;
}

template <class Handle>
NumericVector ValueReads<Handle>::ReadArray(VectorPolicy policy, int* err) const {
    return ReadDoubleVector(policy, err);
}

template <class Handle>
NumericVector ValueReads<Handle>::ReadArray(const std::string& name, VectorPolicy policy, int* err) const {
    return ReadDoubleVector(name, policy, err);
}

template <class Handle>
std::int16_t ValueReads<Handle>::ReadShort(int* err) const {
    return Converted(&Handle::GetShort, std::int16_t{0}, err, nullptr);
}

template <class Handle>
std::int16_t ValueReads<Handle>::ReadShort(const std::string& name, int* err) const {
    const FailureText text{"", name, " conversion to short failed"};
    return Converted(&Handle::GetShort, std::int16_t{0}, err, &text);
}

template <class Handle>
bool ValueReads<Handle>::ReadBool(int* err) const {
    return Converted(&Handle::GetBool, false, err, nullptr);
}

template <class Handle>
bool ValueReads<Handle>::ReadBool(const std::string& name, int* err) const {
    const FailureText text{"", name, " conversion to bool failed"};
    return Converted(&Handle::GetBool, false, err, &text);
}

template <class Handle>
NumericMatrix ValueReads<Handle>::ReadMatrix(int* err) const {
    return ReadMatrix(std::string(), err);  // the text, without a name, still says what failed
}

template <class Handle>
NumericMatrix ValueReads<Handle>::ReadMatrix(const std::string& name, int* err) const {
    const FailureText text{"", name, " conversion to matrix failed"};
    return Converted(&Handle::GetMatrix, NumericMatrix(0, 0), err, &text);
}

template <class Handle>
CellMatrix ValueReads<Handle>::ReadCellMatrix(int* err) const {
    return ReadCellMatrix(std::string(), err);
}

template <class Handle>
CellMatrix ValueReads<Handle>::ReadCellMatrix(const std::string& name, int* err) const {
    const FailureText text{"", name, " conversion to cell matrix failed"};
    return Converted(&Handle::GetCellMatrix, CellMatrix(1, 1), err, &text);
}

template <class Handle>
const char* ValueReads<Handle>::ReadCString(int* err) const {
    return Converted<const char*>(&Handle::GetCString, nullptr, err, nullptr);
}

template <class Handle>
const char* ValueReads<Handle>::ReadCString(const std::string& name, int* err) const {
    const FailureText text{"", name, " conversion to char* failed"};
    return Converted<const char*>(&Handle::GetCString, nullptr, err, &text);
}

template <class Handle>
XlfRangeRef ValueReads<Handle>::ReadRangeRef(int* err) const {
    return Converted(&Handle::GetRangeRef, XlfRangeRef(), err, nullptr);
}

template class ValueReads<XlfOper>;
template class ValueReads<XlfOper4>;

}  // namespace zep
