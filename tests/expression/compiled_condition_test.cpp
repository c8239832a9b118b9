// The flat form of a condition must answer exactly as the condition tree
// does: both are evaluated on the same host records and compared.
#include "expression/compiled_condition.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "expression/expression_parser.h"
#include "expression/field_bindings.h"
#include "kvhost.h"
#include "kv_test_support.h"
#include "util/bind_trace_callback.h"

namespace vantric {
namespace {

struct ConditionCase {
    const char* text;
    bool compiles;
};

constexpr uint32_t kD = 9, kT = 10, kFieldCount = 11;

class CompiledConditionTest : public ::testing::TestWithParam<ConditionCase> {
protected:
    CompiledConditionTest()
        : component("core"),
          source(component.AddSource(
              "EVT", "",
              {kvhost::Unsigned("B", 1), kvhost::Unsigned("H", 2), kvhost::Unsigned("W", 4),
               kvhost::Unsigned("Q", 8), kvhost::Signed("S", 4), kvhost::Signed("C", 1),
               kvhost::Signed("L", 8), kvhost::Boolean("F"),
               kvhost::Enum("E", 4, {{0, "A"}, {1, "B"}, {2, "C"}}), kvhost::Float("D"),
               kvhost::Text("T")})) {}

    // Parses and binds `text` as a counter registration does; false when the
    // binding routine refuses.
    bool Bind(const char* text) {
        ExpressionParserN::ExpressionParserT parser(variables);
        tree = parser.Parse(text);
        if (!tree) return false;
        std::ostringstream errors;
        return BindTraceCallback(&component, "EVT",
                                 ExpressionParserN::CollectFieldBindings(tree.Root()), &probe,
                                 &kvhost::CallbackProbe::Callback, errors, &eventClass);
    }

    // A record mixing boundary values and random bits.
    void RandomRecord(std::mt19937_64& random) {
        static const uint64_t kIntegers[] = {0,     1,          2,            3,           7,
                                             255,   300,        4096,         4097,        44,
                                             65535, 0xFFFFFFFF, uint64_t(-1), uint64_t(-5),
                                             4294967296ull};
        static const double kDoubles[] = {0.0, 1.0, 1.5, 2.0, -1.5, std::nan("")};
        static const char* kTexts[] = {"", "abc", "abd", "ab", "on"};
        source.ClearValues();
        for (uint32_t field = 0; field < kFieldCount; ++field) {
            const uint64_t pick = random();
            const size_t choice = pick % (std::size(kIntegers) + 3);
            if (field == kD) source.SetFloat(field, kDoubles[pick % std::size(kDoubles)]);
            if (field == kT) source.SetText(field, kTexts[pick % std::size(kTexts)]);
            if (field < kD) {
                source.SetInteger(field, choice < std::size(kIntegers) ? kIntegers[choice] : random());
            }
        }
    }

    kvhost::TraceComponent component;
    kvhost::TraceSource& source;
    ExpressionParserN::ZVTVariableDBT variables;
    ExpressionParserN::ExpressionTreeT tree;
    kvhost::CallbackProbe probe;
    ZVT::EventClass* eventClass = nullptr;
};

TEST_P(CompiledConditionTest, AnswersAsTheTreeDoes) {
    ASSERT_TRUE(Bind(GetParam().text)) << GetParam().text;
    const CompiledCondition compiled = CompiledCondition::Compile(*tree.Root(), eventClass);
    ASSERT_EQ(compiled.valid(), GetParam().compiles);
    if (!compiled.valid()) return;
    std::mt19937_64 random(12345);
    for (int i = 0; i < 400; ++i) {
        RandomRecord(random);
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
        ConditionCase{"true && false", true},
        // Roots that are not Bool never hold; an unbound field reads as 0.
        ConditionCase{"W", true}, ConditionCase{"W == 0 || NOPE", true},
        ConditionCase{"( W = 1 ) == 2", true},
        // Doubles, texts and booleans stay with the tree.
        ConditionCase{"D < 1.5", false}, ConditionCase{"T == \"abc\"", false},
        ConditionCase{"F == true", false}, ConditionCase{"W > 2 && D != 1.5", false}));

}  // namespace
}  // namespace vantric
