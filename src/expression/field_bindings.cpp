#include "expression/field_bindings.h"

#include "expression/zvt_field_evaluator.h"

namespace ExpressionParserN {

std::vector<vantric::FieldBindingRequest> CollectFieldBindings(ExpressionTreeNodeT* root) {
    std::vector<vantric::FieldBindingRequest> requests;
    if (root == nullptr) return requests;
    std::vector<ExpressionTreeNodeT*> variables;
    root->CollectVariables(variables);
    for (ExpressionTreeNodeT* variable : variables) {
        auto* field = dynamic_cast<ZVTFieldEvaluatorT*>(variable->GetVariableEvaluator());
        if (field == nullptr) continue;
        requests.push_back({field->FieldName().c_str(), field->ValueIndexDestination(),
                            /*optional=*/true, field->FieldTypeDestination()});
    }
    return requests;
}

}  // namespace ExpressionParserN
