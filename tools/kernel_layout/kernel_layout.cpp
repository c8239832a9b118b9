#include "kernel_layout/kernel_layout.h"

namespace vantric::layout {
namespace {

constexpr const char* kNoFileNames = "user frames will have no file names";
constexpr const char* kNoPaths = "no file names can be read";
constexpr const char* kNoAreas = "memory areas cannot be found: user frames will have no file names";

std::string Joined(const std::vector<LayoutValue>& values, size_t count) {
    std::string text;
    for (size_t i = 0; i < count && i < values.size(); ++i) {
        if (i != 0) text += ',';
        text += std::to_string(values[i].value);
    }
    return text;
}

}  // namespace

// In the order of the offsets text; see examples/linux/README.md.
const KernelLayout::Field KernelLayout::kFields[] = {
    {1, "task_struct", "__state", "state", How::kOffset,
     "a task switched out cannot be told runnable from sleeping"},
    {2, "task_struct", "in_iowait", nullptr, How::kBitWord, "no switch will be marked as waiting for I/O"},
    {3, nullptr, "(R4 bias at __switch_to)", nullptr, How::kZero, nullptr},
    {4, "task_struct", "mm", nullptr, How::kOffset,
     "processes will have no memory map: user frames will have no file names"},
    {5, "task_struct", "pid", nullptr, How::kOffset, "threads will have no ids"},
    {6, "task_struct", "tgid", nullptr, How::kOffset, "threads will not be grouped into processes"},
    {7, "task_struct", "comm", nullptr, How::kOffset, "threads will have no names"},
    {8, "task_struct", "comm", nullptr, How::kLength, "threads will have no names"},
    {9, "mm_struct", "exe_file", nullptr, How::kOffset, "processes will have no image names"},
    {10, "file", "f_path", nullptr, How::kOffset, kNoPaths},
    {11, "path", "dentry", nullptr, How::kOffset, kNoPaths},
    {12, nullptr, "(not used)", nullptr, How::kZero, nullptr},
    {13, "dentry", "d_name", nullptr, How::kOffset, kNoPaths},
    {14, "dentry", "d_parent", nullptr, How::kOffset, "file names will have no directories"},
    {15, "qstr", "name", nullptr, How::kOffset, kNoPaths},
    {16, "vm_area_struct", "vm_start", nullptr, How::kOffset, kNoFileNames},
    {17, "vm_area_struct", "vm_end", nullptr, How::kOffset, kNoFileNames},
    {18, "vm_area_struct", "vm_file", nullptr, How::kOffset, kNoFileNames},
    {19, "vm_area_struct", "vm_pgoff", nullptr, How::kOffset,
     "user frames in mapped files will have wrong file offsets"},
    {20, "vm_area_struct", "vm_rb", nullptr, How::kOffset, kNoAreas},
    {21, "vm_area_struct", "vm_next", nullptr, How::kOffset, kNoAreas},
    {22, "mm_struct", "mm_rb", nullptr, How::kOffset, kNoAreas},
    {23, "rb_root", "rb_node", nullptr, How::kOffset, kNoAreas},
    {24, "rb_node", "rb_right", nullptr, How::kOffset, kNoAreas},
    {25, "rb_node", "rb_left", nullptr, How::kOffset, kNoAreas},
    {26, "thread_info", "task", nullptr, How::kOffset, "32-bit switches and samples will have no tasks"},
};

// In the order of the maple-tree-offsets text.
const KernelLayout::Field KernelLayout::kMapleFields[] = {
    {1, "mm_struct", "mm_mt", nullptr, How::kOffset, kNoAreas},
    {2, "maple_tree", "ma_root", nullptr, How::kOffset, kNoAreas},
    {3, "maple_range_64", "pivot", nullptr, How::kOffset, kNoAreas},
    {4, "maple_range_64", "slot", nullptr, How::kOffset, kNoAreas},
    {5, "maple_range_64", "meta", nullptr, How::kOffset, kNoAreas},
    {6, "maple_arange_64", "pivot", nullptr, How::kOffset, kNoAreas},
    {7, "maple_arange_64", "slot", nullptr, How::kOffset, kNoAreas},
    {8, "maple_arange_64", "meta", nullptr, How::kOffset, kNoAreas},
};

KernelLayout::KernelLayout(const Btf& btf, unsigned pointerSize)
    : btf_(btf), is64_(pointerSize != 4), wordSize_(is64_ ? 8 : 4) {
    constexpr unsigned kFirstTreeField = 20, kLastTreeField = 25;
    std::vector<std::string> treeMissing;
    for (size_t i = 0; i < (is64_ ? 25u : 26u); ++i) {
        const Field& field = kFields[i];
        const std::string name =
            field.composite != nullptr ? std::string(field.composite) + "." + field.member : "";
        const bool tree = field.index >= kFirstTreeField && field.index <= kLastTreeField;
        std::optional<LayoutValue> value = derive(field, !tree);
        if (!value && tree) treeMissing.push_back(name + " not found: " + field.lack);
        values_.push_back(value.value_or(LayoutValue{field.index, 0, name, {}, "not found"}));
    }
    // 6.1 replaced the red-black tree and list of memory areas by a maple tree.
    if (!treeMissing.empty()) {
        std::vector<std::string> mapleMissing;
        if (is64_ && deriveMaple(mapleMissing)) {
            for (unsigned index = kFirstTreeField; index <= kLastTreeField; ++index) {
                LayoutValue& value = values_[index - 1];
                value.value = 0;
                value.size.reset();
                value.source = "constant: memory areas are a maple tree";
            }
        } else {
            missing_.insert(missing_.end(), treeMissing.begin(), treeMissing.end());
            missing_.insert(missing_.end(), mapleMissing.begin(), mapleMissing.end());
        }
    }
    if (!is64_) {
        notes_.push_back(
            "field 3 (R4 at __switch_to minus the next thread_info) cannot come from BTF: 0 given; "
            "read it from the disassembly of context_switch calling __switch_to");
        values_[2].source = "constant: cannot come from BTF";
    }
    if (const std::optional<BtfMember> ring = btf_.member("bpf_ringbuf", "consumer_pos")) {
        // consumer_pos is page aligned and everything before it is far smaller than a page.
        const uint64_t offset = ring->bitOffset / 8;
        if (offset == 4096 || offset == 16384 || offset == 65536) btfPageSize_ = offset;
    }
}

std::optional<LayoutValue> KernelLayout::derive(const Field& field, bool report) {
    LayoutValue value{field.index, 0, field.member, {}, "constant"};
    if (field.how == How::kZero) return value;
    const char* name = field.member;
    std::optional<BtfMember> member = btf_.member(field.composite, name);
    if (!member && field.olderName != nullptr) {
        name = field.olderName;
        member = btf_.member(field.composite, name);
    }
    value.field = std::string(field.composite) + "." + name;
    if (!member) {
        if (report) {
            missing_.push_back(
                std::string(field.composite) + "." + field.member +
                (field.olderName != nullptr ? std::string(" (or ") + field.olderName + ")" : "") +
                " not found: " + field.lack);
        }
        return std::nullopt;
    }
    switch (field.how) {
        case How::kOffset:
            value.value = member->bitOffset / 8;
            value.size = btf_.sizeOf(member->type);
            value.source = "BTF member";
            break;
        case How::kBitWord: {
            // The driver reads the whole word and takes any set bit as the flag.
            const uint64_t wordBits = wordSize_ * 8;
            value.value = member->bitOffset / wordBits * wordSize_;
            value.size = wordSize_;
            value.source = (member->bitSize != 0 ? "bit field word: bit " : "word holding the member: bit ") +
                           std::to_string(member->bitOffset % wordBits) + " of the " +
                           std::to_string(wordSize_) + "-byte word (bit " +
                           std::to_string(member->bitOffset) + " of " + field.composite + ")";
            break;
        }
        case How::kLength: {
            const std::optional<uint64_t> length = btf_.arrayLength(member->type);
            if (!length) {
                if (report) missing_.push_back(value.field + " is not an array: " + field.lack);
                return std::nullopt;
            }
            value.value = *length;
            value.source = "array length";
            break;
        }
        case How::kZero:
            break;
    }
    return value;
}

bool KernelLayout::deriveMaple(std::vector<std::string>& missing) {
    std::vector<std::string> lines;
    std::vector<LayoutValue> found;
    for (const Field& field : kMapleFields) {
        if (std::optional<LayoutValue> value = derive(field, false)) {
            found.push_back(*value);
        } else {
            lines.push_back(std::string(field.composite) + "." + field.member + " not found: " + field.lack);
        }
    }
    if (lines.empty()) {
        maple_ = std::move(found);
        return true;
    }
    // Only a kernel with mm_struct.mm_mt keeps its areas in a maple tree.
    if (!found.empty() && found.front().index == 1) missing = std::move(lines);
    return false;
}

std::string KernelLayout::offsetsText() const {
    if (is64_) return Joined(values_, 25);
    return Joined(values_, 25) + ' ' + std::to_string(values_.at(25).value) + ',';
}

std::string KernelLayout::mapleText() const { return Joined(maple_, maple_.size()); }

}  // namespace vantric::layout
