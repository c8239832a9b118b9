// A text file of symbols for absolute addresses: a System.map or a copy of
// /proc/kallsyms ("address type name"), or a bare-metal symbol file ("name
// start end"). The format is told by which of the two the lines match.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantric::rcf {

class SymbolFile {
public:
    enum class Format { kAddressMap, kFunctionRanges };
    struct Symbol {
        uint64_t start = 0;
        uint64_t end = 0;  // exclusive
        std::string name;
    };

    // False with `problem` set when the file cannot be read or holds neither format.
    bool load(const std::string& path, std::string& problem);
    // Parses `text`; `name` only names the file in `problem`.
    bool parse(const std::string& name, const std::string& text, std::string& problem);

    // The symbol holding `address`, or null.
    const Symbol* find(uint64_t address) const;

    Format format() const { return format_; }
    const std::string& path() const { return path_; }
    size_t size() const { return symbols_.size(); }

private:
    std::string path_;
    Format format_ = Format::kAddressMap;
    std::vector<Symbol> symbols_;  // sorted by start, not overlapping
};

}  // namespace vantric::rcf
