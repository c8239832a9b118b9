// The kernel's symbol list as the kernel build writes it (System.map: one
// "address type name" line per symbol) or as a running kernel lists it
// (/proc/kallsyms: the same columns, module symbols with a fourth
// "[module]" column). Only the kernel's own text symbols are kept; the
// driver needs the addresses of two kernel functions from it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vantric {

struct KernelSymbol {
    uint64_t address = 0;
    std::string name;
};

// Appends the text symbols (type T or t) of the file at `path` to `symbols`
// and sorts them by ascending address. Lines of other types are skipped;
// malformed lines are not checked. When the file cannot be opened, warns
// "Unable to open system map file <path>" on the Linux driver's console and
// returns false.
bool LoadSystemMap(const std::string& path, std::vector<KernelSymbol>& symbols);

// Reads one System.map or kallsyms line; true when it is a text symbol of
// the kernel itself, with `symbol` filled (the name may be empty when the
// line ends early).
bool ParseSystemMapLine(std::string_view line, KernelSymbol& symbol);

// Address of the first symbol, in the list's order, named exactly `name`;
// 0 when there is none.
uint64_t FindSymbol(const std::vector<KernelSymbol>& symbols, std::string_view name);

}  // namespace vantric
