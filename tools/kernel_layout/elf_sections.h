// Finds a named section in an ELF file (a vmlinux), checking every offset
// and count against the file before it is used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vantric::layout {

struct ElfSection {
    size_t offset = 0;
    size_t size = 0;
};

bool IsElf(std::span<const uint8_t> bytes);
// 32 or 64 for a little-endian ELF file, 0 otherwise.
unsigned ElfClass(std::span<const uint8_t> bytes);
// The section named `name`; false with `error` when the file is malformed,
// big-endian, or has no such section with contents.
bool FindElfSection(std::span<const uint8_t> bytes, std::string_view name, ElfSection& section,
                    std::string& error);

}  // namespace vantric::layout
