#include "kernel_layout/btf.h"

#include <algorithm>
#include <limits>

#include "kernel_layout/little_endian.h"

namespace vantric::layout {
namespace {

constexpr uint16_t kMagic = 0xEB9F;
constexpr uint32_t kMaxTypes = 0xFFFFF;  // type ids have 20 bits

uint32_t KindOf(uint32_t info) { return info >> 24 & 0x1F; }
uint32_t VlenOf(uint32_t info) { return info & 0xFFFF; }
bool KindFlag(uint32_t info) { return (info >> 31) != 0; }

bool IsComposite(BtfKind kind) { return kind == BtfKind::kStruct || kind == BtfKind::kUnion; }

std::string Number(uint64_t value) { return std::to_string(value); }

// Bytes that follow the 12-byte type record of each kind; -1 for unknown kinds.
int64_t TrailingBytes(uint32_t kind, uint32_t vlen) {
    switch (static_cast<BtfKind>(kind)) {
        case BtfKind::kInt:
        case BtfKind::kVar:
        case BtfKind::kDeclTag:
            return 4;
        case BtfKind::kArray:
            return 12;
        case BtfKind::kStruct:
        case BtfKind::kUnion:
        case BtfKind::kDatasec:
        case BtfKind::kEnum64:
            return int64_t{12} * vlen;
        case BtfKind::kEnum:
        case BtfKind::kFuncProto:
            return int64_t{8} * vlen;
        case BtfKind::kPtr:
        case BtfKind::kFwd:
        case BtfKind::kTypedef:
        case BtfKind::kVolatile:
        case BtfKind::kConst:
        case BtfKind::kRestrict:
        case BtfKind::kFunc:
        case BtfKind::kFloat:
        case BtfKind::kTypeTag:
            return 0;
        default:
            return -1;
    }
}

}  // namespace

bool Btf::CheckHeader(std::span<const uint8_t> bytes, size_t& blobSize, std::string& error) {
    if (bytes.size() < kHeaderSize) {
        error = "BTF header cut short (" + Number(bytes.size()) + " of 24 bytes)";
        return false;
    }
    const uint8_t* p = bytes.data();
    if (Le16(p) != kMagic) {
        error = "no BTF magic 0xEB9F (little-endian) at the start";
        return false;
    }
    if (p[2] != 1) {
        error = "BTF version " + Number(p[2]) + ", only version 1 is known";
        return false;
    }
    const uint64_t headerLength = Le32(p + 4);
    if (headerLength < kHeaderSize || headerLength > bytes.size()) {
        error = "BTF header length " + Number(headerLength) + " is not between 24 and the " +
                Number(bytes.size()) + " bytes present";
        return false;
    }
    const uint64_t typeOffset = Le32(p + 8), typeLength = Le32(p + 12);
    const uint64_t stringOffset = Le32(p + 16), stringLength = Le32(p + 20);
    const auto pastEnd = [&](const char* section, uint64_t offset, uint64_t length) {
        error = std::string("BTF ") + section + " section (offset " + Number(offset) + ", length " +
                Number(length) + " after the " + Number(headerLength) +
                "-byte header) runs past the end: only " + Number(bytes.size()) + " bytes are present";
        return false;
    };
    if (typeOffset % 4 != 0) {
        error = "BTF type section offset " + Number(typeOffset) + " is not a multiple of 4";
        return false;
    }
    if (headerLength + typeOffset + typeLength > bytes.size()) return pastEnd("type", typeOffset, typeLength);
    if (headerLength + stringOffset + stringLength > bytes.size())
        return pastEnd("string", stringOffset, stringLength);
    if (typeOffset < stringOffset + stringLength && stringOffset < typeOffset + typeLength) {
        error = "BTF type and string sections overlap";
        return false;
    }
    blobSize = headerLength + std::max(typeOffset + typeLength, stringOffset + stringLength);
    return true;
}

bool Btf::parse(std::span<const uint8_t> bytes, std::string& error) {
    *this = Btf();
    size_t blobSize = 0;
    if (!CheckHeader(bytes, blobSize, error)) return false;
    const uint8_t* p = bytes.data();
    const uint32_t headerLength = Le32(p + 4);
    const uint8_t* strings = p + headerLength + Le32(p + 16);
    strings_.assign(reinterpret_cast<const char*>(strings), Le32(p + 20));
    // Every name then ends inside the section.
    if (strings_.empty() || strings_.front() != '\0' || strings_.back() != '\0') {
        error = "BTF string section does not start and end with a NUL byte";
        return false;
    }
    if (!readTypes(p + headerLength + Le32(p + 8), Le32(p + 12), error)) return false;
    for (const Type& type : types_) {
        const std::string_view name = text(type.nameOffset);
        if (KindOf(type.info) == uint32_t(BtfKind::kInt) &&
            (name == "long int" || name == "long unsigned int" || name == "long" ||
             name == "unsigned long")) {
            longSize_ = type.sizeOrType;
            break;
        }
    }
    return true;
}

bool Btf::readTypes(const uint8_t* data, size_t length, std::string& error) {
    uint32_t largestReference = 0;
    size_t referencedFrom = 0;
    const auto refer = [&](uint32_t id) {
        if (id > largestReference) largestReference = id, referencedFrom = types_.size();
    };
    const auto fail = [&](const std::string& what) {
        error = "BTF type " + Number(types_.size()) + ": " + what;
        return false;
    };
    const auto nameOk = [&](uint32_t offset) { return offset < strings_.size(); };
    const auto badName = [&](uint32_t offset) {
        return fail("name offset " + Number(offset) + " lies past the string section (" +
                    Number(strings_.size()) + " bytes)");
    };

    // Each round consumes at least 12 bytes.
    for (size_t pos = 0; pos < length;) {
        if (types_.size() > kMaxTypes) return fail("more than 1048575 types");
        if (length - pos < 12) return fail("cut short at byte " + Number(pos) + " of the type section");
        Type type{Le32(data + pos), Le32(data + pos + 4), Le32(data + pos + 8), 0};
        pos += 12;
        if (!nameOk(type.nameOffset)) return badName(type.nameOffset);
        const uint32_t kind = KindOf(type.info), vlen = VlenOf(type.info);
        const int64_t trailing = TrailingBytes(kind, vlen);
        if (trailing < 0) return fail("unknown kind " + Number(kind));
        if (length - pos < static_cast<uint64_t>(trailing))
            return fail("its " + Number(trailing) + " bytes of members run past the type section");
        const uint8_t* d = data + pos;
        switch (static_cast<BtfKind>(kind)) {
            case BtfKind::kInt:
                type.extra = Le32(d);
                break;
            case BtfKind::kArray:
                refer(Le32(d)), refer(Le32(d + 4));
                type.extra = static_cast<uint32_t>(arrays_.size());
                arrays_.push_back({Le32(d), Le32(d + 8)});
                break;
            case BtfKind::kStruct:
            case BtfKind::kUnion:
                type.extra = static_cast<uint32_t>(members_.size());
                for (uint32_t i = 0; i < vlen; ++i, d += 12) {
                    const Member member{Le32(d), Le32(d + 4), Le32(d + 8)};
                    if (!nameOk(member.nameOffset)) return badName(member.nameOffset);
                    refer(member.type);
                    members_.push_back(member);
                }
                break;
            case BtfKind::kEnum:
            case BtfKind::kEnum64: {
                const uint32_t step = kind == uint32_t(BtfKind::kEnum) ? 8 : 12;
                for (uint32_t i = 0; i < vlen; ++i, d += step)
                    if (!nameOk(Le32(d))) return badName(Le32(d));
                break;
            }
            case BtfKind::kFuncProto:
                refer(type.sizeOrType);
                for (uint32_t i = 0; i < vlen; ++i, d += 8) {
                    if (!nameOk(Le32(d))) return badName(Le32(d));
                    refer(Le32(d + 4));
                }
                break;
            case BtfKind::kDatasec:
                for (uint32_t i = 0; i < vlen; ++i, d += 12) refer(Le32(d));
                break;
            case BtfKind::kPtr:
            case BtfKind::kTypedef:
            case BtfKind::kVolatile:
            case BtfKind::kConst:
            case BtfKind::kRestrict:
            case BtfKind::kFunc:
            case BtfKind::kVar:
            case BtfKind::kDeclTag:
            case BtfKind::kTypeTag:
                refer(type.sizeOrType);
                break;
            default:
                break;  // FWD, FLOAT: nothing refers further
        }
        pos += static_cast<size_t>(trailing);
        types_.push_back(type);
    }
    if (largestReference >= types_.size()) {
        error = "BTF type " + Number(referencedFrom) + " refers to type " + Number(largestReference) +
                ", but the last type is " + Number(types_.size() - 1);
        return false;
    }
    return true;
}

BtfKind Btf::kind(uint32_t id) const { return static_cast<BtfKind>(KindOf(types_[id].info)); }

std::string_view Btf::text(uint32_t offset) const { return strings_.c_str() + offset; }

void Btf::report(const std::string& text) const {
    if (problem_.empty()) problem_ = text;
}

std::optional<uint32_t> Btf::resolve(uint32_t id) const {
    const uint32_t start = id;
    for (unsigned links = 0; links <= kChainLimit; ++links) {
        switch (kind(id)) {
            case BtfKind::kTypedef:
            case BtfKind::kConst:
            case BtfKind::kVolatile:
            case BtfKind::kRestrict:
            case BtfKind::kTypeTag:
                id = types_[id].sizeOrType;
                break;
            default:
                return id;
        }
    }
    report("BTF type " + Number(start) +
           ": its typedef/const/volatile/restrict/type tag chain loops "
           "or is longer than " +
           Number(kChainLimit) + " links");
    return std::nullopt;
}

std::optional<uint64_t> Btf::sizeOf(uint32_t type) const {
    const uint32_t start = type;
    uint64_t count = 1;
    for (unsigned links = 0; links <= kChainLimit; ++links) {
        const std::optional<uint32_t> id = resolve(type);
        if (!id) return std::nullopt;
        uint64_t size = 0;
        switch (kind(*id)) {
            case BtfKind::kArray: {
                const Array& array = arrays_[types_[*id].extra];
                if (array.count != 0 && count > std::numeric_limits<uint64_t>::max() / array.count) {
                    report("BTF type " + Number(start) + ": array size overflows");
                    return std::nullopt;
                }
                count *= array.count;
                type = array.type;
                continue;
            }
            case BtfKind::kPtr:
                size = longSize_ != 0 ? longSize_ : 8;
                break;
            case BtfKind::kInt:
            case BtfKind::kEnum:
            case BtfKind::kEnum64:
            case BtfKind::kFloat:
            case BtfKind::kStruct:
            case BtfKind::kUnion:
            case BtfKind::kDatasec:
                size = types_[*id].sizeOrType;
                break;
            default:
                return std::nullopt;  // void, functions, forward declarations
        }
        if (size != 0 && count > std::numeric_limits<uint64_t>::max() / size) {
            report("BTF type " + Number(start) + ": array size overflows");
            return std::nullopt;
        }
        return count * size;
    }
    report("BTF type " + Number(start) + ": arrays nested deeper than " + Number(kChainLimit));
    return std::nullopt;
}

std::optional<uint64_t> Btf::arrayLength(uint32_t type) const {
    const std::optional<uint32_t> id = resolve(type);
    if (!id || kind(*id) != BtfKind::kArray) return std::nullopt;
    return arrays_[types_[*id].extra].count;
}

std::optional<BtfMember> Btf::member(std::string_view composite, std::string_view member) const {
    for (uint32_t id = 1; id < types_.size(); ++id) {
        if (!IsComposite(kind(id)) || VlenOf(types_[id].info) == 0 ||
            text(types_[id].nameOffset) != composite)
            continue;
        if (std::optional<BtfMember> found = findIn(id, member)) return found;
    }
    return std::nullopt;
}

std::optional<BtfMember> Btf::findIn(uint32_t composite, std::string_view member) const {
    struct Pending {
        uint32_t id;
        uint64_t bitBase;
        unsigned depth;
    };
    std::vector<Pending> pending{{composite, 0, 0}};
    size_t visited = 0;
    while (!pending.empty()) {
        const Pending at = pending.back();
        pending.pop_back();
        const Type& outer = types_[at.id];
        const bool kflag = KindFlag(outer.info);
        for (uint32_t i = 0; i < VlenOf(outer.info); ++i) {
            if (++visited > kSearchLimit) {
                report("BTF type " + Number(composite) +
                       ": searching its anonymous members visits more than " + Number(kSearchLimit) +
                       " members");
                return std::nullopt;
            }
            const Member& m = members_[outer.extra + i];
            BtfMember found{at.bitBase + (kflag ? m.offset & 0xFFFFFF : m.offset), kflag ? m.offset >> 24 : 0,
                            m.type};
            const std::string_view name = text(m.nameOffset);
            if (name == member) {
                // Without the kind flag a bit field is an INT of fewer bits than its size.
                const std::optional<uint32_t> target = kflag ? std::nullopt : resolve(m.type);
                if (target && kind(*target) == BtfKind::kInt) {
                    const Type& integer = types_[*target];
                    const uint32_t bits = integer.extra & 0xFF, shift = integer.extra >> 16 & 0xFF;
                    if (shift != 0 || uint64_t{bits} != uint64_t{integer.sizeOrType} * 8) {
                        found.bitOffset += shift;
                        found.bitSize = bits;
                    }
                }
                return found;
            }
            if (!name.empty()) continue;
            const std::optional<uint32_t> target = resolve(m.type);
            if (!target || !IsComposite(kind(*target))) continue;
            if (at.depth == kNestingLimit) {
                report("BTF type " + Number(composite) + ": anonymous members nested deeper than " +
                       Number(kNestingLimit));
                return std::nullopt;
            }
            pending.push_back({*target, found.bitOffset, at.depth + 1});
        }
    }
    return std::nullopt;
}

}  // namespace vantric::layout
