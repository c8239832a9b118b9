#include "rcf/profile/symbol_file.h"

#include <gtest/gtest.h>

namespace vantric::rcf {
namespace {

// How a file's text is recognised, or why it is refused.
TEST(SymbolFile, RecognisesTheFormatOrSaysWhyNot) {
    struct Case {
        const char* text;
        const char* outcome;  // "map", "ranges" or the problem after "f: "
    };
    const Case cases[] = {
        {"ffff800010019420 T __switch_to\nffff800010030000 T __schedule\n", "map"},
        {"ffffffff81000000 T _text\nffffffff81001000 t x\t[mod]\n", "map"},
        {"adc_read 80500 80620\nclamp 0x80640 0x80760\n# comment\n", "ranges"},
        {"", "neither a System.map (address type name) nor a symbol file (name start end)"},
        {"0000000000000000 T a\n0000000000000000 T b\n", "every address is 0 (read /proc/kallsyms as root)"},
        {"ffff0000 D data\n", "no text symbols (type T, t, W or w)"},
        // Both readings fit one line each: refused rather than guessed.
        {"abc b abd\n", "its lines read as a System.map and as a symbol file alike"},
    };
    for (const Case& c : cases) {
        SymbolFile file;
        std::string problem;
        const bool ok = file.parse("f", c.text, problem);
        const std::string seen = !ok ? problem.substr(3)
                                 : file.format() == SymbolFile::Format::kAddressMap ? "map" : "ranges";
        EXPECT_EQ(seen, c.outcome) << c.text;
    }
}

// Address -> symbol name ("" for none) at the edges of each symbol.
TEST(SymbolFile, FindsTheSymbolHoldingAnAddress) {
    const std::string map =
        "ffff0000 T first\nffff0000 T alias\nffff0100 t second\nffff0180 W weak\n"
        "ffff0200 R rodata\n00001000 A absolute\n";
    const std::string ranges = "thumb 80001 80010\nlater 80100 80200\nlater2 80100 80180\n";
    const std::vector<std::tuple<const std::string*, uint64_t, const char*>> cases = {
        {&map, 0xfffeffff, ""},        {&map, 0xffff0000, "first"}, {&map, 0xffff00ff, "first"},
        {&map, 0xffff0100, "second"},  {&map, 0xffff017f, "second"}, {&map, 0xffff0180, "weak"},
        {&map, 0xffff0200, ""},        {&map, 0x1000, ""},
        {&ranges, 0x80000, "thumb"},   {&ranges, 0x8000f, "thumb"},   {&ranges, 0x80010, ""},
        {&ranges, 0x80100, "later2"},  {&ranges, 0x8017f, "later2"},  {&ranges, 0x80180, ""},
    };
    for (const auto& [text, address, name] : cases) {
        SymbolFile file;
        std::string problem;
        ASSERT_TRUE(file.parse("f", *text, problem)) << problem;
        const SymbolFile::Symbol* found = file.find(address);
        EXPECT_EQ(found ? found->name : "", name) << std::hex << address;
    }
}

}  // namespace
}  // namespace vantric::rcf
