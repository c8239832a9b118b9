#include "expression/field_bindings.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "expression/zvt_field_evaluator.h"
#include "host_condition.h"

using namespace ExpressionParserN;

namespace {

using FieldBindingsTest = HostSourceTest;

TEST(ConditionOnEventsTest, CountsTheEventsThatMatch) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        const char* condition;
        std::vector<std::vector<kvhost::NamedValue>> events;  // (field, value) lists
        uint64_t matches;
    } cases[] = {
        {"VALUE > 4096 && MODE == 1",
         {{{"VALUE", 5000}, {"MODE", 1}}, {{"VALUE", 4096}, {"MODE", 1}},
          {{"VALUE", 5000}, {"MODE", 2}}, {{"VALUE", 0x100001001ULL}, {"MODE", 1}}},
         2},
        // An 8-byte UNSIGNED_INT compares on its low 4 bytes.
        {"VALUE == 0", {{{"VALUE", 0x100000000ULL}}, {{"VALUE", 1}}}, 1},
        {"VALUE >= 4294967295", {{{"VALUE", 0xFFFFFFFFULL}}, {{"VALUE", 0x1FFFFFFFEULL}}}, 1},
        // A literal on the left reads the field at its own type: one byte.
        {"5 < VALUE", {{{"VALUE", 0x105}}, {{"VALUE", 6}}}, 1},
        {"VALUE > 5", {{{"VALUE", 0x105}}, {{"VALUE", 6}}}, 2},
        {"DELTA == -1", {{{"DELTA", -1}}, {{"DELTA", 1}}, {{"DELTA", 255}}}, 1},
        {"DELTA > -10", {{{"DELTA", -5}}, {{"DELTA", -11}}, {{"DELTA", 3}}}, 2},
        {"KIND != 2 && KIND >= 1", {{{"KIND", 0}}, {{"KIND", 1}}, {{"KIND", 2}}}, 1},
        {"MODE == 255", {{{"MODE", 255}}, {{"MODE", 0}}}, 1},
        // A BOOL field alone counts where its byte is not 0, an integer field
        // alone never (its type is Uint32), but under "&&" it is true when its
        // first byte is not 0 (MODE keeps 1 byte: 256 is 0).
        {"FLAG", {{{"FLAG", 1}}, {{"FLAG", 0}}, {{"FLAG", 1}}}, 2},
        {"! FLAG", {{{"FLAG", 1}}, {{"FLAG", 0}}}, 1},
        {"MODE", {{{"MODE", 1}}, {{"MODE", 0}}}, 0},
        {"MODE && VALUE",
         {{{"MODE", 1}, {"VALUE", 1}}, {{"MODE", 1}, {"VALUE", 0x100}},
          {{"MODE", 256}, {"VALUE", 1}}},
         1},
        {"RATIO > 0.5", {{{"RATIO", 0.75}}, {{"RATIO", 0.25}}}, 1},
        {"RATIO != 1.5", {{{"RATIO", nan}}, {{"RATIO", 1.5}}}, 1},
        {"RATIO == 1.5", {{{"RATIO", nan}}, {{"RATIO", 1.5}}}, 1},
        {"NAME == \"init\"", {{{"NAME", "init"}}, {{"NAME", "initial"}}}, 1},
        {"NAME < \"m\"", {{{"NAME", "abc"}}, {{"NAME", "zeta"}}, {{"NAME", ""}}}, 2},
    };
    for (const auto& c : cases) {
        HostSource host;  // a fresh source: callbacks stay registered
        HostCondition condition;
        ASSERT_TRUE(condition.Attach(host.component, "TEST_EVENT", c.condition))
            << c.condition << condition.bindErrors << condition.validateOutput;
        for (const auto& event : c.events) {
            host.source.ClearValues();
            for (const kvhost::NamedValue& v : event) {
                host.source.Set(host.source.IndexOf(v.name), v.value);
            }
            host.source.Dispatch();
        }
        EXPECT_EQ(condition.events, c.events.size()) << c.condition;
        EXPECT_EQ(condition.matches, c.matches) << c.condition;
    }
}

TEST_F(FieldBindingsTest, OptionalRequestsFillTheValueIndexesOfTheEventClass) {
    HostCondition condition;
    ASSERT_TRUE(
        condition.Attach(component, "TEST_EVENT", "NAME == \"x\" || MODE == 1 || MODE == 2"));
    // Requests point into the field evaluators, leftmost first.
    auto requests = CollectFieldBindings(condition.tree.Root());
    std::vector<ExpressionTreeNodeT*> nodes;
    condition.tree.Root()->CollectVariables(nodes);
    ASSERT_EQ(requests.size(), 3u);
    ASSERT_EQ(nodes.size(), 3u);
    source.Emit({{"MODE", 1}});
    ASSERT_NE(condition.lastClass, nullptr);
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
        EXPECT_EQ(field.ValueIndex(), indexes[i]) << field.FieldName();
        EXPECT_EQ(field.ValueIndex(), condition.lastClass->GetValueIndex(requests[i].name));
        EXPECT_EQ(field.FieldType(), types[i]) << field.FieldName();
    }
    EXPECT_TRUE(CollectFieldBindings(nullptr).empty());
}

TEST_F(FieldBindingsTest, MissingFieldsAndMismatchedTypesFailValidation) {
    const struct {
        const char* text;
        const char* output;
    } cases[] = {
        {"VALUE > 1 && NOPE == 2", "Condition: NOPE field not found.\n"},
        {"A == 1 && B == 2", "Condition: A field not found.\n"},
        {"value > 1", "Condition: value field not found.\n"},  // names are case-sensitive
        {"MODE==1", "Condition: MODE==1 field not found.\n"},
        {"RATIO == 5", "Data type mismatch. op:(RATIO==5) :    op1 type:b op2 type:4\n"},
        // A whole number is an integer literal, even written with ".0".
        {"RATIO > 0.0", "Data type mismatch. op:(RATIO>0.0) :    op1 type:b op2 type:4\n"},
        {"NAME == 5", "Data type mismatch. op:(NAME==5) :    op1 type:9 op2 type:4\n"},
        {"FLAG == 1", "Data type mismatch. op:(FLAG==1) :    op1 type:a op2 type:4\n"},
        {"VALUE == 2.5", "Data type mismatch. op:(VALUE==2.5) :    op1 type:6 op2 type:b\n"},
        {"VALUE == RATIO", "Data type mismatch. op:(VALUE==RATIO) :    op1 type:6 op2 type:b\n"},
        // Integer fields of different codes agree with each other and with literals.
        {"DELTA < VALUE && KIND == MODE", ""},
    };
    for (const auto& c : cases) {
        HostCondition condition;
        EXPECT_EQ(condition.Attach(component, "TEST_EVENT", c.text), *c.output == '\0') << c.text;
        EXPECT_TRUE(condition.bound) << c.text << ": " << condition.bindErrors;
        EXPECT_EQ(condition.validateOutput, c.output) << c.text;
    }
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
