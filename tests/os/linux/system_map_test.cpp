// System.map reading: only text symbols, sorted by address, first match wins.
#include "os/linux/system_map.h"

#include <gtest/gtest.h>

#include "kv_test_support.h"
#include "support/test_support.h"

namespace vantric {
namespace {

TEST(SystemMapTest, LinesOfTextTypesAreKept) {
    // The line and the symbol kept from it ("" when none).
    const std::pair<const char*, std::string> cases[] = {
        {"ffff800010019420 t __switch_to", "ffff800010019420 __switch_to"},
        {"  ffff800010019420   T\tname  trailing", "ffff800010019420 name"},
        {"c0008000 T stext\r", "c0008000 stext"}, {"0xc0008000 T stext", "c0008000 stext"},
        {"c0008000 T", "c0008000 "},              {"c0a0e2c0 D init_task", ""},
        {"c0b00000 B __bss_start", ""},           {"5b1f6a3c A __crc_release_task", ""},
        {"c0600040 r linux_banner", ""},          {"c0600040 W weak_fn", ""},
        {"", ""},                                 {"T stext", ""},
        {"10000000000000000 T too_wide", ""},
        // /proc/kallsyms: module symbols are not the kernel's.
        {"ffff800008a1c000 t nf_hook\t[nf_tables]", ""}, {"ffff800008a1c000 T nf_hook [x]", ""},
        {"ffff800008010000 T _stext", "ffff800008010000 _stext"},
    };
    for (const auto& [line, kept] : cases) {
        KernelSymbol symbol;
        std::ostringstream got;
        if (ParseSystemMapLine(line, symbol)) got << std::hex << symbol.address << " " << symbol.name;
        EXPECT_EQ(got.str(), kept) << line;
    }
}

TEST(SystemMapTest, FileIsFilteredSortedAndSearchedInAddressOrder) {
    testing::TempDirectory dir;
    const std::string path = dir.write("System.map", "c0108b00 T __switch_to\r\nc0a0e2c0 D init_task\r\n\r\n"
                                                     "c0008000 T stext\r\nc0108a40 t __switch_to\r\n"
                                                     "c0100000 B release_task\r\nc0108a40 T later\n");
    std::vector<KernelSymbol> symbols;
    kvhost::StreamCapture console;
    ASSERT_TRUE(LoadSystemMap(path, symbols));
    std::vector<std::pair<uint64_t, std::string>> got;
    for (const auto& s : symbols) got.emplace_back(s.address, s.name);
    const std::vector<std::pair<uint64_t, std::string>> expected = {
        {0xc0008000, "stext"}, {0xc0108a40, "__switch_to"}, {0xc0108a40, "later"}, {0xc0108b00, "__switch_to"}};
    EXPECT_EQ(got, expected);
    EXPECT_EQ(FindSymbol(symbols, "__switch_to"), 0xc0108a40u);  // the lower of two
    EXPECT_EQ(FindSymbol(symbols, "release_task"), 0u);          // type B is not text
    EXPECT_EQ(FindSymbol(symbols, "__switch_t"), 0u);
    const std::string missing = (dir.path() / "no-such.map").string();
    EXPECT_FALSE(LoadSystemMap(missing, symbols));
    EXPECT_FALSE(LoadSystemMap(dir.path().string(), symbols));
    EXPECT_EQ(console.err(), "WARN (Linux driver) Unable to open system map file " + missing +
                                 "\nWARN (Linux driver) Unable to open system map file " +
                                 dir.path().string() + " : it is a directory\n");
}

}  // namespace
}  // namespace vantric
