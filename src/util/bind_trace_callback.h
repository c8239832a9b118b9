// Subscribes a callback to one trace source of a component: finds the
// source, binds the fields the callback reads, creates the event class and
// registers the callback. Every later read of a field goes through the value
// index stored here, so callbacks never look anything up by name.
#pragma once

#include <cstdint>
#include <ostream>
#include <vector>

#include "boundary/host_abi.h"

namespace vantric {

struct FieldBindingRequest {
    const char* name;
    uint32_t* indexDestination;  // receives the field's value index
    bool optional;               // a missing field is skipped without error
    uint32_t* typeDestination;   // receives the field's type code; may be null
};

// Explanations of failures are appended to `errors` without line ends. When
// `createdClass` is not null it receives the event class the callback was
// registered on, so callers can read value offsets once, at registration.
bool BindTraceCallback(ZVT::ComponentTraceInterface* trace, const char* sourceName,
                       const std::vector<FieldBindingRequest>& requests, void* userData,
                       ZVT::EventCallback callback, std::ostream& errors,
                       ZVT::EventClass** createdClass = nullptr);

// The same with the requests as an array ended by a request whose name is null.
bool BindTraceCallback(ZVT::ComponentTraceInterface* trace, const char* sourceName,
                       const FieldBindingRequest* requests, void* userData,
                       ZVT::EventCallback callback, std::ostream& errors,
                       ZVT::EventClass** createdClass = nullptr);

}  // namespace vantric
