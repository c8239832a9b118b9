// The functions of a bare-metal application, read from symbol files with one
// function per line: "name start end", both addresses in hexadecimal.
#pragma once

#include <cstdint>
#include <istream>
#include <map>
#include <string>

namespace vantric {

struct FunctionSymbol {
    std::string name;
    uint32_t symbolId = 0;  // 1-based line of the function in its symbol file
    uint64_t end = 0;       // end address as written in the file
};

// Keyed by the start address with bit 0 (the Thumb bit) cleared. Entries are
// never removed, so pointers to them stay valid for the table's lifetime.
using FunctionTable = std::map<uint64_t, FunctionSymbol>;

// Adds every function of `in` to `functions`; a later line with the same key
// replaces the earlier one. A line adds a function only when it starts with
// a name followed by two hexadecimal numbers (an optional "0x" prefix, at
// most 16 digits); anything after the third field is ignored. Other lines
// (blank lines, comments, missing or malformed addresses) add nothing but
// still count for the line numbers of the lines after them.
void ReadSymbols(std::istream& in, FunctionTable& functions);

// The same for the file at `path`; false when it cannot be opened.
bool ReadSymbolFile(const std::string& path, FunctionTable& functions);

}  // namespace vantric
