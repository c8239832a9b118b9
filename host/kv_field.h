// Field descriptions of trace sources: the shape a test or component declares
// (FieldShape) and the host object the plug-in sees (Field, a ZVT::EventFieldType).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host_abi.h"

namespace kvhost {

struct EnumEntry {
    uint32_t value = 0;
    std::string name;
};

// One field as declared by a test or a simulated component. `size` is the
// value's size in bytes; `sizeFlags` lands in the upper 16 bits of Size(),
// where a host may keep flags that carry no size.
struct FieldShape {
    std::string name;
    uint32_t type = ZVT::UNSIGNED_INT;
    uint32_t size = 8;
    std::string description;
    std::vector<EnumEntry> constants;
    uint32_t sizeFlags = 0;
};

FieldShape Unsigned(std::string name, uint32_t size, std::string description = {});
FieldShape Signed(std::string name, uint32_t size, std::string description = {});
FieldShape Boolean(std::string name, std::string description = {});
FieldShape Enum(std::string name, uint32_t size, std::vector<EnumEntry> constants,
               std::string description = {});
FieldShape Float(std::string name, std::string description = {});
FieldShape Text(std::string name, std::string description = {});
// The event's time offset in scheduler ticks: SIGNED_INT of 8 bytes.
FieldShape LocalTime();

class Field final : public ZVT::EventFieldType {
public:
    Field(uint32_t index, FieldShape shape);
    Field(const Field&) = delete;
    Field& operator=(const Field&) = delete;

    plexa::CAInterface* LookupInterface(const char* name, uint32_t minimumRevision,
                                        uint32_t* actualRevision) override;
    uint32_t FieldIndex() override { return index_; }
    const char* Name() override { return shape_.name.c_str(); }
    const char* Description() override { return shape_.description.c_str(); }
    uint32_t TypeCode() override { return shape_.type; }
    uint32_t Size() override { return (shape_.size & 0xFFFFu) | (shape_.sizeFlags << 16); }
    uint32_t EnumConstantCount() override { return static_cast<uint32_t>(constants_.size()); }
    ZVT::EnumConstant EnumConstantAt(uint32_t index) override;

    uint32_t index() const { return index_; }
    const FieldShape& shape() const { return shape_; }
    uint32_t valueSize() const { return shape_.size & 0xFFFFu; }
    // Bytes of this field's slot in an event record: 8-byte aligned, at least 8.
    uint32_t slotSize() const;

private:
    uint32_t index_;
    FieldShape shape_;
    std::vector<ZVT::EnumConstant> constants_;  // names point into shape_.constants
};

}  // namespace kvhost
