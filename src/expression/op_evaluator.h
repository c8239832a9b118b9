// The one evaluator shared by every operator node: computes "&&", "||", "!"
// and the six comparisons from the node's operands. It holds no state, so one
// process-wide instance serves every tree, including trees evaluated at once.
#pragma once

#include "expression/expression_evaluator.h"

namespace ExpressionParserN {

class OpEvaluatorT final : public ExpressionEvaluatorT {
public:
    // Created on first use (before the first operator node exists) and kept
    // until process exit; never released by a node.
    static OpEvaluatorT& Instance();

    // `node` must be an ExpressionTreeOperatorNodeT; anything else is false.
    bool GetBool(ZVT::EventClass* eventClass, const uint8_t* record,
                 const ExpressionTreeNodeT& node) const override;

private:
    OpEvaluatorT() = default;
};

}  // namespace ExpressionParserN
