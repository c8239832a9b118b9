#include "expression/variable_db.h"

#include "expression/zvt_field_evaluator.h"

namespace ExpressionParserN {

std::unique_ptr<ExpressionEvaluatorT> VariableDBT::CreateEvaluator(const std::string&) {
    return nullptr;
}

ExpressionDataType VariableDBT::GetVariableType(const std::string&) {
    return ExpressionDataType::Unknown;
}

std::unique_ptr<ExpressionEvaluatorT> ZVTVariableDBT::CreateEvaluator(const std::string& name) {
    return std::make_unique<ZVTFieldEvaluatorT>(name);
}

}  // namespace ExpressionParserN
