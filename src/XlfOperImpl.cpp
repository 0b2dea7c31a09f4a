#include "XlfOperImpl.h"

#include <stdexcept>

namespace zep {

namespace {

const XlfOperImpl* current = nullptr;

}  // namespace

const XlfOperImpl& XlfOperImpl::Current() {
    if (current == nullptr) throw std::logic_error("no Excel value strategy: the host connection is not set up");
    return *current;
}

void XlfOperImpl::MakeCurrent() const {
    current = this;
}

XlfOperImpl::~XlfOperImpl() {
    if (current == this) current = nullptr;
}

}  // namespace zep
