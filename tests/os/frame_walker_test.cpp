#include "os/frame_walker.h"

#include <gtest/gtest.h>

#include "kvhost.h"

namespace vantric {
namespace {

using Addresses = std::vector<uint64_t>;

constexpr uint64_t kPc = 0x8000;
constexpr uint64_t kLr = 0x8100;
constexpr uint64_t kSp = 0x10000;

// A 32-bit core walks 4-byte words, a 64-bit core 8-byte words: a walk of the
// wrong width stops early or follows a garbled frame. Two chains in target memory, each ended by a zero word:
//   sp -> sp + 0x100 (ret A0) -> sp + 0x200 (ret A1) -> next 0 (ret A2)
//   sp + 16 -> sp + 0x300 (ret B0) -> sp + 0x400 (ret 0)
TEST(FrameWalker, BoundsAndStopsOnBothWidths) {
    const struct { const char* what; uint32_t depth; uint64_t fp; Addresses expected; } cases[] = {
        {"depth 0", 0, kSp + 16, {}},
        {"depth 1", 1, kSp + 16, {kPc}},
        {"fp just above sp: lr, then the chain from fp", 100, kSp + 16, {kPc, kLr, 0xB0}},
        {"depth counts lr", 2, kSp + 16, {kPc, kLr}},
        {"fp = sp: no lr, chain from sp", 100, kSp, {kPc, 0xA0, 0xA1}},
        {"fp = sp + 500: no lr", 100, kSp + 500, {kPc, 0xA0, 0xA1}},
        // The record at sp + 499 was never written: it reads as zero words.
        {"fp = sp + 499: lr", 100, kSp + 499, {kPc, kLr}},
        {"fp below sp: no lr", 100, kSp - 8, {kPc, 0xA0, 0xA1}},
        {"depth cuts the chain", 2, kSp, {kPc, 0xA0}},
    };
    const uint64_t records[][3] = {{kSp, kSp + 0x100, 0xA0}, {kSp + 0x100, kSp + 0x200, 0xA1},
        {kSp + 0x200, 0, 0xA2}, {kSp + 16, kSp + 0x300, 0xB0}, {kSp + 0x300, kSp + 0x400, 0}};
    for (bool is64 : {true, false}) {
        kvhost::Processor core("cpu", {.is64 = is64}, 0);
        const char* space = is64 ? "Guest" : "Secure";
        for (const auto& [frame, next, ret] : records) {
            is64 ? core.Write64(space, frame, next) : core.Write32(space, frame, static_cast<uint32_t>(next));
            is64 ? core.Write64(space, frame + 8, ret) : core.Write32(space, frame + 4, static_cast<uint32_t>(ret));
        }
        for (const auto& c : cases) {
            Addresses addresses = {0xDEAD};  // replaced, not appended to
            FrameWalker::Walk(c.depth, &core.debug(), core.MemorySpaceId(space), kPc, kLr, c.fp,
                              kSp, is64, addresses);
            EXPECT_EQ(addresses, c.expected) << c.what << (is64 ? " (64-bit)" : " (32-bit)");
        }
    }
}

}  // namespace
}  // namespace vantric
