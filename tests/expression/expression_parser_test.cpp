#include "expression/expression_parser.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "expression/expression_evaluator.h"
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

const ExpressionTreeOperatorNodeT& AsOperator(const ExpressionTreeNodeT& node) {
    EXPECT_EQ(node.Kind(), NodeKind::Operator);
    return static_cast<const ExpressionTreeOperatorNodeT&>(node);
}

struct ShapeCase {
    const char* text;
    const char* shape;
};

void PrintTo(const ShapeCase& c, std::ostream* out) {
    *out << '"' << c.text << '"';
}

class ParseShapeTest : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(ParseShapeTest, GroupsAsExpected) {
    EXPECT_EQ(Shape(GetParam().text), GetParam().shape) << "text: " << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Precedence, ParseShapeTest,
    ::testing::Values(
        // "||" binds tighter than "&&"; "!" below every comparison.
        ShapeCase{"a && b || c", "(a&&(b||c))"}, ShapeCase{"a || b && c", "((a||b)&&c)"},
        ShapeCase{"! a == b", "(!(a==b))"}, ShapeCase{"! a && b", "((!a)&&b)"},
        // Comparisons differ among themselves: "!=" over "==", "<=" over "<".
        ShapeCase{"a == b != c", "(a==(b!=c))"}, ShapeCase{"a != b == c", "((a!=b)==c)"},
        ShapeCase{"a < b <= c", "(a<(b<=c))"}, ShapeCase{"a >= b > c", "((a>=b)>c)"},
        // Equal precedence is left-associative.
        ShapeCase{"a == b == c", "((a==b)==c)"}, ShapeCase{"a && b && c", "((a&&b)&&c)"},
        ShapeCase{"VALUE > 4096 && MODE == 1", "((VALUE>4096)&&(MODE==1))"},
        ShapeCase{"a = b", "(a=b)"}, ShapeCase{"a & b | c", "((a&b)|c)"}));

INSTANTIATE_TEST_SUITE_P(Grouping, ParseShapeTest,
                         ::testing::Values(ShapeCase{"( a && b ) || c", "((a&&b)||c)"},
                                           ShapeCase{"a && ( b || c )", "(a&&(b||c))"},
                                           ShapeCase{"( a || b ) && c", "((a||b)&&c)"},
                                           ShapeCase{"! ( a && b )", "(!(a&&b))"},
                                           ShapeCase{"! ( ! a )", "(!(!a))"},
                                           ShapeCase{"( ( a ) )", "a"},
                                           ShapeCase{"( a == 5 )", "(a==5)"}));

INSTANTIATE_TEST_SUITE_P(
    Words, ParseShapeTest,
    ::testing::Values(ShapeCase{"a==5", "a==5"},          // one word: a variable
                      ShapeCase{"a b", "b"},              // the top of the stack wins
                      ShapeCase{"a =& b", "b"},           // "=&" is a variable, not an operator
                      ShapeCase{"&& a b", "(a&&b)"},      // postfix order is all that counts
                      ShapeCase{"a ( b", "(a(b)"},        // a dangling "(" with two operands
                      ShapeCase{"(a == 5)", "((a==5))"},  // "(a" and "5)" are variables
                      ShapeCase{"a\t==\n5", "(a==5)"}, ShapeCase{"  a == 5   ", "(a==5)"},
                      ShapeCase{"name == \\\"on\\\"", "(name==\"on\")"}));

INSTANTIATE_TEST_SUITE_P(
    Malformed, ParseShapeTest,
    ::testing::Values(ShapeCase{"", "<none>"}, ShapeCase{"   \t ", "<none>"},
                      ShapeCase{"( a == 5", "<none>"}, ShapeCase{"a == 5 )", "<none>"},
                      ShapeCase{"( a == 5 ) )", "<none>"}, ShapeCase{"a && ( b", "<none>"},
                      ShapeCase{"( )", "<none>"}, ShapeCase{"a ==", "<none>"},
                      ShapeCase{"== 5", "<none>"}, ShapeCase{"=", "<none>"},
                      ShapeCase{"a =", "<none>"}, ShapeCase{"!", "<none>"},
                      ShapeCase{"a == ! b", "<none>"},
                      // The second "!" pops the first before it has an operand.
                      ShapeCase{"! ! a", "<none>"}));

TEST(ParseTest, OperatorNodesGetTheirResultTypes) {
    ZVTVariableDBT variables;
    ExpressionParserT parser(variables);
    ExpressionTreeT comparison = parser.Parse("a < 1");
    ASSERT_TRUE(comparison);
    EXPECT_EQ(comparison.Root()->GetType(), ExpressionDataType::Bool);
    ExpressionTreeT negation = parser.Parse("! a");
    ASSERT_TRUE(negation);
    EXPECT_EQ(negation.Root()->GetType(), ExpressionDataType::Bool);
    EXPECT_EQ(AsOperator(*negation.Root()).Right(), nullptr);
    ExpressionTreeT unknown = parser.Parse("a | b");
    ASSERT_TRUE(unknown);
    EXPECT_EQ(unknown.Root()->GetType(), ExpressionDataType::Unknown);
    EXPECT_EQ(AsOperator(*unknown.Root()).Op(), OperatorCode::Other);
}

