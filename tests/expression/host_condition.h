// A condition bound to a trace source of the substitute host the way a
// counter binds it: parse, collect the field requests, bind them with the
// callback through BindTraceCallback, validate. The callback counts the
// events for which the condition holds and keeps the last record.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>

#include "expression/expression_parser.h"
#include "expression/field_bindings.h"
#include "kv_field.h"
#include "kv_test_support.h"
#include "kv_trace_component.h"
#include "util/bind_trace_callback.h"

struct HostCondition {
    ExpressionParserN::ExpressionTreeT tree;
    std::string validateOutput;  // what Validate wrote to standard output
    uint64_t matches = 0;
    ZVT::EventClass* lastClass = nullptr;
    const uint8_t* lastRecord = nullptr;

    static void OnEvent(void* userData, ZVT::EventClass* eventClass, const uint8_t* record) {
        auto* self = static_cast<HostCondition*>(userData);
        self->lastClass = eventClass;
        self->lastRecord = record;
        if (self->tree.Evaluate(eventClass, record)) ++self->matches;
    }

    // Whether the condition parsed, bound and validated.
    bool Attach(kvhost::TraceComponent& component, const std::string& text) {
        ExpressionParserN::ZVTVariableDBT variables;
        ExpressionParserN::ExpressionParserT parser(variables);
        tree = parser.Parse(text);
        std::ostringstream errors;
        if (!tree || !vantric::BindTraceCallback(&component, "TEST_EVENT",
                                                 ExpressionParserN::CollectFieldBindings(tree.Root()),
                                                 this, &OnEvent, errors)) {
            return false;
        }
        kvhost::StreamCapture capture;
        const bool valid = tree.Validate();
        validateOutput = capture.out();
        return valid;
    }
};

// One source with a field of every host type code, sizes as a core's
// sources have them, and LOCAL_TIME last.
struct HostSource {
    kvhost::TraceComponent component{"cluster.core0"};
    kvhost::TraceSource& source = component.AddSource(
        "TEST_EVENT", "every field type",
        {kvhost::Unsigned("VALUE", 8), kvhost::Unsigned("MODE", 1), kvhost::Signed("DELTA", 4),
         kvhost::Boolean("FLAG"), kvhost::Enum("KIND", 4, {{0, "ZERO"}, {1, "ONE"}, {7, "SEVEN"}}),
         kvhost::Float("RATIO"), kvhost::Text("NAME"), kvhost::LocalTime()});
};

class HostSourceTest : public ::testing::Test, protected HostSource {};
