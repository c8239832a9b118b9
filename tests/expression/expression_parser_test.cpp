#include "expression/expression_parser.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>

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

// "!" adds a level like any operator; the refusal is the last Parse's only.
TEST(ParseTest, RefusesTreesDeeperThanTheLimit) {
    ZVTVariableDBT variables;
    ExpressionParserT parser(variables);
    std::string text = "a";
    for (int levels = 1; levels < 256; ++levels) text = "! ( " + text + " )";
    EXPECT_TRUE(parser.Parse(text) && !parser.NestedTooDeeply());  // 256 levels
    EXPECT_TRUE(!parser.Parse("! ( " + text + " )") && parser.NestedTooDeeply());
    EXPECT_TRUE(!parser.Parse("( a") && !parser.NestedTooDeeply());
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

// A word alone is the tree's root: a literal of the narrowest type that holds
// it, its value extended to 64 bits, or a variable when it is no literal.
TEST(ParseTest, WordsBecomeLiteralsOfTheNarrowestType) {
    using T = ExpressionDataType;
    const struct {
        const char* token;
        ExpressionDataType type;  // Unknown: a variable
        uint64_t bits;            // GetUint64 of an integer literal
    } cases[] = {
        {"0", T::Uint8, 0}, {"255", T::Uint8, 255}, {"256", T::Uint16, 256},
        {"65535", T::Uint16, 65535}, {"65536", T::Uint32, 65536},
        {"4294967295", T::Uint32, 4294967295}, {"4294967296", T::Uint64, 4294967296},
        // The read goes through a double: 2^63 - 1 rounds to 2^63.
        {"9223372036854774784", T::Uint64, 9223372036854774784ULL},
        {"9223372036854775807", T::Double, 0}, {"18446744073709551615", T::Double, 0},
        {"-1", T::Int8, ~0ULL}, {"-128", T::Int8, ~127ULL}, {"-129", T::Int16, ~128ULL},
        {"-32768", T::Int16, ~32767ULL}, {"-32769", T::Int32, ~32768ULL},
        {"-2147483648", T::Int32, ~2147483647ULL}, {"-2147483649", T::Int64, ~2147483648ULL},
        {"-9223372036854775808", T::Int64, 1ULL << 63}, {"-9223372036854777856", T::Double, 0},
        {"1.0", T::Uint8, 1}, {"2.5", T::Double, 0}, {"-0.5", T::Double, 0},
        {"1e3", T::Uint16, 1},  // the integer read stops at "e"
        {"\"on\"", T::String, 0}, {"\"\"", T::String, 0}, {"\"", T::Unknown, 0},
        {"\"on", T::Unknown, 0}, {"true", T::Bool, 1}, {"false", T::Bool, 0},
        {"True", T::Unknown, 0}, {"abc", T::Unknown, 0}, {"-", T::Unknown, 0},
        {"1e999", T::Unknown, 0},  // out of range: the read fails
    };
    ZVTVariableDBT variables;
    ExpressionParserT parser(variables);
    for (const auto& c : cases) {
        ExpressionTreeT tree = parser.Parse(c.token);
        ASSERT_TRUE(tree) << c.token;
        const ExpressionTreeNodeT& node = *tree.Root();
        EXPECT_EQ(node.Kind(), c.type == T::Unknown ? NodeKind::Variable : NodeKind::Literal);
        EXPECT_EQ(node.GetType(), c.type) << c.token;
        if (IsIntegerType(c.type) || c.type == T::Bool) {
            EXPECT_EQ(node.GetEvaluator()->GetUint64(nullptr, nullptr, node), c.bits) << c.token;
        }
    }
    EXPECT_EQ(parser.Parse("2.5").Root()->GetDouble(nullptr, nullptr), 2.5);
    EXPECT_FALSE(parser.Parse("a == .5e1"));  // a whole number that an integer read refuses
}

}  // namespace
