// One ELF file of the target: its function symbols (.symtab, else .dynsym),
// its loadable segments to turn file offsets into addresses, its build id
// and, where it has DWARF, the source line of an address (elfutils).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "rcf/profile/profile.h"

struct Elf;
struct Dwarf;

namespace vantric::rcf {

class ElfImage {
public:
    struct Found {
        Unresolved reason = Unresolved::kResolved;
        std::string function;
        std::string sourceFile;
        uint32_t line = 0;
    };

    ElfImage() = default;
    ~ElfImage();
    ElfImage(const ElfImage&) = delete;
    ElfImage& operator=(const ElfImage&) = delete;

    // kResolved when the file is an ELF file with function symbols; else why not.
    Unresolved open(const std::string& path);

    // The function and line at `offset` bytes into the file.
    Found lookup(uint64_t offset) const;

    const std::string& buildId() const { return buildId_; }
    bool hasLines() const { return dwarf_ != nullptr; }

private:
    struct Symbol {
        uint64_t start = 0;
        uint64_t end = 0;
        std::string name;
    };
    struct Segment {
        uint64_t offset = 0;
        uint64_t size = 0;
        uint64_t address = 0;
    };
    void readSymbols(bool dynamic);
    void close();

    int fd_ = -1;
    Elf* elf_ = nullptr;
    Dwarf* dwarf_ = nullptr;
    std::vector<Symbol> symbols_;  // sorted by start
    std::vector<Segment> segments_;
    std::string buildId_;
};

}  // namespace vantric::rcf
