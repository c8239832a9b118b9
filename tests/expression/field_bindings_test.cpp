// The requests a condition hands to the binding routine point into its field
// evaluators, so binding fills in what evaluation reads.
#include "expression/field_bindings.h"

#include <gtest/gtest.h>

#include <vector>

#include "expression/zvt_field_evaluator.h"
#include "host_condition.h"

namespace ExpressionParserN {
namespace {

using FieldBindingsTest = HostSourceTest;

TEST_F(FieldBindingsTest, RequestsFillTheValueIndexesOfTheEventClass) {
    HostCondition condition;
    ASSERT_TRUE(condition.Attach(component, "NAME == \"x\" || MODE == 1 || MODE == 2"));
    const std::vector<vantric::FieldBindingRequest> requests =
        CollectFieldBindings(condition.tree.Root());
    std::vector<ExpressionTreeNodeT*> nodes;  // leftmost first, a name used twice twice
    condition.tree.Root()->CollectVariables(nodes);
    ASSERT_EQ(requests.size(), 3u);
    ASSERT_EQ(nodes.size(), 3u);
    source.Emit({{"MODE", 1}});
    EXPECT_EQ(condition.matches, 1u);
    // The class carries MODE (field 1) and NAME (field 6): value indexes 0, 1.
    const uint32_t indexes[] = {1, 0, 0};
    const uint32_t types[] = {ZVT::STRING, ZVT::UNSIGNED_INT, ZVT::UNSIGNED_INT};
    for (size_t i = 0; i < nodes.size(); ++i) {
        auto& field = dynamic_cast<ZVTFieldEvaluatorT&>(*nodes[i]->GetVariableEvaluator());
        EXPECT_EQ(requests[i].name, field.FieldName());
        EXPECT_TRUE(requests[i].optional);
        EXPECT_EQ(requests[i].indexDestination, field.ValueIndexDestination());
        EXPECT_EQ(requests[i].typeDestination, field.FieldTypeDestination());
        EXPECT_EQ(std::tuple(field.ValueIndex(), field.FieldType()), std::tuple(indexes[i], types[i]));
    }
    EXPECT_TRUE(CollectFieldBindings(nullptr).empty());
}

}  // namespace
}  // namespace ExpressionParserN
