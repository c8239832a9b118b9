#include "expression/expression_tree.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "expression/expression_parser.h"
#include "expression/variable_db.h"

using namespace ExpressionParserN;

namespace {

// Hands out true Bool evaluators and counts those still alive.
class LiveCountingDB : public VariableDBT {
    struct Tracked : ExpressionEvaluatorT {
        explicit Tracked(int* live) : live(live) { ++*live; }
        ~Tracked() override { --*live; }
        ExpressionDataType GetType(const std::string&) const override {
            return ExpressionDataType::Bool;
        }
        bool GetBool(ZVT::EventClass*, const uint8_t*, const ExpressionTreeNodeT&) const override {
            return true;
        }
        int* live;
    };

public:
    std::unique_ptr<ExpressionEvaluatorT> CreateEvaluator(const std::string&) override {
        return std::make_unique<Tracked>(&live);
    }

    int live = 0;
};

TEST(ExpressionTreeTest, CloneKeepsTheEvaluatorsAliveAfterTheOriginalGoes) {
    LiveCountingDB variables;
    ExpressionTreeT clone;
    {
        ExpressionParserT parser(variables);
        ExpressionTreeT tree = parser.Parse("a && ! b");
        ASSERT_TRUE(tree);
        EXPECT_EQ(variables.live, 2);
        clone = tree.Clone();
    }
    ASSERT_TRUE(clone);
    EXPECT_EQ(variables.live, 2);
    EXPECT_EQ(clone.Root()->ToString(), "(a&&(!b))");
    EXPECT_FALSE(clone.Evaluate(nullptr, nullptr));
    clone.Reset();
    EXPECT_FALSE(clone);
    EXPECT_EQ(variables.live, 0);
}

TEST(ExpressionTreeTest, FailedParsesReleaseTheirEvaluators) {
    LiveCountingDB variables;
    ExpressionParserT parser(variables);
    for (const char* text : {"( a == b", "a == b )", "a ==", "! ! a", "a && ( b", "( )"}) {
        EXPECT_FALSE(parser.Parse(text)) << text;
        EXPECT_EQ(variables.live, 0) << text;
    }
}

TEST(ExpressionTreeTest, MoveAssignmentReleasesTheOldTreeFirst) {
    LiveCountingDB variables;
    ExpressionParserT parser(variables);
    ExpressionTreeT tree = parser.Parse("a || b");
    EXPECT_EQ(variables.live, 2);
    tree = parser.Parse("c");
    EXPECT_EQ(variables.live, 1);
    EXPECT_TRUE(tree.Evaluate(nullptr, nullptr));
    tree = ExpressionTreeT();
    EXPECT_EQ(variables.live, 0);
    EXPECT_FALSE(tree.Evaluate(nullptr, nullptr));
    EXPECT_FALSE(tree.Validate());
}

TEST(ExpressionTreeTest, StepsCalledDirectlyBorrowFromTheParserStore) {
    LiveCountingDB variables;
    {
        ExpressionParserT parser(variables);
        std::unique_ptr<ExpressionTreeNodeT> root =
            parser.BuildTree(parser.ToPostfix(parser.Tokenize("a && 1 == 1")));
        ASSERT_NE(root, nullptr);
        EXPECT_EQ(root->ToString(), "(a&&(1==1))");
        EXPECT_EQ(parser.Evaluators()->Size(), 3u);
        EXPECT_TRUE(root->GetBool(nullptr, nullptr));
    }
    EXPECT_EQ(variables.live, 0);
}

}  // namespace
