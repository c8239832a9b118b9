#include "expression/expression_parser.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>

#include "expression/literal_evaluators.h"

using namespace ExpressionParserN;

namespace {

// The tree of `text` in its ToString form, or "<none>".
std::string Shape(const std::string& text) {
    ZVTVariableDBT variables;
    ExpressionParserT parser(variables);
    ExpressionTreeT tree = parser.Parse(text);
    return tree ? tree.Root()->ToString() : "<none>";
}

TEST(ParseTest, GroupsWordsAndRejectsMalformedTexts) {
    const struct {
        const char* text;
        const char* shape;
    } cases[] = {
        // "||" binds tighter than "&&"; "!" below every comparison.
        {"a && b || c", "(a&&(b||c))"}, {"a || b && c", "((a||b)&&c)"},
        {"! a == b", "(!(a==b))"}, {"! a && b", "((!a)&&b)"},
        // Comparisons differ among themselves: "!=" over "==", "<=" over "<".
        {"a == b != c", "(a==(b!=c))"}, {"a != b == c", "((a!=b)==c)"},
        {"a < b <= c", "(a<(b<=c))"}, {"a >= b > c", "((a>=b)>c)"},
        // Equal precedence is left-associative.
        {"a == b == c", "((a==b)==c)"}, {"a && b && c", "((a&&b)&&c)"},
        {"VALUE > 4096 && MODE == 1", "((VALUE>4096)&&(MODE==1))"},
        {"a = b", "(a=b)"}, {"a & b | c", "((a&b)|c)"},
        {"( a && b ) || c", "((a&&b)||c)"}, {"( a || b ) && c", "((a||b)&&c)"},
        {"! ( a && b )", "(!(a&&b))"}, {"! ( ! a )", "(!(!a))"}, {"( ( a ) )", "a"},
        // Words split on white space only; postfix order is all that counts.
        {"a==5", "a==5"}, {"a b", "b"}, {"a =& b", "b"}, {"&& a b", "(a&&b)"},
        {"a ( b", "(a(b)"}, {"(a == 5)", "((a==5))"}, {"a\t==\n5", "(a==5)"},
        {"name == \\\"on\\\"", "(name==\"on\")"},
        {"", "<none>"}, {"   \t ", "<none>"}, {"( a == 5", "<none>"}, {"a == 5 )", "<none>"},
        {"( a == 5 ) )", "<none>"}, {"a && ( b", "<none>"}, {"( )", "<none>"},
        {"a ==", "<none>"}, {"== 5", "<none>"}, {"=", "<none>"}, {"a =", "<none>"},
        {"!", "<none>"}, {"a == ! b", "<none>"},
        {"! ! a", "<none>"},  // the second "!" pops the first before it has an operand
    };
    for (const auto& c : cases) EXPECT_EQ(Shape(c.text), c.shape) << c.text;
}

TEST(ParseTest, BackslashesAreRemovedAndUnknownVariablesFail) {
    ZVTVariableDBT variables;
    ExpressionParserT parser(variables);
    ExpressionTreeT tree = parser.Parse("MODE == \\\"o\\n\\\"");
    ASSERT_TRUE(tree);
    const ExpressionTreeNodeT* literal =
        static_cast<const ExpressionTreeOperatorNodeT*>(tree.Root())->Right();
    EXPECT_EQ(literal->GetType(), ExpressionDataType::String);
    EXPECT_EQ(literal->Text(), "\"on\"");
    EXPECT_EQ(literal->GetString(nullptr, nullptr), "on");
    // A database that knows no variables makes every variable word fail.
    VariableDBT none;
    ExpressionParserT bare(none);
    EXPECT_FALSE(bare.Parse("a == 1"));
    EXPECT_TRUE(bare.Parse("1 == 1"));
}

// Operator codes are pinned by the shapes above and the evaluation tests.
TEST(OperatorTokenTest, RecognisesExactlyTheOperatorWords) {
    for (const char* word : {"(", ")", "&&", "||", "!", "==", "!=", "<", "<=", ">", ">=", "=", "&",
                             "|"}) {
        EXPECT_TRUE(ExpressionParserT::IsOperatorToken(word)) << word;
    }
    for (const char* word : {"=&", "&|", "(a", "<>", "=<", "!!", "===", "a", ""}) {
        EXPECT_FALSE(ExpressionParserT::IsOperatorToken(word)) << word;
    }
    EXPECT_EQ(OperatorCodeOf("<="), OperatorCode::LessEqual);
    EXPECT_EQ(OperatorCodeOf("|"), OperatorCode::Other);
}

TEST(DetermineLiteralTypeTest, PicksTheNarrowestTypeAtEveryBoundary) {
    using T = ExpressionDataType;
    const struct {
        const char* token;
        ExpressionDataType type;
    } cases[] = {
        {"0", T::Uint8}, {"255", T::Uint8}, {"256", T::Uint16}, {"65535", T::Uint16},
        {"65536", T::Uint32}, {"4294967295", T::Uint32}, {"4294967296", T::Uint64},
        // The read goes through a double: 2^63 - 1 rounds to 2^63.
        {"9223372036854774784", T::Uint64}, {"9223372036854775807", T::Double},
        {"18446744073709551615", T::Double}, {"-1", T::Int8}, {"-128", T::Int8},
        {"-129", T::Int16}, {"-32768", T::Int16}, {"-32769", T::Int32}, {"-2147483648", T::Int32},
        {"-2147483649", T::Int64}, {"-9223372036854775808", T::Int64},
        {"-9223372036854777856", T::Double}, {"1.0", T::Uint8}, {"2.5", T::Double},
        {"-0.5", T::Double}, {"1e3", T::Uint16}, {"\"on\"", T::String}, {"\"\"", T::String},
        {"\"", T::Unknown}, {"\"on", T::Unknown}, {"true", T::Bool}, {"false", T::Bool},
        {"True", T::Unknown}, {"abc", T::Unknown}, {"-", T::Unknown},
        {"1e999", T::Unknown},  // out of range: the read fails
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ExpressionParserT::DetermineLiteralType(c.token), c.type) << c.token;
    }
}

