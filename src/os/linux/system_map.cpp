#include "os/linux/system_map.h"

#include <algorithm>
#include <fstream>

#include "os/linux/linux_messages.h"
#include "platform/platform.h"

namespace vantric {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

void SkipBlanks(std::string_view line, size_t& pos) {
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A hexadecimal unsigned 64-bit number, with an optional 0x prefix.
bool HexNumber(std::string_view line, size_t& pos, uint64_t& value) {
    SkipBlanks(line, pos);
    if (pos + 1 < line.size() && line[pos] == '0' && (line[pos + 1] == 'x' || line[pos + 1] == 'X') &&
        pos + 2 < line.size() && HexDigit(line[pos + 2]) >= 0) {
        pos += 2;
    }
    size_t digits = 0;
    uint64_t result = 0;
    for (; pos < line.size() && HexDigit(line[pos]) >= 0; ++pos, ++digits) {
        if (result >> 60 != 0) return false;  // a 17th significant digit
        result = (result << 4) | static_cast<uint64_t>(HexDigit(line[pos]));
    }
    value = result;
    return digits != 0;
}

}  // namespace

bool ParseSystemMapLine(std::string_view line, KernelSymbol& symbol) {
    size_t pos = 0;
    uint64_t address = 0;
    if (!HexNumber(line, pos, address)) return false;
    SkipBlanks(line, pos);
    if (pos == line.size()) return false;
    const char type = line[pos++];
    if (type != 'T' && type != 't') return false;
    SkipBlanks(line, pos);
    const size_t start = pos;
    while (pos < line.size() && !IsBlank(line[pos])) ++pos;
    const size_t end = pos;
    // /proc/kallsyms names a loadable module's symbols in a fourth column;
    // they are not the kernel's own.
    SkipBlanks(line, pos);
    if (pos < line.size() && line[pos] == '[') return false;
    symbol.address = address;
    symbol.name.assign(line.substr(start, end - start));
    return true;
}

bool LoadSystemMap(const std::string& path, std::vector<KernelSymbol>& symbols) {
    if (platform::IsDirectory(path)) {
        LinuxWarning(std::string(kSystemMapOpenWarning) + path + " : it is a directory");
        return false;
    }
    std::ifstream file(path);
    if (!file) {
        LinuxWarning(std::string(kSystemMapOpenWarning) + path);
        return false;
    }
    std::string line;
    KernelSymbol symbol;
    while (std::getline(file, line)) {
        if (ParseSystemMapLine(line, symbol)) symbols.push_back(symbol);
    }
    // Stable, so that equal addresses keep their order in the file.
    std::stable_sort(symbols.begin(), symbols.end(),
                     [](const KernelSymbol& a, const KernelSymbol& b) { return a.address < b.address; });
    return true;
}

uint64_t FindSymbol(const std::vector<KernelSymbol>& symbols, std::string_view name) {
    for (const KernelSymbol& symbol : symbols) {
        if (symbol.name == name) return symbol.address;
    }
    return 0;
}

}  // namespace vantric
