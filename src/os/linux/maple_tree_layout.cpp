#include "os/linux/maple_tree_layout.h"

#include <array>
#include <limits>

namespace vantric {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

}  // namespace

bool MapleTreeLayout::Parse(std::string_view text, MapleTreeLayout& layout, std::string& problem) {
    MapleTreeLayout read;
    const std::array<uint64_t*, kValues> values = {
        &read.mmTree,      &read.treeRoot,   &read.rangePivots, &read.rangeSlots,
        &read.rangeEnd,    &read.allocPivots, &read.allocSlots, &read.allocEnd};
    size_t pos = 0;
    for (unsigned i = 0; i < kValues; ++i) {
        while (pos < text.size() && IsBlank(text[pos])) ++pos;
        uint64_t value = 0;
        size_t digits = 0;
        for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos, ++digits) {
            const auto digit = static_cast<uint64_t>(text[pos] - '0');
            if (value > (std::numeric_limits<uint64_t>::max() - digit) / 10) {
                problem = "value " + std::to_string(i + 1) + " is too large";
                return false;
            }
            value = value * 10 + digit;
        }
        if (digits == 0) {
            problem = "value " + std::to_string(i + 1) + " is missing";
            return false;
        }
        *values[i] = value;
        while (pos < text.size() && IsBlank(text[pos])) ++pos;
        if (i + 1 < kValues) {
            if (pos == text.size()) {
                problem = "only " + std::to_string(i + 1) + " values; " + std::to_string(kValues) + " are needed";
                return false;
            }
            if (text[pos] != ',') {
                problem = "a comma must follow value " + std::to_string(i + 1);
                return false;
            }
            ++pos;
        }
    }
    if (pos != text.size()) {
        problem = "more than " + std::to_string(kValues) + " values";
        return false;
    }
    // Each part must fit inside one node, or the walk would read the next.
    const bool fits = read.rangePivots + (kRangeSlots - 1) * 8 <= kNodeSize &&
                      read.rangeSlots + kRangeSlots * 8 <= kNodeSize && read.rangeEnd < kNodeSize &&
                      read.allocPivots + (kAllocSlots - 1) * 8 <= kNodeSize &&
                      read.allocSlots + kAllocSlots * 8 <= kNodeSize && read.allocEnd < kNodeSize;
    if (!fits) {
        problem = "a node part lies beyond the 256-byte node";
        return false;
    }
    layout = read;
    return true;
}

}  // namespace vantric
