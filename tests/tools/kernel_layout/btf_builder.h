// Writes small BTF blobs for the tests, type by type, so every offset a test
// expects is a number the test itself put there.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vantric::layout::testing {

inline void PutLe32(std::string& out, uint64_t value) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>(value >> (8 * i));
}

class BtfBuilder {
public:
    enum Kind : uint32_t { kInt = 1, kPtr, kArray, kStruct, kUnion, kFwd = 7, kTypedef, kVolatile, kConst };
    struct Member {
        std::string name;  // empty: an anonymous member
        uint32_t type;
        uint32_t bitOffset;
        uint32_t bitSize = 0;
    };

    uint32_t name(const std::string& text) {
        if (text.empty()) return 0;
        strings_ += text + '\0';
        return static_cast<uint32_t>(strings_.size() - text.size() - 1);
    }
    // One type record; `trailing` is what follows it. Gives the type's id.
    uint32_t raw(uint32_t nameOffset, uint32_t info, uint32_t sizeOrType, const std::string& trailing = "") {
        PutLe32(types_, nameOffset), PutLe32(types_, info), PutLe32(types_, sizeOrType);
        types_ += trailing;
        return ++count_;
    }
    uint32_t integer(const std::string& text, uint32_t size) {
        std::string encoding;
        PutLe32(encoding, size * 8);
        return raw(name(text), kInt << 24, size, encoding);
    }
    uint32_t link(Kind kind, uint32_t to, const std::string& text = "") { return raw(name(text), kind << 24, to); }
    uint32_t array(uint32_t element, uint32_t count) {
        std::string body;
        PutLe32(body, element), PutLe32(body, element), PutLe32(body, count);
        return raw(0, kArray << 24, 0, body);
    }
    // Bit fields set the kind flag, which puts their size in each member's top byte.
    uint32_t composite(Kind kind, const std::string& text, uint32_t size, const std::vector<Member>& members) {
        bool bitFields = false;
        for (const Member& m : members) bitFields |= m.bitSize != 0;
        std::string body;
        for (const Member& m : members) {
            PutLe32(body, name(m.name)), PutLe32(body, m.type);
            PutLe32(body, m.bitOffset | (bitFields ? m.bitSize << 24 : 0));
        }
        const uint32_t info = kind << 24 | static_cast<uint32_t>(members.size()) | (bitFields ? 1u << 31 : 0);
        return raw(name(text), info, size, body);
    }

    // Header (magic, version 1, 24 bytes), types, then strings.
    std::string blob() const {
        std::string out = "\x9f\xeb\x01";
        out += '\0';
        PutLe32(out, 24), PutLe32(out, 0), PutLe32(out, types_.size());
        PutLe32(out, types_.size()), PutLe32(out, strings_.size());
        return out + types_ + strings_;
    }

private:
    std::string types_;
    std::string strings_ = std::string(1, '\0');
    uint32_t count_ = 0;
};


// A kernel as the driver sees it, for KernelBtf.
struct KernelShape {
    // The offsets text the kernel should give, except that number 2 is the
    // bit offset of in_iowait in task_struct. 26 numbers for 32-bit.
    std::vector<uint32_t> numbers = {};
    const char* state = "state";
    unsigned longSize = 8;
    bool maple = false;     // memory areas in a maple tree: no vm_rb, vm_next, mm_rb
    std::string drop = "";  // a member to leave out
};

// Debian's 5.10.0-32 and 6.1.0-57 arm64 kernels, as their BTF lays them out.
inline const std::vector<uint32_t> kLinux510 = {24, 9921, 0, 1128, 1304, 1308, 1752, 16, 824, 16, 8, 0, 32,
                                                24, 8, 0, 8, 160, 152, 32, 16, 8, 0, 8, 16};
inline const std::vector<uint32_t> kLinux61 = {24, 10243, 0, 1208, 1352, 1356, 1912, 16, 816, 16, 8, 0, 32,
                                               24, 8, 0, 8, 112, 104, 0, 0, 0, 0, 8, 16};

