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

struct WalkCase {
    const char* what;
    uint32_t depth;
    uint64_t fp;
    Addresses expected;
};

// Two chains in target memory: one from sp, one from sp + 16.
//   sp      -> next sp + 0x100, ret 0xA0;  sp + 0x100 -> next sp + 0x200, ret 0xA1;
//   sp+0x200 -> next 0 (ends the walk),   ret 0xA2
//   sp + 16 -> next sp + 0x300, ret 0xB0;  sp + 0x300 -> next sp + 0x400, ret 0 (ends)
void WriteChains(kvhost::Processor& core, const char* space) {
    WriteFrameRecord(core, space, kSp, kSp + 0x100, 0xA0);
    WriteFrameRecord(core, space, kSp + 0x100, kSp + 0x200, 0xA1);
    WriteFrameRecord(core, space, kSp + 0x200, 0, 0xA2);
    WriteFrameRecord(core, space, kSp + 16, kSp + 0x300, 0xB0);
    WriteFrameRecord(core, space, kSp + 0x300, kSp + 0x400, 0);
}

class UnwindFramePointersTest
    : public ::testing::TestWithParam<std::tuple<bool, WalkCase>> {};

TEST_P(UnwindFramePointersTest, Walk) {
    const auto& [is64, c] = GetParam();
    kvhost::Processor core("cpu", {.is64 = is64}, 0);
    const char* space = is64 ? "Guest" : "Secure";
    WriteChains(core, space);
    Addresses addresses = {0xDEAD};  // replaced, not appended to
    OSDriver::UnwindFramePointers(c.depth, &core.debug(), core.MemorySpaceId(space), kPc, kLr,
                                  c.fp, kSp, is64, addresses);
    EXPECT_EQ(addresses, c.expected) << c.what;
}

const WalkCase kWalks[] = {
    {"depth 0", 0, kSp + 16, {}},
    {"depth 1", 1, kSp + 16, {kPc}},
    {"fp just above sp: lr, then the chain from fp", 100, kSp + 16, {kPc, kLr, 0xB0}},
    {"depth counts lr", 2, kSp + 16, {kPc, kLr}},
    {"depth counts lr and frames", 3, kSp + 16, {kPc, kLr, 0xB0}},
    {"fp = sp: no lr, chain from sp", 100, kSp, {kPc, 0xA0, 0xA1}},
    {"fp = sp + 500: no lr", 100, kSp + 500, {kPc, 0xA0, 0xA1}},
    // The record at sp + 499 was never written: it reads as zero words.
    {"fp = sp + 499: lr", 100, kSp + 499, {kPc, kLr}},
    {"fp below sp: no lr", 100, kSp - 8, {kPc, 0xA0, 0xA1}},
    {"depth cuts the chain", 2, kSp, {kPc, 0xA0}},
    {"fp = 0", 100, 0, {kPc, 0xA0, 0xA1}},
};

std::vector<std::tuple<bool, WalkCase>> AllWalks() {
    std::vector<std::tuple<bool, WalkCase>> all;
    for (bool is64 : {true, false}) {
        for (const WalkCase& c : kWalks) {
            all.emplace_back(is64, c);
        }
    }
    return all;
}

INSTANTIATE_TEST_SUITE_P(Cases, UnwindFramePointersTest, ::testing::ValuesIn(AllWalks()));

TEST(UnwindFramePointers, WordWidthFollowsTheCore) {
    // A 64-bit record read as 32-bit words would give the low half of `next`
    // as the frame and its high half as the return address.
    kvhost::Processor core("cpu", {.is64 = true}, 0);
    const uint32_t guest = core.MemorySpaceId("Guest");
    core.Write64("Guest", kSp, 0x0000000100020000u);
    core.Write64("Guest", kSp + 8, 0xC0);
    core.Write64("Guest", 0x0000000100020000u, 0);
    Addresses addresses;
    OSDriver::UnwindFramePointers(10, &core.debug(), guest, kPc, kLr, kSp, kSp, true, addresses);
    EXPECT_EQ(addresses, (Addresses{kPc, 0xC0}));
    OSDriver::UnwindFramePointers(10, &core.debug(), guest, kPc, kLr, kSp, kSp, false, addresses);
    EXPECT_EQ(addresses, (Addresses{kPc, 1}));
}

TEST(UnwindFramePointers, FailedReadsEndTheWalk) {
    kvhost::Processor core("cpu", {.is64 = true}, 0);
    WriteChains(core, "Guest");
    Addresses addresses;
    // Wrong space: nothing is mapped in Secure.
    OSDriver::UnwindFramePointers(10, &core.debug(), core.MemorySpaceId("Secure"), kPc, kLr,
                                  kSp + 16, kSp, true, addresses);
    EXPECT_EQ(addresses, (Addresses{kPc, kLr}));
    OSDriver::UnwindFramePointers(10, nullptr, 2, kPc, kLr, kSp, kSp, true, addresses);
    EXPECT_EQ(addresses, (Addresses{kPc}));
}

}  // namespace
}  // namespace vantric
