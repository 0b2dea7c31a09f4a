#include "FormulaEvaluator.h"

#include "BuiltinFunctions.h"
#include "FormulaValues.h"
#include "XlCall.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace xlhost {

namespace {

class Evaluator {
public:
    explicit Evaluator(FormulaContext& context) : context_(context) {}

    // The node's value; a reference stays one (Value::sheetReference).
    Value operator()(const FormulaNode& node) {
        switch (node.type) {
            case FormulaNode::Type::Constant:
                return node.constant;
            case FormulaNode::Type::Reference:
                return context_.reference(node);
            case FormulaNode::Type::Name:
                return context_.name(node);
            case FormulaNode::Type::Prefix: {
                const bool negate = node.text == "-";
                return elementwise({cells((*this)(node.operands[0]))}, [negate](const std::vector<Value>& at) {
                    // "+" changes nothing, not even a text ("+"&"a" is "a"), as in Excel.
                    if (!negate) return at[0];
                    const Value number = arithmeticOperand(at[0]);
                    return number.kind() == Kind::Error ? number : numberResult(-number.number());
                });
            }
            case FormulaNode::Type::Percent:
                return elementwise({cells((*this)(node.operands[0]))}, [](const std::vector<Value>& at) {
                    const Value number = arithmeticOperand(at[0]);
                    return number.kind() == Kind::Error ? number : numberResult(number.number() / 100);
                });
            case FormulaNode::Type::Infix: {
                Value left = cells((*this)(node.operands[0]));
                Value right = cells((*this)(node.operands[1]));
                const std::string& op = node.text;
                return elementwise({std::move(left), std::move(right)},
                                   [&op](const std::vector<Value>& at) { return applyOperator(op, at[0], at[1]); });
            }
            case FormulaNode::Type::Call:
                return call(node);
        }
        return Value::error(xlerrValue);
    }

    Value cells(const Value& value) {
        if (value.kind() != Kind::Reference) return value;
        const Area& area = value.areas().front();
        // Read into memory value by value, the whole sheet would take hundreds of gigabytes.
        if (std::uint64_t(area.rows()) * std::uint64_t(area.columns()) > largestComputedArray)
            return Value::error(xlerrNum);
        return context_.cells(area);
    }

private:
    Value call(const FormulaNode& node) {
        if (const BuiltinFunction* builtin = findBuiltin(node.text)) {
            BuiltinArguments arguments(
                node.operands.size(), [this, &node](std::size_t index) { return (*this)(node.operands[index]); },
                [this](const Value& reference) { return cells(reference); });
            return builtin->compute(arguments);
        }
        std::vector<FormulaArgument> arguments;
        for (const FormulaNode& operand : node.operands) {
            Value value = (*this)(operand);
            if (value.kind() == Kind::Reference)
                arguments.push_back(FormulaArgument{value.areas().front(), Value::missing()});
            else
                arguments.push_back(FormulaArgument{std::nullopt, std::move(value)});
        }
        if (auto result = context_.call(node.text, arguments)) return std::move(*result);
        return Value::error(xlerrName);
    }

    FormulaContext& context_;
};

}  // namespace

Value evaluateFormula(const FormulaNode& formula, FormulaContext& context) {
    Evaluator evaluate(context);
    return evaluate.cells(evaluate(formula));
}

Value blanksAsZero(const Value& value) {
    if (value.kind() == Kind::Nil) return Value::number(0);
    if (value.kind() != Kind::Array) return value;
    const auto& elements = value.elements();
    if (std::none_of(elements.begin(), elements.end(), [](const Value& e) { return e.kind() == Kind::Nil; }))
        return value;
    std::vector<Value> shown;
    shown.reserve(elements.size());
    for (const Value& element : elements) shown.push_back(element.kind() == Kind::Nil ? Value::number(0) : element);
    return Value::array(value.rows(), value.columns(), std::move(shown));
}

}  // namespace xlhost
