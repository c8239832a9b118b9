#include "expression/expression_tree_node.h"

#include <iostream>
#include <sstream>

#include "expression/expression_evaluator.h"
#include "expression/op_evaluator.h"

namespace ExpressionParserN {

ExpressionTreeNodeT::ExpressionTreeNodeT(NodeKind nodeKind, ExpressionDataType nodeType,
                                         ExpressionEvaluatorT* nodeEvaluator, std::string nodeText)
    : kind(nodeKind), type(nodeType), evaluator(nodeEvaluator), text(std::move(nodeText)) {}

ExpressionTreeNodeT::~ExpressionTreeNodeT() = default;

std::string ExpressionTreeNodeT::ToString() const {
    return text;
}

ExpressionDataType ExpressionTreeNodeT::GetType() const {
    return type;
}

bool ExpressionTreeNodeT::Validate() const {
    return true;
}

std::unique_ptr<ExpressionTreeNodeT> ExpressionTreeNodeT::Clone() const {
    return std::unique_ptr<ExpressionTreeNodeT>(new ExpressionTreeNodeT(*this));
}

void ExpressionTreeNodeT::CollectVariables(std::vector<ExpressionTreeNodeT*>&) {}

ExpressionEvaluatorT* ExpressionTreeNodeT::GetVariableEvaluator() const {
    return evaluator;
}

bool ExpressionTreeNodeT::GetBool(ZVT::EventClass* eventClass, const uint8_t* record) const {
    return GetType() == ExpressionDataType::Bool && evaluator->GetBool(eventClass, record, *this);
}

std::string ExpressionTreeNodeT::GetString(ZVT::EventClass* eventClass,
                                           const uint8_t* record) const {
    if (GetType() != ExpressionDataType::String) return {};
    return evaluator->GetString(eventClass, record, *this);
}

uint64_t ExpressionTreeNodeT::GetUint64(ZVT::EventClass* eventClass, const uint8_t* record) const {
    return GetType() == ExpressionDataType::Uint64 ? evaluator->GetUint64(eventClass, record, *this)
                                                   : 0;
}

uint32_t ExpressionTreeNodeT::GetUint32(ZVT::EventClass* eventClass, const uint8_t* record) const {
    return GetType() == ExpressionDataType::Uint32 ? evaluator->GetUint32(eventClass, record, *this)
                                                   : 0;
}

uint16_t ExpressionTreeNodeT::GetUint16(ZVT::EventClass* eventClass, const uint8_t* record) const {
    return GetType() == ExpressionDataType::Uint16 ? evaluator->GetUint16(eventClass, record, *this)
                                                   : 0;
}

uint8_t ExpressionTreeNodeT::GetUint8(ZVT::EventClass* eventClass, const uint8_t* record) const {
    return GetType() == ExpressionDataType::Uint8 ? evaluator->GetUint8(eventClass, record, *this)
                                                  : 0;
}

int64_t ExpressionTreeNodeT::GetInt64(ZVT::EventClass* eventClass, const uint8_t* record) const {
    return GetType() == ExpressionDataType::Int64 ? evaluator->GetInt64(eventClass, record, *this)
                                                  : 0;
}

int32_t ExpressionTreeNodeT::GetInt32(ZVT::EventClass* eventClass, const uint8_t* record) const {
    return GetType() == ExpressionDataType::Int32 ? evaluator->GetInt32(eventClass, record, *this)
                                                  : 0;
}

int16_t ExpressionTreeNodeT::GetInt16(ZVT::EventClass* eventClass, const uint8_t* record) const {
    return GetType() == ExpressionDataType::Int16 ? evaluator->GetInt16(eventClass, record, *this)
                                                  : 0;
}

int8_t ExpressionTreeNodeT::GetInt8(ZVT::EventClass* eventClass, const uint8_t* record) const {
    return GetType() == ExpressionDataType::Int8 ? evaluator->GetInt8(eventClass, record, *this)
                                                 : 0;
}

double ExpressionTreeNodeT::GetDouble(ZVT::EventClass* eventClass, const uint8_t* record) const {
    return GetType() == ExpressionDataType::Double ? evaluator->GetDouble(eventClass, record, *this)
                                                   : 0.0;
}

ExpressionTreeOperatorNodeT::ExpressionTreeOperatorNodeT(std::string token)
    : ExpressionTreeNodeT(NodeKind::Operator, ExpressionDataType::Unknown,
                          &OpEvaluatorT::Instance(), std::move(token)),
      op(OperatorCodeOf(text)) {}

ExpressionTreeOperatorNodeT::ExpressionTreeOperatorNodeT(const ExpressionTreeOperatorNodeT& other)
    : ExpressionTreeNodeT(other),
      op(other.op),
      left(other.left ? other.left->Clone() : nullptr),
      right(other.right ? other.right->Clone() : nullptr) {}

void ExpressionTreeOperatorNodeT::SetOperands(std::unique_ptr<ExpressionTreeNodeT> newLeft,
                                              std::unique_ptr<ExpressionTreeNodeT> newRight) {
    left = std::move(newLeft);
    right = std::move(newRight);
}

// "!" has no right operand and renders as "(!" + operand + ")".
std::string ExpressionTreeOperatorNodeT::ToString() const {
    const std::string leftText = left ? left->ToString() : std::string();
    if (op == OperatorCode::Not) return "(" + text + leftText + ")";
    const std::string rightText = right ? right->ToString() : std::string();
    return "(" + leftText + text + rightText + ")";
}

bool ExpressionTreeOperatorNodeT::Validate() const {
    if (!left || !left->Validate()) return false;
    if (right && !right->Validate()) return false;
    if (op == OperatorCode::Not || !right) return true;
    const ExpressionDataType leftType = left->GetType();
    const ExpressionDataType rightType = right->GetType();
    if (leftType == rightType || (IsIntegerType(leftType) && IsIntegerType(rightType))) {
        return true;
    }
    std::ostringstream line;
    line << "Data type mismatch. op:" << ToString() << " : "
         << "   op1 type:" << std::hex << static_cast<uint32_t>(leftType)
         << " op2 type:" << static_cast<uint32_t>(rightType) << '\n';
    std::cout << line.str() << std::flush;
    return false;
}

std::unique_ptr<ExpressionTreeNodeT> ExpressionTreeOperatorNodeT::Clone() const {
    return std::unique_ptr<ExpressionTreeNodeT>(new ExpressionTreeOperatorNodeT(*this));
}

void ExpressionTreeOperatorNodeT::CollectVariables(std::vector<ExpressionTreeNodeT*>& list) {
    if (left) left->CollectVariables(list);
    if (right) right->CollectVariables(list);
}

ExpressionTreeLiteralNodeT::ExpressionTreeLiteralNodeT(ExpressionDataType literalType,
                                                       ExpressionEvaluatorT* literalEvaluator,
                                                       std::string token)
    : ExpressionTreeNodeT(NodeKind::Literal, literalType, literalEvaluator, std::move(token)) {}

std::unique_ptr<ExpressionTreeNodeT> ExpressionTreeLiteralNodeT::Clone() const {
    return std::unique_ptr<ExpressionTreeNodeT>(new ExpressionTreeLiteralNodeT(*this));
}

}  // namespace ExpressionParserN
