// Turns a condition text such as "VALUE > 4096 && MODE == 1" into a tree of
// typed nodes: blank-separated words become operator, literal or variable
// nodes, an operator-precedence pass puts them in postfix order, and a stack
// pass builds the tree. Parse failures carry no message: the caller just gets
// no tree, and can ask whether it was refused for its depth.
//
// Building is iterative, but validating, evaluating, compiling and releasing
// a tree recurse once per level, so no tree deeper than kMaxDepth is built.
// A chain "a && b && c ..." nests one level per operator.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "expression/expression_tree.h"
#include "expression/expression_tree_node.h"
#include "expression/expression_types.h"
#include "expression/variable_db.h"

namespace ExpressionParserN {

class ExpressionParserT {
public:
    // `variables` must outlive the parser; it is asked only while parsing.
    explicit ExpressionParserT(VariableDBT& variables);

    // The tree of `text`, or an empty tree for an empty or malformed text.
    // The result owns its nodes and the evaluators they use.
    ExpressionTreeT Parse(std::string_view text);

    static bool IsOperatorToken(std::string_view word);

    // Levels of the deepest tree Parse builds; a single operand is one level.
    static constexpr size_t kMaxDepth = 256;

    // Whether the last Parse gave no tree because its tree would be deeper
    // than kMaxDepth.
    bool NestedTooDeeply() const { return nestedTooDeeply; }

private:
    // The narrowest type that holds the literal `token`; Unknown when it is
    // no literal.
    static ExpressionDataType DetermineLiteralType(const std::string& token);

    using NodeList = std::vector<std::unique_ptr<ExpressionTreeNodeT>>;

    // The steps of Parse. Nodes borrow their evaluators from `into`. Tokenize
    // gives nothing when a word makes no node, ToPostfix on an unbalanced ")".
    NodeList Tokenize(std::string_view text, EvaluatorStoreT& into);
    static NodeList ToPostfix(NodeList tokens);
    std::unique_ptr<ExpressionTreeNodeT> BuildTree(NodeList postfix);

    static std::unique_ptr<ExpressionTreeNodeT> CreateLiteralNode(ExpressionDataType type,
                                                                  const std::string& token,
                                                                  EvaluatorStoreT& into);
    std::unique_ptr<ExpressionTreeNodeT> CreateVariableNode(const std::string& token,
                                                            EvaluatorStoreT& into);

    VariableDBT& variables;
    bool nestedTooDeeply = false;
};

}  // namespace ExpressionParserN
