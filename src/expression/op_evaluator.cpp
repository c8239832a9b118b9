#include "expression/op_evaluator.h"

#include <functional>
#include <string>

#include "expression/expression_tree_node.h"
#include "expression/literal_evaluators.h"
#include "expression/zvt_field_evaluator.h"

namespace ExpressionParserN {

namespace {

template <typename V>
using Getter = V (ExpressionEvaluatorT::*)(ZVT::EventClass*, const uint8_t*,
                                           const ExpressionTreeNodeT&) const;

// The operand's value through `getter` of its evaluator. Fields and integer
// literals, the usual operands, are read inline (their getters are final and
// do exactly this); any other evaluator is asked through the virtual call.
template <typename V, Getter<V> getter>
[[gnu::always_inline]] inline V Read(const ExpressionTreeNodeT& operand,
                                     ZVT::EventClass* eventClass, const uint8_t* record) {
    const ExpressionEvaluatorT* evaluator = operand.GetEvaluator();
    switch (evaluator->Form()) {
        case EvaluatorForm::Field:
            return static_cast<const ZVTFieldEvaluatorT*>(evaluator)->Read<V>(eventClass, record);
        case EvaluatorForm::IntegerLiteral:
            return static_cast<V>(static_cast<const IntegerLiteralEvaluator*>(evaluator)->Value());
        default: return (evaluator->*getter)(eventClass, record, operand);
    }
}

// Reads both operands with the same getter of their own evaluators.
#define VT_COMPARE_WITH(getter)                                       \
    Relation{}(left.GetEvaluator()->getter(eventClass, record, left), \
               right.GetEvaluator()->getter(eventClass, record, right))
#define VT_COMPARE_INTEGERS(V, getter)                                           \
    Relation{}(Read<V, &ExpressionEvaluatorT::getter>(left, eventClass, record), \
               Read<V, &ExpressionEvaluatorT::getter>(right, eventClass, record))

// Out of line: the text copies need a stack frame that the numeric
// comparisons should not pay for.
template <typename Relation>
[[gnu::noinline]] bool CompareTexts(const ExpressionTreeNodeT& left,
                                    const ExpressionTreeNodeT& right, ZVT::EventClass* eventClass,
                                    const uint8_t* record) {
    // std::string compares as unsigned bytes, a proper prefix first.
    return VT_COMPARE_WITH(GetString);
}

// The left operand's type chooses the getter for both sides, so a right
// operand of another integer type is read at the left one's width. One copy
// per relation keeps each type dispatch predictable on its own.
template <typename Relation>
[[gnu::always_inline]] inline bool CompareOperands(const ExpressionTreeNodeT& left,
                                                   const ExpressionTreeNodeT& right,
                                                   ZVT::EventClass* eventClass,
                                                   const uint8_t* record) {
    switch (left.GetType()) {
        case ExpressionDataType::Int8: return VT_COMPARE_INTEGERS(int8_t, GetInt8);
        case ExpressionDataType::Int16: return VT_COMPARE_INTEGERS(int16_t, GetInt16);
        case ExpressionDataType::Int32: return VT_COMPARE_INTEGERS(int32_t, GetInt32);
        case ExpressionDataType::Int64: return VT_COMPARE_INTEGERS(int64_t, GetInt64);
        case ExpressionDataType::Uint8: return VT_COMPARE_INTEGERS(uint8_t, GetUint8);
        case ExpressionDataType::Uint16: return VT_COMPARE_INTEGERS(uint16_t, GetUint16);
        case ExpressionDataType::Uint32: return VT_COMPARE_INTEGERS(uint32_t, GetUint32);
        case ExpressionDataType::Uint64: return VT_COMPARE_INTEGERS(uint64_t, GetUint64);
        case ExpressionDataType::String:
            return CompareTexts<Relation>(left, right, eventClass, record);
        // Compared as the numbers 0 and 1.
        case ExpressionDataType::Bool: return VT_COMPARE_WITH(GetBool);
        // IEEE rules: every comparison with NaN is false except "!=".
        case ExpressionDataType::Double: return VT_COMPARE_WITH(GetDouble);
        default: return false;
    }
}

#undef VT_COMPARE_WITH
#undef VT_COMPARE_INTEGERS

// A field is true when its first byte is not 0, an integer literal when its
// value is not 0; everything else answers its own GetBool.
[[gnu::always_inline]] inline bool BoolOf(const ExpressionTreeNodeT& operand,
                                          ZVT::EventClass* eventClass, const uint8_t* record) {
    const ExpressionEvaluatorT* evaluator = operand.GetEvaluator();
    switch (evaluator->Form()) {
        case EvaluatorForm::Field:
            return static_cast<const ZVTFieldEvaluatorT*>(evaluator)->Read<uint8_t>(eventClass,
                                                                                    record) != 0;
        case EvaluatorForm::IntegerLiteral:
            return static_cast<const IntegerLiteralEvaluator*>(evaluator)->Value() != 0;
        default: return evaluator->GetBool(eventClass, record, operand);
    }
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
        case OperatorCode::Not: return left && !BoolOf(*left, eventClass, record);
        case OperatorCode::Equal:
            return left && right &&
                   CompareOperands<std::equal_to<>>(*left, *right, eventClass, record);
        case OperatorCode::NotEqual:
            return left && right &&
                   CompareOperands<std::not_equal_to<>>(*left, *right, eventClass, record);
        case OperatorCode::Less:
            return left && right && CompareOperands<std::less<>>(*left, *right, eventClass, record);
        case OperatorCode::LessEqual:
            return left && right &&
                   CompareOperands<std::less_equal<>>(*left, *right, eventClass, record);
        case OperatorCode::Greater:
            return left && right &&
                   CompareOperands<std::greater<>>(*left, *right, eventClass, record);
        case OperatorCode::GreaterEqual:
            return left && right &&
                   CompareOperands<std::greater_equal<>>(*left, *right, eventClass, record);
        default: return false;  // a dangling "(" or an unknown operator token
    }
}

}  // namespace ExpressionParserN
