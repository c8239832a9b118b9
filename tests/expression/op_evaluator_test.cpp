#include "expression/op_evaluator.h"

#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <memory>
#include <string>

#include "expression/expression_parser.h"
#include "expression/variable_db.h"

using namespace ExpressionParserN;

namespace {

// "yes" and "no" are Bool variables that count their reads; "d" is a Double
// NaN, which the literal syntax cannot write.
class TestVariableDB : public VariableDBT {
    struct Fixed : ExpressionEvaluatorT {
        Fixed(bool isDouble, bool value, int* reads)
            : isDouble(isDouble), value(value), reads(reads) {}
        bool GetBool(ZVT::EventClass*, const uint8_t*, const ExpressionTreeNodeT&) const override {
            return ++*reads, value;
        }
        double GetDouble(ZVT::EventClass*, const uint8_t*,
                         const ExpressionTreeNodeT&) const override {
            return std::numeric_limits<double>::quiet_NaN();
        }
        ExpressionDataType GetType(const std::string&) const override {
            return isDouble ? ExpressionDataType::Double : ExpressionDataType::Bool;
        }
        bool isDouble, value;
        int* reads;
    };

public:
    std::unique_ptr<ExpressionEvaluatorT> CreateEvaluator(const std::string& name) override {
        if (name != "yes" && name != "no" && name != "d") return nullptr;
        return std::make_unique<Fixed>(name == "d", name == "yes", &reads[name]);
    }
    std::map<std::string, int> reads;
};

TEST(OpEvaluatorTest, EvaluatesLiteralConditions) {
    const struct {
        const char* text;
        bool result;
    } cases[] = {
        // Integer comparisons are checked against their compiled form too
        // (compiled_condition_test); these pin the rule itself: the left
        // operand's type picks the getter for both sides, so 261 read at 8
        // bits is 5 and 255 read as signed 8 bits is -1.
        {"5 == 261", true}, {"261 == 5", false}, {"-1 == 255", true}, {"1 > -1", false},
        {"-2147483649 < -2147483648", true}, {"4 <= 4", true}, {"4 >= 5", false},
        {"2.5 > 1.5", true}, {"-2.5 < -1.5", true}, {"2.5 <= 2.5", true}, {"2.5 >= 3.5", false},
        {"2.5 == 2.5", true}, {"2.5 != 2.5", false},
        // Logic: integers are true when not 0 at 64 bits; Double and String read as false.
        {"256 && 1", true}, {"! 0", true}, {"! 7", false}, {"true && false", false},
        {"false || true", true}, {"false || false", false}, {"2.5 || false", false},
        {"\"x\" || false", false}, {"true > false", true}, {"true < false", false},
        {"( 1 == 1 ) == ( 2 == 2 )", true}, {"\"abc\" < \"abd\"", true}, {"\"ab\" < \"abc\"", true},
        {"\"b\" > \"abc\"", true}, {"\"abc\" == \"abc\"", true}, {"\"abc\" != \"abc\"", false},
        {"\"b\" <= \"a\"", false}, {"\"a\" >= \"a\"", true},
        // Only a Bool root counts; any other root type answers false.
        {"true", true}, {"1", false}, {"2.5", false}, {"\"on\"", false}, {"1 = 1", false},
        {"1 ( 1", false},
    };
    ZVTVariableDBT variables;
    ExpressionParserT parser(variables);
    for (const auto& c : cases) {
        ExpressionTreeT tree = parser.Parse(c.text);
        ASSERT_TRUE(tree) << c.text;
        EXPECT_EQ(tree.Evaluate(nullptr, nullptr), c.result) << c.text;
    }
}

// NaN compares false except with "!="; "&&" and "||" skip the right operand
// when the left one decides.
TEST(OpEvaluatorTest, NaNAndShortCircuit) {
    const struct {
        const char* text;
        bool result;
        int yesReads;
        int noReads;
    } cases[] = {
        {"d == 1.5", false, 0, 0}, {"d != 1.5", true, 0, 0},  {"d < 1.5", false, 0, 0},
        {"d <= 1.5", false, 0, 0}, {"d > 1.5", false, 0, 0},  {"d >= 1.5", false, 0, 0},
        {"1.5 != d", true, 0, 0},  {"1.5 == d", false, 0, 0}, {"d == d", false, 0, 0},
        {"d != d", true, 0, 0},    {"no && yes", false, 0, 1}, {"yes && no", false, 1, 1},
        {"yes || no", true, 1, 0}, {"no || yes", true, 1, 1},  {"! no", true, 0, 1},
    };
    for (const auto& c : cases) {
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

}  // namespace
