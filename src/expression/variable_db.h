// Turns the variable words of a condition into evaluators. The parser asks
// its database once per variable word; a counter's database makes field
// evaluators that are bound to the trace source's fields later.
#pragma once

#include <memory>
#include <string>

#include "expression/expression_evaluator.h"
#include "expression/expression_types.h"

namespace ExpressionParserN {

class VariableDBT {
public:
    VariableDBT() = default;
    VariableDBT(const VariableDBT&) = delete;
    VariableDBT& operator=(const VariableDBT&) = delete;

    // A new evaluator for the variable, or none (the base knows no variables).
    virtual std::unique_ptr<ExpressionEvaluatorT> CreateEvaluator(const std::string& name);
    virtual ExpressionDataType GetVariableType(const std::string& name);
    virtual ~VariableDBT() = default;
};

// Every name is a field of the counter's trace source; whether it exists is
// only known once the fields are bound.
class ZVTVariableDBT final : public VariableDBT {
public:
    std::unique_ptr<ExpressionEvaluatorT> CreateEvaluator(const std::string& name) override;
};

}  // namespace ExpressionParserN
