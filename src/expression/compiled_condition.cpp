#include "expression/compiled_condition.h"

#include "expression/op_evaluator.h"
#include "expression/zvt_field_evaluator.h"

namespace ExpressionParserN {
namespace {

// The getter a comparison uses for both operands, chosen by the left
// operand's type as the operator evaluation does.
struct Getter {
    uint8_t width;
    bool isSigned;

    uint64_t mask() const { return width >= 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * width)) - 1; }
    uint64_t flip() const { return isSigned ? uint64_t{1} << (8 * width - 1) : 0; }
};

bool GetterOf(ExpressionDataType type, Getter& getter) {
    switch (type) {
        case ExpressionDataType::Int8: getter = {1, true}; return true;
        case ExpressionDataType::Int16: getter = {2, true}; return true;
        case ExpressionDataType::Int32: getter = {4, true}; return true;
        case ExpressionDataType::Int64: getter = {8, true}; return true;
        case ExpressionDataType::Uint8: getter = {1, false}; return true;
        case ExpressionDataType::Uint16: getter = {2, false}; return true;
        case ExpressionDataType::Uint32: getter = {4, false}; return true;
        case ExpressionDataType::Uint64: getter = {8, false}; return true;
        default: return false;
    }
}

// What a record-independent operand reads as through `getter`.
uint64_t ConstantThrough(const ExpressionTreeNodeT& node, Getter getter) {
    const auto* e = node.GetEvaluator();
    const bool s = getter.isSigned;
    switch (getter.width) {
        case 1: return s ? uint64_t(int64_t{e->GetInt8(nullptr, nullptr, node)})
                         : e->GetUint8(nullptr, nullptr, node);
        case 2: return s ? uint64_t(int64_t{e->GetInt16(nullptr, nullptr, node)})
                         : e->GetUint16(nullptr, nullptr, node);
        case 4: return s ? uint64_t(int64_t{e->GetInt32(nullptr, nullptr, node)})
                         : e->GetUint32(nullptr, nullptr, node);
        default: return s ? uint64_t(e->GetInt64(nullptr, nullptr, node))
                          : e->GetUint64(nullptr, nullptr, node);
    }
}

}  // namespace

// Emits jump code: each method compiles one node so that evaluation goes on
// at `t` when the node is true and at `f` when it is false, and returns
// where its evaluation begins (a target itself when the answer is fixed).
class CompiledCondition::Builder {
public:
    explicit Builder(ZVT::EventClass* eventClass) : eventClass_(eventClass) {}

    bool ok = true;
    std::vector<Step> steps;

    // What the operand's own evaluator answers to GetBool.
    uint32_t Bool(const ExpressionTreeNodeT& operand, uint32_t t, uint32_t f) {
        switch (operand.Kind()) {
            case NodeKind::Operator: return Operator(operand, t, f);
            case NodeKind::Variable: return FieldBool(operand, t, f);
            case NodeKind::Literal:
                return operand.GetEvaluator()->GetBool(nullptr, nullptr, operand) ? t : f;
        }
        ok = false;
        return f;
    }

private:
    uint32_t Operator(const ExpressionTreeNodeT& operand, uint32_t t, uint32_t f) {
        const auto* node = dynamic_cast<const ExpressionTreeOperatorNodeT*>(&operand);
        if (node == nullptr ||
            dynamic_cast<const OpEvaluatorT*>(operand.GetEvaluator()) == nullptr) {
            ok = false;
            return f;
        }
        const ExpressionTreeNodeT* left = node->Left();
        const ExpressionTreeNodeT* right = node->Right();
        switch (node->Op()) {
            case OperatorCode::And:
                if (left == nullptr || right == nullptr) return f;
                return Bool(*left, Bool(*right, t, f), f);
            case OperatorCode::Or:
                if (left == nullptr || right == nullptr) return f;
                return Bool(*left, t, Bool(*right, t, f));
            case OperatorCode::Not:
                if (left == nullptr) return f;
                return Bool(*left, f, t);
            case OperatorCode::Equal:
            case OperatorCode::NotEqual:
            case OperatorCode::Less:
            case OperatorCode::LessEqual:
            case OperatorCode::Greater:
            case OperatorCode::GreaterEqual:
                if (left == nullptr || right == nullptr) return f;
                return Comparison(node->Op(), *left, *right, t, f);
            default:
                return f;  // a dangling "(" or an unknown operator
        }
    }

