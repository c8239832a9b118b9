// The plug-in must export GetCAInterface and nothing else of its own.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::vector<std::string> DefinedDynamicSymbols(const std::string& library) {
    std::vector<std::string> symbols;
    const std::string command = "nm -D --defined-only '" + library + "'";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return symbols;
    char line[4096];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::string text = line;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        const size_t space = text.rfind(' ');
        symbols.push_back(space == std::string::npos ? text : text.substr(space + 1));
    }
    ::pclose(pipe);
    return symbols;
}

TEST(PluginExports, OnlyGetCAInterface) {
    const std::vector<std::string> symbols = DefinedDynamicSymbols(VT_PLUGIN_PATH);
    ASSERT_FALSE(symbols.empty()) << "nm found nothing in " << VT_PLUGIN_PATH;
    std::vector<std::string> ours;
    for (const std::string& symbol : symbols) {
        // Sanitizer builds add their runtime's interface symbols.
        if (symbol.rfind("__asan", 0) == 0 || symbol.rfind("__ubsan", 0) == 0 ||
            symbol.rfind("__sanitizer", 0) == 0 || symbol.rfind("__lsan", 0) == 0)
            continue;
        ours.push_back(symbol);
    }
    EXPECT_EQ(ours, std::vector<std::string>{"GetCAInterface"});
}

}  // namespace
