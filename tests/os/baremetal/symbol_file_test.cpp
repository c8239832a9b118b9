#include "os/baremetal/symbol_file.h"

#include <gtest/gtest.h>

#include <sstream>

namespace vantric {
namespace {

TEST(SymbolFile, Lines) {
    const struct {
        const char* text;
        const char* table;  // "key name symbolId end;" per entry, in key order
    } cases[] = {
        {"main 1000 10ff\n", "1000 main 1 10ff;"},
        {"main 0x1000 0X10FF", "1000 main 1 10ff;"},  // 0x prefixes and upper case
        {"f 2001 20ff\n", "2000 f 1 20ff;"},          // Thumb bit cleared in the key only
        // Line numbers count every line; a later line with the same key replaces the earlier.
        {"a 10 1f\n\n# comment\nb 20 2f\n", "10 a 1 1f;20 b 4 2f;"},
        {"a 10 1f\nb 11 3f\n", "10 b 2 3f;"},
        // Extra fields ignored, tabs and CR LF accepted.
        {"a\t10  1f extra words\r\nb 20 2f\r\n", "10 a 1 1f;20 b 2 2f;"},
        // Incomplete or malformed lines add nothing.
        {"name_only\nn 12\nn zz 10\nn 10 zz\nn 12345678901234567 1\nn 0x 1\nok 30 3f", "30 ok 7 3f;"},
        {"top ffffffffffffffff ffffffffffffffff", "fffffffffffffffe top 1 ffffffffffffffff;"},
        {"", ""},
    };
    for (const auto& c : cases) {
        std::istringstream in(c.text);
        FunctionTable table;
        ReadSymbols(in, table);
        std::ostringstream out;
        for (const auto& [key, symbol] : table) {
            out << std::hex << key << " " << symbol.name << " " << std::dec << symbol.symbolId << " "
                << std::hex << symbol.end << ";";
        }
        EXPECT_EQ(out.str(), c.table) << c.text;
    }
    FunctionTable table;
    EXPECT_FALSE(ReadSymbolFile("/nonexistent/dir/app.sym", table));
    EXPECT_TRUE(table.empty());
}

}  // namespace
}  // namespace vantric