    uint32_t Comparison(OperatorCode op, const ExpressionTreeNodeT& left,
                        const ExpressionTreeNodeT& right, uint32_t t, uint32_t f) {
        const ExpressionDataType type = left.GetType();
        Getter getter{};
        if (!GetterOf(type, getter)) {
            // Types beyond Double compare as false; texts, booleans and
            // doubles stay with the tree.
            if (static_cast<uint32_t>(type) <= static_cast<uint32_t>(ExpressionDataType::Double)) {
                ok = false;
            }
            return f;
        }
        const Operand a = Side(left, getter);
        const Operand b = Side(right, getter);
        // Every relation is "<" or "==", with the operands or the targets
        // swapped: a <= b is !(b < a), a > b is b < a, a >= b is !(a < b).
        switch (op) {
            case OperatorCode::Equal: return Emit(getter, false, a, b, t, f);
            case OperatorCode::NotEqual: return Emit(getter, false, a, b, f, t);
            case OperatorCode::Less: return Emit(getter, true, a, b, t, f);
            case OperatorCode::LessEqual: return Emit(getter, true, b, a, f, t);
            case OperatorCode::Greater: return Emit(getter, true, b, a, t, f);
            default: return Emit(getter, true, a, b, f, t);  // GreaterEqual
        }
    }

    // The field's first byte, not 0.
    uint32_t FieldBool(const ExpressionTreeNodeT& operand, uint32_t t, uint32_t f) {
        const auto* field = dynamic_cast<const ZVTFieldEvaluatorT*>(operand.GetEvaluator());
        if (field == nullptr) {
            ok = false;
            return f;
        }
        const Getter byte{1, false};
        return Emit(byte, false, Side(operand, byte), Operand{}, f, t);
    }

    Operand Side(const ExpressionTreeNodeT& operand, Getter getter) {
        Operand side;
        const auto* field = dynamic_cast<const ZVTFieldEvaluatorT*>(operand.GetEvaluator());
        if (field != nullptr) {
            // An unbound field reads as 0.
            if (field->ValueIndex() == ZVTFieldEvaluatorT::kUnboundIndex) {
                side.value = getter.flip();
                return side;
            }
            side.fromRecord = true;
            side.offset = eventClass_->ValueOffset(field->ValueIndex());
            if (side.offset == ZVT::kNoValueIndex) ok = false;
            return side;
        }
        // Literals answer from their value; operator nodes have no integer
        // value (the base getters' 0). Neither depends on the record.
        if (operand.Kind() != NodeKind::Literal && operand.Kind() != NodeKind::Operator) {
            ok = false;
            return side;
        }
        side.value = (ConstantThrough(operand, getter) & getter.mask()) ^ getter.flip();
        return side;
    }

    uint32_t Emit(Getter getter, bool less, Operand a, Operand b, uint32_t t, uint32_t f) {
        Step step;
        step.a = a;
        step.b = b;
        step.mask = getter.mask();
        step.flip = getter.flip();
        step.less = less;
        step.ifTrue = t;
        step.ifFalse = f;
        steps.push_back(step);
        return static_cast<uint32_t>(steps.size() - 1);
    }

    ZVT::EventClass* eventClass_;
};

CompiledCondition CompiledCondition::Compile(const ExpressionTreeNodeT& root,
                                             ZVT::EventClass* eventClass) {
    CompiledCondition compiled;
    if (eventClass == nullptr) return compiled;
    Builder builder(eventClass);
    // The root answers only when its own type is Bool.
    const uint32_t start = root.GetType() == ExpressionDataType::Bool
                               ? builder.Bool(root, kTrue, kFalse)
                               : kFalse;
    if (!builder.ok) return compiled;
    compiled.steps_ = std::move(builder.steps);
    compiled.start_ = start;
    compiled.valid_ = true;
    return compiled;
}

}  // namespace ExpressionParserN
