#include "expression/zvt_field_variable_node.h"

#include "expression/expression_evaluator.h"
#include "expression/zvt_field_evaluator.h"

namespace ExpressionParserN {

ExpressionTreeZVTFieldVariableNodeT::ExpressionTreeZVTFieldVariableNodeT(
    std::string name, ExpressionEvaluatorT* fieldEvaluator)
    : ExpressionTreeNodeT(NodeKind::Variable, fieldEvaluator->GetType(name), fieldEvaluator, name),
      fieldName(std::move(name)),
      field(dynamic_cast<const ZVTFieldEvaluatorT*>(fieldEvaluator)) {}

ExpressionDataType ExpressionTreeZVTFieldVariableNodeT::GetType() const {
    return field ? field->ExpressionType() : evaluator->GetType(fieldName);
}

bool ExpressionTreeZVTFieldVariableNodeT::Validate() const {
    return evaluator->Validate();
}

std::unique_ptr<ExpressionTreeNodeT> ExpressionTreeZVTFieldVariableNodeT::Clone() const {
    return std::unique_ptr<ExpressionTreeNodeT>(new ExpressionTreeZVTFieldVariableNodeT(*this));
}

void ExpressionTreeZVTFieldVariableNodeT::CollectVariables(
    std::vector<ExpressionTreeNodeT*>& list) {
    list.push_back(this);
}

}  // namespace ExpressionParserN
