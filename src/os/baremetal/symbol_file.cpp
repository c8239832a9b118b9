#include "os/baremetal/symbol_file.h"

#include <fstream>
#include <sstream>
#include <string_view>

#include "platform/platform.h"

namespace vantric {
namespace {

bool ParseHex(std::string_view text, uint64_t& value) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
    }
    if (text.empty() || text.size() > 16) return false;
    value = 0;
    for (char c : text) {
        unsigned digit;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            return false;
        }
        value = (value << 4) | digit;
    }
    return true;
}

}  // namespace

void ReadSymbols(std::istream& in, FunctionTable& functions) {
    std::string line;
    uint32_t lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        std::istringstream fields(line);
        std::string name;
        std::string startText;
        std::string endText;
        uint64_t start = 0;
        uint64_t end = 0;
        if (!(fields >> name >> startText >> endText) || !ParseHex(startText, start) ||
            !ParseHex(endText, end)) {
            continue;
        }
        FunctionSymbol& symbol = functions[start & ~uint64_t{1}];
        symbol.name = std::move(name);
        symbol.symbolId = lineNumber;
        symbol.end = end;
    }
}

bool ReadSymbolFile(const std::string& path, FunctionTable& functions) {
    if (platform::IsDirectory(path)) return false;  // it opens, then every read throws
    std::ifstream in(path);
    if (!in.is_open()) return false;
    ReadSymbols(in, functions);
    return true;
}

}  // namespace vantric
