#include "XlfArgDesc.h"

#include "Win32StreamBuf.h"
#include "XlfExcel.h"

#include <ostream>
#include <utility>

namespace zep {

namespace {

// Longer names are cut off in the function wizard's argument boxes.
constexpr std::size_t longestWizardName = 18;
const std::string commentEnding = ". ";

bool EndsWith(const std::string& text, const std::string& ending) {
    return text.size() >= ending.size() && text.compare(text.size() - ending.size(), ending.size(), ending) == 0;
}

}  // namespace

XlfArgDesc::XlfArgDesc(std::string name, std::string comment, std::string typeTag)
    : name_(std::move(name)), comment_(std::move(comment)), typeTag_(std::move(typeTag)) {
    if (name_.size() > longestWizardName)
        DiagnosticLine(sites::xlfArgDescLongName)
            << "Argument name \"" << name_ << "\" may be too long to fit the in the function wizard" << std::endl;
    if (!EndsWith(comment_, commentEnding)) comment_ += commentEnding;
}

std::string XlfArgDesc::TypeCode() const {
    if (typeTag_ == "XLF_OPER") return XlfExcel::Current().OperTypeCode();
    if (typeTag_ == "XLF_XLOPER") return XlfExcel::Current().XloperTypeCode();
    if (typeTag_ == "ZEP_WSTR") return XlfExcel::Current().WideStringTypeCode();
    return typeTag_;
}

}  // namespace zep
