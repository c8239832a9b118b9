#include "kernel_layout/elf_sections.h"

#include <cstring>

#include "kernel_layout/little_endian.h"

namespace vantric::layout {
namespace {

constexpr uint32_t kNoBits = 8;  // SHT_NOBITS: the section has no bytes in the file

// The fields of one section header, for either class.
struct SectionHeader {
    uint32_t name;
    uint32_t type;
    uint64_t offset;
    uint64_t size;
    uint32_t link;
};

SectionHeader ReadHeader(const uint8_t* p, bool is64) {
    if (is64) return {Le32(p), Le32(p + 4), Le64(p + 24), Le64(p + 32), Le32(p + 40)};
    return {Le32(p), Le32(p + 4), Le32(p + 16), Le32(p + 20), Le32(p + 24)};
}

}  // namespace

bool IsElf(std::span<const uint8_t> bytes) {
    return bytes.size() >= 4 && std::memcmp(bytes.data(),
                                            "\x7f"
                                            "ELF",
                                            4) == 0;
}

unsigned ElfClass(std::span<const uint8_t> bytes) {
    if (!IsElf(bytes) || bytes.size() < 6 || bytes[5] != 1) return 0;
    return bytes[4] == 2 ? 64 : bytes[4] == 1 ? 32 : 0;
}

bool FindElfSection(std::span<const uint8_t> bytes, std::string_view name, ElfSection& section,
                    std::string& error) {
    const auto fail = [&](const std::string& what) {
        error = "ELF: " + what;
        return false;
    };
    if (bytes.size() < 6) return fail("file cut short in its identification");
    if (bytes[5] == 2) return fail("big-endian files are not supported");
    const unsigned elfClass = ElfClass(bytes);
    if (elfClass == 0) return fail("unknown class or byte order");
    const bool is64 = elfClass == 64;
    const size_t headerSize = is64 ? 64 : 52, entryMinimum = is64 ? 64 : 40;
    if (bytes.size() < headerSize) return fail("file header cut short");
    const uint8_t* p = bytes.data();
    const uint64_t tableOffset = is64 ? Le64(p + 40) : Le32(p + 32);
    const uint64_t entrySize = Le16(p + (is64 ? 58 : 46));
    uint64_t count = Le16(p + (is64 ? 60 : 48));
    uint64_t namesIndex = Le16(p + (is64 ? 62 : 50));
    if (tableOffset == 0) return fail("no section header table");
    if (entrySize < entryMinimum)
        return fail("section header size " + std::to_string(entrySize) + " is too small");
    if (tableOffset > bytes.size() || bytes.size() - tableOffset < entrySize)
        return fail("section header table lies past the end of the file");
    // Large counts and indexes live in section 0.
    const SectionHeader first = ReadHeader(p + tableOffset, is64);
    if (count == 0) count = first.size;
    if (namesIndex == 0xFFFF) namesIndex = first.link;
    if (count > (bytes.size() - tableOffset) / entrySize)
        return fail(std::to_string(count) + " section headers do not fit in the file");
    if (namesIndex >= count)
        return fail("section name table index " + std::to_string(namesIndex) + " is out of range");
    const auto header = [&](uint64_t index) { return ReadHeader(p + tableOffset + index * entrySize, is64); };
    const SectionHeader names = header(namesIndex);
    if (names.offset > bytes.size() || bytes.size() - names.offset < names.size)
        return fail("section name table lies past the end of the file");
    const std::string_view nameTable(reinterpret_cast<const char*>(p + names.offset), names.size);
    for (uint64_t i = 0; i < count; ++i) {
        const SectionHeader candidate = header(i);
        if (candidate.name >= nameTable.size()) continue;
        const std::string_view rest = nameTable.substr(candidate.name);
        if (rest.substr(0, rest.find('\0')) != name) continue;
        if (candidate.type == kNoBits)
            return fail("section " + std::string(name) + " has no contents in the file");
        if (candidate.offset > bytes.size() || bytes.size() - candidate.offset < candidate.size)
            return fail("section " + std::string(name) + " lies past the end of the file");
        section = {static_cast<size_t>(candidate.offset), static_cast<size_t>(candidate.size)};
        return true;
    }
    return fail("no " + std::string(name) + " section (the kernel needs CONFIG_DEBUG_INFO_BTF=y)");
}

}  // namespace vantric::layout
