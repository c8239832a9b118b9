// A counter's condition turned, once its fields are bound, into a flat form
// that reads the event record directly.
//
// The condition tree answers through virtual getters on every node and asks
// the host for each field's offset on every read; for a counter that runs on
// every event of a busy source that is most of its cost. Everything that
// decides the tree's answer is fixed at registration (node types follow the
// field bindings, literals never change, offsets are fixed by the event
// class), so it can be settled once: which getter width and signedness each
// comparison uses, where each field lies, and what each literal reads as at
// that width. The result gives exactly the tree's answer.
//
// Only integer comparisons combined with "&&", "||" and "!" are compiled;
// conditions that compare texts, doubles or booleans keep the tree
// (valid() is false).
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "boundary/host_abi.h"
#include "expression/expression_tree_node.h"

namespace vantric {

class CompiledCondition {
public:
    CompiledCondition() = default;

    // Compiles the validated, bound tree under `root` for records of
    // `eventClass`. Leaves valid() false for a shape it does not handle.
    static CompiledCondition Compile(const ExpressionParserN::ExpressionTreeNodeT& root,
                                     ZVT::EventClass* eventClass);

    bool valid() const { return !nodes_.empty(); }

    // The root's node-level GetBool for this record.
    bool Evaluate(const uint8_t* record) const { return Eval(0, record); }

private:
    enum class Kind : uint8_t { kConstant, kFieldNonZero, kAnd, kOr, kNot, kCompare };

    // One side of a comparison: a field read at the comparison's width, or a
    // value fixed at compilation. Both are kept extended to 64 bits.
    struct Operand {
        uint32_t offset;  // of the field, or kConstant
        uint64_t value;   // the constant
    };
    static constexpr uint32_t kConstantOperand = 0xFFFFFFFFu;

    struct Node {
        Kind kind = Kind::kConstant;
        bool value = false;                // kConstant
        ExpressionParserN::OperatorCode op{};  // kCompare
        bool isSigned = false;             // kCompare
        uint64_t mask = 0;                 // kCompare: the getter's bytes
        uint64_t signBit = 0;              // kCompare: the getter's sign, 0 when unsigned
        uint32_t offset = 0;               // kFieldNonZero
        uint32_t left = 0, right = 0;      // child nodes of kAnd, kOr, kNot
        Operand a{}, b{};                  // kCompare
    };

    class Builder;

    // Keeps the low `width` bytes, sign-extended when `isSigned`.
    static uint64_t Extend(uint64_t bits, uint8_t width, bool isSigned) {
        if (width >= 8) return bits;
        const uint64_t mask = (uint64_t{1} << (8 * width)) - 1;
        bits &= mask;
        if (isSigned && (bits >> (8 * width - 1)) != 0) bits |= ~mask;
        return bits;
    }
    // Every value slot of a record is at least 8 bytes, so a whole word is
    // read and narrowed: one load, no byte-wise copy for the compiler to
    // stitch together.
    static uint64_t Read(const Operand& operand, const uint8_t* record, uint64_t mask,
                         uint64_t signBit) {
        if (operand.offset == kConstantOperand) return operand.value;
        uint64_t bits;
        std::memcpy(&bits, record + operand.offset, sizeof bits);
        bits &= mask;
        if ((bits & signBit) != 0) bits |= ~mask;
        return bits;
    }

    bool Eval(uint32_t index, const uint8_t* record) const;
    [[gnu::always_inline]] inline bool Compare(const Node& node, const uint8_t* record) const;

    std::vector<Node> nodes_;  // the root first
};

}  // namespace vantric
