#include "expression/op_evaluator.h"

#include <string>

#include "expression/expression_tree_node.h"

namespace ExpressionParserN {

namespace {

template <typename V>
bool Compare(OperatorCode op, const V& a, const V& b) {
    switch (op) {
        case OperatorCode::Equal: return a == b;
        case OperatorCode::NotEqual: return a != b;
        case OperatorCode::Less: return a < b;
        case OperatorCode::LessEqual: return a <= b;
        case OperatorCode::Greater: return a > b;
        case OperatorCode::GreaterEqual: return a >= b;
        default: return false;
    }
}

// Reads both operands with the same getter of their own evaluators.
#define VT_COMPARE_WITH(getter)                                                              \
    Compare(op, left.GetEvaluator()->getter(eventClass, record, left),                        \
            right.GetEvaluator()->getter(eventClass, record, right))

// The left operand's type chooses the getter for both sides, so a right
// operand of another integer type is read at the left one's width.
bool CompareOperands(OperatorCode op, const ExpressionTreeNodeT& left,
                     const ExpressionTreeNodeT& right, ZVT::EventClass* eventClass,
                     const uint8_t* record) {
    switch (left.GetType()) {
        case ExpressionDataType::Int8:
        case ExpressionDataType::Char: return VT_COMPARE_WITH(GetInt8);
        case ExpressionDataType::Int16: return VT_COMPARE_WITH(GetInt16);
        case ExpressionDataType::Int32: return VT_COMPARE_WITH(GetInt32);
        case ExpressionDataType::Int64: return VT_COMPARE_WITH(GetInt64);
        case ExpressionDataType::Uint8: return VT_COMPARE_WITH(GetUint8);
        case ExpressionDataType::Uint16: return VT_COMPARE_WITH(GetUint16);
        case ExpressionDataType::Uint32: return VT_COMPARE_WITH(GetUint32);
        case ExpressionDataType::Uint64: return VT_COMPARE_WITH(GetUint64);
        // std::string compares as unsigned bytes, a proper prefix first.
        case ExpressionDataType::String: return VT_COMPARE_WITH(GetString);
        case ExpressionDataType::Bool: {
            const int a = left.GetEvaluator()->GetBool(eventClass, record, left) ? 1 : 0;
            const int b = right.GetEvaluator()->GetBool(eventClass, record, right) ? 1 : 0;
            return Compare(op, a, b);
        }
        // IEEE rules: every comparison with NaN is false except "!=".
        case ExpressionDataType::Double: return VT_COMPARE_WITH(GetDouble);
        default: return false;
    }
}

#undef VT_COMPARE_WITH

bool BoolOf(const ExpressionTreeNodeT& operand, ZVT::EventClass* eventClass,
            const uint8_t* record) {
    return operand.GetEvaluator()->GetBool(eventClass, record, operand);
}

}  // namespace

OpEvaluatorT& OpEvaluatorT::Instance() {
    static OpEvaluatorT instance;
    return instance;
}

bool OpEvaluatorT::GetBool(ZVT::EventClass* eventClass, const uint8_t* record,
                           const ExpressionTreeNodeT& node) const {
    if (node.Kind() != NodeKind::Operator) return false;
    const auto& opNode = static_cast<const ExpressionTreeOperatorNodeT&>(node);
    const ExpressionTreeNodeT* left = opNode.Left();
    const ExpressionTreeNodeT* right = opNode.Right();
    const OperatorCode op = opNode.Op();
    switch (op) {
        case OperatorCode::And:
            return left && right && BoolOf(*left, eventClass, record) &&
                   BoolOf(*right, eventClass, record);
        case OperatorCode::Or:
            return left && right &&
                   (BoolOf(*left, eventClass, record) || BoolOf(*right, eventClass, record));
        case OperatorCode::Not:
            return left && !BoolOf(*left, eventClass, record);
        case OperatorCode::Equal:
        case OperatorCode::NotEqual:
        case OperatorCode::Less:
        case OperatorCode::LessEqual:
        case OperatorCode::Greater:
        case OperatorCode::GreaterEqual:
            return left && right && CompareOperands(op, *left, *right, eventClass, record);
        default:
            return false;  // a dangling "(" or an unknown operator token
    }
}

}  // namespace ExpressionParserN
