// Connects the field variables of a condition to the binding routine that
// subscribes the counter's callback: one optional request per variable node,
// whose destinations are the variable's own evaluator, so binding fills in
// the value index and type code that evaluation reads.
#pragma once

#include <vector>

#include "expression/expression_tree_node.h"
#include "util/bind_trace_callback.h"

namespace ExpressionParserN {

// Requests in tree order, left operand first; a field named twice gives two
// requests. The names and destinations point into the tree's evaluators and
// stay valid as long as the tree (or a clone sharing its evaluators) lives.
// A null root gives no requests.
std::vector<vantric::FieldBindingRequest> CollectFieldBindings(ExpressionTreeNodeT* root);

}  // namespace ExpressionParserN
