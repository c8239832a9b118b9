#include "expression/expression_tree_node.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "expression/expression_parser.h"
#include "expression/variable_db.h"
#include "kv_test_support.h"

using namespace ExpressionParserN;

namespace {

TEST(ValidateTest, ReportsUnboundFieldsThenOperandTypes) {
    const struct {
        const char* text;
        const char* output;  // exactly what Validate writes; "" when valid
    } cases[] = {
        // Any two integer types agree; "!" and "=" have no type test.
        {"1 && 2", ""}, {"-1 == 255", ""}, {"4294967296 > -2147483649", ""},
        {"\"a\" == \"b\"", ""}, {"2.5 < 3.5", ""}, {"! 2.5", ""}, {"1 = 2", ""},
        {"true && 7", "Data type mismatch. op:(true&&7) :    op1 type:a op2 type:4\n"},
        {"2.5 == 5", "Data type mismatch. op:(2.5==5) :    op1 type:b op2 type:4\n"},
        {"\"abc\" == 5", "Data type mismatch. op:(\"abc\"==5) :    op1 type:9 op2 type:4\n"},
        {"( 1 == 1 ) && 2", "Data type mismatch. op:((1==1)&&2) :    op1 type:a op2 type:4\n"},
        // The inner failure stops the outer node before its own test.
        {"( 2.5 == 1 ) && 7", "Data type mismatch. op:(2.5==1) :    op1 type:b op2 type:4\n"},
        {"1 == 1 && 2.5 < 1", "Data type mismatch. op:(2.5<1) :    op1 type:b op2 type:4\n"},
        // The leftmost unbound field is reported, before any type test.
        {"2.5 == a && b == 2", "Condition: a field not found.\n"},
        {"! True", "Condition: True field not found.\n"},
    };
    ZVTVariableDBT variables;
    ExpressionParserT parser(variables);
    for (const auto& c : cases) {
        ExpressionTreeT tree = parser.Parse(c.text);
        ASSERT_TRUE(tree) << c.text;
        kvhost::StreamCapture capture;
        const bool valid = tree.Validate();
        const std::string output = capture.out();
        EXPECT_EQ(valid, output.empty()) << c.text;
        EXPECT_EQ(output, c.output) << c.text;
    }
}

}  // namespace
