#include "expression/expression_tree.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

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

// A clone copies the nodes, shares the evaluators (one per variable word, a
// name used twice has two) and keeps them alive after the original goes.
TEST(ExpressionTreeTest, CloneSharesTheEvaluatorsAndKeepsThemAlive) {
    LiveCountingDB variables;
    ExpressionTreeT clone;
    {
        ExpressionParserT parser(variables);
        ExpressionTreeT tree = parser.Parse("a && ( b || ! a ) && 5 < 300");
        ASSERT_TRUE(tree);
        EXPECT_EQ(variables.live, 3);
        clone = tree.Clone();
        std::vector<ExpressionTreeNodeT*> original, cloned;
        tree.Root()->CollectVariables(original);
        clone.Root()->CollectVariables(cloned);
        ASSERT_EQ(std::tuple(original.size(), cloned.size()), std::tuple(3u, 3u));
        for (size_t i = 0; i < 3; ++i) {
            EXPECT_NE(cloned[i], original[i]);
            EXPECT_EQ(cloned[i]->GetEvaluator(), original[i]->GetEvaluator());
            EXPECT_EQ(cloned[i]->Text(), std::string(i == 1 ? "b" : "a"));  // left operand first
        }
        EXPECT_NE(original[0]->GetEvaluator(), original[2]->GetEvaluator());
    }
    EXPECT_EQ(variables.live, 3);
    EXPECT_EQ(clone.Root()->ToString(), "((a&&(b||(!a)))&&(5<300))");
    EXPECT_TRUE(clone.Evaluate(nullptr, nullptr));
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

}  // namespace