TEST(ParseTest, BackslashesAreRemovedBeforeTokenizing) {
    ZVTVariableDBT variables;
    ExpressionParserT parser(variables);
    ExpressionTreeT tree = parser.Parse("MODE == \\\"o\\n\\\"");
    ASSERT_TRUE(tree);
    const ExpressionTreeNodeT* literal = AsOperator(*tree.Root()).Right();
    ASSERT_NE(literal, nullptr);
    EXPECT_EQ(literal->GetType(), ExpressionDataType::String);
    EXPECT_EQ(literal->Text(), "\"on\"");
    EXPECT_EQ(literal->GetString(nullptr, nullptr), "on");
}

// A database that knows no variables makes every variable word fail.
TEST(ParseTest, VariableWithoutEvaluatorFailsTheParse) {
    VariableDBT none;
    ExpressionParserT parser(none);
    EXPECT_FALSE(parser.Parse("a == 1"));
    EXPECT_TRUE(parser.Parse("1 == 1"));
}

struct OperatorTokenCase {
    const char* word;
    bool isOperator;
    OperatorCode code;
};

TEST(OperatorTokenTest, RecognisesExactlyTheOperatorWords) {
    using O = OperatorCode;
    const OperatorTokenCase cases[] = {
        {"(", true, O::OpenParen}, {")", true, O::CloseParen},    {"&&", true, O::And},
        {"||", true, O::Or},       {"!", true, O::Not},           {"==", true, O::Equal},
        {"!=", true, O::NotEqual}, {"<", true, O::Less},          {"<=", true, O::LessEqual},
        {">", true, O::Greater},   {">=", true, O::GreaterEqual}, {"=", true, O::Other},
        {"&", true, O::Other},     {"|", true, O::Other},         {"=&", false, O::Other},
        {"&|", false, O::Other},   {"(a", false, O::Other},       {"<>", false, O::Other},
        {"=<", false, O::Other},   {"!!", false, O::Other},       {"===", false, O::Other},
        {"a", false, O::Other},    {"", false, O::Other},
    };
    for (const OperatorTokenCase& c : cases) {
        EXPECT_EQ(ExpressionParserT::IsOperatorToken(c.word), c.isOperator) << c.word;
        if (c.isOperator) {
            EXPECT_EQ(OperatorCodeOf(c.word), c.code) << c.word;
        }
    }
    EXPECT_EQ(ResultTypeOf(OperatorCode::OpenParen), ExpressionDataType::Unknown);
    EXPECT_EQ(ResultTypeOf(OperatorCode::CloseParen), ExpressionDataType::Unknown);
    EXPECT_EQ(ResultTypeOf(OperatorCode::And), ExpressionDataType::Bool);
    EXPECT_EQ(ResultTypeOf(OperatorCode::GreaterEqual), ExpressionDataType::Bool);
    EXPECT_EQ(ResultTypeOf(OperatorCode::Other), ExpressionDataType::Unknown);
}

struct LiteralCase {
    const char* token;
    ExpressionDataType type;
};

TEST(DetermineLiteralTypeTest, PicksTheNarrowestTypeAtEveryBoundary) {
    using T = ExpressionDataType;
    const LiteralCase cases[] = {
        {"0", T::Uint8},
        {"5", T::Uint8},
        {"255", T::Uint8},
        {"256", T::Uint16},
        {"65535", T::Uint16},
        {"65536", T::Uint32},
        {"4294967295", T::Uint32},
        {"4294967296", T::Uint64},
        {"9223372036854774784", T::Uint64},  // largest double below 2^63
        {"9223372036854775807", T::Double},  // rounds to 2^63
        {"9223372036854775808", T::Double},
        {"18446744073709551615", T::Double},
        {"-1", T::Int8},
        {"-128", T::Int8},
        {"-129", T::Int16},
        {"-300", T::Int16},
        {"-32768", T::Int16},
        {"-32769", T::Int32},
        {"-2147483648", T::Int32},
        {"-2147483649", T::Int64},
        {"-9223372036854775808", T::Int64},
        {"-9223372036854777856", T::Double},  // below -2^63
        {"1.0", T::Uint8},
        {"2.5", T::Double},
        {"-0.5", T::Double},
        {"1e3", T::Uint16},
        {"\"on\"", T::String},
        {"\"\"", T::String},
        {"\"", T::Unknown},
        {"\"on", T::Unknown},
        {"true", T::Bool},
        {"false", T::Bool},
        {"True", T::Unknown},
        {"abc", T::Unknown},
        {"a==5", T::Unknown},
        {"-", T::Unknown},
        {"1e999", T::Unknown},  // out of range: the read fails
    };
    for (const LiteralCase& c : cases) {
        EXPECT_EQ(ExpressionParserT::DetermineLiteralType(c.token), c.type) << c.token;
    }
}

