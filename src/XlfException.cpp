#include "XlfException.h"

#include <utility>

namespace zep {

XlfException::XlfException(std::string text) : text_(std::move(text)) {}

// Destructors are defined here so that each class has its virtual table in this one unit.
XlfException::~XlfException() = default;

const char* XlfException::what() const noexcept {
    return text_.c_str();
}

XlfExceptionUncalculated::XlfExceptionUncalculated() : XlfException("") {}
XlfExceptionUncalculated::~XlfExceptionUncalculated() = default;

XlfExceptionAbort::XlfExceptionAbort() : XlfException("abort") {}
XlfExceptionAbort::~XlfExceptionAbort() = default;

XlfExceptionStackOverflow::XlfExceptionStackOverflow() : XlfException("stack overflow") {}
XlfExceptionStackOverflow::~XlfExceptionStackOverflow() = default;

}  // namespace zep
