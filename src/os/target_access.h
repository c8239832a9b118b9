// Register and memory access through a core's "plexa.SQOVI2" interface,
// shared by every OS driver and by the trace core. Registers and memory
// spaces are found by name; reads are single host calls. A null `debug`
// behaves as a failing host, and no operation throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "boundary/host_abi.h"

namespace vantric {

class TargetAccess {
public:
    static constexpr uint32_t kNotFound = 0xFFFFFFFFu;
    // Every caller lists the registers of all groups.
    static constexpr uint32_t kAllGroups = 0xFFFFFFFFu;

    // Id of the memory space named exactly `name`, else kNotFound.
    static uint32_t FindMemorySpace(plexa::SQOVI2* debug, std::string_view name);
    // Number of the register named exactly `name` in `group`, else kNotFound.
    static uint32_t FindRegister(plexa::SQOVI2* debug, uint32_t group, std::string_view name);
    // Low 4 / 8 bytes of the register's value; 0 when the read fails.
    static uint32_t ReadRegister32(plexa::SQOVI2* debug, uint32_t reg);
    static uint64_t ReadRegister64(plexa::SQOVI2* debug, uint32_t reg);
    // Little-endian word at `address`; 0 when the read fails.
    static uint32_t ReadMemory32(plexa::SQOVI2* debug, uint32_t space, uint64_t address);
    static uint64_t ReadMemory64(plexa::SQOVI2* debug, uint32_t space, uint64_t address);
    // `count` single bytes in one host call; true only when all of them came.
    static bool ReadBytes(plexa::SQOVI2* debug, uint32_t space, uint64_t address, uint32_t count,
                          uint8_t* out);
    // Copies the bytes before the first NUL, at most `maxLength`, into `out`
    // (which has room for them), ending early at a failed read; gives their count.
    static size_t ReadText(plexa::SQOVI2* debug, uint32_t space, uint64_t address,
                           size_t maxLength, char* out);
};

}  // namespace vantric
