#include "expression/expression_tree.h"

namespace ExpressionParserN {

ExpressionEvaluatorT* EvaluatorStoreT::Adopt(std::unique_ptr<ExpressionEvaluatorT> evaluator) {
    evaluators.push_back(std::move(evaluator));
    return evaluators.back().get();
}

ExpressionTreeT::ExpressionTreeT(std::shared_ptr<EvaluatorStoreT> evaluatorStore,
                                 std::unique_ptr<ExpressionTreeNodeT> rootNode)
    : store(std::move(evaluatorStore)), root(std::move(rootNode)) {}

// Nodes first, then the evaluators they borrow.
ExpressionTreeT& ExpressionTreeT::operator=(ExpressionTreeT&& other) noexcept {
    if (this != &other) {
        Reset();
        root = std::move(other.root);
        store = std::move(other.store);
    }
    return *this;
}

ExpressionTreeT::~ExpressionTreeT() {
    Reset();
}

void ExpressionTreeT::Reset() {
    root.reset();
    store.reset();
}

ExpressionTreeT ExpressionTreeT::Clone() const {
    if (!root) return {};
    return ExpressionTreeT(store, root->Clone());
}

}  // namespace ExpressionParserN
