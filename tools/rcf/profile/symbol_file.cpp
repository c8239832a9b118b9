#include "rcf/profile/symbol_file.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

namespace vantric::rcf {
namespace {

bool Hex(std::string text, uint64_t& value) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.erase(0, 2);
    if (text.empty() || text.size() > 16) return false;
    value = 0;
    for (char c : text) {
        int digit = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                           : -1;
        if (digit < 0) return false;
        value = value << 4 | static_cast<uint64_t>(digit);
    }
    return true;
}

struct MapLine {
    uint64_t address = 0;
    char type = 0;
    std::string name;
};

// "ffff800010019420 T __switch_to" (kallsyms may add "[module]").
bool ParseMapLine(const std::vector<std::string>& fields, MapLine& out) {
    if (fields.size() < 3 || fields.size() > 4 || fields[1].size() != 1) return false;
    if (fields[0].find('x') != std::string::npos || !Hex(fields[0], out.address)) return false;
    out.type = fields[1][0];
    if (!std::isalpha(static_cast<unsigned char>(out.type))) return false;
    out.name = fields[2];
    return true;
}

// "adc_read 80500 80620"; bit 0 of the start marks a Thumb function.
bool ParseRangeLine(const std::vector<std::string>& fields, SymbolFile::Symbol& out) {
    if (fields.size() != 3 || !Hex(fields[1], out.start) || !Hex(fields[2], out.end)) return false;
    out.start &= ~uint64_t{1};
    out.name = fields[0];
    return out.end > out.start;
}

bool IsText(char type) { return type == 't' || type == 'T' || type == 'w' || type == 'W'; }

}  // namespace

bool SymbolFile::load(const std::string& path, std::string& problem) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    if (!in || !(text << in.rdbuf())) {
        problem = path + ": cannot read the symbol file";
        return false;
    }
    return parse(path, text.str(), problem);
}

bool SymbolFile::parse(const std::string& name, const std::string& text, std::string& problem) {
    path_ = name;
    symbols_.clear();
    std::vector<MapLine> map;
    std::vector<Symbol> ranges;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::vector<std::string> fields;
        for (std::string word; fields.size() < 5 && words >> word;) fields.push_back(word);
        MapLine entry;
        Symbol range;
        if (ParseMapLine(fields, entry)) map.push_back(entry);
        if (ParseRangeLine(fields, range)) ranges.push_back(range);
    }
    if (map.empty() && ranges.empty()) {
        problem = name + ": neither a System.map (address type name) nor a symbol file (name start end)";
        return false;
    }
    if (map.size() == ranges.size()) {
        problem = name + ": its lines read as a System.map and as a symbol file alike";
        return false;
    }
    if (ranges.size() > map.size()) {
        format_ = Format::kFunctionRanges;
        // A later line with the same start replaces the earlier one, as for the driver.
        std::stable_sort(ranges.begin(), ranges.end(),
                         [](const Symbol& a, const Symbol& b) { return a.start < b.start; });
        for (Symbol& s : ranges) {
            if (!symbols_.empty() && symbols_.back().start == s.start) symbols_.pop_back();
            symbols_.push_back(std::move(s));
        }
        return true;
    }

    format_ = Format::kAddressMap;
    bool anyAddress = std::any_of(map.begin(), map.end(), [](const MapLine& m) { return m.address != 0; });
    if (!anyAddress) {
        problem = name + ": every address is 0 (read /proc/kallsyms as root)";
        return false;
    }
    // A text symbol reaches to the next symbol of any kind; absolute and
    // undefined symbols (A, U) lie elsewhere and bound nothing.
    std::vector<MapLine> placed;
    for (MapLine& m : map)
        if (m.type != 'A' && m.type != 'a' && m.type != 'U' && m.type != 'u') placed.push_back(std::move(m));
    std::stable_sort(placed.begin(), placed.end(),
                     [](const MapLine& a, const MapLine& b) { return a.address < b.address; });
    for (size_t i = 0; i < placed.size(); ++i) {
        if (!IsText(placed[i].type)) continue;
        size_t next = i + 1;
        while (next < placed.size() && placed[next].address == placed[i].address) ++next;
        // Aliases at one address: the first listed names it.
        if (!symbols_.empty() && symbols_.back().start == placed[i].address) continue;
        uint64_t end = next < placed.size() ? placed[next].address : placed[i].address + 1;
        symbols_.push_back({placed[i].address, end, placed[i].name});
    }
    if (symbols_.empty()) {
        problem = name + ": no text symbols (type T, t, W or w)";
        return false;
    }
    return true;
}

const SymbolFile::Symbol* SymbolFile::find(uint64_t address) const {
    auto it = std::upper_bound(symbols_.begin(), symbols_.end(), address,
                               [](uint64_t a, const Symbol& s) { return a < s.start; });
    if (it == symbols_.begin()) return nullptr;
    --it;
    return address < it->end ? &*it : nullptr;
}

}  // namespace vantric::rcf
