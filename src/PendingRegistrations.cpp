#include "PendingRegistrations.h"

#include "XlOpenClose.h"
#include "XlfAbstractCmdDesc.h"
#include "XlfArgDesc.h"
#include "XlfExcel.h"

namespace zep {

FunctionRegistrar::FunctionRegistrar(const char* exportedName, const char* worksheetName, const char* help,
                                     const char* category, const ArgumentSpec* arguments, int argumentCount,
                                     bool isVolatile, bool threadSafe, const char* returnTypeCode) {
    RegistrationRecord record;
    record.exportedName = exportedName;
    record.worksheetName = worksheetName;
    record.help = help;
    record.category = category;
    record.argumentCount = argumentCount;
    for (int i = 0; i < argumentCount; ++i) {
        record.argumentNames.push_back(arguments[i].name);
        record.argumentDescriptions.push_back(arguments[i].description);
        record.argumentTypeTags.push_back(arguments[i].typeTag);
    }
    record.isVolatile = isVolatile;
    record.threadSafe = threadSafe;
    record.returnTypeCode = returnTypeCode;
    PendingRegistrations().push_back(record);
}

std::vector<RegistrationRecord>& PendingRegistrations() {
    static std::vector<RegistrationRecord> pending;
    // Whatever order an add-in's units define their functions in, the debugger stream is built at
    // load right after the list, and so goes before it at unload. The reference also links the
    // lifecycle unit, with xlAutoOpen and xlAutoClose, into every module that registers a function.
    static const Win32StreamBuf& debuggerStream = DebuggerStreamBuffer();
    static_cast<void>(debuggerStream);
    return pending;
}

void RegisterAll() {
    for (const RegistrationRecord& record : PendingRegistrations()) {
        const std::string returnTypeCode =
            record.returnTypeCode.empty() ? XlfExcel::Current().OperTypeCode() : record.returnTypeCode;
        XlfFuncDesc function(record.exportedName, record.worksheetName, record.help, record.category,
                             record.isVolatile ? 1 : 0, record.threadSafe, returnTypeCode);
        std::vector<XlfArgDesc> arguments;
        for (int i = 0; i < record.argumentCount; ++i)
            arguments.emplace_back(record.argumentNames[i], record.argumentDescriptions[i], record.argumentTypeTags[i]);
        function.SetArguments(arguments);
        function.RegisterInHost();
    }
}

}  // namespace zep
