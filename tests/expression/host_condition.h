// A condition bound to a trace source of the substitute host the way a
// counter binds it: parse, collect the field requests, bind them with the
// callback through BindTraceCallback, validate. The callback counts the
// events for which the condition holds.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "expression/expression_parser.h"
#include "expression/field_bindings.h"
#include "kv_field.h"
#include "kv_test_support.h"
#include "kv_trace_component.h"
#include "util/bind_trace_callback.h"

struct HostCondition {
    ExpressionParserN::ExpressionTreeT tree;
    bool bound = false;
    std::string validateOutput;  // what Validate wrote to standard output
    std::string bindErrors;
    uint64_t events = 0;
    uint64_t matches = 0;
    ZVT::EventClass* lastClass = nullptr;
    const uint8_t* lastRecord = nullptr;

    static void OnEvent(void* userData, ZVT::EventClass* eventClass, const uint8_t* record) {
        auto* self = static_cast<HostCondition*>(userData);
        ++self->events;
        self->lastClass = eventClass;
        self->lastRecord = record;
        if (self->tree.Evaluate(eventClass, record)) ++self->matches;
    }

    // Returns whether the condition parsed, bound and validated.
    bool Attach(kvhost::TraceComponent& component, const char* source, const std::string& text) {
        ExpressionParserN::ZVTVariableDBT variables;
        ExpressionParserN::ExpressionParserT parser(variables);
        tree = parser.Parse(text);
        if (!tree) return false;
        std::vector<vantric::FieldBindingRequest> requests =
            ExpressionParserN::CollectFieldBindings(tree.Root());
        std::ostringstream errors;
        bound = vantric::BindTraceCallback(&component, source, requests, this, &OnEvent, errors);
        bindErrors = errors.str();
        if (!bound) return false;
        kvhost::StreamCapture capture;
        const bool valid = tree.Validate();
        validateOutput = capture.out();
        return valid;
    }
};

// One source with a field of every host type code, sizes as a core's
// sources have them, and LOCAL_TIME last.
struct HostSource {
    HostSource()
        : component("cluster.core0"),
          source(component.AddSource(
              "TEST_EVENT", "every field type",
              {kvhost::Unsigned("VALUE", 8), kvhost::Unsigned("MODE", 1),
               kvhost::Signed("DELTA", 4), kvhost::Boolean("FLAG"),
               kvhost::Enum("KIND", 4, {{0, "ZERO"}, {1, "ONE"}, {2, "TWO"}, {7, "SEVEN"}}),
               kvhost::Float("RATIO"), kvhost::Text("NAME"), kvhost::LocalTime()})) {}

    kvhost::TraceComponent component;
    kvhost::TraceSource& source;
};

class HostSourceTest : public ::testing::Test, protected HostSource {};
