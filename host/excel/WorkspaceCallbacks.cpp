// What Excel tells an add-in of itself and its sheets: xlfGetWorkspace, xlfGetDocument, xlfCaller,
// xlSheetNm, xlSheetId, xlGetInst.

#include "CallbackSupport.h"
#include "ExcelStandIn.h"
#include "XlCall.h"

#include <cstdint>

namespace xlhost {

namespace {

bool sameText(const std::u16string& a, const std::u16string& b) {
    return upper(a) == upper(b);
}

}  // namespace

ExcelStandIn::Answer ExcelStandIn::workspaceCall(const std::vector<Value>& arguments) {
    if (arguments.size() != 1) return {xlretInvCount, std::nullopt};
    const auto type = arguments[0].numeric();
    switch (type ? int(*type) : 0) {
        case 1:  // the environment and its version, as Excel on Windows 10 gives them
            return {xlretSuccess,
                    Value::text(sizeof(void*) == 8 ? "Windows (64-bit) NT 10.00" : "Windows (32-bit) NT 10.00")};
        case 2:
            return {xlretSuccess, Value::text(versionText_)};
        case 3:  // no fixed decimals
            return {xlretSuccess, Value::number(0)};
        case 4:  // A1 references, not R1C1
            return {xlretSuccess, Value::boolean(false)};
        case 44: {  // every registered procedure: module, procedure, type text
            std::vector<Value> rows;
            for (const Registration& registration : registry_.registrations())
                if (registration.active)
                    for (const std::string& text :
                         {registration.module(), registration.procedure(), registration.typeText()})
                        rows.push_back(Value::text(text));
            if (rows.empty()) return {xlretSuccess, Value::error(xlerrNA)};
            const auto count = std::int32_t(rows.size() / 3);
            return {xlretSuccess, Value::array(count, 3, std::move(rows))};
        }
        default:
            return notModelled(xlretFailed, "xlfGetWorkspace(" + describe(arguments[0]) + ")");
    }
}

ExcelStandIn::Answer ExcelStandIn::documentCall(const std::vector<Value>& arguments) {
    if (arguments.empty() || arguments.size() > 2) return {xlretInvCount, std::nullopt};
    const auto type = arguments[0].numeric();
    switch (type ? int(*type) : 0) {
        case 1:   // the book and sheet of a book with several sheets
        case 76:  // the active sheet
            return {xlretSuccess, Value::text(wide(sheetTitle(sheets_.activeSheet())))};
        case 2:  // the folder of a book never saved
            return {xlretSuccess, Value::error(xlerrNA)};
        case 3:  // a worksheet
            return {xlretSuccess, Value::number(1)};
        case 87:  // the active sheet's position in the book
            return {xlretSuccess, Value::number(1)};
        case 88:
            return {xlretSuccess, Value::text(workbookName)};
        default:
            return notModelled(xlretFailed, "xlfGetDocument(" + describe(arguments[0]) + ")");
    }
}

ExcelStandIn::Answer ExcelStandIn::callerCall() const {
    switch (caller().kind) {
        case Caller::Kind::Cell:
            // A worksheet cell comes as an external reference, with its sheet's id.
            return {xlretSuccess, Value::reference(sheets_.activeSheet(), caller().cell)};
        case Caller::Kind::Function:
            return {xlretSuccess, Value::number(caller().registerId)};
        case Caller::Kind::Command:
        case Caller::Kind::Excel:
            break;
    }
    return {xlretSuccess, Value::error(xlerrRef)};  // "other methods": no cell, menu or object called
}

std::string ExcelStandIn::sheetTitle(SheetId sheet) const {
    return std::string("[") + workbookName + "]" + sheets_.sheetName(sheet);
}

std::optional<SheetId> ExcelStandIn::sheetOf(const Value& reference) const {
    if (reference.kind() != Kind::Reference) return std::nullopt;
    // A sheet reference, and an external one with id 0, mean the current sheet.
    const SheetId sheet =
        reference.isSheetReference() || reference.sheet() == 0 ? sheets_.activeSheet() : reference.sheet();
    if (!sheets_.hasSheet(sheet)) return std::nullopt;
    return sheet;
}

ExcelStandIn::Answer ExcelStandIn::sheetNameCall(const std::vector<Value>& arguments) const {
    if (arguments.size() != 1) return {xlretInvCount, std::nullopt};
    if (arguments[0].kind() != Kind::Reference) return {xlretInvXloper, std::nullopt};
    const auto sheet = sheetOf(arguments[0]);
    if (!sheet) return {xlretFailed, std::nullopt};
    return {xlretSuccess, Value::text(wide(sheetTitle(*sheet)))};
}

ExcelStandIn::Answer ExcelStandIn::sheetIdCall(const std::vector<Value>& arguments) const {
    if (arguments.size() > 1) return {xlretInvCount, std::nullopt};
    if (!isGiven(arguments, 0)) return {xlretSuccess, Value::reference(sheets_.activeSheet(), std::vector<Area>())};
    if (arguments[0].kind() != Kind::Text) return {xlretInvXloper, std::nullopt};
    // "[Book1]Sheet1", "[BOOK1.XLSX]Sheet1" or "Sheet1", whatever the case.
    std::u16string name = arguments[0].text();
    if (!name.empty() && name[0] == u'[') {
        const auto close = name.find(u']');
        if (close == std::u16string::npos) return {xlretFailed, std::nullopt};
        std::u16string book = name.substr(1, close - 1);
        book = book.substr(0, book.find(u'.'));
        if (!sameText(book, wide(workbookName))) return {xlretFailed, std::nullopt};
        name.erase(0, close + 1);
    }
    if (!sameText(name, wide(sheets_.sheetName(sheets_.activeSheet())))) return {xlretFailed, std::nullopt};
    return {xlretSuccess, Value::reference(sheets_.activeSheet(), std::vector<Area>())};
}

ExcelStandIn::Answer ExcelStandIn::instanceCall(int function, Layout layout) const {
    const auto instance = reinterpret_cast<std::uintptr_t>(GetModuleHandleA(nullptr));
    if (function == xlGetInstPtr) {
        // New in Excel 2010; a bigdata record holds the whole handle in either layout.
        if (majorVersion() < 14) return {xlretInvXlfn, std::nullopt};
        return {xlretSuccess, Value::handle(instance)};
    }
    // An integer cannot hold a 64-bit Excel's handle: there xlGetInst fails.
    if (sizeof(void*) == 8) return {xlretFailed, std::nullopt};
    if (layout == Layout::Excel4) return {xlretSuccess, Value::integer(std::int16_t(instance & 0xFFFF))};
    return {xlretSuccess, Value::integer(std::int32_t(instance & 0xFFFFFFFFu))};
}

// One handle and its result, or a row or column of handles and one of results in the same order.
// TRUE when every handle was an open call's; FALSE for any other (unknown, or answered before),
// the results of the others still taken.
ExcelStandIn::Answer ExcelStandIn::asyncReturnCall(const std::vector<Value>& arguments, Layout layout) {
    if (majorVersion() < 14 || layout == Layout::Excel4) return {xlretInvXlfn, std::nullopt};
    if (arguments.size() != 2) return {xlretInvCount, std::nullopt};
    const Value& handles = arguments[0];
    const Value& results = arguments[1];
    bool taken = true;
    const auto give = [&](const Value& handle, const Value& result) {
        taken &=
            handle.kind() == Kind::BigData && handle.isHandle() && asyncReturns_.give(handle.handleValue(), result);
    };
    if (handles.kind() == Kind::Array) {
        const bool matching = results.kind() == Kind::Array && results.elements().size() == handles.elements().size();
        if (!matching) return {xlretSuccess, Value::boolean(false)};
        for (std::size_t i = 0; i < handles.elements().size(); ++i) give(handles.elements()[i], results.elements()[i]);
    } else {
        give(handles, results);
    }
    return {xlretSuccess, Value::boolean(taken)};
}

}  // namespace xlhost
