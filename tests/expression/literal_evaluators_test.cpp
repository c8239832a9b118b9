#include "expression/literal_evaluators.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

#include "expression/expression_tree_node.h"

using namespace ExpressionParserN;

namespace {

// Every getter's answer for one evaluator, in getter order.
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
};

Answers AskAll(const ExpressionEvaluatorT& e) {
    const ExpressionTreeLiteralNodeT node(ExpressionDataType::Unknown, nullptr, "n");
    return {e.GetBool(nullptr, nullptr, node),   e.GetUint64(nullptr, nullptr, node),
            e.GetUint32(nullptr, nullptr, node), e.GetUint16(nullptr, nullptr, node),
            e.GetUint8(nullptr, nullptr, node),  e.GetInt64(nullptr, nullptr, node),
            e.GetInt32(nullptr, nullptr, node),  e.GetInt16(nullptr, nullptr, node),
            e.GetInt8(nullptr, nullptr, node),   e.GetDouble(nullptr, nullptr, node)};
}

void ExpectAnswers(const ExpressionEvaluatorT& e, const Answers& expected, const char* what) {
    const Answers got = AskAll(e);
    EXPECT_EQ(got.b, expected.b) << what;
    EXPECT_EQ(got.u64, expected.u64) << what;
    EXPECT_EQ(got.u32, expected.u32) << what;
    EXPECT_EQ(got.u16, expected.u16) << what;
    EXPECT_EQ(got.u8, expected.u8) << what;
    EXPECT_EQ(got.i64, expected.i64) << what;
    EXPECT_EQ(got.i32, expected.i32) << what;
    EXPECT_EQ(got.i16, expected.i16) << what;
    EXPECT_EQ(got.i8, expected.i8) << what;
    EXPECT_EQ(got.d, expected.d) << what;
}

// Narrow getters take the low bits of the 64-bit value, whatever the
// literal's own width; GetDouble stays the base 0.0.
TEST(IntegerLiteralEvaluatorTest, NarrowGettersReturnTheLowBits) {
    ExpectAnswers(Uint16LiteralEvaluator(300),
                  {true, 300, 300, 300, 44, 300, 300, 300, 44, 0.0}, "300");
    ExpectAnswers(Int8LiteralEvaluator(-1),
                  {true, UINT64_MAX, UINT32_MAX, UINT16_MAX, UINT8_MAX, -1, -1, -1, -1, 0.0},
                  "-1");
    ExpectAnswers(Uint32LiteralEvaluator(0x89ABCDEF),
                  {true, 0x89ABCDEF, 0x89ABCDEF, 0xCDEF, 0xEF, 0x89ABCDEF,
                   static_cast<int32_t>(0x89ABCDEF), static_cast<int16_t>(0xCDEF),
                   static_cast<int8_t>(0xEF), 0.0},
                  "0x89ABCDEF");
    // Not 0 at 64 bits although every narrower view is 0.
    ExpectAnswers(Uint64LiteralEvaluator(0x100000000ULL),
                  {true, 0x100000000ULL, 0, 0, 0, 0x100000000LL, 0, 0, 0, 0.0}, "2^32");
    ExpectAnswers(Int16LiteralEvaluator(-300),
                  {true, static_cast<uint64_t>(-300LL), static_cast<uint32_t>(-300),
                   static_cast<uint16_t>(-300), static_cast<uint8_t>(-300 & 0xFF), -300, -300,
                   -300, static_cast<int8_t>(-300 & 0xFF), 0.0},
                  "-300");
    ExpectAnswers(Uint8LiteralEvaluator(0), {false, 0, 0, 0, 0, 0, 0, 0, 0, 0.0}, "0");
}

TEST(BoolLiteralEvaluatorTest, IntegerGettersGiveOneOrZero) {
    ExpectAnswers(BoolLiteralEvaluator(true), {true, 1, 1, 1, 1, 1, 1, 1, 1, 0.0}, "true");
    ExpectAnswers(BoolLiteralEvaluator(false), {false, 0, 0, 0, 0, 0, 0, 0, 0, 0.0}, "false");
}

TEST(LiteralEvaluatorTest, DoubleAndStringAnswerOnlyTheirOwnGetter) {
    const ExpressionTreeLiteralNodeT node(ExpressionDataType::Unknown, nullptr, "n");
    const DoubleLiteralEvaluator real(2.5);
    ExpectAnswers(real, {false, 0, 0, 0, 0, 0, 0, 0, 0, 2.5}, "2.5");
    EXPECT_EQ(real.GetString(nullptr, nullptr, node), "");

    const StringLiteralEvaluator text("on");
    ExpectAnswers(text, {false, 0, 0, 0, 0, 0, 0, 0, 0, 0.0}, "on");
    EXPECT_EQ(text.GetString(nullptr, nullptr, node), "on");
    EXPECT_EQ(Uint8LiteralEvaluator(5).GetString(nullptr, nullptr, node), "");
    EXPECT_EQ(text.GetType("on"), ExpressionDataType::Unknown);
    EXPECT_TRUE(const_cast<StringLiteralEvaluator&>(text).Validate());
}

}  // namespace
