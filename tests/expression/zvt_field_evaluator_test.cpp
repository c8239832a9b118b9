// Reading fields of host event records: the expression type of each host
// type code, the width each getter reads, unbound fields, and evaluation
// without allocation.
#include "expression/zvt_field_evaluator.h"

#include <gtest/gtest.h>

#include <atomic>
#include <bit>
#include <cstdlib>
#include <new>

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
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace ExpressionParserN {
namespace {

using ZVTFieldEvaluatorTest = HostSourceTest;

// Integer fields compare as 32-bit values whatever their size (UNSIGNED_INT
// as Uint32, SIGNED_INT and ENUM as Int32); any two integer types agree.
TEST_F(ZVTFieldEvaluatorTest, HostTypeCodesGiveTheFieldsTypes) {
    const struct {
        const char* text;
        const char* output;  // of Validate
    } cases[] = {
        {"VALUE == RATIO", "Data type mismatch. op:(VALUE==RATIO) :    op1 type:6 op2 type:b\n"},
        {"DELTA == NAME", "Data type mismatch. op:(DELTA==NAME) :    op1 type:2 op2 type:9\n"},
        {"KIND == FLAG", "Data type mismatch. op:(KIND==FLAG) :    op1 type:2 op2 type:a\n"},
        {"DELTA < VALUE && KIND == MODE", ""},
        {"VALUE > 1 && NOPE == 2", "Condition: NOPE field not found.\n"},
        {"value > 1", "Condition: value field not found.\n"},  // names are case-sensitive
        {"MODE==1", "Condition: MODE==1 field not found.\n"},
    };
    for (const auto& c : cases) {
        HostCondition condition;
        EXPECT_EQ(condition.Attach(component, c.text), *c.output == '\0') << c.text;
        EXPECT_EQ(condition.validateOutput, c.output) << c.text;
    }
    ZVTFieldEvaluatorT unknownCode("X");
    *unknownCode.FieldTypeDestination() = 6;  // one past the last host code
    EXPECT_EQ(unknownCode.GetType("X"), ExpressionDataType::Unknown);
}

// The getter's own width decides how many bytes are read from the slot.
TEST_F(ZVTFieldEvaluatorTest, GettersReadTheirOwnWidthLittleEndian) {
    HostCondition text;
    ASSERT_TRUE(text.Attach(component, "NAME"));
    HostCondition condition;
    ASSERT_TRUE(condition.Attach(component, "VALUE"));
    source.Emit({{"VALUE", 0x1122334455667788ULL}, {"NAME", "init"}});
    const ExpressionTreeNodeT& name = *text.tree.Root();
    EXPECT_EQ(name.GetVariableEvaluator()->GetString(text.lastClass, text.lastRecord, name), "init");
    const ExpressionTreeNodeT& node = *condition.tree.Root();
    const ExpressionEvaluatorT& field = *node.GetVariableEvaluator();
    ZVT::EventClass* ec = condition.lastClass;
    const uint8_t* rec = condition.lastRecord;
    ASSERT_NE(ec, nullptr);
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
}

TEST(ZVTFieldEvaluatorUnboundTest, ReadsZeroAndFailsValidation) {
    HostSource host;
    HostCondition condition;
    ASSERT_TRUE(condition.Attach(host.component, "VALUE == 5"));
    host.source.Emit({{"VALUE", 5}});
    ZVTFieldEvaluatorT field("LOST");
    const ExpressionTreeLiteralNodeT node(ExpressionDataType::Unknown, &field, "LOST");
    EXPECT_EQ(field.GetUint64(condition.lastClass, condition.lastRecord, node), 0u);
    EXPECT_EQ(field.GetString(condition.lastClass, condition.lastRecord, node), "");
    EXPECT_EQ(field.GetType("LOST"), ExpressionDataType::Unknown);
    kvhost::StreamCapture capture;
    EXPECT_FALSE(field.Validate());
    EXPECT_EQ(capture.out(), "Condition: LOST field not found.\n");
}

TEST_F(ZVTFieldEvaluatorTest, EvaluationAllocatesOnlyForTextComparisons) {
    const std::string name = "a_rather_long_process_name_beyond_small_buffers";
    HostCondition numbers;
    ASSERT_TRUE(numbers.Attach(component,
                               "VALUE > 4096 && MODE == 1 || ! FLAG && RATIO < 2.5 && KIND == 7"));
    HostCondition texts;
    ASSERT_TRUE(texts.Attach(component, "NAME == \"" + name + "\""));
    source.Emit({{"VALUE", 5000}, {"MODE", 1}, {"KIND", 7}, {"RATIO", 1.0}, {"NAME", name}});
    ASSERT_EQ(numbers.matches + texts.matches, 2u);
    uint64_t before = gAllocations.load();
    EXPECT_TRUE(numbers.tree.Evaluate(numbers.lastClass, numbers.lastRecord));
    EXPECT_EQ(gAllocations.load() - before, 0u);
    before = gAllocations.load();
    EXPECT_TRUE(texts.tree.Evaluate(texts.lastClass, texts.lastRecord));
    EXPECT_GT(gAllocations.load() - before, 0u);
}

}  // namespace
}  // namespace ExpressionParserN
