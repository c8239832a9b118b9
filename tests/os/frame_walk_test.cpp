#include <gtest/gtest.h>

#include <vector>

#include "kvhost.h"
#include "os/os_driver.h"
#include "os_test_support.h"

namespace vantric {
namespace {

using Addresses = std::vector<uint64_t>;
using testing::WriteFrameRecord;

constexpr uint64_t kPc = 0x8000;
constexpr uint64_t kLr = 0x8100;
constexpr uint64_t kSp = 0x10000;

// Two chains in target memory, each ended by a zero word:
//   sp -> sp + 0x100 (ret A0) -> sp + 0x200 (ret A1) -> next 0 (ret A2)
//   sp + 16 -> sp + 0x300 (ret B0) -> sp + 0x400 (ret 0)
TEST(UnwindFramePointers, BoundsOnBothWidths) {
    const struct {
        const char* what;
        uint32_t depth;
        uint64_t fp;
        Addresses expected;
    } cases[] = {
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
    for (bool is64 : {true, false}) {
        kvhost::Processor core("cpu", {.is64 = is64}, 0);
        const char* space = is64 ? "Guest" : "Secure";
        WriteFrameRecord(core, space, kSp, kSp + 0x100, 0xA0);
        WriteFrameRecord(core, space, kSp + 0x100, kSp + 0x200, 0xA1);
        WriteFrameRecord(core, space, kSp + 0x200, 0, 0xA2);
        WriteFrameRecord(core, space, kSp + 16, kSp + 0x300, 0xB0);
        WriteFrameRecord(core, space, kSp + 0x300, kSp + 0x400, 0);
        for (const auto& c : cases) {
            Addresses addresses = {0xDEAD};  // replaced, not appended to
            OSDriver::UnwindFramePointers(c.depth, &core.debug(), core.MemorySpaceId(space), kPc,
                                          kLr, c.fp, kSp, is64, addresses);
            EXPECT_EQ(addresses, c.expected) << c.what << (is64 ? " (64-bit)" : " (32-bit)");
        }
    }
}

TEST(UnwindFramePointers, WordWidthFollowsTheCoreAndFailedReadsEndTheWalk) {
    // A 64-bit record read as 32-bit words would give the low half of `next`
    // as the frame and its high half as the return address.
    kvhost::Processor core("cpu", {.is64 = true}, 0);
    const uint32_t guest = core.MemorySpaceId("Guest");
    core.Write64("Guest", kSp, 0x0000000100020000u);
    core.Write64("Guest", kSp + 8, 0xC0);
    Addresses addresses;
    OSDriver::UnwindFramePointers(10, &core.debug(), guest, kPc, kLr, kSp, kSp, true, addresses);
    EXPECT_EQ(addresses, (Addresses{kPc, 0xC0}));
    OSDriver::UnwindFramePointers(10, &core.debug(), guest, kPc, kLr, kSp, kSp, false, addresses);
    EXPECT_EQ(addresses, (Addresses{kPc, 1}));
    // Nothing is mapped in Secure, and a null interface fails every read.
    OSDriver::UnwindFramePointers(10, &core.debug(), core.MemorySpaceId("Secure"), kPc, kLr,
                                  kSp, kSp, true, addresses);
    EXPECT_EQ(addresses, (Addresses{kPc}));
    OSDriver::UnwindFramePointers(10, nullptr, guest, kPc, kLr, kSp + 16, kSp, true, addresses);
    EXPECT_EQ(addresses, (Addresses{kPc, kLr}));
}

}  // namespace
}  // namespace vantric
