#include "expression/expression_tree_node.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "expression/expression_parser.h"
#include "expression/variable_db.h"
#include "kv_test_support.h"

using namespace ExpressionParserN;

namespace {

struct ValidateCase {
    const char* text;
    bool valid;
    const char* output;  // exactly what Validate writes to standard output
};

// Validates a parsed text, returning what Validate wrote to standard output.
bool ValidateText(const std::string& text, std::string& output) {
    ZVTVariableDBT variables;
    ExpressionParserT parser(variables);
    ExpressionTreeT tree = parser.Parse(text);
    EXPECT_TRUE(tree) << text;
    kvhost::StreamCapture capture;
    const bool valid = tree.Validate();
    output = capture.out();
    return valid;
}

TEST(ValidateTest, ChecksOperandTypesAfterBothOperands) {
    const ValidateCase cases[] = {
        {"1 && 2", true, ""},
        {"-1 == 255", true, ""},  // any two integer types agree
        {"4294967296 > -2147483649", true, ""},
        {"\"a\" == \"b\"", true, ""},
        {"2.5 < 3.5", true, ""},
        {"! 2.5", true, ""},  // "!" has no type test
        {"1 = 2", true, ""},
        {"true && 7", false, "Data type mismatch. op:(true&&7) :    op1 type:a op2 type:4\n"},
        {"2.5 == 5", false, "Data type mismatch. op:(2.5==5) :    op1 type:b op2 type:4\n"},
        {"\"abc\" == 5", false, "Data type mismatch. op:(\"abc\"==5) :    op1 type:9 op2 type:4\n"},
        {"( 1 == 1 ) && 2", false,
         "Data type mismatch. op:((1==1)&&2) :    op1 type:a op2 type:4\n"},
        // The inner failure stops the outer node before its own test.
        {"( 2.5 == 1 ) && 7", false,
         "Data type mismatch. op:(2.5==1) :    op1 type:b op2 type:4\n"},
        {"1 == 1 && 2.5 < 1", false, "Data type mismatch. op:(2.5<1) :    op1 type:b op2 type:4\n"},
    };
    for (const ValidateCase& c : cases) {
        std::string output;
        EXPECT_EQ(ValidateText(c.text, output), c.valid) << c.text;
        EXPECT_EQ(output, c.output) << c.text;
    }
}

// Unbound fields: the leftmost one is reported, before any type test.
TEST(ValidateTest, ReportsTheLeftmostUnboundField) {
    std::string output;
    EXPECT_FALSE(ValidateText("2.5 == a && b == 2", output));
    EXPECT_EQ(output, "Condition: a field not found.\n");
    EXPECT_FALSE(ValidateText("! True", output));
    EXPECT_EQ(output, "Condition: True field not found.\n");
}

TEST(ExpressionTreeNodeTest, TypedGettersAnswerOnlyForTheirOwnType) {
    ZVTVariableDBT variables;
    ExpressionParserT parser(variables);
    auto wide = parser.CreateLiteralNode(ExpressionDataType::Uint16, "300");
    EXPECT_EQ(wide->GetUint16(nullptr, nullptr), 300);
    EXPECT_EQ(wide->GetUint32(nullptr, nullptr), 0u);
    EXPECT_EQ(wide->GetUint8(nullptr, nullptr), 0);
    EXPECT_FALSE(wide->GetBool(nullptr, nullptr));
    auto negative = parser.CreateLiteralNode(ExpressionDataType::Int16, "-300");
    EXPECT_EQ(negative->GetInt16(nullptr, nullptr), -300);
    EXPECT_EQ(negative->GetInt32(nullptr, nullptr), 0);
    auto letter = parser.CreateLiteralNode(ExpressionDataType::Char, "x");
    EXPECT_EQ(letter->GetUint8(nullptr, nullptr), 0);  // Char has no getter
    EXPECT_EQ(letter->GetInt8(nullptr, nullptr), 0);
    auto text = parser.CreateLiteralNode(ExpressionDataType::String, "\"on\"");
    EXPECT_EQ(text->GetDouble(nullptr, nullptr), 0.0);
    auto real = parser.CreateLiteralNode(ExpressionDataType::Double, "0.25");
    EXPECT_EQ(real->GetString(nullptr, nullptr), "");
}

TEST(ExpressionTreeNodeTest, CloneCopiesNodesAndSharesEvaluators) {
    ZVTVariableDBT variables;
    ExpressionParserT parser(variables);
    ExpressionTreeT tree = parser.Parse("a && ( b || ! c ) && 5 < 300");
    ASSERT_TRUE(tree);
    std::unique_ptr<ExpressionTreeNodeT> copy = tree.Root()->Clone();
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy.get(), tree.Root());
    EXPECT_EQ(copy->ToString(), tree.Root()->ToString());
    EXPECT_EQ(copy->GetType(), ExpressionDataType::Bool);

    std::vector<ExpressionTreeNodeT*> original;
    std::vector<ExpressionTreeNodeT*> cloned;
    tree.Root()->CollectVariables(original);
    copy->CollectVariables(cloned);
    ASSERT_EQ(cloned.size(), 3u);
    ASSERT_EQ(original.size(), 3u);
    for (size_t i = 0; i < cloned.size(); ++i) {
        EXPECT_NE(cloned[i], original[i]);
        EXPECT_EQ(cloned[i]->GetEvaluator(), original[i]->GetEvaluator());
        EXPECT_EQ(cloned[i]->Text(), original[i]->Text());
        EXPECT_EQ(cloned[i]->Kind(), NodeKind::Variable);
    }
}

TEST(ExpressionTreeNodeTest, CollectVariablesWalksLeftOperandFirst) {
    ZVTVariableDBT variables;
    ExpressionParserT parser(variables);
    ExpressionTreeT tree = parser.Parse("b == 1 && a == 2 || b == 3 && 4 == c");
    ASSERT_TRUE(tree);
    std::vector<ExpressionTreeNodeT*> found;
    tree.Root()->CollectVariables(found);
    std::vector<std::string> names;
    for (ExpressionTreeNodeT* node : found) names.push_back(node->Text());
    EXPECT_EQ(names, (std::vector<std::string>{"b", "a", "b", "c"}));
    // A name used twice has two evaluators.
    EXPECT_NE(found[0]->GetEvaluator(), found[2]->GetEvaluator());
}

}  // namespace
