// The ELF files of the Linux scenario's sysroot: the writer's bytes read back
// field by field, and the workload's code files covered by functions.
#include "elf_writer.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>

#include "linux_workload.h"

namespace simhost {
namespace {

uint64_t Read(const std::string& bytes, size_t at, int size) {
    uint64_t v = 0;
    for (int i = size - 1; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(bytes.at(at + i));
    return v;
}

TEST(ElfWriter, WritesHeadersSegmentSymbolsAndSections) {
    ElfWriter elf(ElfWriter::kExecutable, 0x400000, 0x1000);
    elf.AddFunction("first", 0, 0x10);
    elf.AddFunction("last", 0xFF0, 0x10);
    const std::string b = elf.Bytes();
    // 64 header + 56 program header, 3 symbols at 120, "\0first\0last\0" at 192,
    // 33 bytes of section names at 204, 5 section headers at 240.
    ASSERT_EQ(b.size(), 240u + 5 * 64);
    EXPECT_EQ(b.substr(0, 7), std::string("\x7F" "ELF\x02\x01\x01", 7));
    EXPECT_EQ(Read(b, 16, 2), 2u);    // ET_EXEC
    EXPECT_EQ(Read(b, 18, 2), 183u);  // AArch64
    EXPECT_EQ(Read(b, 40, 8), 240u);  // section headers
    EXPECT_EQ(Read(b, 56, 2), 1u);
    EXPECT_EQ(Read(b, 60, 2), 5u);
    EXPECT_EQ(Read(b, 62, 2), 4u);
    // PT_LOAD, R+X: file offset 0 at 0x400000, 0x1000 bytes.
    EXPECT_EQ(Read(b, 64, 4), 1u);
    EXPECT_EQ(Read(b, 68, 4), 5u);
    EXPECT_EQ(Read(b, 72, 8), 0u);
    EXPECT_EQ(Read(b, 80, 8), 0x400000u);
    EXPECT_EQ(Read(b, 96, 8), 0x1000u);
    // Symbol 2: "last", global function in .text at its address.
    EXPECT_EQ(Read(b, 168, 4), 7u);
    EXPECT_EQ(Read(b, 172, 1), 0x12u);
    EXPECT_EQ(Read(b, 174, 2), 1u);
    EXPECT_EQ(Read(b, 176, 8), 0x400FF0u);
    EXPECT_EQ(Read(b, 184, 8), 0x10u);
    EXPECT_EQ(b.substr(192 + 7, 5), std::string("last\0", 5));
    // .text: named at 1, NOBITS, 0x1000 bytes at 0x400000; .symtab links .strtab.
    EXPECT_EQ(b.substr(204 + 1, 6), std::string(".text\0", 6));
    EXPECT_EQ(Read(b, 304, 4), 1u);
    EXPECT_EQ(Read(b, 308, 4), 8u);
    EXPECT_EQ(Read(b, 320, 8), 0x400000u);
    EXPECT_EQ(Read(b, 336, 8), 0x1000u);
    EXPECT_EQ(Read(b, 368 + 24, 8), 120u);  // .symtab offset
    EXPECT_EQ(Read(b, 368 + 32, 8), 72u);
    EXPECT_EQ(Read(b, 368 + 40, 4), 3u);

    elf.AddFunction("end", 0x1000, 0);
    EXPECT_THROW(elf.AddFunction("over", 0xFF0, 0x11), std::invalid_argument);
    EXPECT_THROW(elf.AddFunction("past", 0x1001, 0), std::invalid_argument);
    EXPECT_THROW(elf.AddFunction("", 0, 4), std::invalid_argument);
    EXPECT_THROW(ElfWriter(ElfWriter::kShared, 0x1000, 0x1000), std::invalid_argument);
}

TEST(LinuxWorkloadCodeFiles, FunctionsCoverEveryMappedCodeFile) {
    const LinuxWorkload w = LinuxWorkload::Standard();
    const auto files = w.CodeFiles();
    std::set<std::string> mapped;
    for (const auto& p : w.processes()) {
        mapped.insert(p.exe);
        mapped.insert(p.libraries.begin(), p.libraries.end());
    }
    ASSERT_EQ(files.size(), 11u);  // 4 programs, 7 libraries
    ASSERT_EQ(mapped.size(), 11u);
    EXPECT_EQ(files[0].path, "/usr/sbin/nginx");
    EXPECT_EQ(files[0].codeSize, 0x80000u);
    EXPECT_EQ(files[1].path, "/usr/lib/aarch64-linux-gnu/libc.so.6");
    EXPECT_EQ(files[1].codeSize, 0x180000u);
    ASSERT_EQ(files[0].functions.size(), 13u);
    EXPECT_EQ(files[0].functions[1].offset, 0x9D80u);  // 0x80000 / 13, 16-byte aligned
    for (const auto& file : files) {
        EXPECT_EQ(mapped.count(file.path), 1u) << file.path;
        ASSERT_FALSE(file.functions.empty()) << file.path;
        uint64_t next = 0;
        for (const auto& f : file.functions) {
            EXPECT_EQ(f.offset, next) << file.path << " " << f.name;
            EXPECT_GT(f.size, 0u) << f.name;
            EXPECT_EQ(f.offset % 16, 0u) << f.name;
            next = f.offset + f.size;
        }
        EXPECT_EQ(next, file.codeSize) << file.path;
    }
}

}  // namespace
}  // namespace simhost