struct LiteralValueCase {
    const char* token;
    ExpressionDataType type;
    uint64_t bits;  // GetUint64 of the literal's evaluator
};

TEST(CreateLiteralNodeTest, StoresTheValueExtendedTo64Bits) {
    using T = ExpressionDataType;
    const LiteralValueCase cases[] = {
        {"255", T::Uint8, 255},
        {"1.0", T::Uint8, 1},
        {"1e3", T::Uint16, 1},  // reading stops at "e"
        {"300", T::Uint16, 300},
        {"65536", T::Uint32, 65536},
        {"4294967296", T::Uint64, 4294967296ULL},
        {"-5", T::Int8, static_cast<uint64_t>(-5LL)},
        {"-300", T::Int16, static_cast<uint64_t>(-300LL)},
        {"-40000", T::Int32, static_cast<uint64_t>(-40000LL)},
        {"-2147483649", T::Int64, static_cast<uint64_t>(-2147483649LL)},
    };
    ZVTVariableDBT variables;
    ExpressionParserT parser(variables);
    for (const LiteralValueCase& c : cases) {
        ASSERT_EQ(ExpressionParserT::DetermineLiteralType(c.token), c.type) << c.token;
        auto node = parser.CreateLiteralNode(c.type, c.token);
        ASSERT_NE(node, nullptr) << c.token;
        EXPECT_EQ(node->Kind(), NodeKind::Literal);
        EXPECT_EQ(node->GetType(), c.type);
        EXPECT_EQ(node->Text(), c.token);
        EXPECT_EQ(node->GetEvaluator()->GetUint64(nullptr, nullptr, *node), c.bits) << c.token;
    }
}

TEST(CreateLiteralNodeTest, ReadsDoublesStringsBoolsAndChars) {
    ZVTVariableDBT variables;
    ExpressionParserT parser(variables);

    auto real = parser.CreateLiteralNode(ExpressionDataType::Double, "2.5");
    ASSERT_NE(real, nullptr);
    EXPECT_EQ(real->GetDouble(nullptr, nullptr), 2.5);

    auto text = parser.CreateLiteralNode(ExpressionDataType::String, "\"a\\b\"");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->GetString(nullptr, nullptr), "ab");
    EXPECT_EQ(text->Text(), "\"a\\b\"");

    auto yes = parser.CreateLiteralNode(ExpressionDataType::Bool, "true");
    auto other = parser.CreateLiteralNode(ExpressionDataType::Bool, "yes");
    ASSERT_NE(yes, nullptr);
    ASSERT_NE(other, nullptr);  // never fails: anything but "true" is false
    EXPECT_TRUE(yes->GetBool(nullptr, nullptr));
    EXPECT_FALSE(other->GetBool(nullptr, nullptr));

    auto letter = parser.CreateLiteralNode(ExpressionDataType::Char, "  xyz");
    ASSERT_NE(letter, nullptr);
    EXPECT_EQ(letter->GetType(), ExpressionDataType::Char);
    EXPECT_EQ(letter->GetEvaluator()->GetUint8(nullptr, nullptr, *letter), 'x');
    EXPECT_NE(dynamic_cast<const Uint8LiteralEvaluator*>(letter->GetEvaluator()), nullptr);
}

TEST(CreateLiteralNodeTest, FailedReadsAndNonLiteralTypesGiveNoNode) {
    ZVTVariableDBT variables;
    ExpressionParserT parser(variables);
    EXPECT_EQ(parser.CreateLiteralNode(ExpressionDataType::Uint8, "abc"), nullptr);
    EXPECT_EQ(parser.CreateLiteralNode(ExpressionDataType::Uint16, "70000"), nullptr);
    EXPECT_EQ(parser.CreateLiteralNode(ExpressionDataType::Int16, "-40000"), nullptr);
    EXPECT_EQ(parser.CreateLiteralNode(ExpressionDataType::Double, "x"), nullptr);
    EXPECT_EQ(parser.CreateLiteralNode(ExpressionDataType::Char, "   "), nullptr);
    EXPECT_EQ(parser.CreateLiteralNode(static_cast<ExpressionDataType>(12), "5"), nullptr);
    EXPECT_EQ(parser.CreateLiteralNode(ExpressionDataType::Unknown, "5"), nullptr);
}

}  // namespace
