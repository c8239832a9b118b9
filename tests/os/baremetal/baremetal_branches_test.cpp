#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "baremetal_test_support.h"
#include "os/baremetal/baremetal_driver.h"

namespace vantric {
namespace {

using testing::BareMetalRig;
using Frames = std::vector<std::pair<uint64_t, uint64_t>>;  // (start, callSite), outermost first

constexpr uint64_t kException = 1;  // as a branch source: an exception instead

struct Branch {
    uint64_t pc;
    uint64_t target;
    uint32_t core = 0;
};

struct SequenceCase {
    const char* what;
    std::vector<Branch> branches;
    Frames frames;            // core 0 afterwards
    size_t core1Frames = 0;   // depth of core 1 afterwards
};

// Function layout of kSymbols: main 1000-10ff, alpha 2000-20ff, beta 3001-30ff
// (Thumb), gamma 4000-40ff, veneer 5000-5004.
const SequenceCase kSequences[] = {
    {"call", {{0x500, 0x1000}}, {{0x1000, 0x500}}},
    {"Thumb function called at its odd address", {{0x500, 0x3001}}, {{0x3001, 0x500}}},
    {"Thumb function called at its even address", {{0x500, 0x3000}}, {{0x3000, 0x500}}},
    {"branch into the middle of a function is no call", {{0x500, 0x1004}}, {}},
    {"return pops the inner of two frames",
     {{0x500, 0x1000}, {0x1010, 0x2000}, {0x2050, 0x1014}}, {{0x1000, 0x500}}},
    {"return to the call site itself also matches",
     {{0x500, 0x1000}, {0x1010, 0x2000}, {0x2050, 0x1010}}, {{0x1000, 0x500}}},
    {"target just beyond call site + 4 is no return",
     {{0x500, 0x1000}, {0x1010, 0x2000}, {0x2050, 0x1015}},
     {{0x1000, 0x500}, {0x2000, 0x1010}}},
    {"return while the callee is the only frame pops nothing",
     {{0x1010, 0x2000}, {0x2050, 0x1014}}, {{0x2000, 0x1010}}},
    {"a source once found not to return stays so",
     {{0x1010, 0x2000}, {0x2050, 0x1014},  // one frame: marked
      {0x1110, 0x4000}, {0x4010, 0x2000},  // gamma, alpha again
      {0x2050, 0x4014}},                   // would return to gamma
     {{0x2000, 0x1010}, {0x4000, 0x1110}, {0x2000, 0x4010}}},
    {"a target classified while one frame was open is ignored later",
     {{0x500, 0x1000}, {0x1050, 0x2114},  // 0x2114: no function
      {0x1010, 0x2000}, {0x2110, 0x4000}, {0x4050, 0x2114}},
     {{0x1000, 0x500}, {0x2000, 0x1010}, {0x4000, 0x2110}}},
    // A branch leaving the function while no frame matches leaves its source a
    // possible return: the same instruction pops once a frame matches.
    {"a source without a matching frame stays a possible return",
     {{0x500, 0x1000}, {0x1010, 0x2000}, {0x2050, 0x7000}, {0x2050, 0x1014}},
     {{0x1000, 0x500}}},
    {"nested return pops two frames",
     {{0x1010, 0x2000}, {0x2020, 0x4000}, {0x4050, 0x1014}}, {}},
    {"branch within the innermost function",
     {{0x500, 0x1000}, {0x1010, 0x2000}, {0x2010, 0x2030}, {0x2030, 0x20ff}},
     {{0x1000, 0x500}, {0x2000, 0x1010}}},
    {"leaving the function to no call site pops nothing",
     {{0x500, 0x1000}, {0x1010, 0x2000}, {0x20f0, 0x7000}},
     {{0x1000, 0x500}, {0x2000, 0x1010}}},
    {"a caller of at most 4 bytes is skipped by the search",
     {{0x500, 0x1000}, {0x1010, 0x5000}, {0x5000, 0x2000}, {0x2050, 0x5004}},
     {{0x1000, 0x500}, {0x5000, 0x1010}, {0x2000, 0x5000}}},
    {"the search goes on below a skipped frame",
     {{0x1010, 0x2000}, {0x2020, 0x5000}, {0x1010, 0x4000}, {0x4050, 0x1014}}, {}},
    {"a return to a lower frame pops the frames above it",
     {{0x500, 0x1000}, {0x1010, 0x5000}, {0x5000, 0x2000}, {0x2050, 0x1014}},
     {{0x1000, 0x500}}},
    {"cached call target pushes again",
     {{0x500, 0x1000}, {0x1010, 0x2000}, {0x2050, 0x1014}, {0x1020, 0x2000}},
     {{0x1000, 0x500}, {0x2000, 0x1020}}},
    {"cached return source pops again",
     {{0x500, 0x1000}, {0x1010, 0x2000}, {0x2050, 0x1014}, {0x1020, 0x2000}, {0x2050, 0x1024}},
     {{0x1000, 0x500}}},
    {"stacks are per core; a core beyond the count given to Init is ignored",
     {{0x500, 0x1000}, {0x600, 0x1000, 1}, {0x1010, 0x2000, 1}, {0x2050, 0x1014},
      {0x500, 0x1000, 2}},
     {{0x1000, 0x500}}, 2},
    {"an exception empties every stack; a return to a dropped frame is ignored",
     {{0x500, 0x1000}, {0x1010, 0x2000}, {0x500, 0x4000, 1}, {kException, 0},
      {0x1020, 0x2000}, {0x2050, 0x1014}},
     {{0x2000, 0x1020}}},
};

TEST(BareMetalBranches, StackAfterEachSequence) {
    for (const SequenceCase& c : kSequences) {
        BareMetalRig rig;
        BareMetalDriver& driver = rig.Start();
        uint64_t time = 0;
        for (const Branch& b : c.branches) {
            if (b.pc == kException) {
                driver.OnException();
            } else {
                driver.OnBranch(nullptr, b.core, b.pc, b.target, true, ++time);
            }
        }
        Frames frames;
        for (const BareMetalDriver::CallFrame& f : driver.callStack(0)) {
            frames.emplace_back(f.start, f.callSite);
        }
        EXPECT_EQ(frames, c.frames) << c.what;
        EXPECT_EQ(driver.callStack(1).size(), c.core1Frames) << c.what;
    }
}

}  // namespace
}  // namespace vantric
