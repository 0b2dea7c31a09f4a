#ifndef SRC_DIAGNOSTICSITES_H
#define SRC_DIAGNOSTICSITES_H

namespace zep {

// Where a diagnostic line says it comes from: its prefix "..\..\src\<unit>(<line>): ". The
// numbers are part of the output, by which readers of the debugger messages know each message;
// they are not lines of this source and do not follow it when it is edited. Every diagnostic
// line takes its site from this table.
struct DiagnosticSite {
    const char* unit;
    int line;
};

namespace sites {

// XlfOper4
constexpr DiagnosticSite xlfOper4FreeFailed{"XlfOper4", 81};
constexpr DiagnosticSite xlfOper4TextCut{"XlfOper4", 968};

// XlfOperImpl4 and XlfOperImpl12, the value strategies
constexpr DiagnosticSite xlfOperImpl4FreeFailed{"XlfOperImpl4", 78};
constexpr DiagnosticSite xlfOperImpl4TextCut{"XlfOperImpl4", 782};
constexpr DiagnosticSite xlfOperImpl4WideTextCut{"XlfOperImpl4", 813};
constexpr DiagnosticSite xlfOperImpl12FreeFailed{"XlfOperImpl12", 77};

// XlfExcel
constexpr DiagnosticSite xlfExcelNoLibraryName{"XlfExcel", 181};

// XlfArgDesc, XlfAbstractCmdDesc: registration
constexpr DiagnosticSite xlfArgDescLongName{"XlfArgDesc", 37};
constexpr DiagnosticSite xlfAbstractCmdDescRegisterFailed{"XlfAbstractCmdDesc", 62};
constexpr DiagnosticSite xlfAbstractCmdDescUnregisterFailed{"XlfAbstractCmdDesc", 78};

// XlOpenClose
constexpr DiagnosticSite xlOpenCloseCerrRedirected{"XlOpenClose", 56};
constexpr DiagnosticSite xlOpenCloseNoPathVariable{"XlOpenClose", 74};
constexpr DiagnosticSite xlOpenCloseNoModulePath{"XlOpenClose", 83};
constexpr DiagnosticSite xlOpenClosePathNotSet{"XlOpenClose", 96};
constexpr DiagnosticSite xlOpenClosePathSet{"XlOpenClose", 101};
constexpr DiagnosticSite xlOpenClosePathWarning{"XlOpenClose", 106};
constexpr DiagnosticSite xlOpenCloseReleasing{"XlOpenClose", 125};

// PendingRegistrations: what an add-in declares besides its functions
constexpr DiagnosticSite pendingRegistrationsMenuRefused{"PendingRegistrations", 140};
constexpr DiagnosticSite pendingRegistrationsCloseHookFailed{"PendingRegistrations", 180};

}  // namespace sites

}  // namespace zep

#endif
