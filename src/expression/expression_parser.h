// Turns a condition text such as "VALUE > 4096 && MODE == 1" into a tree of
// typed nodes: blank-separated words become operator, literal or variable
// nodes, an operator-precedence pass puts them in postfix order, and a stack
// pass builds the tree. Parse failures carry no message: the caller just gets
// no tree.
#pragma once

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

private:
    // The narrowest type that holds the literal `token`; Unknown when it is
    // no literal.
    static ExpressionDataType DetermineLiteralType(const std::string& token);

    using NodeList = std::vector<std::unique_ptr<ExpressionTreeNodeT>>;

    // The steps of Parse. Nodes borrow their evaluators from `into`. Tokenize
    // gives nothing when a word makes no node, ToPostfix on an unbalanced ")".
    NodeList Tokenize(std::string_view text, EvaluatorStoreT& into);
    static NodeList ToPostfix(NodeList tokens);
    static std::unique_ptr<ExpressionTreeNodeT> BuildTree(NodeList postfix);

    static std::unique_ptr<ExpressionTreeNodeT> CreateLiteralNode(ExpressionDataType type,
                                                                  const std::string& token,
                                                                  EvaluatorStoreT& into);
    std::unique_ptr<ExpressionTreeNodeT> CreateVariableNode(const std::string& token,
                                                            EvaluatorStoreT& into);

    VariableDBT& variables;
};

}  // namespace ExpressionParserN
