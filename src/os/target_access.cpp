// Lookups walk the host's lists in small batches; a failed read yields 0
// rather than an error.
#include "os/target_access.h"

#include <cstring>

namespace vantric {
namespace {

constexpr uint32_t kRegisterBatch = 16;
constexpr uint32_t kMemorySpaceBatch = 4;

// Host names are fixed-size fields; do not trust them to hold a NUL.
template <size_t N>
bool SameName(const char (&field)[N], std::string_view name) {
    return std::string_view(field, strnlen(field, N)) == name;
}

bool ReadRegisterBytes(plexa::SQOVI2* debug, uint32_t reg, uint8_t (&bytes)[16]) {
    plexa::SQOVIRegisterValue value{};
    value.number = reg;
    value.chunkIndex = 0;
    uint32_t read = 0;
    if (debug == nullptr || debug->ReadRegisters(1, &value, &read, false) != plexa::kStatusOk ||
        read != 1) {
        return false;
    }
    std::memcpy(bytes, value.bytes, sizeof bytes);
    return true;
}

uint64_t LittleEndian(const uint8_t* bytes, unsigned count) {
    uint64_t value = 0;
    for (unsigned i = count; i-- > 0;) value = (value << 8) | bytes[i];
    return value;
}

// Reads `units` units of `unitSize` bytes; true only when all were read.
bool ReadUnits(plexa::SQOVI2* debug, uint32_t space, uint64_t address, uint32_t units,
               uint32_t unitSize, uint8_t* data) {
    if (debug == nullptr) return false;
    plexa::SQOVIAddress start{};
    start.memorySpace = space;
    start.address = address;
    uint32_t read = 0;
    return debug->ReadMemory(start, units, unitSize, data, &read, false) == plexa::kStatusOk &&
           read == units;
}

}  // namespace

uint32_t TargetAccess::FindMemorySpace(plexa::SQOVI2* debug, std::string_view name) {
    if (debug == nullptr) return kNotFound;
    plexa::SQOVIMemorySpaceInfo spaces[kMemorySpaceBatch];
    for (uint32_t start = 0;; start += kMemorySpaceBatch) {
        uint32_t count = 0;
        if (debug->ListMemorySpaces(start, kMemorySpaceBatch, &count, spaces) !=
                plexa::kStatusOk ||
            count == 0) {
            return kNotFound;
        }
        if (count > kMemorySpaceBatch) count = kMemorySpaceBatch;
        for (uint32_t i = 0; i < count; ++i) {
            if (SameName(spaces[i].name, name)) return spaces[i].id;
        }
        if (start > UINT32_MAX - kMemorySpaceBatch) return kNotFound;
    }
}

uint32_t TargetAccess::FindRegister(plexa::SQOVI2* debug, uint32_t group, std::string_view name) {
    if (debug == nullptr) return kNotFound;
    plexa::SQOVIRegisterInfo registers[kRegisterBatch];
    for (uint32_t start = 0;; start += kRegisterBatch) {
        uint32_t count = 0;
        if (debug->ListRegisters(group, start, kRegisterBatch, &count, registers) !=
                plexa::kStatusOk ||
            count == 0) {
            return kNotFound;
        }
        if (count > kRegisterBatch) count = kRegisterBatch;
        for (uint32_t i = 0; i < count; ++i) {
            if (SameName(registers[i].name, name)) return registers[i].number;
        }
        if (start > UINT32_MAX - kRegisterBatch) return kNotFound;
    }
}

uint32_t TargetAccess::ReadRegister32(plexa::SQOVI2* debug, uint32_t reg) {
    uint8_t bytes[16];
    return ReadRegisterBytes(debug, reg, bytes) ? static_cast<uint32_t>(LittleEndian(bytes, 4))
                                                : 0;
}

uint64_t TargetAccess::ReadRegister64(plexa::SQOVI2* debug, uint32_t reg) {
    uint8_t bytes[16];
    return ReadRegisterBytes(debug, reg, bytes) ? LittleEndian(bytes, 8) : 0;
}

uint32_t TargetAccess::ReadMemory32(plexa::SQOVI2* debug, uint32_t space, uint64_t address) {
    uint8_t bytes[4] = {};
    return ReadUnits(debug, space, address, 1, 4, bytes)
               ? static_cast<uint32_t>(LittleEndian(bytes, 4))
               : 0;
}

uint64_t TargetAccess::ReadMemory64(plexa::SQOVI2* debug, uint32_t space, uint64_t address) {
    uint8_t bytes[8] = {};
    return ReadUnits(debug, space, address, 8, 1, bytes) ? LittleEndian(bytes, 8) : 0;
}

bool TargetAccess::ReadBytes(plexa::SQOVI2* debug, uint32_t space, uint64_t address,
                             uint32_t count, uint8_t* out) {
    return ReadUnits(debug, space, address, count, 1, out);
}

size_t TargetAccess::ReadText(plexa::SQOVI2* debug, uint32_t space, uint64_t address,
                              size_t maxLength, char* out) {
    size_t length = 0;
    for (; length < maxLength; ++length) {
        uint8_t byte = 0;
        if (!ReadUnits(debug, space, address + length, 1, 1, &byte) || byte == 0) break;
        out[length] = static_cast<char>(byte);
    }
    return length;
}

}  // namespace vantric
