// Fuzz target of the bare-metal symbol files. The input is the file.
//
// Checked: the table holds exactly what a reference reading of the lines
// gives (a name and two hexadecimal numbers of at most 16 digits with an
// optional 0x, the start's bit 0 cleared for the key, a later line for the
// same key winning, 1-based line numbers counting every line); reading the
// file by its path gives the same table; entries already in the table stay
// unless a line replaces them.
#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "os/baremetal/symbol_file.h"
#include "scratch_files.h"

namespace {

using vantric::FunctionSymbol;
using vantric::FunctionTable;

void Check(bool holds) {
    if (!holds) std::abort();
}

constexpr std::string_view kBlanks = " \t\n\r\v\f";

bool Hex(std::string_view text, uint64_t& value) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
    }
    if (text.empty() || text.size() > 16) return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    return error == std::errc() && end == text.data() + text.size();
}

// The first three blank-separated words of a line.
std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    size_t at = line.find_first_not_of(kBlanks);
    while (at != std::string_view::npos && words.size() < 3) {
        const size_t end = std::min(line.find_first_of(kBlanks, at), line.size());
        words.push_back(line.substr(at, end - at));
        at = line.find_first_not_of(kBlanks, end);
    }
    return words;
}

bool Same(const FunctionTable& a, const FunctionTable& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](const auto& x, const auto& y) {
               return x.first == y.first && x.second.name == y.second.name &&
                      x.second.symbolId == y.second.symbolId && x.second.end == y.second.end;
           });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const FunctionTable before = {{0x100, {"kept_unless_replaced", 7, 0x1FF}}};

    FunctionTable expected = before;
    uint32_t lineNumber = 0;
    for (size_t start = 0; start < input.size();) {
        const size_t end = std::min(input.find('\n', start), input.size());
        const std::vector<std::string_view> words = Words(input.substr(start, end - start));
        start = end + 1;
        ++lineNumber;
        uint64_t first = 0;
        uint64_t last = 0;
        if (words.size() < 3 || !Hex(words[1], first) || !Hex(words[2], last)) continue;
        expected[first & ~uint64_t{1}] = {std::string(words[0]), lineNumber, last};
    }

    FunctionTable fromStream = before;
    std::istringstream in{std::string(input)};
    vantric::ReadSymbols(in, fromStream);
    Check(Same(fromStream, expected));

    const std::filesystem::path path = vantric::fuzzing::ScratchDirectory() / "app.sym";
    vantric::fuzzing::WriteFile(path, input);
    FunctionTable fromFile = before;
    Check(vantric::ReadSymbolFile(path.string(), fromFile));
    Check(Same(fromFile, expected));
    return 0;
}
