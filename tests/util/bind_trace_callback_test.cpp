#include "util/bind_trace_callback.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "kvhost.h"
#include "util/event_field.h"

namespace {

struct Seen {  // what the callback saw, through its user data
    vantric::EventField field;
    ZVT::EventClass* eventClass = nullptr;
    uint64_t lastValue = 0;
};

void Record(void* userData, ZVT::EventClass* eventClass, const uint8_t* record) {
    auto* seen = static_cast<Seen*>(userData);
    seen->eventClass = eventClass;
    seen->lastValue = seen->field.read(record);
}

// First through the null-terminated form of the requests.
TEST(BindTraceCallback, BindsFieldsDeliversAndRefusesAMissingField) {
    std::vector<kvhost::FieldShape> fields;  // 36 fields: field 35 must set bit 3 of the mask
    for (int i = 0; i < 35; ++i) fields.push_back(kvhost::Unsigned("F" + std::to_string(i), 4));
    fields.push_back(kvhost::Signed("LAST", 2));
    kvhost::Simulation simulation;
    kvhost::TraceComponent& component = simulation.AddTraceComponent("memory");
    kvhost::TraceSource& source = component.AddSource("WIDE", "", fields);
    Seen seen;
    uint32_t type = 99, missingIndex = 1234, missingType = 4321;
    const vantric::FieldBindingRequest requests[] = {
        {"LAST", &seen.field.index, true, &type}, {"ABSENT", &missingIndex, true, &missingType}, {}};
    std::ostringstream errors;
    ZVT::EventClass* created = nullptr;
    ASSERT_TRUE(vantric::BindTraceCallback(&component, "WIDE", requests, &seen, Record, errors, &created));
    EXPECT_EQ(errors.str(), "");
    EXPECT_EQ(type, uint32_t{ZVT::SIGNED_INT});
    EXPECT_EQ(missingIndex * 10000 + missingType, 12344321u);  // optional and absent: untouched
    EXPECT_EQ(created->GetValueIndex("F3"), 0u);  // mask bit 3: the class carries F3 and LAST

    seen.field.resolve(created);
    source.Emit({{"LAST", int64_t{-2}}});
    EXPECT_EQ(seen.eventClass, created);
    EXPECT_EQ(seen.lastValue, uint64_t(-2));  // 2-byte SIGNED_INT sign-extended

    // The vector form, with a required field missing. (The other failure texts
    // reach the console through the agents and counters, whose tests pin them.)
    kvhost::TraceSource& other = component.AddSource("S", "", {kvhost::Unsigned("A", 8)});
    const std::vector<vantric::FieldBindingRequest> required = {{"A", &type, false, nullptr}, {"B", &type, false, nullptr}};
    EXPECT_FALSE(vantric::BindTraceCallback(&component, "S", required, &seen, Record, errors));
    EXPECT_EQ(errors.str(), "No field B found in S trace source");
    EXPECT_EQ(other.eventClassCount(), 0u);
}

}  // namespace
