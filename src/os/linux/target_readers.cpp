#include "os/linux/target_readers.h"

namespace vantric {
namespace {

// One debug-interface read of `units` single bytes; true only when all came.
bool ReadBytes(plexa::SQOVI2* debug, uint32_t space, uint64_t address, uint8_t* out,
               uint32_t units) {
    if (debug == nullptr) return false;
    plexa::SQOVIAddress where{};
    where.memorySpace = space;
    where.address = address;
    uint32_t got = 0;
    return debug->ReadMemory(where, units, 1, out, &got, false) == 0 && got == units;
}

}  // namespace

bool TargetStringReader::Read() {
    if (complete_) return true;
    for (uint32_t i = 0; i < maxLength_; ++i) {
        uint8_t byte = 0;
        if (!ReadBytes(debug_, memorySpace_, address_ + bytes_.size(), &byte, 1)) break;
        if (byte == 0 || bytes_.size() > maxLength_) {
            complete_ = true;
            break;
        }
        bytes_.push_back(static_cast<char>(byte));
    }
    return complete_;
}

bool TargetPointerArrayReader::Read() {
    if (complete_) return true;
    for (uint32_t i = 0; i < maxLength_; ++i) {
        uint8_t bytes[8] = {};
        if (!ReadBytes(debug_, memorySpace_, address_ + 8 * values_.size(), bytes, 8)) break;
        uint64_t value = 0;
        for (int b = 7; b >= 0; --b) value = value << 8 | bytes[b];
        if (value == 0 || values_.size() > maxLength_) {
            complete_ = true;
            break;
        }
        values_.push_back(value);
    }
    return complete_;
}

}  // namespace vantric
