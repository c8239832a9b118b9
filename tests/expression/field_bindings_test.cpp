#include "expression/field_bindings.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "expression/expression_parser.h"
#include "expression/zvt_field_evaluator.h"
#include "host_condition.h"
#include "kv_field.h"
#include "kv_trace_component.h"

using namespace ExpressionParserN;

namespace {

// One source with a field of every host type code, sizes as a core's
// sources have them, and LOCAL_TIME last.
class FieldBindingsTest : public ::testing::Test {
protected:
    FieldBindingsTest()
        : component("cluster.core0"),
          source(component.AddSource(
              "TEST_EVENT", "every field type",
              {kvhost::Unsigned("VALUE", 8), kvhost::Unsigned("MODE", 1),
               kvhost::Signed("DELTA", 4), kvhost::Boolean("FLAG"),
               kvhost::Enum("KIND", 4, {{0, "ZERO"}, {1, "ONE"}, {2, "TWO"}}),
               kvhost::Float("RATIO"), kvhost::Text("NAME"), kvhost::LocalTime()})) {}

    kvhost::TraceComponent component;
    kvhost::TraceSource& source;
};

struct EventCase {
    const char* condition;
    // Events as (field, value) lists, and how many of them must match.
    std::vector<std::vector<kvhost::NamedValue>> events;
    uint64_t matches;
};

void PrintTo(const EventCase& c, std::ostream* out) {
    *out << '"' << c.condition << '"';
}

class ConditionOnEventsTest : public FieldBindingsTest,
                              public ::testing::WithParamInterface<EventCase> {};

TEST_P(ConditionOnEventsTest, CountsTheMatchingEvents) {
    const EventCase& c = GetParam();
    HostCondition condition;
    ASSERT_TRUE(condition.Attach(component, "TEST_EVENT", c.condition))
        << condition.bindErrors << condition.validateOutput;
    for (const auto& event : c.events) {
        source.ClearValues();
        for (const kvhost::NamedValue& value : event) {
            source.Set(source.IndexOf(value.name), value.value);
        }
        source.Dispatch();
    }
    EXPECT_EQ(condition.events, c.events.size());
    EXPECT_EQ(condition.matches, c.matches);
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Integers, ConditionOnEventsTest,
    ::testing::Values(
        EventCase{"VALUE > 4096 && MODE == 1",
                  {{{"VALUE", 5000}, {"MODE", 1}},
                   {{"VALUE", 4096}, {"MODE", 1}},
                   {{"VALUE", 5000}, {"MODE", 2}},
                   {{"VALUE", 0x100001001ULL}, {"MODE", 1}},   // low 4 bytes: 4097
                   {{"VALUE", 0x100000000ULL}, {"MODE", 1}}},  // low 4 bytes: 0
                  2},
        // An 8-byte UNSIGNED_INT compares on its low 4 bytes.
        EventCase{"VALUE == 0", {{{"VALUE", 0x100000000ULL}}, {{"VALUE", 1}}}, 1},
        EventCase{
            "VALUE >= 4294967295", {{{"VALUE", 0xFFFFFFFFULL}}, {{"VALUE", 0x1FFFFFFFEULL}}}, 1},
        // A literal on the left reads the field at its own type: one byte.
        EventCase{"5 < VALUE", {{{"VALUE", 0x105}}, {{"VALUE", 6}}}, 1},
        EventCase{"VALUE > 5", {{{"VALUE", 0x105}}, {{"VALUE", 6}}}, 2},
        EventCase{"DELTA == -1", {{{"DELTA", -1}}, {{"DELTA", 1}}, {{"DELTA", 255}}}, 1},
        EventCase{"DELTA < 0", {{{"DELTA", -5}}, {{"DELTA", 0}}, {{"DELTA", 7}}}, 1},
        EventCase{"DELTA > -10", {{{"DELTA", -5}}, {{"DELTA", -11}}, {{"DELTA", 3}}}, 2},
        EventCase{"KIND == 2", {{{"KIND", 2}}, {{"KIND", 1}}}, 1},
        EventCase{"KIND != 2 && KIND >= 1", {{{"KIND", 0}}, {{"KIND", 1}}, {{"KIND", 2}}}, 1},
        EventCase{"MODE == 255", {{{"MODE", 255}}, {{"MODE", 0}}}, 1}));

INSTANTIATE_TEST_SUITE_P(Roots, ConditionOnEventsTest,
                         ::testing::Values(
                             // A BOOL field alone counts where its byte is not 0 ...
                             EventCase{"FLAG", {{{"FLAG", 1}}, {{"FLAG", 0}}, {{"FLAG", 1}}}, 2},
                             EventCase{"! FLAG", {{{"FLAG", 1}}, {{"FLAG", 0}}}, 1},
                             EventCase{"FLAG == true", {{{"FLAG", 1}}, {{"FLAG", 0}}}, 1},
                             EventCase{"FLAG > false", {{{"FLAG", 1}}, {{"FLAG", 0}}}, 1},
                             // ... an integer field alone never counts (its type is Uint32) ...
                             EventCase{"MODE", {{{"MODE", 1}}, {{"MODE", 0}}}, 0},
                             // ... but under "&&" it is true when its first byte is not 0.
                             EventCase{"MODE && VALUE",
                                       {{{"MODE", 1}, {"VALUE", 1}},
                                        {{"MODE", 1}, {"VALUE", 0x100}},
                                        {{"MODE", 256}, {"VALUE", 1}}},  // MODE keeps 1 byte: 0
                                       1}));

INSTANTIATE_TEST_SUITE_P(
    FloatsAndTexts, ConditionOnEventsTest,
    ::testing::Values(
        EventCase{"RATIO > 0.5", {{{"RATIO", 0.75}}, {{"RATIO", 0.25}}}, 1},
        EventCase{"RATIO != 1.5", {{{"RATIO", kNaN}}, {{"RATIO", 1.5}}}, 1},
        EventCase{"RATIO == 1.5", {{{"RATIO", kNaN}}, {{"RATIO", 1.5}}}, 1},
        EventCase{"RATIO < 1.5 || RATIO >= 1.5", {{{"RATIO", kNaN}}, {{"RATIO", 1.0}}}, 1},
        EventCase{"NAME == \"init\"", {{{"NAME", "init"}}, {{"NAME", "initial"}}}, 1},
        EventCase{"NAME < \"m\"", {{{"NAME", "abc"}}, {{"NAME", "zeta"}}, {{"NAME", ""}}}, 2},
        EventCase{"NAME != \"\"", {{{"NAME", "x"}}, {{"NAME", ""}}}, 1},
        EventCase{"NAME == \\\"init\\\"", {{{"NAME", "init"}}, {{"NAME", "x"}}}, 1}));

TEST_F(FieldBindingsTest, RequestsAreOptionalAndPointIntoTheFieldEvaluators) {
    ZVTVariableDBT variables;
    ExpressionParserT parser(variables);
    ExpressionTreeT tree = parser.Parse("MODE == 1 || NAME == \"x\" && MODE == 2");
    ASSERT_TRUE(tree);
    std::vector<vantric::FieldBindingRequest> requests = CollectFieldBindings(tree.Root());
    std::vector<ExpressionTreeNodeT*> nodes;
    tree.Root()->CollectVariables(nodes);
    ASSERT_EQ(requests.size(), 3u);
    ASSERT_EQ(nodes.size(), 3u);
    const char* names[] = {"MODE", "NAME", "MODE"};
    for (size_t i = 0; i < requests.size(); ++i) {
        auto* field = dynamic_cast<ZVTFieldEvaluatorT*>(nodes[i]->GetVariableEvaluator());
        ASSERT_NE(field, nullptr);
        EXPECT_STREQ(requests[i].name, names[i]);
        EXPECT_TRUE(requests[i].optional);
        EXPECT_EQ(requests[i].indexDestination, field->ValueIndexDestination());
        EXPECT_EQ(requests[i].typeDestination, field->FieldTypeDestination());
        EXPECT_EQ(*requests[i].indexDestination, ZVTFieldEvaluatorT::kUnboundIndex);
        EXPECT_EQ(*requests[i].typeDestination, ZVTFieldEvaluatorT::kUnboundType);
    }
    EXPECT_TRUE(CollectFieldBindings(nullptr).empty());
    ExpressionTreeT literals = parser.Parse("1 == 1");
    EXPECT_TRUE(CollectFieldBindings(literals.Root()).empty());
}

TEST_F(FieldBindingsTest, BindingFillsValueIndexesOfTheCreatedEventClass) {
    HostCondition condition;
    ASSERT_TRUE(
        condition.Attach(component, "TEST_EVENT", "NAME == \"x\" || MODE == 1 || MODE == 2"));
    source.Emit({{"MODE", 1}});
    ASSERT_NE(condition.lastClass, nullptr);
    // The class carries MODE (field 1) and NAME (field 6): value indexes 0, 1.
    std::vector<ExpressionTreeNodeT*> nodes;
    condition.tree.Root()->CollectVariables(nodes);
    ASSERT_EQ(nodes.size(), 3u);
    const uint32_t expected[] = {1, 0, 0};
    const uint32_t types[] = {ZVT::STRING, ZVT::UNSIGNED_INT, ZVT::UNSIGNED_INT};
    for (size_t i = 0; i < nodes.size(); ++i) {
        auto* field = static_cast<ZVTFieldEvaluatorT*>(nodes[i]->GetVariableEvaluator());
        EXPECT_EQ(field->ValueIndex(), expected[i]) << field->FieldName();
        EXPECT_EQ(field->ValueIndex(),
                  condition.lastClass->GetValueIndex(field->FieldName().c_str()));
        EXPECT_EQ(field->FieldType(), types[i]) << field->FieldName();
    }
    EXPECT_EQ(condition.matches, 1u);
}

TEST_F(FieldBindingsTest, MissingFieldsBindButFailValidationLeftmostFirst) {
    const struct {
        const char* text;
        const char* output;
    } cases[] = {
        {"VALUE > 1 && NOPE == 2", "Condition: NOPE field not found.\n"},
        {"A == 1 && B == 2", "Condition: A field not found.\n"},
        {"value > 1", "Condition: value field not found.\n"},  // names are case-sensitive
        {"MODE==1", "Condition: MODE==1 field not found.\n"},
    };
    for (const auto& c : cases) {
        HostCondition condition;
        EXPECT_FALSE(condition.Attach(component, "TEST_EVENT", c.text)) << c.text;
        EXPECT_TRUE(condition.bound) << c.text << ": " << condition.bindErrors;
        EXPECT_EQ(condition.validateOutput, c.output) << c.text;
    }
}

TEST_F(FieldBindingsTest, MismatchedFieldTypesFailValidation) {
    const struct {
        const char* text;
        const char* output;
    } cases[] = {
        {"RATIO == 5", "Data type mismatch. op:(RATIO==5) :    op1 type:b op2 type:4\n"},
        // A whole number is an integer literal, even written with ".0".
        {"RATIO > 0.0", "Data type mismatch. op:(RATIO>0.0) :    op1 type:b op2 type:4\n"},
        {"NAME == 5", "Data type mismatch. op:(NAME==5) :    op1 type:9 op2 type:4\n"},
        {"FLAG == 1", "Data type mismatch. op:(FLAG==1) :    op1 type:a op2 type:4\n"},
        {"VALUE == 2.5", "Data type mismatch. op:(VALUE==2.5) :    op1 type:6 op2 type:b\n"},
        {"VALUE == RATIO", "Data type mismatch. op:(VALUE==RATIO) :    op1 type:6 op2 type:b\n"},
    };
    for (const auto& c : cases) {
        HostCondition condition;
        EXPECT_FALSE(condition.Attach(component, "TEST_EVENT", c.text)) << c.text;
        EXPECT_EQ(condition.validateOutput, c.output) << c.text;
    }
    // Integer fields of different codes agree with each other and with literals.
    HostCondition mixed;
    EXPECT_TRUE(mixed.Attach(component, "TEST_EVENT", "DELTA < VALUE && KIND == MODE"))
        << mixed.validateOutput;
}

TEST_F(FieldBindingsTest, CloneEvaluatesWithTheSameBinding) {
    HostCondition condition;
    ASSERT_TRUE(condition.Attach(component, "TEST_EVENT", "VALUE > 4096 && MODE == 1"));
    ExpressionTreeT clone = condition.tree.Clone();
    condition.tree.Reset();  // the clone keeps the bound evaluators alive
    source.Emit({{"VALUE", 5000}, {"MODE", 1}});
    ASSERT_NE(condition.lastClass, nullptr);
    EXPECT_TRUE(clone.Evaluate(condition.lastClass, condition.lastRecord));
    source.Emit({{"VALUE", 5000}, {"MODE", 3}});
    EXPECT_FALSE(clone.Evaluate(condition.lastClass, condition.lastRecord));
}

}  // namespace
