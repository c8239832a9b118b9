#include "expression/expression_tree_node.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "expression/expression_parser.h"
#include "expression/variable_db.h"
#include "expression/zvt_field_evaluator.h"
#include "stdout_capture.h"

using namespace ExpressionParserN;

namespace {

struct ValidateCase {
    const char* text;
    bool valid;
    const char* output;  // exactly what Validate writes to standard output
};

// Fields of a ZVTVariableDBT are unbound here, so only the condition words
// listed in `bound` are given a value index (and type UNSIGNED_INT).
bool ValidateText(const std::string& text, std::string& output,
                  const std::vector<std::string>& bound = {}) {
    ZVTVariableDBT variables;
    ExpressionParserT parser(variables);
    ExpressionTreeT tree = parser.Parse(text);
    EXPECT_TRUE(tree) << text;
    if (!tree) return false;
    std::vector<ExpressionTreeNodeT*> fields;
    tree.Root()->CollectVariables(fields);
    for (ExpressionTreeNodeT* field : fields) {
        auto* evaluator = dynamic_cast<ZVTFieldEvaluatorT*>(field->GetVariableEvaluator());
        for (const std::string& name : bound) {
            if (evaluator && evaluator->FieldName() == name) {
                *evaluator->ValueIndexDestination() = 0;
                *evaluator->FieldTypeDestination() = 0;
            }
        }
    }
    StdoutCapture capture;
    const bool valid = tree.Validate();
    output = capture.Text();
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
        {"\"abc\" == 5", false,
         "Data type mismatch. op:(\"abc\"==5) :    op1 type:9 op2 type:4\n"},
        {"( 1 == 1 ) && 2", false,
         "Data type mismatch. op:((1==1)&&2) :    op1 type:a op2 type:4\n"},
        // The inner failure stops the outer node before its own test.
        {"( 2.5 == 1 ) && 7", false,
         "Data type mismatch. op:(2.5==1) :    op1 type:b op2 type:4\n"},
        {"1 == 1 && 2.5 < 1", false,
         "Data type mismatch. op:(2.5<1) :    op1 type:b op2 type:4\n"},
    };
    for (const ValidateCase& c : cases) {
        std::string output;
        EXPECT_EQ(ValidateText(c.text, output), c.valid) << c.text;
        EXPECT_EQ(output, c.output) << c.text;
    }
}

TEST(ValidateTest, ReportsTheLeftmostUnboundField) {
    const ValidateCase cases[] = {
        {"x == 1", false, "Condition: x field not found.\n"},
        {"1 == x", false, "Condition: x field not found.\n"},
        {"a == 1 && b == 2", false, "Condition: a field not found.\n"},
        {"! True", false, "Condition: True field not found.\n"},
        {"a==5", false, "Condition: a==5 field not found.\n"},
    };
    for (const ValidateCase& c : cases) {
        std::string output;
        EXPECT_EQ(ValidateText(c.text, output), c.valid) << c.text;
        EXPECT_EQ(output, c.output) << c.text;
    }
}

TEST(ValidateTest, BoundFieldsTakeTheirTypeFromTheBinding) {
    std::string output;
    EXPECT_TRUE(ValidateText("a == 1 && b == 2", output, {"a", "b"}));
    EXPECT_EQ(output, "");
    EXPECT_FALSE(ValidateText("a == 1 && b == 2", output, {"a"}));
    EXPECT_EQ(output, "Condition: b field not found.\n");
    // UNSIGNED_INT is Uint32 (6), which does not agree with Double (b).
    EXPECT_FALSE(ValidateText("a < 2.5", output, {"a"}));
    EXPECT_EQ(output, "Data type mismatch. op:(a<2.5) :    op1 type:6 op2 type:b\n");
}

TEST(ExpressionTreeNodeTest, TypedGettersAnswerOnlyForTheirOwnType) {
    ZVTVariableDBT variables;
    ExpressionParserT parser(variables);
    auto wide = parser.CreateLiteralNode(ExpressionDataType::Uint16, "300");
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(wide->GetUint16(nullptr, nullptr), 300);
    EXPECT_EQ(wide->GetUint32(nullptr, nullptr), 0u);
    EXPECT_EQ(wide->GetUint8(nullptr, nullptr), 0);
    EXPECT_FALSE(wide->GetBool(nullptr, nullptr));

    auto negative = parser.CreateLiteralNode(ExpressionDataType::Int8, "-5");
    EXPECT_EQ(negative->GetInt8(nullptr, nullptr), -5);
    EXPECT_EQ(negative->GetInt16(nullptr, nullptr), 0);

    auto letter = parser.CreateLiteralNode(ExpressionDataType::Char, "x");
    EXPECT_EQ(letter->GetUint8(nullptr, nullptr), 0);  // Char has no getter
    EXPECT_EQ(letter->GetInt8(nullptr, nullptr), 0);

    auto text = parser.CreateLiteralNode(ExpressionDataType::String, "\"on\"");
    EXPECT_EQ(text->GetString(nullptr, nullptr), "on");
    EXPECT_EQ(text->GetDouble(nullptr, nullptr), 0.0);

    auto real = parser.CreateLiteralNode(ExpressionDataType::Double, "0.25");
    EXPECT_EQ(real->GetDouble(nullptr, nullptr), 0.25);
    EXPECT_EQ(real->GetString(nullptr, nullptr), "");

    const struct {
        const char* token;
        ExpressionDataType type;
        int64_t value;
    } cases[] = {
        {"4294967296", ExpressionDataType::Uint64, 4294967296LL},
        {"70000", ExpressionDataType::Uint32, 70000},
        {"200", ExpressionDataType::Uint8, 200},
        {"-2147483649", ExpressionDataType::Int64, -2147483649LL},
        {"-40000", ExpressionDataType::Int32, -40000},
        {"-300", ExpressionDataType::Int16, -300},
    };
    for (const auto& c : cases) {
        auto node = parser.CreateLiteralNode(c.type, c.token);
        ASSERT_NE(node, nullptr) << c.token;
        const int64_t got =
            c.type == ExpressionDataType::Uint64   ? static_cast<int64_t>(node->GetUint64(nullptr, nullptr))
            : c.type == ExpressionDataType::Uint32 ? node->GetUint32(nullptr, nullptr)
            : c.type == ExpressionDataType::Uint8  ? node->GetUint8(nullptr, nullptr)
            : c.type == ExpressionDataType::Int64  ? node->GetInt64(nullptr, nullptr)
            : c.type == ExpressionDataType::Int32  ? node->GetInt32(nullptr, nullptr)
                                                   : node->GetInt16(nullptr, nullptr);
        EXPECT_EQ(got, c.value) << c.token;
    }
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
