#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "os/baremetal/symbol_file.h"

namespace vantric {
namespace {

// The table as "key name symbolId end" entries, in key order.
std::string Render(const FunctionTable& table) {
    std::ostringstream out;
    out << std::hex;
    for (const auto& [key, symbol] : table) {
        out << key << " " << symbol.name << " " << std::dec << symbol.symbolId << std::hex << " "
            << symbol.end << ";";
    }
    return out.str();
}

TEST(ReadSymbols, Lines) {
    const struct {
        const char* what;
        const char* text;
        const char* table;
    } cases[] = {
        {"plain", "main 1000 10ff\n", "1000 main 1 10ff;"},
        {"0x prefixes and upper case", "main 0x1000 0X10FF", "1000 main 1 10ff;"},
        {"Thumb bit cleared in the key only", "f 2001 20ff\n", "2000 f 1 20ff;"},
        {"line numbers count every line", "a 10 1f\n\n# comment\nb 20 2f\n",
         "10 a 1 1f;20 b 4 2f;"},
        {"a later line with the same key replaces the earlier", "a 10 1f\nb 11 3f\n",
         "10 b 2 3f;"},
        {"extra fields ignored, tabs and CR LF accepted", "a\t10  1f extra words\r\nb 20 2f\r\n",
         "10 a 1 1f;20 b 2 2f;"},
        {"incomplete or malformed lines add nothing",
         "name_only\nn 12\nn zz 10\nn 10 zz\nn 12345678901234567 1\nn 0x 1\nok 30 3f",
         "30 ok 7 3f;"},
        {"largest address", "top ffffffffffffffff ffffffffffffffff",
         "fffffffffffffffe top 1 ffffffffffffffff;"},
        {"empty file", "", ""},
    };
    for (const auto& c : cases) {
        std::istringstream in(c.text);
        FunctionTable table;
        ReadSymbols(in, table);
        EXPECT_EQ(Render(table), c.table) << c.what;
    }
    FunctionTable table;
    EXPECT_FALSE(ReadSymbolFile("/nonexistent/dir/app.sym", table));
    EXPECT_TRUE(table.empty());
}

}  // namespace
}  // namespace vantric
