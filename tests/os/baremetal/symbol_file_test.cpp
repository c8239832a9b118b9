#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "os/baremetal/symbol_file.h"

namespace vantric {
namespace {

struct Expected {
    uint64_t key;
    std::string name;
    uint32_t symbolId;
    uint64_t end;
};

struct SymbolCase {
    const char* what;
    const char* text;
    std::vector<Expected> functions;
};

class ReadSymbolsTest : public ::testing::TestWithParam<SymbolCase> {};

TEST_P(ReadSymbolsTest, Functions) {
    const SymbolCase& c = GetParam();
    std::istringstream in(c.text);
    FunctionTable table;
    ReadSymbols(in, table);
    std::vector<Expected> actual;
    for (const auto& [key, symbol] : table) {
        actual.push_back({key, symbol.name, symbol.symbolId, symbol.end});
    }
    ASSERT_EQ(actual.size(), c.functions.size()) << c.what;
    for (size_t i = 0; i < actual.size(); ++i) {
        EXPECT_EQ(actual[i].key, c.functions[i].key) << c.what;
        EXPECT_EQ(actual[i].name, c.functions[i].name) << c.what;
        EXPECT_EQ(actual[i].symbolId, c.functions[i].symbolId) << c.what;
        EXPECT_EQ(actual[i].end, c.functions[i].end) << c.what;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ReadSymbolsTest,
    ::testing::Values(
        SymbolCase{"plain", "main 1000 10ff\n", {{0x1000, "main", 1, 0x10ff}}},
        SymbolCase{"0x prefixes and upper case", "main 0x1000 0X10FF",
                   {{0x1000, "main", 1, 0x10ff}}},
        SymbolCase{"Thumb bit cleared in the key, kept nowhere else",
                   "f 2001 20ff\n",
                   {{0x2000, "f", 1, 0x20ff}}},
        SymbolCase{"line numbers count every line",
                   "a 10 1f\n\n# comment\nb 20 2f\n",
                   {{0x10, "a", 1, 0x1f}, {0x20, "b", 4, 0x2f}}},
        SymbolCase{"a later line with the same key replaces the earlier",
                   "a 10 1f\nb 11 3f\n",
                   {{0x10, "b", 2, 0x3f}}},
        SymbolCase{"extra fields ignored, tabs and CR LF accepted",
                   "a\t10  1f extra words\r\nb 20 2f\r\n",
                   {{0x10, "a", 1, 0x1f}, {0x20, "b", 2, 0x2f}}},
        SymbolCase{"incomplete or malformed lines add nothing",
                   "name_only\nn 12\nn zz 10\nn 10 zz\nn 12345678901234567 1\nn 0x 1\nok 30 3f",
                   {{0x30, "ok", 7, 0x3f}}},
        SymbolCase{"largest address", "top ffffffffffffffff ffffffffffffffff",
                   {{0xfffffffffffffffe, "top", 1, 0xffffffffffffffff}}},
        SymbolCase{"empty file", "", {}}));

TEST(ReadSymbolFile, MissingFileIsReported) {
    FunctionTable table;
    EXPECT_FALSE(ReadSymbolFile("/nonexistent/dir/app.sym", table));
    EXPECT_TRUE(table.empty());
}

}  // namespace
}  // namespace vantric
