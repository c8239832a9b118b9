// Register and memory access through a core's "plexa.SQOVI2" interface.
// Lookups walk the host's lists in small batches; reads are single host
// calls whose failure yields 0 rather than an error.
#include <cstring>

#include "os/os_driver.h"

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

uint32_t OSDriver::FindMemorySpace(plexa::SQOVI2* debug, std::string_view name) {
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

uint32_t OSDriver::FindRegister(plexa::SQOVI2* debug, uint32_t group, std::string_view name) {
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

uint32_t OSDriver::ReadRegister32(plexa::SQOVI2* debug, uint32_t reg) {
    uint8_t bytes[16];
    return ReadRegisterBytes(debug, reg, bytes) ? static_cast<uint32_t>(LittleEndian(bytes, 4))
                                                : 0;
}

uint64_t OSDriver::ReadRegister64(plexa::SQOVI2* debug, uint32_t reg) {
    uint8_t bytes[16];
    return ReadRegisterBytes(debug, reg, bytes) ? LittleEndian(bytes, 8) : 0;
}

uint32_t OSDriver::ReadMemory32(plexa::SQOVI2* debug, uint32_t space, uint64_t address) {
    uint8_t bytes[4] = {};
    return ReadUnits(debug, space, address, 1, 4, bytes)
               ? static_cast<uint32_t>(LittleEndian(bytes, 4))
               : 0;
}

uint64_t OSDriver::ReadMemory64(plexa::SQOVI2* debug, uint32_t space, uint64_t address) {
    uint8_t bytes[8] = {};
    return ReadUnits(debug, space, address, 8, 1, bytes) ? LittleEndian(bytes, 8) : 0;
}

std::string OSDriver::ReadTargetString(plexa::SQOVI2* debug, uint32_t space, uint64_t address,
                                       uint64_t maxLength) {
    std::string text;
    for (uint64_t i = 0; i < maxLength; ++i) {
        uint8_t byte = 0;
        if (!ReadUnits(debug, space, address + i, 1, 1, &byte) || byte == 0) break;
        text.push_back(static_cast<char>(byte));
    }
    return text;
}

}  // namespace vantric
