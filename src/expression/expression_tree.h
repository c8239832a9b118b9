// A parsed condition as its user holds it: the root node together with the
// evaluators its nodes refer to.
//
// Who owns evaluators: nodes only borrow them. Every evaluator a parse
// creates (literal values, field variables) is adopted by that parse's
// EvaluatorStoreT, and the store is shared by the ExpressionTreeT that the
// parse returns and by every clone made with ExpressionTreeT::Clone. The store
// goes away with the last tree that uses it, after that tree's nodes, so no
// node (clone or not) ever sees a released evaluator. The shared OpEvaluatorT
// of operator nodes is process-wide and in no store.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "boundary/host_abi.h"
#include "expression/expression_evaluator.h"
#include "expression/expression_tree_node.h"

namespace ExpressionParserN {

class EvaluatorStoreT {
public:
    // Takes ownership and returns the evaluator for the node to borrow.
    ExpressionEvaluatorT* Adopt(std::unique_ptr<ExpressionEvaluatorT> evaluator);
    size_t Size() const { return evaluators.size(); }

private:
    std::vector<std::unique_ptr<ExpressionEvaluatorT>> evaluators;
};

class ExpressionTreeT {
public:
    ExpressionTreeT() = default;
    ExpressionTreeT(std::shared_ptr<EvaluatorStoreT> store,
                    std::unique_ptr<ExpressionTreeNodeT> root);
    ExpressionTreeT(ExpressionTreeT&&) noexcept = default;
    ExpressionTreeT& operator=(ExpressionTreeT&& other) noexcept;
    ~ExpressionTreeT();

    explicit operator bool() const { return root != nullptr; }
    ExpressionTreeNodeT* Root() const { return root.get(); }

    // A deep copy of the nodes sharing this tree's evaluators (and store).
    ExpressionTreeT Clone() const;

    // Drops the nodes, then the store if no clone still holds it.
    void Reset();

    // The root's own Validate; false for an empty tree.
    bool Validate() const { return root && root->Validate(); }

    // The node-level getter of the root: false for an empty tree and unless
    // the root's type is Bool. Allocates nothing unless the condition
    // compares texts.
    bool Evaluate(ZVT::EventClass* eventClass, const uint8_t* record) const {
        return root && root->GetBool(eventClass, record);
    }

private:
    std::shared_ptr<EvaluatorStoreT> store;  // released after `root`
    std::unique_ptr<ExpressionTreeNodeT> root;
};

}  // namespace ExpressionParserN
