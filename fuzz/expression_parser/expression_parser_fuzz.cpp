// Fuzz target of the condition language: parse a text, bind its fields to a
// trace source of the substitute host the way a counter binds them,
// validate, compile, and evaluate on event records.
//
// Input: the condition text, optionally followed by a NUL byte and bytes
// that fill the fields of the first record (8 per integer field, then the
// double, then the text); further records mix boundary values in.
//
// Checked: parsing is deterministic; a text refused for its depth gives no
// tree and no built tree is deeper than kMaxDepth; a clone reads like its
// original; binding optional fields always succeeds; and on every record the
// compiled form answers exactly as the tree does.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "expression/compiled_condition.h"
#include "expression/expression_parser.h"
#include "expression/field_bindings.h"
#include "kv_test_support.h"
#include "kv_trace_component.h"
#include "util/bind_trace_callback.h"

namespace {

using ExpressionParserN::CompiledCondition;
using ExpressionParserN::ExpressionParserT;
using ExpressionParserN::ExpressionTreeNodeT;
using ExpressionParserN::ExpressionTreeOperatorNodeT;
using ExpressionParserN::ExpressionTreeT;
using ExpressionParserN::NodeKind;

void Check(bool holds) {
    if (!holds) std::abort();
}

// Levels of the tree under `root`, walked with an explicit stack.
size_t DepthOf(const ExpressionTreeNodeT* root) {
    std::vector<std::pair<const ExpressionTreeNodeT*, size_t>> pending;
    if (root != nullptr) pending.push_back({root, 1});
    size_t deepest = 0;
    while (!pending.empty()) {
        const auto [node, depth] = pending.back();
        pending.pop_back();
        deepest = std::max(deepest, depth);
        if (node->Kind() != NodeKind::Operator) continue;
        const auto& op = static_cast<const ExpressionTreeOperatorNodeT&>(*node);
        if (op.Left() != nullptr) pending.push_back({op.Left(), depth + 1});
        if (op.Right() != nullptr) pending.push_back({op.Right(), depth + 1});
    }
    return deepest;
}

// Integer fields 0 to 8, a double and a text, named as short words so that
// the fuzzer meets them often.
constexpr uint32_t kIntegerFields = 9;
constexpr uint32_t kDoubleField = 9;
constexpr uint32_t kTextField = 10;

std::vector<kvhost::FieldShape> Fields() {
    return {kvhost::Unsigned("B", 1), kvhost::Unsigned("H", 2), kvhost::Unsigned("W", 4),
            kvhost::Unsigned("Q", 8), kvhost::Signed("S", 4),   kvhost::Signed("C", 1),
            kvhost::Signed("L", 8),   kvhost::Boolean("F"),
            kvhost::Enum("E", 4, {{0, "A"}, {1, "B"}, {2, "C"}}),
            kvhost::Float("D"),       kvhost::Text("T")};
}

// Reads up to 8 bytes of `bytes` from `at` as a little-endian word.
uint64_t Word(std::string_view bytes, size_t& at) {
    uint64_t value = 0;
    for (size_t i = 0; i < 8 && at < bytes.size(); ++i, ++at) {
        value |= uint64_t{static_cast<unsigned char>(bytes[at])} << (8 * i);
    }
    return value;
}

void FillFromBytes(kvhost::TraceSource& source, std::string_view bytes) {
    source.ClearValues();
    size_t at = 0;
    for (uint32_t field = 0; field < kIntegerFields; ++field)
        source.SetInteger(field, Word(bytes, at));
    const uint64_t bits = Word(bytes, at);
    double number;
    std::memcpy(&number, &bits, sizeof number);
    source.SetFloat(kDoubleField, number);
    source.SetText(kTextField, bytes.substr(std::min(at, bytes.size())));
}

void FillFromTable(kvhost::TraceSource& source, size_t round) {
    static constexpr uint64_t kIntegers[] = {0, 1, 2, 3, 7, 255, 300, 4096, 65535, 0xFFFFFFFF,
                                             4294967296ull, uint64_t(-1), uint64_t(-5),
                                             0x8000000000000000ull};
    static constexpr double kDoubles[] = {0.0, 1.0, 1.5, -1.5, 1e300};
    static const char* const kTexts[] = {"", "abc", "ab", "on", "T"};
    source.ClearValues();
    for (uint32_t field = 0; field < kIntegerFields; ++field) {
        source.SetInteger(field, kIntegers[(round * 5 + field * 3) % std::size(kIntegers)]);
    }
    source.SetFloat(kDoubleField, kDoubles[round % std::size(kDoubles)]);
    source.SetText(kTextField, kTexts[round % std::size(kTexts)]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.find('\0');
    const std::string_view text = input.substr(0, split);
    const std::string_view recordBytes =
        split == std::string_view::npos ? std::string_view() : input.substr(split + 1);

    // Validation explains a refusal on standard output; keep it off the console.
    kvhost::StreamCapture console;

    ExpressionParserN::ZVTVariableDBT variables;
    ExpressionParserT parser(variables);
    ExpressionTreeT tree = parser.Parse(text);
    const bool tooDeep = parser.NestedTooDeeply();
    Check(!tooDeep || !tree);
    Check(DepthOf(tree.Root()) <= ExpressionParserT::kMaxDepth);

    ExpressionTreeT again = parser.Parse(text);
    Check(parser.NestedTooDeeply() == tooDeep);
    Check(static_cast<bool>(again) == static_cast<bool>(tree));
    if (!tree) return 0;
    const std::string shape = tree.Root()->ToString();
    Check(again.Root()->ToString() == shape);
    again.Reset();

    const ExpressionTreeT clone = tree.Clone();
    Check(clone.Root()->ToString() == shape);

    // A fresh source per input: every binding adds an event class to it.
    kvhost::TraceComponent component("core");
    kvhost::TraceSource& source = component.AddSource("EVT", "", Fields());
    kvhost::CallbackProbe probe;
    ZVT::EventClass* eventClass = nullptr;
    std::ostringstream errors;
    // Every request a condition makes is optional, so binding cannot fail.
    Check(vantric::BindTraceCallback(&component, "EVT",
                                     ExpressionParserN::CollectFieldBindings(tree.Root()), &probe,
                                     &kvhost::CallbackProbe::Callback, errors, &eventClass));
    Check(eventClass != nullptr);
    if (!tree.Validate()) return 0;  // a counter drops such a condition
    Check(clone.Validate());

    const CompiledCondition compiled = CompiledCondition::Compile(*tree.Root(), eventClass);
    constexpr size_t kRounds = 6;
    for (size_t round = 0; round < kRounds; ++round) {
        if (round == 0) {
            FillFromBytes(source, recordBytes);
        } else {
            FillFromTable(source, round);
        }
        const bool answer = tree.Evaluate(eventClass, source.record());
        Check(clone.Evaluate(eventClass, source.record()) == answer);
        if (compiled.valid()) Check(compiled.Evaluate(source.record()) == answer);
    }
    return 0;
}
