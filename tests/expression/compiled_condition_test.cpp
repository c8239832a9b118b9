// The compiled form of a condition must answer exactly as the condition tree
// does: both are evaluated on the same host records and compared.
#include "expression/compiled_condition.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <sstream>

#include "expression/expression_parser.h"
#include "expression/field_bindings.h"
#include "kvhost.h"
#include "kv_test_support.h"
#include "util/bind_trace_callback.h"

namespace ExpressionParserN {
namespace {

struct ConditionCase {
    const char* text;
    bool compiles;
};

class CompiledConditionTest : public ::testing::TestWithParam<ConditionCase> {
protected:
    kvhost::TraceComponent component{"core"};
    // Integer fields 0 to 8, then a double and a text.
    kvhost::TraceSource& source = component.AddSource(
        "EVT", "", {kvhost::Unsigned("B", 1), kvhost::Unsigned("H", 2), kvhost::Unsigned("W", 4),
                    kvhost::Unsigned("Q", 8), kvhost::Signed("S", 4), kvhost::Signed("C", 1),
                    kvhost::Signed("L", 8), kvhost::Boolean("F"),
                    kvhost::Enum("E", 4, {{0, "A"}, {1, "B"}, {2, "C"}}), kvhost::Float("D"),
                    kvhost::Text("T")});
    ZVTVariableDBT variables;
    ExpressionTreeT tree;
    kvhost::CallbackProbe probe;
    ZVT::EventClass* eventClass = nullptr;
};

TEST_P(CompiledConditionTest, AnswersAsTheTreeDoes) {
    ExpressionParserT parser(variables);
    tree = parser.Parse(GetParam().text);
    ASSERT_TRUE(tree);
    // Bound as a counter's registration binds it.
    std::ostringstream errors;
    ASSERT_TRUE(vantric::BindTraceCallback(&component, "EVT", CollectFieldBindings(tree.Root()),
                                           &probe, &kvhost::CallbackProbe::Callback, errors,
                                           &eventClass));
    const CompiledCondition compiled = CompiledCondition::Compile(*tree.Root(), eventClass);
    ASSERT_EQ(compiled.valid(), GetParam().compiles);
    if (!compiled.valid()) return;
    // Records mixing boundary values and random bits.
    const uint64_t integers[] = {0,   1,   2,     3,          7,            255,          300,
                                 4096, 4097, 44, 65535, 0xFFFFFFFF, uint64_t(-1), uint64_t(-5),
                                 4294967296ull};
    const double doubles[] = {0.0, 1.0, 1.5, 2.0, -1.5, std::nan("")};
    const char* texts[] = {"", "abc", "abd", "ab", "on"};
    std::mt19937_64 random(12345);
    for (int i = 0; i < 400; ++i) {
        source.ClearValues();
        for (uint32_t field = 0; field < 9; ++field) {
            const size_t pick = random() % (std::size(integers) + 3);
            source.SetInteger(field, pick < std::size(integers) ? integers[pick] : random());
        }
        source.SetFloat(9, doubles[random() % std::size(doubles)]);
        source.SetText(10, texts[random() % std::size(texts)]);
        ASSERT_EQ(compiled.Evaluate(source.record()), tree.Evaluate(eventClass, source.record()))
            << "record " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Conditions, CompiledConditionTest,
    ::testing::Values(
        ConditionCase{"Q > 4096 && B == 1", true}, ConditionCase{"W != 300", true},
        // Integer fields compare as 32-bit values; literals at the left
        // operand's width (300 read as 8 bits is 44).
        ConditionCase{"B == 300", true}, ConditionCase{"300 == W", true},
        ConditionCase{"Q == 4294967296", true}, ConditionCase{"-5 < S", true},
        ConditionCase{"C == -1", true}, ConditionCase{"L < 0", true},
        ConditionCase{"E <= 1 || H > 255", true}, ConditionCase{"! W == 7", true},
        ConditionCase{"( W == 1 || H == 2 ) && ! ( B == 3 )", true},
        ConditionCase{"F && W > 2", true}, ConditionCase{"W && F", true},
        ConditionCase{"true && false", true}, ConditionCase{"W >= 7 || 4294967296 < Q", true},
        // Roots that are not Bool never hold; an unbound field reads as 0.
        ConditionCase{"W", true}, ConditionCase{"W == 0 || NOPE", true},
        ConditionCase{"( W = 1 ) == 2", true},
        // Doubles, texts and booleans stay with the tree.
        ConditionCase{"D < 1.5", false}, ConditionCase{"T == \"abc\"", false},
        ConditionCase{"F == true", false}, ConditionCase{"W > 2 && D != 1.5", false}));

}  // namespace
}  // namespace ExpressionParserN
