// A small 64-bit little-endian AArch64 ELF file that names the functions of
// a simulated target file, for tools that symbolize frames given as file
// offsets. Like a separated debug file it holds headers and symbols only:
// the loadable segment and .text describe the code (file offset 0 up to the
// code size) but carry no bytes, so the file stays small.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace simhost {

class ElfWriter {
public:
    static constexpr uint16_t kExecutable = 2;  // ET_EXEC
    static constexpr uint16_t kShared = 3;      // ET_DYN: libraries and PIE programs

    // Code spans file offsets [0, codeSize), loaded at `loadAddress`.
    ElfWriter(uint16_t type, uint64_t loadAddress, uint64_t codeSize);

    // A global function `size` bytes long at `offset` bytes into the code.
    void AddFunction(std::string name, uint64_t offset, uint64_t size);

    // The whole file: ELF header, one PT_LOAD, then .symtab, .strtab,
    // .shstrtab and the section headers (null, .text, .symtab, .strtab, .shstrtab).
    std::string Bytes() const;

private:
    struct Function {
        std::string name;
        uint64_t offset = 0;
        uint64_t size = 0;
    };

    uint16_t type_;
    uint64_t loadAddress_;
    uint64_t codeSize_;
    std::vector<Function> functions_;
};

}  // namespace simhost
