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

namespace {

std::string UnsafeCallText(int xlfn, bool refusedByExcel) {
    const std::string function = "Excel function " + std::to_string(xlfn);
    return refusedByExcel ? function + " refused a thread-safe function: what it runs is not thread-safe"
                          : function + " may not be called from a thread-safe function";
}

}  // namespace

XlfThreadUnsafeCall::XlfThreadUnsafeCall(int xlfn, bool refusedByExcel)
    : std::logic_error(UnsafeCallText(xlfn, refusedByExcel)), function_(xlfn) {}
XlfThreadUnsafeCall::~XlfThreadUnsafeCall() = default;

}  // namespace zep