TEST(CreateLiteralNodeTest, StoresTheValueExtendedTo64Bits) {
    using T = ExpressionDataType;
    const struct {
        const char* token;
        ExpressionDataType type;
        uint64_t bits;  // GetUint64 of the literal's evaluator
    } cases[] = {
        {"255", T::Uint8, 255}, {"1.0", T::Uint8, 1}, {"300", T::Uint16, 300},
        {"1e3", T::Uint16, 1},  // reading stops at "e"
        {"65536", T::Uint32, 65536}, {"4294967296", T::Uint64, 4294967296ULL},
        {"-5", T::Int8, ~4ULL}, {"-300", T::Int16, ~299ULL}, {"-40000", T::Int32, ~39999ULL},
        {"-2147483649", T::Int64, ~2147483648ULL},
    };
    ZVTVariableDBT variables;
    ExpressionParserT parser(variables);
    for (const auto& c : cases) {
        ASSERT_EQ(ExpressionParserT::DetermineLiteralType(c.token), c.type) << c.token;
        auto node = parser.CreateLiteralNode(c.type, c.token);
        ASSERT_NE(node, nullptr) << c.token;
        EXPECT_EQ(node->Kind(), NodeKind::Literal);
        EXPECT_EQ(node->GetType(), c.type);
        EXPECT_EQ(node->GetEvaluator()->GetUint64(nullptr, nullptr, *node), c.bits) << c.token;
    }
}

TEST(CreateLiteralNodeTest, ReadsOtherTypesAndRejectsFailedReads) {
    using T = ExpressionDataType;
    ZVTVariableDBT variables;
    ExpressionParserT parser(variables);
    EXPECT_EQ(parser.CreateLiteralNode(T::Double, "2.5")->GetDouble(nullptr, nullptr), 2.5);
    auto text = parser.CreateLiteralNode(T::String, "\"a\\b\"");
    EXPECT_EQ(text->GetString(nullptr, nullptr), "ab");
    EXPECT_EQ(text->Text(), "\"a\\b\"");
    EXPECT_TRUE(parser.CreateLiteralNode(T::Bool, "true")->GetBool(nullptr, nullptr));
    // Never fails: anything but "true" is false.
    EXPECT_FALSE(parser.CreateLiteralNode(T::Bool, "yes")->GetBool(nullptr, nullptr));
    auto letter = parser.CreateLiteralNode(T::Char, "  xyz");
    ASSERT_NE(letter, nullptr);
    EXPECT_EQ(letter->GetType(), T::Char);
    EXPECT_EQ(letter->GetEvaluator()->GetUint8(nullptr, nullptr, *letter), 'x');
    EXPECT_NE(dynamic_cast<const Uint8LiteralEvaluator*>(letter->GetEvaluator()), nullptr);

    const std::pair<T, const char*> failed[] = {
        {T::Uint8, "abc"}, {T::Uint16, "70000"}, {T::Int16, "-40000"}, {T::Double, "x"},
        {T::Char, "   "},  {T::Unknown, "5"},    {static_cast<T>(12), "5"}};
    for (const auto& [type, token] : failed) {
        EXPECT_EQ(parser.CreateLiteralNode(type, token), nullptr) << token;
    }
}

}  // namespace
