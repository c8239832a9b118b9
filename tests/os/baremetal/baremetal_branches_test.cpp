#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "baremetal_test_support.h"
#include "os/baremetal/baremetal_driver.h"

namespace vantric {
namespace {

using testing::BareMetalRig;

// Function layout of kSymbols: main 1000-10ff, alpha 2000-20ff, beta 3001-30ff
// (Thumb), gamma 4000-40ff, veneer 5000-5004.
struct Branch {
    uint64_t pc;
    uint64_t target;
};

// The stack of core 0 as "start/callSite" pairs, outermost first.
std::vector<std::pair<uint64_t, uint64_t>> Frames(const BareMetalDriver& driver,
                                                  uint32_t core = 0) {
    std::vector<std::pair<uint64_t, uint64_t>> frames;
    for (const BareMetalDriver::CallFrame& f : driver.callStack(core)) {
        frames.emplace_back(f.start, f.callSite);
    }
    return frames;
}

struct SequenceCase {
    const char* what;
    std::vector<Branch> branches;
    std::vector<std::pair<uint64_t, uint64_t>> frames;  // (start, callSite) afterwards
};

class BranchSequenceTest : public ::testing::TestWithParam<SequenceCase> {};

TEST_P(BranchSequenceTest, StackAfterwards) {
    const SequenceCase& c = GetParam();
    BareMetalRig rig;
    BareMetalDriver& driver = rig.Start();
    uint64_t time = 0;
    for (const Branch& b : c.branches) driver.OnBranch(nullptr, 0, b.pc, b.target, true, ++time);
    EXPECT_EQ(Frames(driver), c.frames) << c.what;
    EXPECT_TRUE(driver.callStack(1).empty()) << c.what;  // other cores untouched
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, BranchSequenceTest,
    ::testing::Values(
        SequenceCase{"call", {{0x500, 0x1000}}, {{0x1000, 0x500}}},
        SequenceCase{"Thumb function called at its odd address",
                     {{0x500, 0x3001}}, {{0x3001, 0x500}}},
        SequenceCase{"Thumb function called at its even address",
                     {{0x500, 0x3000}}, {{0x3000, 0x500}}},
        SequenceCase{"branch into the middle of a function is no call",
                     {{0x500, 0x1004}}, {}},
        SequenceCase{"return pops the inner of two frames",
                     {{0x500, 0x1000}, {0x1010, 0x2000}, {0x2050, 0x1014}},
                     {{0x1000, 0x500}}},
        SequenceCase{"return to the call site itself also matches",
                     {{0x500, 0x1000}, {0x1010, 0x2000}, {0x2050, 0x1010}},
                     {{0x1000, 0x500}}},
        SequenceCase{"target just beyond call site + 4 is no return",
                     {{0x500, 0x1000}, {0x1010, 0x2000}, {0x2050, 0x1015}},
                     {{0x1000, 0x500}, {0x2000, 0x1010}}},
        SequenceCase{"return while the callee is the only frame pops nothing",
                     {{0x1010, 0x2000}, {0x2050, 0x1014}},
                     {{0x2000, 0x1010}}},
        SequenceCase{"a source once found not to return stays so",
                     {{0x1010, 0x2000}, {0x2050, 0x1014},       // one frame: marked
                      {0x1110, 0x4000}, {0x4010, 0x2000},       // gamma, alpha again
                      {0x2050, 0x4014}},                        // would return to gamma
                     {{0x2000, 0x1010}, {0x4000, 0x1110}, {0x2000, 0x4010}}},
        SequenceCase{"nested return pops two frames",
                     {{0x1010, 0x2000}, {0x2020, 0x4000}, {0x4050, 0x1014}},
                     {}},
        SequenceCase{"branch within the innermost function",
                     {{0x500, 0x1000}, {0x1010, 0x2000}, {0x2010, 0x2030}, {0x2030, 0x20ff}},
                     {{0x1000, 0x500}, {0x2000, 0x1010}}},
        SequenceCase{"leaving the function to no call site pops nothing",
                     {{0x500, 0x1000}, {0x1010, 0x2000}, {0x20f0, 0x7000}},
                     {{0x1000, 0x500}, {0x2000, 0x1010}}},
        SequenceCase{"a caller of at most 4 bytes is skipped by the search",
                     {{0x500, 0x1000}, {0x1010, 0x5000}, {0x5000, 0x2000}, {0x2050, 0x5004}},
                     {{0x1000, 0x500}, {0x5000, 0x1010}, {0x2000, 0x5000}}},
        SequenceCase{"the search goes on below a skipped frame",
                     {{0x1010, 0x2000}, {0x2020, 0x5000}, {0x1010, 0x4000}, {0x4050, 0x1014}},
                     {}},
        SequenceCase{"a return to a lower frame pops the frames above it",
                     {{0x500, 0x1000}, {0x1010, 0x5000}, {0x5000, 0x2000}, {0x2050, 0x1014}},
                     {{0x1000, 0x500}}},
        SequenceCase{"cached call target pushes again",
                     {{0x500, 0x1000}, {0x1010, 0x2000}, {0x2050, 0x1014}, {0x1020, 0x2000}},
                     {{0x1000, 0x500}, {0x2000, 0x1020}}},
        SequenceCase{"cached return source pops again",
                     {{0x500, 0x1000}, {0x1010, 0x2000}, {0x2050, 0x1014},
                      {0x1020, 0x2000}, {0x2050, 0x1024}},
                     {{0x1000, 0x500}}},
        SequenceCase{"a target classified while one frame was open is ignored later",
                     {{0x500, 0x1000}, {0x1050, 0x2114},       // 0x2114: no function
                      {0x1010, 0x2000}, {0x2110, 0x4000}, {0x4050, 0x2114}},
                     {{0x1000, 0x500}, {0x2000, 0x1010}, {0x4000, 0x2110}}}));

TEST(BareMetalBranches, SourceWithoutAMatchingFrameStaysAPossibleReturn) {
    // The branch from 0x2050 leaves alpha while no frame matches its target.
    // The same return instruction must still pop once a frame matches.
    BareMetalRig rig;
    BareMetalDriver& driver = rig.Start();
    driver.OnBranch(nullptr, 0, 0x500, 0x1000, true, 1);
    driver.OnBranch(nullptr, 0, 0x1010, 0x2000, true, 2);
    driver.OnBranch(nullptr, 0, 0x2050, 0x7000, true, 3);  // no frame matches
    EXPECT_EQ(Frames(driver).size(), 2u);
    driver.OnBranch(nullptr, 0, 0x2050, 0x1014, true, 4);  // now a genuine return
    EXPECT_EQ(Frames(driver), (std::vector<std::pair<uint64_t, uint64_t>>{{0x1000, 0x500}}));
}

TEST(BareMetalBranches, ExceptionEmptiesEveryStack) {
    BareMetalRig rig;
    BareMetalDriver& driver = rig.Start();
    driver.OnBranch(nullptr, 0, 0x500, 0x1000, true, 1);
    driver.OnBranch(nullptr, 0, 0x1010, 0x2000, true, 2);
    driver.OnBranch(nullptr, 1, 0x500, 0x4000, true, 3);
    driver.OnException();
    EXPECT_TRUE(driver.callStack(0).empty());
    EXPECT_TRUE(driver.callStack(1).empty());
    // The return that matched a dropped frame is ignored.
    driver.OnBranch(nullptr, 0, 0x1020, 0x2000, true, 4);
    driver.OnBranch(nullptr, 0, 0x2050, 0x1014, true, 5);
    EXPECT_EQ(Frames(driver), (std::vector<std::pair<uint64_t, uint64_t>>{{0x2000, 0x1020}}));
}

TEST(BareMetalBranches, StacksArePerCore) {
    BareMetalRig rig;
    BareMetalDriver& driver = rig.Start();
    driver.OnBranch(nullptr, 0, 0x500, 0x1000, true, 1);
    driver.OnBranch(nullptr, 1, 0x600, 0x1000, true, 1);
    driver.OnBranch(nullptr, 1, 0x1010, 0x2000, true, 2);
    driver.OnBranch(nullptr, 0, 0x2050, 0x1014, true, 3);  // core 0 has one frame
    EXPECT_EQ(Frames(driver, 0).size(), 1u);
    EXPECT_EQ(Frames(driver, 1).size(), 2u);
}

TEST(BareMetalBranches, NothingBeforeInitOrWithoutSymbols) {
    BareMetalRig rig;
    BareMetalDriver driver(rig.counters(), rig.capture(), 100, rig.settings);
    driver.OnBranch(nullptr, 0, 0x500, 0x1000, true, 1);  // no stacks before Init
    driver.OnSample(nullptr, 0, 0x1000, 0, 0, 0, false, false, true, 2);
    driver.Finish(3);
    EXPECT_TRUE(driver.callStack(0).empty());
}

}  // namespace
}  // namespace vantric
