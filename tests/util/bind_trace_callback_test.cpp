#include "util/bind_trace_callback.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "kvhost.h"
#include "util/event_field.h"

namespace {

struct Seen {
    int calls = 0;
    uint64_t lastValue = 0;
    vantric::EventField field;
    ZVT::EventClass* eventClass = nullptr;
};

void Record(void* userData, ZVT::EventClass* eventClass, const uint8_t* record) {
    auto* seen = static_cast<Seen*>(userData);
    ++seen->calls;
    seen->eventClass = eventClass;
    seen->lastValue = seen->field.read(record);
}

// A source with 36 fields: field 35 must set bit 3 of the mask.
std::vector<kvhost::FieldSpec> ManyFields() {
    std::vector<kvhost::FieldSpec> fields;
    for (int i = 0; i < 35; ++i) fields.push_back(kvhost::Unsigned("F" + std::to_string(i), 4));
    fields.push_back(kvhost::Signed("LAST", 2));
    return fields;
}

TEST(BindTraceCallback, BindsFieldsAndDelivers) {
    kvhost::Simulation simulation;
    kvhost::TraceComponent& component = simulation.AddTraceComponent("memory");
    kvhost::TraceSource& source = component.AddSource("WIDE", "", ManyFields());

    Seen seen;
    uint32_t type = 99;
    uint32_t missingIndex = 1234, missingType = 4321;
    std::vector<vantric::FieldBindingRequest> requests = {
        {"LAST", &seen.field.index, false, &type},
        {"ABSENT", &missingIndex, true, &missingType},
    };
    std::ostringstream errors;
    ZVT::EventClass* created = nullptr;
    ASSERT_TRUE(vantric::BindTraceCallback(&component, "WIDE", requests, &seen, Record, errors, &created));
    EXPECT_EQ(errors.str(), "");
    EXPECT_EQ(type, uint32_t{ZVT::SIGNED_INT});
    EXPECT_EQ(missingIndex, 1234u);  // optional and absent: untouched
    EXPECT_EQ(missingType, 4321u);
    ASSERT_EQ(source.eventClassCount(), 1u);
    // Field 35 maps to mask bit 3, so the class carries F3 and LAST.
    EXPECT_EQ(created->GetValueIndex("F3"), 0u);
    EXPECT_EQ(created->GetValueIndex("LAST"), 1u);
    EXPECT_EQ(seen.field.index, 1u);

    seen.field.resolve(created);
    source.Emit({{"LAST", int64_t{-2}}});
    EXPECT_EQ(seen.calls, 1);
    EXPECT_EQ(seen.eventClass, created);
    EXPECT_EQ(seen.lastValue, uint64_t(-2));  // 2-byte SIGNED_INT sign-extended
}

TEST(BindTraceCallback, FailureTexts) {
    kvhost::Simulation simulation;
    kvhost::TraceComponent& component = simulation.AddTraceComponent("c");
    kvhost::TraceSource& source = component.AddSource("S", "", {kvhost::Unsigned("A", 8)});
    uint32_t index = 0;
    Seen seen;

    auto bind = [&](const char* sourceName, std::vector<vantric::FieldBindingRequest> requests) {
        std::ostringstream errors;
        EXPECT_FALSE(vantric::BindTraceCallback(&component, sourceName, requests, &seen, Record, errors));
        return errors.str();
    };
    EXPECT_EQ(bind("T", {{"A", &index, false, nullptr}}), "Could not find T source");
    EXPECT_EQ(bind("S", {{"B", &index, false, nullptr}}), "No field B found in S trace source");
    source.SetFailCreateEventClass(true);
    EXPECT_EQ(bind("S", {{"A", &index, false, nullptr}}),
              "Unable to register event class for S trace source.");
    source.SetFailCreateEventClass(false);
    source.SetFailRegisterCallback(true);
    EXPECT_EQ(bind("S", {{"A", &index, false, nullptr}}), "RegisterCallback failed for S");
    EXPECT_FALSE(source.hasCallbacks());
}

TEST(BindTraceCallback, NullTerminatedRequestsWithOptionalFields) {
    kvhost::Simulation simulation;
    kvhost::TraceComponent& component = simulation.AddTraceComponent("c");
    component.AddSource("S", "", {kvhost::Unsigned("A", 8), kvhost::LocalTime()});
    Seen seen;
    uint32_t timeIndex = ZVT::kNoValueIndex;
    const vantric::FieldBindingRequest requests[] = {
        {"LOCAL_TIME", &timeIndex, true, nullptr},
        {"NOT_THERE", &seen.field.index, true, nullptr},
        {nullptr, nullptr, false, nullptr},
    };
    std::ostringstream errors;
    EXPECT_TRUE(vantric::BindTraceCallback(&component, "S", requests, &seen, Record, errors));
    EXPECT_EQ(timeIndex, 0u);  // the only carried field
    EXPECT_EQ(seen.field.index, ZVT::kNoValueIndex);
}

}  // namespace
