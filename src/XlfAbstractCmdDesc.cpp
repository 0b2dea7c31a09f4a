#include "XlfAbstractCmdDesc.h"

#include "Win32StreamBuf.h"
#include "XlfExcel.h"
#include "XlfOper.h"
#include "XlfOper4.h"

#include <ostream>
#include <stdexcept>
#include <utility>

namespace zep {

XlfAbstractCmdDesc::XlfAbstractCmdDesc(std::string exportedName, std::string worksheetName, std::string help)
    : exportedName_(std::move(exportedName)), worksheetName_(std::move(worksheetName)), help_(std::move(help)) {}

XlfAbstractCmdDesc::~XlfAbstractCmdDesc() = default;

void XlfAbstractCmdDesc::RegisterInHost() {
    SubmitToHost(&XlfAbstractCmdDesc::RegisterWithLibrary, sites::xlfAbstractCmdDescRegisterFailed);
}

void XlfAbstractCmdDesc::UnregisterFromHost() {
    SubmitToHost(&XlfAbstractCmdDesc::UnregisterWithLibrary, sites::xlfAbstractCmdDescUnregisterFailed);
}

void XlfAbstractCmdDesc::SubmitToHost(int (XlfAbstractCmdDesc::*submission)(const std::string&),
                                      const DiagnosticSite& failureSite) {
    const std::string libraryName = XlfExcel::Current().LibraryName();
    if (libraryName.empty()) throw std::runtime_error("Could not get library name");
    const int code = (this->*submission)(libraryName);
    if (code != xlretSuccess)
        DiagnosticLine(failureSite) << "Error " << code << " while registering " << worksheetName_ << std::endl;
}

XlfFuncDesc::XlfFuncDesc(std::string exportedName, std::string worksheetName, std::string help, std::string category,
                         int recalculation, bool threadSafe, std::string returnTypeCode)
    : XlfAbstractCmdDesc(std::move(exportedName), std::move(worksheetName), std::move(help)),
      registration_{recalculation, std::move(category), {}, threadSafe, 1, false},
      returnTypeCode_(std::move(returnTypeCode)) {}

XlfFuncDesc::~XlfFuncDesc() = default;

void XlfFuncDesc::SetArguments(const std::vector<XlfArgDesc>& arguments) {
    registration_.arguments = arguments;
}

void XlfFuncDesc::SetMacroType(double macroType, bool macroSheetEquivalent) {
    registration_.macroType = macroType;
    registration_.macroSheetEquivalent = macroSheetEquivalent;
}

int XlfFuncDesc::RegisterWithLibrary(const std::string& libraryName) {
    return SubmitRegistration(libraryName, registration_.macroType, nullptr);
}

int XlfFuncDesc::UnregisterWithLibrary(const std::string& libraryName) {
    double id = 0;
    SubmitRegistration(libraryName, 0, &id);
    XlfOper registrationId(id);
    XlfOper result;
    return XlfExcel::Current().CallHost(xlfUnregister, result.Pointer(), registrationId.Pointer());
}

std::string XlfFuncDesc::TypeText() const {
    std::string text = returnTypeCode_;
    for (const XlfArgDesc& argument : registration_.arguments) text += argument.TypeCode();
    if (registration_.recalculation == 1) text += '!';
    if (registration_.macroSheetEquivalent) text += '#';
    // Only Excel 12 knows thread-safe functions; an older one refuses the mark.
    if (registration_.threadSafe && XlfExcel::Current().IsExcel12()) text += '$';
    return text;
}

std::string XlfFuncDesc::ArgumentText() const {
    std::string text;
    for (const XlfArgDesc& argument : registration_.arguments) {
        if (!text.empty()) text += ", ";
        text += argument.Name();
    }
    return text;
}

int XlfFuncDesc::SubmitRegistration(const std::string& libraryName, double macroType, double* id) {
    // Every value is an Excel 4 record, whatever Excel runs: registration goes through Excel4v.
    // The records live in temporary memory, so the handles may go as soon as their pointers are taken.
    std::vector<XLOPER*> argv;
    const auto add = [&argv](const XlfOper4& value) { argv.push_back(value.Pointer()); };
    add(XlfOper4(libraryName));
    add(XlfOper4(ExportedName()));
    add(XlfOper4(TypeText()));
    add(XlfOper4(WorksheetName()));
    add(XlfOper4(ArgumentText()));
    add(XlfOper4(macroType));
    add(XlfOper4(registration_.category));
    add(XlfOper4(""));  // no shortcut
    add(XlfOper4(""));  // no help topic
    add(XlfOper4(Help()));
    for (const XlfArgDesc& argument : registration_.arguments) add(XlfOper4(argument.Comment()));

    XlfOper4 result;
    const int code =
        XlfExcel::Current().CallExcel4v(xlfRegister, result.Pointer(), static_cast<int>(argv.size()), argv.data());
    if (id != nullptr) *id = result.ReadDouble();
    return code;
}

}  // namespace zep
