// The kernel's own type information (BTF: what /sys/kernel/btf/vmlinux and
// the .BTF section of a kernel hold), read far enough to find a structure
// member by name with its byte offset, bit field and size.
//
// Parsing checks every length, string offset and type id, so no lookup can
// leave the blob. Reference chains (typedef, const, arrays...) and searches
// through anonymous members are bounded: a lookup that runs into a loop or
// an over-long chain gives nothing and keeps the first such problem, for the
// caller to report once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vantric::layout {

enum class BtfKind : uint8_t {
    kVoid, kInt, kPtr, kArray, kStruct, kUnion, kEnum, kFwd, kTypedef, kVolatile,
    kConst, kRestrict, kFunc, kFuncProto, kVar, kDatasec, kFloat, kDeclTag, kTypeTag, kEnum64
};

// A member found by name; offsets count from the start of the structure
// searched, also when the member sits inside anonymous members.
struct BtfMember {
    uint64_t bitOffset = 0;
    uint32_t bitSize = 0;  // 0 unless a bit field
    uint32_t type = 0;
};

class Btf {
public:
    static constexpr size_t kHeaderSize = 24;
    static constexpr unsigned kChainLimit = 32;      // links followed from one type
    static constexpr unsigned kNestingLimit = 32;    // anonymous members inside each other
    static constexpr size_t kSearchLimit = 1 << 20;  // members one search may visit

    // Whether `bytes` starts with a BTF header whose sections lie inside
    // `bytes`; gives the size of the whole blob, or why not.
    static bool CheckHeader(std::span<const uint8_t> bytes, size_t& blobSize, std::string& error);

    // Reads the blob at the start of `bytes`, replacing what was read before.
    bool parse(std::span<const uint8_t> bytes, std::string& error);

    uint32_t typeCount() const { return static_cast<uint32_t>(types_.size() - 1); }
    // The size of C's long, 0 when no integer type has that name.
    unsigned longSize() const { return longSize_; }

    // The member `member` of the first struct or union named `composite`
    // that has one (forward declarations and other definitions are skipped).
    std::optional<BtfMember> member(std::string_view composite, std::string_view member) const;
    // Size in bytes, through modifiers and arrays; a pointer has the size of long.
    std::optional<uint64_t> sizeOf(uint32_t type) const;
    // The element count when the type is an array.
    std::optional<uint64_t> arrayLength(uint32_t type) const;

    const std::string& problem() const { return problem_; }

private:
    struct Type {
        uint32_t nameOffset;
        uint32_t info;
        uint32_t sizeOrType;
        uint32_t extra;  // INT: its encoding word; ARRAY: index in arrays_; STRUCT, UNION: first member
    };
    struct Member {
        uint32_t nameOffset;
        uint32_t type;
        uint32_t offset;
    };
    struct Array {
        uint32_t type;
        uint32_t count;
    };

    BtfKind kind(uint32_t id) const;
    std::string_view text(uint32_t offset) const;
    bool readTypes(const uint8_t* data, size_t length, std::string& error);
    // Follows typedef, const, volatile, restrict and type tag links.
    std::optional<uint32_t> resolve(uint32_t id) const;
    std::optional<BtfMember> findIn(uint32_t composite, std::string_view member) const;
    void report(const std::string& text) const;

    std::vector<Type> types_{Type{}};  // id 0 is void
    std::vector<Member> members_;
    std::vector<Array> arrays_;
    std::string strings_;
    unsigned longSize_ = 0;
    mutable std::string problem_;
};

}  // namespace vantric::layout
