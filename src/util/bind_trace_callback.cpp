#include "util/bind_trace_callback.h"

namespace vantric {
namespace {

// Works over any contiguous run of requests.
bool Bind(ZVT::ComponentTraceInterface* trace, const char* sourceName,
          const FieldBindingRequest* begin, const FieldBindingRequest* end, void* userData,
          ZVT::EventCallback callback, std::ostream& errors, ZVT::EventClass** createdClass) {
    ZVT::TraceSource* source = trace->FindTraceSource(sourceName);
    if (source == nullptr) {
        errors << "Could not find " << sourceName << " source";
        return false;
    }
    uint32_t mask = 0;
    for (const FieldBindingRequest* request = begin; request != end; ++request) {
        ZVT::EventFieldType* field = source->FindField(request->name);
        if (field == nullptr) {
            if (request->optional) continue;
            errors << "No field " << request->name << " found in " << sourceName
                   << " trace source";
            return false;
        }
        mask |= 1u << (field->FieldIndex() % 32);
        if (request->typeDestination != nullptr) *request->typeDestination = field->TypeCode();
    }
    ZVT::EventClass* eventClass = source->CreateEventClass(mask);
    if (eventClass == nullptr) {
        errors << "Unable to register event class for " << sourceName << " trace source.";
        return false;
    }
    for (const FieldBindingRequest* request = begin; request != end; ++request) {
        const uint32_t index = eventClass->GetValueIndex(request->name);
        if (index != ZVT::kNoValueIndex) {
            *request->indexDestination = index;
        } else if (!request->optional) {
            errors << "Unable to GetValueIndex for " << sourceName << "." << request->name << ".";
            return false;
        }
    }
    if (eventClass->RegisterCallback(callback, userData) != 0) {
        errors << "RegisterCallback failed for " << sourceName;
        return false;
    }
    if (createdClass != nullptr) *createdClass = eventClass;
    return true;
}

}  // namespace

bool BindTraceCallback(ZVT::ComponentTraceInterface* trace, const char* sourceName,
                       const std::vector<FieldBindingRequest>& requests, void* userData,
                       ZVT::EventCallback callback, std::ostream& errors,
                       ZVT::EventClass** createdClass) {
    return Bind(trace, sourceName, requests.data(), requests.data() + requests.size(), userData,
                callback, errors, createdClass);
}

bool BindTraceCallback(ZVT::ComponentTraceInterface* trace, const char* sourceName,
                       const FieldBindingRequest* requests, void* userData,
                       ZVT::EventCallback callback, std::ostream& errors,
                       ZVT::EventClass** createdClass) {
    const FieldBindingRequest* end = requests;
    while (end->name != nullptr) ++end;
    return Bind(trace, sourceName, requests, end, userData, callback, errors, createdClass);
}

}  // namespace vantric
