// Cost of evaluating a bound condition on one event record, the work a
// counter callback does per event, against a hand-written check of the same
// condition that reads the same record through the same host calls.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "expression/expression_parser.h"
#include "expression/field_bindings.h"
#include "kv_field.h"
#include "kv_trace_component.h"
#include "util/bind_trace_callback.h"

namespace {

using namespace ExpressionParserN;

// A core-like source whose event carries VALUE (8 bytes) and MODE (1 byte)
// among other fields; the condition is bound as a counter binds it.
struct BoundCondition {
    kvhost::TraceComponent component{"cluster.core0"};
    kvhost::TraceSource& source = component.AddSource(
        "SYSREG_WRITE", "bench",
        {kvhost::Unsigned("REGNUM", 4), kvhost::Unsigned("VALUE", 8), kvhost::Unsigned("MODE", 1),
         kvhost::Text("NAME"), kvhost::LocalTime()});
    ExpressionTreeT tree;
    ZVT::EventClass* eventClass = nullptr;
    const uint8_t* record = nullptr;

    static void Capture(void* userData, ZVT::EventClass* ec, const uint8_t* rec) {
        auto* self = static_cast<BoundCondition*>(userData);
        self->eventClass = ec;
        self->record = rec;
    }

    explicit BoundCondition(const char* text) {
        ZVTVariableDBT variables;
        ExpressionParserT parser(variables);
        tree = parser.Parse(text);
        std::ostringstream errors;
        const bool ok =
            tree &&
            vantric::BindTraceCallback(&component, "SYSREG_WRITE",
                                       CollectFieldBindings(tree.Root()), this, &Capture, errors) &&
            tree.Validate();
        if (!ok) std::abort();
    }

    void Emit(uint64_t value, uint64_t mode, const char* name = "idle") {
        source.Emit({{"VALUE", value}, {"MODE", mode}, {"NAME", name}});
    }
};

void BM_Evaluate_ValueAndMode_BothCompared(benchmark::State& state) {
    BoundCondition c("VALUE > 4096 && MODE == 1");
    c.Emit(5000, 1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(c.tree.Evaluate(c.eventClass, c.record));
    }
}
BENCHMARK(BM_Evaluate_ValueAndMode_BothCompared);

void BM_Evaluate_ValueAndMode_ShortCircuit(benchmark::State& state) {
    BoundCondition c("VALUE > 4096 && MODE == 1");
    c.Emit(100, 1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(c.tree.Evaluate(c.eventClass, c.record));
    }
}
BENCHMARK(BM_Evaluate_ValueAndMode_ShortCircuit);

// The same condition written by hand: the floor any interpreter is measured against.
void BM_Baseline_HandWritten(benchmark::State& state) {
    BoundCondition c("VALUE > 4096 && MODE == 1");
    c.Emit(5000, 1);
    const uint32_t valueIndex = c.eventClass->GetValueIndex("VALUE");
    const uint32_t modeIndex = c.eventClass->GetValueIndex("MODE");
    for (auto _ : state) {
        ZVT::EventClass* ec = c.eventClass;
        const uint8_t* rec = c.record;
        benchmark::DoNotOptimize(ec);
        benchmark::DoNotOptimize(rec);
        uint32_t value;
        std::memcpy(&value, rec + ec->ValueOffset(valueIndex), sizeof value);
        bool result = value > 4096;
        if (result) {
            uint32_t mode;
            std::memcpy(&mode, rec + ec->ValueOffset(modeIndex), sizeof mode);
            result = mode == 1;
        }
        benchmark::DoNotOptimize(result);
    }
}
BENCHMARK(BM_Baseline_HandWritten);

// Texts are copied for every comparison: the one evaluation that allocates
// (a name beyond the small-string buffer).
void BM_Evaluate_StringEquality(benchmark::State& state) {
    BoundCondition c("NAME == \"kworker_with_a_long_name_0\"");
    c.Emit(0, 0, "kworker_with_a_long_name_0");
    for (auto _ : state) {
        benchmark::DoNotOptimize(c.tree.Evaluate(c.eventClass, c.record));
    }
}
BENCHMARK(BM_Evaluate_StringEquality);

// Registration-time work, for scale: parse, collect and bind once per counter.
void BM_Parse(benchmark::State& state) {
    ZVTVariableDBT variables;
    ExpressionParserT parser(variables);
    for (auto _ : state) {
        ExpressionTreeT tree = parser.Parse("VALUE > 4096 && MODE == 1");
        benchmark::DoNotOptimize(tree.Root());
    }
}
BENCHMARK(BM_Parse);

}  // namespace
