#include "kernel_layout/kernel_layout.h"

#include <gtest/gtest.h>

#include "tools/kernel_layout/btf_builder.h"

namespace vantric::layout {
namespace {

using testing::BtfBuilder;
using testing::KernelBtf;
using testing::KernelShape;
using testing::kLinux510;
using testing::kLinux61;

Btf Parsed(const std::string& blob) {
    Btf btf;
    std::string error;
    EXPECT_TRUE(btf.parse({reinterpret_cast<const uint8_t*>(blob.data()), blob.size()}, error)) << error;
    return btf;
}

TEST(KernelLayout, EachKernelGeneration) {
    const struct {
        KernelShape shape;
        std::string text, maple, iowait;
    } cases[] = {
        {{.numbers = kLinux510}, "24,1240,0,1128,1304,1308,1752,16,824,16,8,0,32,24,8,0,8,160,152,32,16,8,0,8,16", "",
         "bit field word: bit 1 of the 8-byte word (bit 9921 of task_struct)"},
        // 6.1: rb_root and rb_node remain, but the driver walks the maple tree.
        {{.numbers = kLinux61, .state = "__state", .maple = true},
         "24,1280,0,1208,1352,1356,1912,16,816,16,8,0,32,24,8,0,8,112,104,0,0,0,0,0,0", "0,8,8,128,248,8,80,240",
         "bit field word: bit 3 of the 8-byte word (bit 10243 of task_struct)"},
        // 32-bit words: the 64-bit rule would give 504.
        {{.numbers = {0, 4065, 0, 300, 304, 308, 312, 16, 800, 8, 4, 0, 16, 12, 4, 0, 4, 72, 68, 12, 8, 4, 0, 4, 8, 12},
          .longSize = 4},
         "0,508,0,300,304,308,312,16,800,8,4,0,16,12,4,0,4,72,68,12,8,4,0,4,8 12,", "",
         "bit field word: bit 1 of the 4-byte word (bit 4065 of task_struct)"},
    };
    for (const auto& c : cases) {
        const Btf btf = Parsed(KernelBtf(c.shape));
        const KernelLayout layout(btf, btf.longSize());
        EXPECT_TRUE(layout.missing().empty()) << layout.missing().front();
        EXPECT_EQ(layout.offsetsText(), c.text);
        EXPECT_EQ(layout.mapleText(), c.maple);
        EXPECT_EQ(layout.values()[1].source, c.iowait);
        EXPECT_EQ(layout.values()[0].field, std::string("task_struct.") + c.shape.state);
        EXPECT_EQ(layout.values()[6].size, 16u);   // comm
        EXPECT_EQ(layout.notes().size(), c.shape.longSize == 4 ? 1u : 0u);  // field 3 of 32-bit kernels
        EXPECT_TRUE(btf.problem().empty()) << btf.problem();
    }
}

TEST(KernelLayout, NamesEachMissingField) {
    const std::string areas = " not found: memory areas cannot be found: user frames will have no file names";
    const struct {
        KernelShape shape;
        std::vector<std::string> lines;
    } cases[] = {
        {{.numbers = kLinux510, .drop = "vm_file"},
         {"vm_area_struct.vm_file not found: user frames will have no file names"}},
        {{.numbers = kLinux510, .drop = "state"},
         {"task_struct.__state (or state) not found: a task switched out cannot be told runnable from sleeping"}},
        {{.numbers = kLinux510, .drop = "comm"},
         {2, "task_struct.comm not found: threads will have no names"}},
        // Neither a red-black tree nor a whole maple tree.
        {{.numbers = kLinux61, .state = "__state", .maple = true, .drop = "ma_root"},
         {"vm_area_struct.vm_rb" + areas, "vm_area_struct.vm_next" + areas, "mm_struct.mm_rb" + areas,
          "maple_tree.ma_root" + areas}},
    };
    for (const auto& c : cases) {
        const Btf btf = Parsed(KernelBtf(c.shape));
        EXPECT_EQ(KernelLayout(btf, 8).missing(), c.lines) << c.shape.drop;
    }
}

TEST(Btf, RefusesMalformedBlobs) {
    BtfBuilder one;
    one.integer("int", 4);  // 24 + 16 bytes of type + "\0int\0"
    const std::string blob = one.blob();
    const auto patched = [&](size_t at, uint32_t value) {
        std::string bytes = blob;
        for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
        return bytes;
    };
    const auto built = [](auto add) {
        BtfBuilder b;
        add(b);
        return b.blob();
    };
    const std::pair<std::string, std::string> cases[] = {
        {blob.substr(0, 10), "BTF header cut short (10 of 24 bytes)"},
        {patched(0, 0x2EB9F), "BTF version 2, only version 1 is known"},
        {patched(4, 46), "BTF header length 46 is not between 24 and the 45 bytes present"},
        {patched(20, 6),
         "BTF string section (offset 16, length 6 after the 24-byte header) runs past the end: only 45 bytes are "
         "present"},
        {patched(12, 20), "BTF type and string sections overlap"},
        {patched(24, 5), "BTF type 1: name offset 5 lies past the string section (5 bytes)"},
        {patched(41, 0x01010101), "BTF string section does not start and end with a NUL byte"},
        {built([](BtfBuilder& b) { b.link(BtfBuilder::kTypedef, 2), b.link(BtfBuilder::kPtr, 3); }),
         "BTF type 2 refers to type 3, but the last type is 2"},
        {built([](BtfBuilder& b) { b.raw(0, BtfBuilder::kStruct << 24 | 1, 4, "\x63" + std::string(11, '\0')); }),
         "BTF type 1: name offset 99 lies past the string section (1 bytes)"},
        {built([](BtfBuilder& b) { b.raw(0, 20u << 24, 0); }), "BTF type 1: unknown kind 20"},
        {built([](BtfBuilder& b) { b.raw(0, BtfBuilder::kStruct << 24 | 3, 8, std::string(35, '\0')); }),
         "BTF type 1: its 36 bytes of members run past the type section"},
    };
    for (const auto& [bytes, message] : cases) {
        Btf btf;
        std::string error;
        EXPECT_FALSE(btf.parse({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, error)) << message;
        EXPECT_EQ(error, message);
    }
}

// Every kind, with two entries where it has a list, then a struct that is
// only found if each kind's trailing bytes were skipped exactly.
TEST(Btf, SkipsWhatFollowsEachKind) {
    const size_t trailing[20] = {0, 4, 0, 12, 24, 24, 16, 0, 0, 0, 0, 0, 0, 16, 4, 24, 0, 4, 0, 24};
    for (uint32_t kind = 1; kind < 20; ++kind) {
        BtfBuilder b;
        b.raw(0, kind << 24 | 2, 0, std::string(trailing[kind], '\0'));
        b.composite(BtfBuilder::kStruct, "s", 16, {{"m", 0, 64}});
        const Btf btf = Parsed(b.blob());
        EXPECT_EQ(btf.typeCount(), 2u) << kind;
        EXPECT_EQ(btf.member("s", "m").value_or(BtfMember{}).bitOffset, 64u) << kind;
    }
}

// A chain of 32 typedefs and 32 anonymous members inside each other are
// followed; one more of either is not, nor is a loop, which parses (every id
// is in range) and stops the lookup that runs into it.
TEST(Btf, FollowsChainsUpToTheirLimits) {
    for (const uint32_t depth : {32u, 33u}) {
        BtfBuilder b;
        uint32_t type = b.integer("int", 4), inner = b.composite(BtfBuilder::kStruct, "", 4, {{"m", type, 8}});
        for (uint32_t i = 0; i < depth; ++i) type = b.link(BtfBuilder::kTypedef, type, "t");
        for (uint32_t i = 1; i < depth; ++i) inner = b.composite(BtfBuilder::kStruct, "", 4, {{"", inner, 8}});
        b.composite(BtfBuilder::kStruct, "top", 4, {{"", inner, 0}, {"x", type, 0}});
        const Btf btf = Parsed(b.blob());
        EXPECT_EQ(btf.sizeOf(btf.member("top", "x")->type), depth == 32 ? std::optional<uint64_t>(4) : std::nullopt);
        EXPECT_EQ(btf.member("top", "m").value_or(BtfMember{}).bitOffset, depth == 32 ? 8u * 32 : 0u);
        EXPECT_EQ(btf.problem().empty(), depth == 32) << btf.problem();
    }
    BtfBuilder b;
    b.link(BtfBuilder::kTypedef, 2, "a"), b.link(BtfBuilder::kConst, 1);
    const Btf loop = Parsed(b.blob());
    EXPECT_FALSE(loop.sizeOf(1));
    EXPECT_EQ(loop.problem(), "BTF type 1: its typedef/const/volatile/restrict/type tag chain loops or is longer "
                              "than 32 links");
}

}  // namespace
}  // namespace vantric::layout
