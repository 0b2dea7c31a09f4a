#ifndef SRC_XLFEXCEPTION_H
#define SRC_XLFEXCEPTION_H

#include <exception>
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

}  // namespace zep

#endif
