#include "expression/zvt_field_evaluator.h"

#include <gtest/gtest.h>

#include <atomic>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>

#include "expression/expression_parser.h"
#include "expression/expression_tree_node.h"
#include "host_condition.h"
#include "kv_field.h"
#include "kv_test_support.h"
#include "kv_trace_component.h"

// Counts every allocation of the test program, to show that evaluation
// makes none.
namespace {
std::atomic<uint64_t> gAllocations{0};
}  // namespace

void* operator new(std::size_t size) {
    ++gAllocations;
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

using namespace ExpressionParserN;

namespace {

class ZVTFieldEvaluatorTest : public ::testing::Test {
protected:
    ZVTFieldEvaluatorTest()
        : component("cluster.core0"),
          source(component.AddSource("TEST_EVENT", "every field type",
                                     {kvhost::Unsigned("VALUE", 8), kvhost::Unsigned("MODE", 1),
                                      kvhost::Signed("DELTA", 4), kvhost::Boolean("FLAG"),
                                      kvhost::Enum("KIND", 4, {{0, "ZERO"}, {7, "SEVEN"}}),
                                      kvhost::Float("RATIO"), kvhost::Text("NAME")})) {}

    // The evaluator of the first variable of a bound condition.
    ZVTFieldEvaluatorT& FirstField(HostCondition& condition) {
        std::vector<ExpressionTreeNodeT*> nodes;
        condition.tree.Root()->CollectVariables(nodes);
        return dynamic_cast<ZVTFieldEvaluatorT&>(*nodes.at(0)->GetVariableEvaluator());
    }

    kvhost::TraceComponent component;
    kvhost::TraceSource& source;
};

TEST_F(ZVTFieldEvaluatorTest, HostTypeCodesMapToExpressionTypes) {
    const struct {
        const char* field;
        uint32_t code;
        ExpressionDataType type;
    } cases[] = {
        {"VALUE", ZVT::UNSIGNED_INT, ExpressionDataType::Uint32},
        {"MODE", ZVT::UNSIGNED_INT, ExpressionDataType::Uint32},
        {"DELTA", ZVT::SIGNED_INT, ExpressionDataType::Int32},
        {"FLAG", ZVT::BOOL, ExpressionDataType::Bool},
        {"KIND", ZVT::ENUM, ExpressionDataType::Int32},
        {"RATIO", ZVT::FLOAT, ExpressionDataType::Double},
        {"NAME", ZVT::STRING, ExpressionDataType::String},
    };
    for (const auto& c : cases) {
        ZVTVariableDBT variables;
        ExpressionParserT parser(variables);
        ExpressionTreeT tree = parser.Parse(c.field);
        ASSERT_TRUE(tree);
        // Unknown until bound; the node asks its evaluator on every call.
        EXPECT_EQ(tree.Root()->GetType(), ExpressionDataType::Unknown) << c.field;
        std::vector<vantric::FieldBindingRequest> requests = CollectFieldBindings(tree.Root());
        std::ostringstream errors;
        ASSERT_TRUE(vantric::BindTraceCallback(&component, "TEST_EVENT", requests, nullptr,
                                               &HostCondition::OnEvent, errors));
        auto& field = dynamic_cast<ZVTFieldEvaluatorT&>(*tree.Root()->GetVariableEvaluator());
        EXPECT_EQ(field.FieldType(), c.code) << c.field;
        EXPECT_EQ(tree.Root()->GetType(), c.type) << c.field;
    }
    ZVTFieldEvaluatorT unbound("X");
    *unbound.FieldTypeDestination() = 9;
    EXPECT_EQ(unbound.GetType("X"), ExpressionDataType::Unknown);
}

// The getter's own width decides how many bytes are read from the slot.
TEST_F(ZVTFieldEvaluatorTest, GettersReadTheirOwnWidthLittleEndian) {
    HostCondition condition;
    ASSERT_TRUE(condition.Attach(component, "TEST_EVENT", "VALUE != 0"));
    source.Emit({{"VALUE", 0x1122334455667788ULL}});
    ASSERT_NE(condition.lastClass, nullptr);
    const ZVTFieldEvaluatorT& field = FirstField(condition);
    const ExpressionTreeNodeT& node = *condition.tree.Root();
    ZVT::EventClass* ec = condition.lastClass;
    const uint8_t* rec = condition.lastRecord;
    EXPECT_EQ(field.GetUint64(ec, rec, node), 0x1122334455667788ULL);
    EXPECT_EQ(field.GetUint32(ec, rec, node), 0x55667788u);
    EXPECT_EQ(field.GetUint16(ec, rec, node), 0x7788u);
    EXPECT_EQ(field.GetUint8(ec, rec, node), 0x88u);
    EXPECT_EQ(field.GetInt64(ec, rec, node), 0x1122334455667788LL);
    EXPECT_EQ(field.GetInt32(ec, rec, node), 0x55667788);
    EXPECT_EQ(field.GetInt16(ec, rec, node), 0x7788);
    EXPECT_EQ(field.GetInt8(ec, rec, node), static_cast<int8_t>(0x88));
    EXPECT_TRUE(field.GetBool(ec, rec, node));
    EXPECT_EQ(field.GetDouble(ec, rec, node), std::bit_cast<double>(0x1122334455667788ULL));

    // The first byte alone decides GetBool.
    source.Emit({{"VALUE", 0x100}});
    EXPECT_FALSE(field.GetBool(ec, rec, node));
    EXPECT_EQ(field.GetUint16(ec, rec, node), 0x100u);
}

TEST_F(ZVTFieldEvaluatorTest, UnboundFieldReadsZeroAndFailsValidation) {
    ZVTFieldEvaluatorT field("LOST");
    const ExpressionTreeLiteralNodeT node(ExpressionDataType::Unknown, &field, "LOST");
    HostCondition condition;
    ASSERT_TRUE(condition.Attach(component, "TEST_EVENT", "VALUE == 5"));
    source.Emit({{"VALUE", 5}});
    EXPECT_EQ(field.GetUint64(condition.lastClass, condition.lastRecord, node), 0u);
    EXPECT_EQ(field.GetString(condition.lastClass, condition.lastRecord, node), "");
    EXPECT_EQ(field.GetType("LOST"), ExpressionDataType::Unknown);
    kvhost::StreamCapture capture;
    EXPECT_FALSE(field.Validate());
    EXPECT_EQ(capture.out(), "Condition: LOST field not found.\n");
}

TEST_F(ZVTFieldEvaluatorTest, EvaluationAllocatesOnlyForTextComparisons) {
    HostCondition numbers;
    ASSERT_TRUE(numbers.Attach(component, "TEST_EVENT",
                               "VALUE > 4096 && MODE == 1 || ! FLAG && RATIO < 2.5 && KIND == 7"));
    HostCondition texts;
    ASSERT_TRUE(texts.Attach(component, "TEST_EVENT",
                             "NAME == \"a_rather_long_process_name_beyond_small_buffers\""));
    source.Emit({{"VALUE", 5000},
                 {"MODE", 1},
                 {"KIND", 7},
                 {"RATIO", 1.0},
                 {"NAME", "a_rather_long_process_name_beyond_small_buffers"}});
    ASSERT_EQ(numbers.matches, 1u);
    ASSERT_EQ(texts.matches, 1u);

    uint64_t before = gAllocations.load();
    bool result = numbers.tree.Evaluate(numbers.lastClass, numbers.lastRecord);
    EXPECT_EQ(gAllocations.load() - before, 0u);
    EXPECT_TRUE(result);

    before = gAllocations.load();
    result = texts.tree.Evaluate(texts.lastClass, texts.lastRecord);
    EXPECT_GT(gAllocations.load() - before, 0u);
    EXPECT_TRUE(result);
}

}  // namespace
