// An event class: the view of one trace source's records that a mask of
// fields selects. Records are the source's own; a class only maps its value
// indexes (carried fields in ascending field index) to the slots of those
// fields, so one record serves every class of the source.
#pragma once

#include <cstdint>
#include <vector>

#include "host_abi.h"
#include "kv_field.h"

namespace kvhost {

class TraceSource;

class EventClass final : public ZVT::EventClass {
public:
    EventClass(TraceSource& source, uint32_t mask, std::vector<Field*> carried,
               std::vector<uint32_t> offsets);
    EventClass(const EventClass&) = delete;
    EventClass& operator=(const EventClass&) = delete;

    plexa::CAInterface* LookupInterface(const char* name, uint32_t minimumRevision,
                                        uint32_t* actualRevision) override;
    ZVT::EventFieldType* FieldOfValueIndex(uint32_t valueIndex) override;
    uint32_t GetValueIndex(const char* fieldName) override;
    uint32_t ValueOffset(uint32_t valueIndex) override;
    uint32_t RegisterCallback(ZVT::EventCallback callback, void* userData) override;

    uint32_t mask() const { return mask_; }
    uint32_t valueCount() const { return static_cast<uint32_t>(carried_.size()); }
    uint32_t callbackCount() const { return callbackCount_; }
    TraceSource& source() { return source_; }

private:
    TraceSource& source_;
    uint32_t mask_;
    std::vector<Field*> carried_;
    std::vector<uint32_t> offsets_;
    uint32_t callbackCount_ = 0;
};

}  // namespace kvhost
