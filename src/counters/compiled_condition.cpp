#include "counters/compiled_condition.h"

#include "expression/op_evaluator.h"
#include "expression/zvt_field_evaluator.h"

namespace vantric {
namespace {

using ExpressionParserN::ExpressionDataType;
using ExpressionParserN::ExpressionTreeNodeT;
using ExpressionParserN::ExpressionTreeOperatorNodeT;
using ExpressionParserN::NodeKind;
using ExpressionParserN::OperatorCode;
using ExpressionParserN::ZVTFieldEvaluatorT;

template <typename V>
bool CompareValues(OperatorCode op, V a, V b) {
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

// The getter a comparison uses for both operands, chosen by the left
// operand's type as the operator evaluation does.
struct Getter {
    uint8_t width;
    bool isSigned;
};
bool GetterOf(ExpressionDataType type, Getter& getter) {
    switch (type) {
        case ExpressionDataType::Int8:
        case ExpressionDataType::Char: getter = {1, true}; return true;
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
    switch (getter.width) {
        case 1:
            return getter.isSigned ? uint64_t(int64_t{e->GetInt8(nullptr, nullptr, node)})
                                   : e->GetUint8(nullptr, nullptr, node);
        case 2:
            return getter.isSigned ? uint64_t(int64_t{e->GetInt16(nullptr, nullptr, node)})
                                   : e->GetUint16(nullptr, nullptr, node);
        case 4:
            return getter.isSigned ? uint64_t(int64_t{e->GetInt32(nullptr, nullptr, node)})
                                   : e->GetUint32(nullptr, nullptr, node);
        default:
            return getter.isSigned ? uint64_t(e->GetInt64(nullptr, nullptr, node))
                                   : e->GetUint64(nullptr, nullptr, node);
    }
}

}  // namespace

class CompiledCondition::Builder {
public:
    explicit Builder(ZVT::EventClass* eventClass) : eventClass_(eventClass) {}

    bool ok = true;
    std::vector<Node> nodes;

    // A node giving what the operand's own evaluator answers to GetBool.
    uint32_t Bool(const ExpressionTreeNodeT& operand) {
        const uint32_t index = Reserve();
        Node node;
        switch (operand.Kind()) {
            case NodeKind::Operator: node = Operator(operand); break;
            case NodeKind::Variable: node = FieldBool(operand); break;
            case NodeKind::Literal:
                node.value = operand.GetEvaluator()->GetBool(nullptr, nullptr, operand);
                break;
            default: ok = false;
        }
        nodes[index] = node;
        return index;
    }

private:
    uint32_t Reserve() {
        nodes.emplace_back();
        return static_cast<uint32_t>(nodes.size() - 1);
    }

    static Node Constant(bool value) {
        Node node;
        node.value = value;
        return node;
    }

    Node Operator(const ExpressionTreeNodeT& operand) {
        const auto* op = dynamic_cast<const ExpressionTreeOperatorNodeT*>(&operand);
        if (op == nullptr ||
            dynamic_cast<const ExpressionParserN::OpEvaluatorT*>(operand.GetEvaluator()) == nullptr) {
            ok = false;
            return Node{};
        }
        const ExpressionTreeNodeT* left = op->Left();
        const ExpressionTreeNodeT* right = op->Right();
        Node node;
        switch (op->Op()) {
            case OperatorCode::And:
            case OperatorCode::Or:
                if (left == nullptr || right == nullptr) return Constant(false);
                node.kind = op->Op() == OperatorCode::And ? Kind::kAnd : Kind::kOr;
                node.left = Bool(*left);
                node.right = Bool(*right);
                return node;
            case OperatorCode::Not:
                if (left == nullptr) return Constant(false);
                node.kind = Kind::kNot;
                node.left = Bool(*left);
                return node;
            case OperatorCode::Equal:
            case OperatorCode::NotEqual:
            case OperatorCode::Less:
            case OperatorCode::LessEqual:
            case OperatorCode::Greater:
            case OperatorCode::GreaterEqual:
                if (left == nullptr || right == nullptr) return Constant(false);
                return Comparison(op->Op(), *left, *right);
            default:
                return Constant(false);  // a dangling "(" or an unknown operator
        }
    }

    Node Comparison(OperatorCode op, const ExpressionTreeNodeT& left,
                    const ExpressionTreeNodeT& right) {
        const ExpressionDataType type = left.GetType();
        Getter getter{};
        if (!GetterOf(type, getter)) {
            // Types beyond Double compare as false; texts, booleans and
            // doubles stay with the tree.
            if (static_cast<uint32_t>(type) > static_cast<uint32_t>(ExpressionDataType::Double)) {
                return Constant(false);
            }
            ok = false;
            return Node{};
        }
        Node node;
        node.kind = Kind::kCompare;
        node.op = op;
        node.isSigned = getter.isSigned;
        node.mask = Extend(~uint64_t{0}, getter.width, false);
        node.signBit = getter.isSigned ? (node.mask >> 1) + 1 : 0;
        node.a = Side(left, getter);
        node.b = Side(right, getter);
        return node;
    }

    Operand Side(const ExpressionTreeNodeT& operand, Getter getter) {
        const auto* field = dynamic_cast<const ZVTFieldEvaluatorT*>(operand.GetEvaluator());
        if (field != nullptr) {
            // An unbound field reads as 0.
            if (field->ValueIndex() == ZVTFieldEvaluatorT::kUnboundIndex) {
                return {kConstantOperand, 0};
            }
            const uint32_t offset = eventClass_->ValueOffset(field->ValueIndex());
            if (offset == ZVT::kNoValueIndex) ok = false;
            return {offset, 0};
        }
        // Literals answer from their value; operator nodes have no integer
        // value (the base getters' 0). Neither depends on the record.
        if (operand.Kind() != NodeKind::Literal && operand.Kind() != NodeKind::Operator) {
            ok = false;
            return {kConstantOperand, 0};
        }
        return {kConstantOperand,
                Extend(ConstantThrough(operand, getter), getter.width, getter.isSigned)};
    }

    Node FieldBool(const ExpressionTreeNodeT& operand) {
        const auto* field = dynamic_cast<const ZVTFieldEvaluatorT*>(operand.GetEvaluator());
        if (field == nullptr) {
            ok = false;
            return Node{};
        }
        if (field->ValueIndex() == ZVTFieldEvaluatorT::kUnboundIndex) return Constant(false);
        Node node;
        node.kind = Kind::kFieldNonZero;
        node.offset = eventClass_->ValueOffset(field->ValueIndex());
        if (node.offset == ZVT::kNoValueIndex) ok = false;
        return node;
    }

    ZVT::EventClass* eventClass_;
};

CompiledCondition CompiledCondition::Compile(const ExpressionTreeNodeT& root,
                                             ZVT::EventClass* eventClass) {
    CompiledCondition compiled;
    if (eventClass == nullptr) return compiled;
    Builder builder(eventClass);
    // The root answers only when its own type is Bool.
    if (root.GetType() != ExpressionDataType::Bool) {
        compiled.nodes_.push_back(Node{});
        return compiled;
    }
    builder.Bool(root);
    if (builder.ok) compiled.nodes_ = std::move(builder.nodes);
    return compiled;
}

inline bool CompiledCondition::Compare(const Node& node, const uint8_t* record) const {
    const uint64_t a = Read(node.a, record, node.mask, node.signBit);
    const uint64_t b = Read(node.b, record, node.mask, node.signBit);
    if (node.isSigned) return CompareValues(node.op, int64_t(a), int64_t(b));
    return CompareValues(node.op, a, b);
}

bool CompiledCondition::Eval(uint32_t index, const uint8_t* record) const {
    const Node& node = nodes_[index];
    switch (node.kind) {
        case Kind::kConstant: return node.value;
        case Kind::kFieldNonZero: return record[node.offset] != 0;
        case Kind::kAnd: return Eval(node.left, record) && Eval(node.right, record);
        case Kind::kOr: return Eval(node.left, record) || Eval(node.right, record);
        case Kind::kNot: return !Eval(node.left, record);
        case Kind::kCompare: return Compare(node, record);
    }
    return false;
}

}  // namespace vantric
