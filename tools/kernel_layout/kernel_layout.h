// The numbers the Linux driver needs about one kernel build (the offsets
// text of "linux-offsets-64" or "linux-offsets-32", and for kernels that
// keep memory areas in a maple tree the "maple-tree-offsets" text), taken
// from the build's BTF, with where each number came from.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "kernel_layout/btf.h"

namespace vantric::layout {

// One number of a text and its origin.
struct LayoutValue {
    unsigned index = 0;  // position in the text, from 1
    uint64_t value = 0;
    std::string field;             // "task_struct.comm"
    std::optional<uint64_t> size;  // bytes of what the number locates
    std::string source;            // "BTF member", "array length", ...
};

class KernelLayout {
public:
    // `pointerSize` 4 gives the 32-bit layout, anything else the 64-bit one.
    KernelLayout(const Btf& btf, unsigned pointerSize);

    bool is64() const { return is64_; }
    // 25 values, 26 in the 32-bit layout.
    const std::vector<LayoutValue>& values() const { return values_; }
    // The 8 maple tree values when the kernel keeps its memory areas in a
    // maple tree (6.1 on), else none.
    const std::vector<LayoutValue>& mapleValues() const { return maple_; }
    // "<field> not found: <what a run will lack>", one per missing field.
    const std::vector<std::string>& missing() const { return missing_; }
    // What the BTF cannot give and was set by hand.
    const std::vector<std::string>& notes() const { return notes_; }

    std::string offsetsText() const;
    std::string mapleText() const;
    // The page size the BTF shows, 0 when it shows none.
    uint64_t btfPageSize() const { return btfPageSize_; }

private:
    enum class How { kOffset, kBitWord, kLength, kZero };
    struct Field {
        unsigned index;
        const char* composite;
        const char* member;
        const char* olderName;  // the member's name in older kernels, or null
        How how;
        const char* lack;
    };
    static const Field kFields[];
    static const Field kMapleFields[];

    // The value of `field`; none (and a line in missing_ when `report`) when absent.
    std::optional<LayoutValue> derive(const Field& field, bool report);
    // The maple tree values; false, with the lines of those missing when the
    // kernel has a maple tree, unless all are found.
    bool deriveMaple(std::vector<std::string>& missing);

    const Btf& btf_;
    bool is64_;
    unsigned wordSize_;
    std::vector<LayoutValue> values_;
    std::vector<LayoutValue> maple_;
    std::vector<std::string> missing_;
    std::vector<std::string> notes_;
    uint64_t btfPageSize_ = 0;
};

}  // namespace vantric::layout
