#include "expression/zvt_field_evaluator.h"

#include <gtest/gtest.h>

#include <atomic>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>

#include "expression/expression_tree_node.h"
#include "host_condition.h"

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

using ZVTFieldEvaluatorTest = HostSourceTest;

TEST_F(ZVTFieldEvaluatorTest, HostTypeCodesMapToExpressionTypes) {
    using T = ExpressionDataType;
    const struct {
        const char* field;
        uint32_t code;
        ExpressionDataType type;
    } cases[] = {
        {"VALUE", ZVT::UNSIGNED_INT, T::Uint32}, {"MODE", ZVT::UNSIGNED_INT, T::Uint32},
        {"DELTA", ZVT::SIGNED_INT, T::Int32},    {"FLAG", ZVT::BOOL, T::Bool},
        {"KIND", ZVT::ENUM, T::Int32},           {"RATIO", ZVT::FLOAT, T::Double},
        {"NAME", ZVT::STRING, T::String},
    };
    for (const auto& c : cases) {
        HostCondition condition;
        ASSERT_TRUE(condition.Attach(component, "TEST_EVENT", c.field)) << c.field;
        // The variable node asks its evaluator, so binding sets its type.
        const ExpressionTreeNodeT& node = *condition.tree.Root();
        auto& field = dynamic_cast<ZVTFieldEvaluatorT&>(*node.GetVariableEvaluator());
        EXPECT_EQ(field.FieldType(), c.code) << c.field;
        EXPECT_EQ(node.GetType(), c.type) << c.field;
    }
    ZVTFieldEvaluatorT unknownCode("X");
    *unknownCode.FieldTypeDestination() = 9;
    EXPECT_EQ(unknownCode.GetType("X"), T::Unknown);
}

// The getter's own width decides how many bytes are read from the slot.
TEST_F(ZVTFieldEvaluatorTest, GettersReadTheirOwnWidthLittleEndian) {
    HostCondition condition;
    ASSERT_TRUE(condition.Attach(component, "TEST_EVENT", "VALUE"));
    source.Emit({{"VALUE", 0x1122334455667788ULL}});
    ASSERT_NE(condition.lastClass, nullptr);
    const ExpressionTreeNodeT& node = *condition.tree.Root();
    const ExpressionEvaluatorT& field = *node.GetVariableEvaluator();
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
    source.Emit({{"VALUE", 0x100}});  // the first byte alone decides GetBool
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
    EXPECT_EQ(*field.ValueIndexDestination(), ZVTFieldEvaluatorT::kUnboundIndex);
    EXPECT_EQ(field.GetType("LOST"), ExpressionDataType::Unknown);
    kvhost::StreamCapture capture;
    EXPECT_FALSE(field.Validate());
    EXPECT_EQ(capture.out(), "Condition: LOST field not found.\n");
}

TEST_F(ZVTFieldEvaluatorTest, EvaluationAllocatesOnlyForTextComparisons) {
    const std::string name = "a_rather_long_process_name_beyond_small_buffers";
    HostCondition numbers;
    ASSERT_TRUE(numbers.Attach(component, "TEST_EVENT",
                               "VALUE > 4096 && MODE == 1 || ! FLAG && RATIO < 2.5 && KIND == 7"));
    HostCondition texts;
    ASSERT_TRUE(texts.Attach(component, "TEST_EVENT", "NAME == \"" + name + "\""));
    source.Emit({{"VALUE", 5000}, {"MODE", 1}, {"KIND", 7}, {"RATIO", 1.0}, {"NAME", name}});
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
