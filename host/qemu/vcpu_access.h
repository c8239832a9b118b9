// What a vCPU's debug interface needs from the running guest: registers by
// their gdb numbers, memory through that vCPU's translation, physical
// memory, and the time. The gdb connection implements it; tests fake it.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace qemuhost {

class VcpuAccess {
public:
    virtual ~VcpuAccess() = default;
    // The register's bytes, little-endian, zero-filled; false when unreadable.
    virtual bool ReadRegister(uint32_t thread, uint32_t gdbNumber, std::array<uint8_t, 16>& value) = 0;
    // Bytes read up to the first unmapped or unreadable one.
    virtual size_t ReadVirtual(uint32_t thread, uint64_t address, std::span<uint8_t> out) = 0;
    virtual size_t ReadPhysical(uint64_t address, std::span<uint8_t> out) = 0;
    virtual uint64_t NowNanoseconds() = 0;
};

}  // namespace qemuhost
