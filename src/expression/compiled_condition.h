// A validated condition tree, once its fields are bound to one event class,
// turned into a short run of compare-and-jump steps that read the event
// record directly.
//
// The tree answers through virtual getters on every node and asks the host
// for each field's offset on every read; for a condition evaluated on every
// event of a busy source that is most of its cost. Everything that decides
// the tree's answer is fixed once the fields are bound (node types follow the
// field bindings, literals never change, offsets are fixed by the event
// class), so it is settled once: which getter width and signedness each
// comparison uses, where each field lies, what each literal reads as at that
// width. "&&", "||" and "!" become jumps between the comparisons, and every
// comparison becomes an unsigned "<" or "==" of two 64-bit words (signed
// values are offset by their sign bit, which keeps their order). The result
// is exactly the tree's answer.
//
// Only integer comparisons, fields read as booleans and literals are
// compiled; conditions that compare texts, doubles or booleans keep the tree
// (valid() is false).
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "boundary/host_abi.h"
#include "expression/expression_tree_node.h"

namespace ExpressionParserN {

class CompiledCondition {
public:
    CompiledCondition() = default;

    // Compiles the bound tree under `root` for records of `eventClass`.
    // Leaves valid() false for a shape it does not handle.
    static CompiledCondition Compile(const ExpressionTreeNodeT& root, ZVT::EventClass* eventClass);

    bool valid() const { return valid_; }

    // The root's node-level GetBool for this record.
    bool Evaluate(const uint8_t* record) const {
        uint32_t at = start_;
        while (at < kFalse) {
            const Step& step = steps_[at];
            const uint64_t a = Value(step.a, record, step.mask, step.flip);
            const uint64_t b = Value(step.b, record, step.mask, step.flip);
            at = (step.less ? a < b : a == b) ? step.ifTrue : step.ifFalse;
        }
        return at == kTrue;
    }

private:
    // Jump targets that end the evaluation.
    static constexpr uint32_t kFalse = 0xFFFFFFFEu;
    static constexpr uint32_t kTrue = 0xFFFFFFFFu;

    // One side of a comparison: a field of the record, or a word fixed at
    // compilation (already narrowed and offset like a field's value).
    struct Operand {
        bool fromRecord = false;
        uint32_t offset = 0;
        uint64_t value = 0;
    };

    struct Step {
        Operand a, b;
        uint64_t mask = 0;  // the getter's bytes
        uint64_t flip = 0;  // the getter's sign bit when signed: maps signed order to unsigned
        bool less = false;  // a < b, else a == b
        uint32_t ifTrue = kFalse;
        uint32_t ifFalse = kFalse;
    };

    class Builder;

    // Every value slot of a record is at least 8 bytes, so a whole word is
    // read and narrowed: one load, no byte-wise copy.
    static uint64_t Value(const Operand& operand, const uint8_t* record, uint64_t mask,
                          uint64_t flip) {
        if (!operand.fromRecord) return operand.value;
        uint64_t bits;
        std::memcpy(&bits, record + operand.offset, sizeof bits);
        return (bits & mask) ^ flip;
    }

    std::vector<Step> steps_;
    uint32_t start_ = kFalse;
    bool valid_ = false;
};

}  // namespace ExpressionParserN
