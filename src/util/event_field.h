// Reads one integer field of an event record with everything about the
// field (offset, size, signedness) fixed at registration, so a trace
// callback does one load and a mask per field.
#pragma once

#include <cstdint>
#include <cstring>

#include "boundary/host_abi.h"

namespace vantric {

struct EventField {
    // Value index, written by BindTraceCallback; stays "none" when an
    // optional field is absent.
    uint32_t index = ZVT::kNoValueIndex;
    uint32_t offset = ZVT::kNoValueIndex;  // byte offset in the record; none until resolved
    uint64_t mask = ~uint64_t{0};          // keeps the field's own bytes
    uint64_t signBit = 0;                  // set for narrow SIGNED_INT fields

    bool present() const { return offset != ZVT::kNoValueIndex; }

    // Fixes offset, size and signedness from the class the callback was
    // registered on.
    void resolve(ZVT::EventClass* eventClass) {
        offset = ZVT::kNoValueIndex;
        if (index == ZVT::kNoValueIndex || eventClass == nullptr) return;
        ZVT::EventFieldType* type = eventClass->FieldOfValueIndex(index);
        if (type == nullptr) return;
        offset = eventClass->ValueOffset(index);
        const uint32_t size = type->Size() & 0xFFFF;
        mask = size >= 8 || size == 0 ? ~uint64_t{0} : (uint64_t{1} << (8 * size)) - 1;
        signBit = type->TypeCode() == ZVT::SIGNED_INT && size < 8 && size > 0
                      ? uint64_t{1} << (8 * size - 1)
                      : 0;
    }

    // The value zero- or sign-extended to 64 bits, or `fallback` when absent.
    // Every value slot is at least 8 bytes and zero past the value.
    uint64_t read(const uint8_t* record, uint64_t fallback = 0) const {
        if (offset == ZVT::kNoValueIndex) return fallback;
        uint64_t value;
        std::memcpy(&value, record + offset, sizeof value);
        // Sign extension without a branch: with signBit 0 this is the identity.
        return ((value & mask) ^ signBit) - signBit;
    }
};

}  // namespace vantric
