#include "kv_event_class.h"

#include <utility>

#include "kv_trace_source.h"

namespace kvhost {

EventClass::EventClass(TraceSource& source, uint32_t mask, std::vector<Field*> carried,
                       std::vector<uint32_t> offsets)
    : source_(source), mask_(mask), carried_(std::move(carried)), offsets_(std::move(offsets)) {}

plexa::CAInterface* EventClass::LookupInterface(const char*, uint32_t, uint32_t*) {
    return nullptr;  // an event class answers no interface names
}

ZVT::EventFieldType* EventClass::FieldOfValueIndex(uint32_t valueIndex) {
    return valueIndex < carried_.size() ? carried_[valueIndex] : nullptr;
}

uint32_t EventClass::GetValueIndex(const char* fieldName) {
    if (fieldName == nullptr) return ZVT::kNoValueIndex;
    for (uint32_t i = 0; i < carried_.size(); ++i) {
        if (carried_[i]->shape().name == fieldName) return i;
    }
    return ZVT::kNoValueIndex;
}

uint32_t EventClass::ValueOffset(uint32_t valueIndex) {
    return valueIndex < offsets_.size() ? offsets_[valueIndex] : ZVT::kNoValueIndex;
}

uint32_t EventClass::RegisterCallback(ZVT::EventCallback callback, void* userData) {
    if (callback == nullptr) return plexa::kStatusNullArgument;
    if (!source_.AddCallback(*this, callback, userData)) return plexa::kStatusFailure;
    ++callbackCount_;
    return plexa::kStatusOk;
}

}  // namespace kvhost
