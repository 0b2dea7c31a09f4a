#ifndef SRC_XLFABSTRACTCMDDESC_H
#define SRC_XLFABSTRACTCMDDESC_H

#include "DiagnosticSites.h"
#include "XlfArgDesc.h"

#include <string>
#include <vector>

namespace zep {

// Something the add-in registers with Excel under an exported name and a worksheet name.
class XlfAbstractCmdDesc {
public:
    XlfAbstractCmdDesc(std::string exportedName, std::string worksheetName, std::string help);
    virtual ~XlfAbstractCmdDesc();

    // Register with / unregister from Excel under the add-in's own file name. A missing name
    // throws std::runtime_error; a code Excel refuses with is only reported, so that one bad
    // function does not stop the others.
    void RegisterInHost();
    void UnregisterFromHost();

    // Return Excel's code for the call.
    virtual int RegisterWithLibrary(const std::string& libraryName) = 0;
    virtual int UnregisterWithLibrary(const std::string& libraryName) = 0;

    const std::string& ExportedName() const { return exportedName_; }
    const std::string& WorksheetName() const { return worksheetName_; }
    const std::string& Help() const { return help_; }

private:
    // A code Excel refuses with is reported at failureSite.
    void SubmitToHost(int (XlfAbstractCmdDesc::*submission)(const std::string&), const DiagnosticSite& failureSite);

    std::string exportedName_;
    std::string worksheetName_;
    std::string help_;
};

// A worksheet function: xlfRegister's type text, category and argument help come from here.
class XlfFuncDesc : public XlfAbstractCmdDesc {
public:
    // recalculation 1 makes the function volatile.
    XlfFuncDesc(std::string exportedName, std::string worksheetName, std::string help, std::string category,
                int recalculation, bool threadSafe, std::string returnTypeCode);
    ~XlfFuncDesc() override;

    void SetArguments(const std::vector<XlfArgDesc>& arguments);
    // macroType: 1 a worksheet function (the default), 0 one hidden from the function wizard, 2 a
    // command. A macro-sheet equivalent function is registered with '#'.
    void SetMacroType(double macroType, bool macroSheetEquivalent);

    int RegisterWithLibrary(const std::string& libraryName) override;
    // Registers the function again as hidden to learn its id, then unregisters that id.
    int UnregisterWithLibrary(const std::string& libraryName) override;

    // One xlfRegister call of 10 + arguments Excel 4 values through Excel4v, whatever the
    // version. macroType: 1 worksheet function, 0 hidden. id may be null.
    int SubmitRegistration(const std::string& libraryName, double macroType, double* id);

    std::string TypeText() const;
    std::string ArgumentText() const;

private:
    struct Registration {
        int recalculation;
        std::string category;
        std::vector<XlfArgDesc> arguments;
        bool threadSafe;
        double macroType;
        bool macroSheetEquivalent;
    };

    Registration registration_;
    std::string returnTypeCode_;
};

}  // namespace zep

#endif