// The structures and members of each number of the text, in its order.
inline const char* const kTextFields[26][2] = {
    {"task_struct", "state"}, {"task_struct", "in_iowait"}, {}, {"task_struct", "mm"},
    {"task_struct", "pid"}, {"task_struct", "tgid"}, {"task_struct", "comm"}, {},
    {"mm_struct", "exe_file"}, {"file", "f_path"}, {"path", "dentry"}, {},
    {"dentry", "d_name"}, {"dentry", "d_parent"}, {"qstr", "name"},
    {"vm_area_struct", "vm_start"}, {"vm_area_struct", "vm_end"}, {"vm_area_struct", "vm_file"},
    {"vm_area_struct", "vm_pgoff"}, {"vm_area_struct", "vm_rb"}, {"vm_area_struct", "vm_next"},
    {"mm_struct", "mm_rb"}, {"rb_root", "rb_node"}, {"rb_node", "rb_right"}, {"rb_node", "rb_left"},
    {"thread_info", "task"},
};

// BTF of such a kernel. mm_struct.exe_file lies in an anonymous struct at
// byte 256 of an anonymous union at byte 512 (so at least at 768); the
// maple tree structures are those of Linux 6.1.
inline std::string KernelBtf(const KernelShape& shape) {
    using B = BtfBuilder;
    B b;
    const uint32_t word = b.integer("long int", shape.longSize), byte = b.integer("char", 1);
    const uint32_t pid = b.link(B::kTypedef, b.integer("int", 4), "pid_t");
    const uint32_t uint = b.integer("unsigned int", 4), pointer = b.link(B::kPtr, 0);
    b.link(B::kFwd, 0, "task_struct");  // declarations before the definition
    b.composite(B::kStruct, "task_struct", 0, {});
    std::map<std::string, std::vector<B::Member>> structs;
    for (size_t i = 0; i < shape.numbers.size(); ++i) {
        const std::string member = i == 0 ? shape.state : kTextFields[i][1] ? kTextFields[i][1] : "";
        if (member.empty() || member == shape.drop || (shape.maple && i >= 19 && i <= 21)) continue;
        B::Member m{member, pointer, shape.numbers[i] * 8};
        if (i == 0) m.type = member == "state" ? b.link(B::kVolatile, word) : uint;
        if (i == 1) m = {member, uint, shape.numbers[i], 1};
        if (i == 4 || i == 5) m.type = pid;
        if (i == 6) m.type = b.array(byte, shape.numbers[7]);
        if (member == "exe_file") {
            const uint32_t inner = b.composite(B::kStruct, "", 512, {{member, pointer, m.bitOffset - 768 * 8}});
            m = {"", b.composite(B::kUnion, "", 1024, {{"", inner, 256 * 8}}), 512 * 8};
        }
        structs[kTextFields[i][0]].push_back(m);
    }
    if (shape.maple) {
        const char* root = shape.drop == "ma_root" ? "" : "ma_root";
        const uint32_t tree = b.composite(B::kStruct, "maple_tree", 16, {{"ma_lock", uint, 0}, {root, pointer, 64}});
        structs["mm_struct"].push_back({"mm_mt", tree, 0});
        const uint32_t meta = b.composite(B::kStruct, "maple_metadata", 2, {{"end", byte, 0}, {"gap", byte, 8}});
        const uint32_t padded =
            b.composite(B::kStruct, "", 128, {{"pad", b.array(pointer, 15), 0}, {"meta", meta, 960}});
        const uint32_t slots = b.composite(B::kUnion, "", 128, {{"slot", b.array(pointer, 16), 0}, {"", padded, 0}});
        b.composite(B::kStruct, "maple_range_64", 256,
                    {{"parent", pointer, 0}, {"pivot", b.array(word, 15), 64}, {"", slots, 1024}});
        b.composite(B::kStruct, "maple_arange_64", 256,
                    {{"parent", pointer, 0}, {"pivot", b.array(word, 9), 64}, {"slot", b.array(pointer, 10), 640},
                     {"gap", b.array(word, 10), 1280}, {"meta", meta, 1920}});
    }
    for (const auto& [name, members] : structs) b.composite(B::kStruct, name, 4096, members);
    return b.blob();
}

}  // namespace vantric::layout::testing
