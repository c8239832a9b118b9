#include "expression/literal_evaluators.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "expression/expression_tree_node.h"

using namespace ExpressionParserN;

namespace {

// Every getter's answer, in getter order: bool, u64, u32, u16, u8, i64, i32,
// i16, i8, double.
struct Answers {
    bool b;
    uint64_t u64;
    uint32_t u32;
    uint16_t u16;
    uint8_t u8;
    int64_t i64;
    int32_t i32;
    int16_t i16;
    int8_t i8;
    double d;
    bool operator==(const Answers&) const = default;
};

Answers AskAll(const ExpressionEvaluatorT& e) {
    const ExpressionTreeLiteralNodeT n(ExpressionDataType::Unknown, nullptr, "n");
    return {e.GetBool(nullptr, nullptr, n),   e.GetUint64(nullptr, nullptr, n),
            e.GetUint32(nullptr, nullptr, n), e.GetUint16(nullptr, nullptr, n),
            e.GetUint8(nullptr, nullptr, n),  e.GetInt64(nullptr, nullptr, n),
            e.GetInt32(nullptr, nullptr, n),  e.GetInt16(nullptr, nullptr, n),
            e.GetInt8(nullptr, nullptr, n),   e.GetDouble(nullptr, nullptr, n)};
}

// Integer literals answer every width with the low bits of their 64-bit
// value, whatever their own width; GetDouble stays the base 0.0.
TEST(LiteralEvaluatorsTest, IntegerRuleAndBoolAnswers) {
    EXPECT_EQ(AskAll(Uint16LiteralEvaluator(300)),
              (Answers{true, 300, 300, 300, 44, 300, 300, 300, 44, 0.0}));
    EXPECT_EQ(AskAll(Int8LiteralEvaluator(-1)),
              (Answers{true, UINT64_MAX, UINT32_MAX, UINT16_MAX, UINT8_MAX, -1, -1, -1, -1, 0.0}));
    EXPECT_EQ(AskAll(Uint32LiteralEvaluator(0x89ABCDEF)),
              (Answers{true, 0x89ABCDEF, 0x89ABCDEF, 0xCDEF, 0xEF, 0x89ABCDEF,
                       static_cast<int32_t>(0x89ABCDEF), static_cast<int16_t>(0xCDEF),
                       static_cast<int8_t>(0xEF), 0.0}));
    // Not 0 at 64 bits although every narrower view is 0.
    EXPECT_EQ(AskAll(Uint64LiteralEvaluator(0x100000000ULL)),
              (Answers{true, 0x100000000ULL, 0, 0, 0, 0x100000000LL, 0, 0, 0, 0.0}));
    EXPECT_EQ(AskAll(BoolLiteralEvaluator(true)), (Answers{true, 1, 1, 1, 1, 1, 1, 1, 1, 0.0}));
    EXPECT_EQ(AskAll(BoolLiteralEvaluator(false)), (Answers{false, 0, 0, 0, 0, 0, 0, 0, 0, 0.0}));
}

TEST(LiteralEvaluatorsTest, DoubleAndStringAnswerOnlyTheirOwnGetter) {
    const ExpressionTreeLiteralNodeT n(ExpressionDataType::Unknown, nullptr, "n");
    EXPECT_EQ(AskAll(DoubleLiteralEvaluator(2.5)), (Answers{false, 0, 0, 0, 0, 0, 0, 0, 0, 2.5}));
    EXPECT_EQ(DoubleLiteralEvaluator(2.5).GetString(nullptr, nullptr, n), "");
    const StringLiteralEvaluator text("on");
    EXPECT_EQ(AskAll(text), (Answers{false, 0, 0, 0, 0, 0, 0, 0, 0, 0.0}));
    EXPECT_EQ(text.GetString(nullptr, nullptr, n), "on");
    EXPECT_EQ(Uint8LiteralEvaluator(5).GetString(nullptr, nullptr, n), "");
}

}  // namespace
