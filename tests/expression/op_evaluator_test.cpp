#include "expression/op_evaluator.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "expression/expression_parser.h"
#include "expression/variable_db.h"
#include "test_variables.h"

using namespace ExpressionParserN;

namespace {

struct EvaluationCase {
    const char* text;
    bool result;
};

void PrintTo(const EvaluationCase& c, std::ostream* out) {
    *out << '"' << c.text << '"';
}

// Parses and evaluates a condition made of literals only.
bool EvaluateLiterals(const std::string& text) {
    ZVTVariableDBT variables;
    ExpressionParserT parser(variables);
    ExpressionTreeT tree = parser.Parse(text);
    EXPECT_TRUE(tree) << text;
    return tree.Evaluate(nullptr, nullptr);
}

class LiteralEvaluationTest : public ::testing::TestWithParam<EvaluationCase> {};

TEST_P(LiteralEvaluationTest, GivesTheExpectedResult) {
    EXPECT_EQ(EvaluateLiterals(GetParam().text), GetParam().result) << GetParam().text;
}

// The left operand's type picks the getter for both sides.
INSTANTIATE_TEST_SUITE_P(
    CrossWidth, LiteralEvaluationTest,
    ::testing::Values(EvaluationCase{"5 < 300", true},    // 300 read at 8 bits: 44
                      EvaluationCase{"5 == 261", true},   // 261 read at 8 bits: 5
                      EvaluationCase{"261 == 5", false},  // read at 16 bits
                      EvaluationCase{"300 > 5", true},
                      EvaluationCase{"0 == 65536", true},  // low 8 bits are 0
                      EvaluationCase{"65536 == 0", false},
                      EvaluationCase{"-1 == 255", true},  // 255 read as signed 8 bits
                      EvaluationCase{"255 == -1", true},  // -1 read as unsigned 8 bits
                      EvaluationCase{"-1 < 1", true},     // signed comparison
                      EvaluationCase{"1 > -1", false},    // unsigned: 1 > 255 is false
                      EvaluationCase{"-300 < -5", true},
                      EvaluationCase{"4294967296 > 4294967295", true},
                      EvaluationCase{"4294967295 == 4294967296", false},
                      EvaluationCase{"-2147483649 < -2147483648", true}));

INSTANTIATE_TEST_SUITE_P(
    Operators, LiteralEvaluationTest,
    ::testing::Values(EvaluationCase{"3 == 3", true}, EvaluationCase{"3 != 3", false},
                      EvaluationCase{"3 < 4", true}, EvaluationCase{"4 < 4", false},
                      EvaluationCase{"4 <= 4", true}, EvaluationCase{"5 <= 4", false},
                      EvaluationCase{"5 > 4", true}, EvaluationCase{"4 > 4", false},
                      EvaluationCase{"4 >= 4", true}, EvaluationCase{"3 >= 4", false},
                      EvaluationCase{"2.5 > 1.5", true}, EvaluationCase{"2.5 == 2.5", true},
                      EvaluationCase{"-2.5 < -1.5", true}));

INSTANTIATE_TEST_SUITE_P(
    Logic, LiteralEvaluationTest,
    ::testing::Values(EvaluationCase{"1 && 2", true}, EvaluationCase{"1 && 0", false},
                      EvaluationCase{"256 && 1", true},  // not 0 at 64 bits
                      EvaluationCase{"! 0", true}, EvaluationCase{"! 7", false},
                      EvaluationCase{"true && false", false}, EvaluationCase{"true && true", true},
                      EvaluationCase{"false || true", true},
                      EvaluationCase{"false || false", false},
                      EvaluationCase{"2.5 || false", false},  // Double and String read as false
                      EvaluationCase{"\"x\" || false", false}, EvaluationCase{"! ( 1 == 2 )", true},
                      EvaluationCase{"1 == 1 && 2 == 2", true},
                      EvaluationCase{"1 == 2 && 2 == 2 || 3 == 3", false}));

INSTANTIATE_TEST_SUITE_P(
    BoolsAndStrings, LiteralEvaluationTest,
    ::testing::Values(
        EvaluationCase{"true == true", true}, EvaluationCase{"true != false", true},
        EvaluationCase{"true > false", true}, EvaluationCase{"false < true", true},
        EvaluationCase{"true < false", false}, EvaluationCase{"( 1 == 1 ) == ( 2 == 2 )", true},
        EvaluationCase{"\"abc\" < \"abd\"", true}, EvaluationCase{"\"ab\" < \"abc\"", true},
        EvaluationCase{"\"abc\" == \"abc\"", true}, EvaluationCase{"\"abc\" > \"abd\"", false},
        EvaluationCase{"\"b\" > \"abc\"", true}, EvaluationCase{"\"\" < \"a\"", true},
        EvaluationCase{"\"abc\" != \"abc\"", false}));

// Only a Bool root counts; any other root type answers false.
INSTANTIATE_TEST_SUITE_P(Roots, LiteralEvaluationTest,
                         ::testing::Values(EvaluationCase{"true", true},
                                           EvaluationCase{"false", false},
                                           EvaluationCase{"1", false}, EvaluationCase{"2.5", false},
                                           EvaluationCase{"\"on\"", false},
                                           EvaluationCase{"1 = 1", false},
                                           EvaluationCase{"1 ( 1", false}));

TEST(OpEvaluatorTest, NaNComparesFalseExceptNotEqual) {
    const EvaluationCase cases[] = {
        {"d == 1.5", false}, {"d != 1.5", true},  {"d < 1.5", false}, {"d <= 1.5", false},
        {"d > 1.5", false},  {"d >= 1.5", false}, {"1.5 != d", true}, {"1.5 == d", false},
        {"d == d", false},   {"d != d", true},
    };
    TestVariableDB variables;
    variables.doubleValue = std::numeric_limits<double>::quiet_NaN();
    ExpressionParserT parser(variables);
    for (const EvaluationCase& c : cases) {
        ExpressionTreeT tree = parser.Parse(c.text);
        ASSERT_TRUE(tree) << c.text;
        EXPECT_EQ(tree.Evaluate(nullptr, nullptr), c.result) << c.text;
    }
}

TEST(OpEvaluatorTest, AndOrSkipTheRightOperandWhenTheLeftDecides) {
    struct Case {
        const char* text;
        bool result;
        int yesReads;
        int noReads;
    };
    const Case cases[] = {
        {"no && yes", false, 0, 1}, {"yes && no", false, 1, 1}, {"yes || no", true, 1, 0},
        {"no || yes", true, 1, 1},  {"! no", true, 0, 1},
    };
    for (const Case& c : cases) {
        TestVariableDB variables;
        ExpressionParserT parser(variables);
        ExpressionTreeT tree = parser.Parse(c.text);
        ASSERT_TRUE(tree) << c.text;
        EXPECT_EQ(tree.Evaluate(nullptr, nullptr), c.result) << c.text;
        EXPECT_EQ(variables.reads["yes"], c.yesReads) << c.text;
        EXPECT_EQ(variables.reads["no"], c.noReads) << c.text;
    }
}

TEST(OpEvaluatorTest, OperatorWithoutOperandsIsFalse) {
    ExpressionTreeOperatorNodeT bare("&&");
    EXPECT_FALSE(OpEvaluatorT::Instance().GetBool(nullptr, nullptr, bare));
    ExpressionTreeOperatorNodeT negation("!");
    EXPECT_FALSE(OpEvaluatorT::Instance().GetBool(nullptr, nullptr, negation));
}

TEST(OpEvaluatorTest, IsSharedByEveryOperatorNode) {
    ExpressionTreeOperatorNodeT a("&&");
    ExpressionTreeOperatorNodeT b("<");
    EXPECT_EQ(a.GetEvaluator(), &OpEvaluatorT::Instance());
    EXPECT_EQ(b.GetEvaluator(), &OpEvaluatorT::Instance());
}

}  // namespace
