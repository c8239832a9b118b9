// Fuzz target of the System.map reader. The input is the file.
//
// Checked: every line parses as a reference reading of the format says
// (address, 't' or 'T', name, and no "[module]" column after it; the address
// at most 16 significant hex digits with an optional 0x); a parsed symbol
// written back out parses the same; LoadSystemMap gives exactly the lines'
// text symbols, after those already in the list, in a stable ascending order
// by address; FindSymbol gives the first address of each name and 0 for a
// name no line can hold.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "os/linux/system_map.h"
#include "scratch_files.h"

namespace {

using vantric::KernelSymbol;

void Check(bool holds) {
    if (!holds) std::abort();
}

constexpr std::string_view kBlanks = " \t\n\r\v\f";

std::string_view TrimLeft(std::string_view text) {
    const size_t first = text.find_first_not_of(kBlanks);
    return first == std::string_view::npos ? std::string_view() : text.substr(first);
}

bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

uint64_t HexValue(char c) {
    return static_cast<uint64_t>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
}

// The line read by the format's description rather than by the parser's steps.
bool ReferenceLine(std::string_view line, KernelSymbol& symbol) {
    std::string_view rest = TrimLeft(line);
    if (rest.size() > 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X') && IsHex(rest[2])) {
        rest.remove_prefix(2);
    }
    const size_t digits = std::find_if_not(rest.begin(), rest.end(), IsHex) - rest.begin();
    if (digits == 0) return false;
    std::string_view number = rest.substr(0, digits);
    const size_t firstSignificant = number.find_first_not_of('0');
    number = firstSignificant == std::string_view::npos ? std::string_view()
                                                        : number.substr(firstSignificant);
    if (number.size() > 16) return false;
    uint64_t address = 0;
    for (char c : number) address = address * 16 + HexValue(c);
    rest = TrimLeft(rest.substr(digits));
    if (rest.empty() || (rest[0] != 't' && rest[0] != 'T')) return false;
    rest = TrimLeft(rest.substr(1));
    const std::string_view name = rest.substr(0, rest.find_first_of(kBlanks));
    // A fourth "[module]" column: a loadable module's symbol (kallsyms).
    if (TrimLeft(rest.substr(name.size())).starts_with('[')) return false;
    symbol.address = address;
    symbol.name = std::string(name);
    return true;
}

bool Same(const KernelSymbol& a, const KernelSymbol& b) {
    return a.address == b.address && a.name == b.name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    // Lines as std::getline splits them: no empty line after a final '\n'.
    std::vector<KernelSymbol> expected = {{0x1000, "listed_before"}};
    for (size_t start = 0; start < input.size();) {
        const size_t end = std::min(input.find('\n', start), input.size());
        const std::string_view line = input.substr(start, end - start);
        start = end + 1;

        KernelSymbol parsed;
        KernelSymbol reference;
        const bool accepted = vantric::ParseSystemMapLine(line, parsed);
        Check(accepted == ReferenceLine(line, reference));
        if (!accepted) continue;
        Check(Same(parsed, reference));
        expected.push_back(parsed);

        char address[24];
        std::snprintf(address, sizeof address, "%llx",
                      static_cast<unsigned long long>(parsed.address));
        KernelSymbol again;
        Check(vantric::ParseSystemMapLine(std::string(address) + " t " + parsed.name, again));
        Check(Same(again, parsed));
    }
    std::stable_sort(
        expected.begin(), expected.end(),
        [](const KernelSymbol& a, const KernelSymbol& b) { return a.address < b.address; });

    const std::filesystem::path path = vantric::fuzzing::ScratchDirectory() / "System.map";
    vantric::fuzzing::WriteFile(path, input);
    std::vector<KernelSymbol> loaded = {{0x1000, "listed_before"}};
    Check(vantric::LoadSystemMap(path.string(), loaded));
    Check(loaded.size() == expected.size());
    for (size_t i = 0; i < loaded.size(); ++i) Check(Same(loaded[i], expected[i]));

    // Bounded: the first names of the list are enough to find a wrong answer.
    for (size_t i = 0; i < loaded.size() && i < 64; ++i) {
        const auto first = std::find_if(loaded.begin(), loaded.end(), [&](const KernelSymbol& s) {
            return s.name == loaded[i].name;
        });
        Check(vantric::FindSymbol(loaded, loaded[i].name) == first->address);
    }
    Check(vantric::FindSymbol(loaded, "no such symbol") == 0);
    return 0;
}
