#include "FormulaText.h"

#include "FormulaEvaluator.h"
#include "XlCall.h"

namespace xlhost {

namespace {

// A book part of a reference names xllhost's one book (with its file's extension or without).
bool isTheBook(const std::string& book) {
    return sameIgnoringCase(book.substr(0, book.find('.')), ExcelStandIn::workbookName);
}

// Formulas as xlfEvaluate sees them: from a macro sheet, which an add-in has none of, so that only
// a reference with a '!' reaches the active sheet's cells; names are the add-in's.
class EvaluateContext : public FormulaContext {
public:
    EvaluateContext(const ExcelStandIn& host, const ExcelStandIn::FunctionCaller& callFunction)
        : host_(host), callFunction_(callFunction) {}

    Value reference(const FormulaNode& node) override {
        const SheetModel& sheets = host_.sheets();
        const bool otherBook = !node.book.empty() && !isTheBook(node.book);
        const bool otherSheet =
            !node.sheet.empty() && !sameIgnoringCase(node.sheet, sheets.sheetName(sheets.activeSheet()));
        if (!node.qualified || otherBook || otherSheet) return Value::error(xlerrRef);
        return Value::sheetReference(node.area);
    }
    Value cells(const Area& area) override {
        const SheetModel& sheets = host_.sheets();
        return *sheets.valueOf(sheets.activeSheet(), area);
    }
    Value name(const FormulaNode& node) override {
        if (node.qualified) return Value::error(xlerrName);  // a worksheet name: xllhost's sheet has none
        if (auto value = host_.nameValue(fromUtf8(node.text))) return std::move(*value);
        return Value::error(xlerrName);
    }
    std::optional<Value> call(const std::string& function, const std::vector<FormulaArgument>& arguments) override {
        const Registration* registration = host_.registry().findFunction(function);
        if (registration == nullptr) return std::nullopt;
        std::vector<Value> values;
        for (const FormulaArgument& argument : arguments)
            values.push_back(argument.range ? Value::reference(host_.sheets().activeSheet(), *argument.range)
                                            : argument.literal);
        return callFunction_(*registration, values);
    }

private:
    const ExcelStandIn& host_;
    const ExcelStandIn::FunctionCaller& callFunction_;
};

}  // namespace

Value activeSheetReference(const FormulaNode& reference, const SheetModel& sheets, bool bareIsActiveSheet) {
    const bool otherBook = !reference.book.empty() && !isTheBook(reference.book);
    const bool otherSheet =
        !reference.sheet.empty() && !sameIgnoringCase(reference.sheet, sheets.sheetName(sheets.activeSheet()));
    if ((!reference.qualified && !bareIsActiveSheet) || otherBook || otherSheet) return Value::error(xlerrRef);
    return Value::sheetReference(reference.area);
}

std::optional<Value> evaluateFormulaText(const std::u16string& formula, const ExcelStandIn& host,
                                         const SheetLimits& limits, const ExcelStandIn::FunctionCaller& callFunction) {
    FormulaNode parsed;
    try {
        parsed = parseFormula(toUtf8(formula), limits);
    } catch (const FormulaSyntaxError&) {
        return std::nullopt;
    }
    EvaluateContext context(host, callFunction);
    return evaluateFormula(parsed, context);
}

}  // namespace xlhost
