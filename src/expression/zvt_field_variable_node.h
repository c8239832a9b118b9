// A condition word that names a field of the counter's trace source. Its type
// is asked of the evaluator on every call, so it follows the binding: Unknown
// at parse time, the field's expression type once bound.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "expression/expression_tree_node.h"

namespace ExpressionParserN {

class ZVTFieldEvaluatorT;

class ExpressionTreeZVTFieldVariableNodeT final : public ExpressionTreeNodeT {
public:
    ExpressionTreeZVTFieldVariableNodeT(std::string name, ExpressionEvaluatorT* evaluator);

    ExpressionDataType GetType() const override;
    bool Validate() const override;
    std::unique_ptr<ExpressionTreeNodeT> Clone() const override;
    void CollectVariables(std::vector<ExpressionTreeNodeT*>& list) override;

    const std::string& FieldName() const { return fieldName; }

private:
    ExpressionTreeZVTFieldVariableNodeT(const ExpressionTreeZVTFieldVariableNodeT&) = default;

    std::string fieldName;
    // The evaluator when it is a field evaluator (found once, at
    // construction): its type is then read without two virtual calls on
    // every comparison. Any other evaluator is asked through GetType(name).
    const ZVTFieldEvaluatorT* field;
};

}  // namespace ExpressionParserN
