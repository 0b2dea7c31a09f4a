#ifndef SRC_XLFEXCEPTION_H
#define SRC_XLFEXCEPTION_H

#include <exception>
#include <stdexcept>
#include <string>

namespace zep {

// Base of the faults Excel reports through a return code. The worksheet call frame catches it
// before std::exception, so every kind below makes the worksheet function return no value.
class XlfException : public std::exception {
public:
    explicit XlfException(std::string text);
    ~XlfException() override;

    const char* what() const noexcept override;

private:
    std::string text_;
};

// Excel read an uncalculated cell; it will call the function again once the cell is calculated.
class XlfExceptionUncalculated : public XlfException {
public:
    XlfExceptionUncalculated();
    ~XlfExceptionUncalculated() override;
};

// The user aborted the call.
class XlfExceptionAbort : public XlfException {
public:
    XlfExceptionAbort();
    ~XlfExceptionAbort() override;
};

class XlfExceptionStackOverflow : public XlfException {
public:
    XlfExceptionStackOverflow();
    ~XlfExceptionStackOverflow() override;
};

// A thread-safe function asked Excel for what only Excel's main thread may do (a command, a name,
// a GET.* information function, xlSet...), refused before Excel was asked, or Excel answered
// xlretNotThreadSafe (xlUDF of a function not registered thread-safe, xlfEvaluate of such a
// formula). Not an XlfException: the cell shows the text, which names the function number.
class XlfThreadUnsafeCall : public std::logic_error {
public:
    XlfThreadUnsafeCall(int xlfn, bool refusedByExcel);
    ~XlfThreadUnsafeCall() override;

    int Function() const { return function_; }

private:
    int function_;
};

}  // namespace zep

#endif
