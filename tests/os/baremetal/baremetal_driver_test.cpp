#include "os/baremetal/baremetal_driver.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "baremetal_test_support.h"
#include "kv_test_support.h"
#include "util/vantric_exception.h"

namespace vantric {
namespace {

using testing::BareMetalRig;
using testing::RecordsOf;
using Addresses = std::vector<uint64_t>;

// The construction failure text, or "" when construction succeeded.
std::string ConstructionError(BareMetalRig& rig) {
    try {
        BareMetalDriver driver(rig.capture(), 100, rig.settings);
    } catch (const VantricExceptionT& e) {
        return e.what();
    }
    return "";
}

vq::JSONValue Array(std::initializer_list<vq::JSONValue> values) {
    vq::JSONValue array = vq::JSONValue::makeArray();
    for (const vq::JSONValue& value : values) array.append(vq::JSONValue(value));
    return array;
}

TEST(BareMetalSettings, RefusalTexts) {
    const std::string type = "tried to access value of type ", null = type + "null as ";
    // The key (nullptr: the whole settings object), its value (null: absent), the refusal.
    const struct { const char* key; vq::JSONValue value; std::string error; } cases[] = {
        {"app-name", vq::JSONValue(), "invalid app-name : " + null + "string.\n"},
        {"app-name", vq::JSONValue(7), "invalid app-name : " + type + "integer as string.\n"},
        {"app-proc-id", vq::JSONValue(), "invalid app-proc-id : " + null + "integer.\n"},
        {"app-proc-id", vq::JSONValue(-1), "invalid app-proc-id : Value -1 is too small for uint32.\n"},
        {"app-proc-id", vq::JSONValue(uint64_t{1} << 32),
         "invalid app-proc-id : Value 4294967296 is too large for uint32.\n"},
        {"app-proc-id", vq::JSONValue(4294967295u), ""},
        {"symbol-info-files", vq::JSONValue(), "invalid symbol-info-files : " + null + "string.\n"},
        {"symbol-info-files", vq::JSONValue(3),
         "invalid symbol-info-files : " + type + "integer as string.\n"},
        {"symbol-info-files", Array({vq::JSONValue("a.sym"), vq::JSONValue(5)}),
         "invalid symbol-info-files : " + type + "array as string.\n"},
        {nullptr, vq::JSONValue::makeArray(), "invalid app-name : " + type + "array as object.\n"},
    };
    for (const auto& c : cases) {
        BareMetalRig rig;
        (c.key ? rig.settings[c.key] : rig.settings) = c.value;
        EXPECT_EQ(ConstructionError(rig), c.error) << (c.key ? c.key : "settings");
    }
}

// Keys of the wrong type keep their defaults; without symbol call graphs the
// symbol files may be absent, and the files before a bad element are kept.
TEST(BareMetalSettings, OptionalKeysAndSymbolFiles) {
    BareMetalRig rig;
    EXPECT_TRUE(rig.Start().WantsBranchEvents());
    rig.settings["callgraph-using-debug-info"] = vq::JSONValue("no");
    rig.settings["report-function-activity"] = vq::JSONValue(1);
    BareMetalDriver& defaults = rig.Start();
    EXPECT_TRUE(defaults.WantsBranchEvents());
    EXPECT_EQ(defaults.activity(), nullptr);
    EXPECT_EQ(defaults.functions().size(), 5u);
    rig.settings["callgraph-using-debug-info"] = vq::JSONValue(false);
    rig.settings["symbol-info-files"] = vq::JSONValue();
    EXPECT_FALSE(rig.Start().WantsBranchEvents());
    rig.settings["symbol-info-files"] = Array({vq::JSONValue(rig.directory.write("a.sym", "fa 100 1ff\n")),
                                               vq::JSONValue(5), vq::JSONValue("app.sym")});
    EXPECT_EQ(rig.Start().functions().size(), 1u);
    // Unreadable files are noted; a later file replaces an earlier function.
    rig.settings["symbol-info-files"] = Array(
        {vq::JSONValue("/nonexistent/one.sym"), vq::JSONValue(rig.directory.write("b.sym", "old 100 1ff\nfc 301 3ff\n")),
         vq::JSONValue(rig.directory.path().string()), vq::JSONValue(rig.directory.write("c.sym", "\n\nnew 101 17f\n"))});
    BareMetalDriver& driver = rig.Start();
    EXPECT_EQ(driver.Messages(),
              "Baremetal driver : Unable to open symbol defintion /nonexistent/one.sym\n"
              "Baremetal driver : Unable to open symbol defintion " + rig.directory.path().string() + "\n");
    ASSERT_EQ(driver.functions().size(), 2u);
    EXPECT_EQ(driver.functions().at(0x300).symbolId, 2u);
    const FunctionSymbol& f = driver.functions().at(0x100);
    EXPECT_EQ(f.name + " " + std::to_string(f.symbolId) + " " + std::to_string(f.end), "new 3 383");
}

TEST(BareMetalInit, RunsTheBaseSetUp) {
    BareMetalRig rig;
    rig.core().SetExtendedFeatures("HOST_MODEL=1");
    kvhost::StreamCapture console;
    BareMetalDriver driver(rig.capture(), 100, rig.settings);
    EXPECT_FALSE(driver.Init(&rig.core().debug(), 2, true));
    EXPECT_EQ(console.err(), "ERROR (OSDriver) feature not found in ETF\n");
}

// Sampled addresses of one core, with one cookie for all frames.
std::vector<Addresses> Sampled(const rcf::Capture& capture, uint32_t core) {
    std::vector<Addresses> stacks;
    for (const rcf::SampleRecord& sample : RecordsOf<rcf::SampleRecord>(capture, 2, core)) {
        EXPECT_EQ(sample.tid, testing::kAppId);
        stacks.emplace_back();
        for (const rcf::StackFrame& frame : sample.frames) {
            EXPECT_EQ(frame.cookie, sample.cookie);
            stacks.back().push_back(frame.address);
        }
    }
    return stacks;
}

// The first sample of any core announces the application once, on that core;
// a call stack from branches is sampled innermost first, after the pc.
TEST(BareMetalSample, FirstSampleAnnouncesTheApplicationOnce) {
    BareMetalRig rig;
    BareMetalDriver& driver = rig.Start();
    driver.OnSample(nullptr, 1, 0x1234, 0, 0, 0, false, false, true, 500);
    driver.OnBranch(nullptr, 0, 0x500, 0x1000, true, 501);   // main, called from 0x500
    driver.OnBranch(nullptr, 0, 0x1010, 0x2000, true, 502);  // alpha, from 0x1010
    driver.OnBranch(nullptr, 0, 0x2020, 0x3001, true, 503);  // beta, from 0x2020
    driver.OnSample(nullptr, 0, 0x3050, 0x77, 0x88, 0x99, false, false, true, 600);
    driver.OnSample(nullptr, 1, 0x123c, 0, 0, 0, false, false, true, 700);
    const rcf::Capture capture = rig.Finish();
    const auto switches = RecordsOf<rcf::SwitchRecord>(capture, 7, 1);
    ASSERT_EQ(switches.size(), 1u);
    EXPECT_EQ(std::tie(switches[0].time, switches[0].tid, switches[0].state),
              std::make_tuple(uint64_t{500}, testing::kAppId, uint32_t{0}));
    EXPECT_TRUE(RecordsOf<rcf::SwitchRecord>(capture, 7, 0).empty());
    const auto names = RecordsOf<rcf::CookieNameRecord>(capture, 3, 1);
    ASSERT_EQ(names.size(), 1u);  // one cookie for the application on core 1
    EXPECT_EQ(names[0].name, testing::kAppName);
    EXPECT_EQ(RecordsOf<rcf::SampleRecord>(capture, 2, 1).at(0).cookie, names[0].cookie);
    EXPECT_EQ(Sampled(capture, 0), (std::vector<Addresses>{{0x3050, 0x2020, 0x1010, 0x500}}));
    EXPECT_EQ(Sampled(capture, 1), (std::vector<Addresses>{{0x1234}, {0x123c}}));
}

TEST(BareMetalSample, FrameWalkInTheDataSpaceWithoutSymbols) {
    BareMetalRig rig;
    rig.settings["callgraph-using-debug-info"] = vq::JSONValue(false);
    kvhost::Processor& core = rig.core();
    core.SetPcMemorySpace("Secure");  // the walk must not follow the PC's space
    // Frame records (next frame, then return address) in both spaces.
    for (const auto& [space, ret] : {std::pair{"Guest", 0xAAA0}, std::pair{"Secure", 0xBBB0}}) {
        core.Write64(space, 0x9000, 0x9100);
        core.Write64(space, 0x9008, ret);
    }
    BareMetalDriver& driver = rig.Start();
    driver.OnBranch(nullptr, 0, 0x500, 0x1000, true, 1);  // no effect without symbols
    EXPECT_TRUE(driver.callStack(0).empty());
    driver.OnSample(&core.debug(), 0, 0x1234, 0x5678, 0x9000, 0x9000, false, false, true, 10);
    EXPECT_EQ(Sampled(rig.Finish(), 0), (std::vector<Addresses>{{0x1234, 0xAAA0}}));
}

// ---- call stacks from the branch trace ----

using Frames = std::vector<std::pair<uint64_t, uint64_t>>;  // (start, callSite), outermost first

constexpr uint64_t kException = 1;  // as a branch source: an exception instead

struct Branch {
    uint64_t pc, target;
    uint32_t core = 0;
};

// Function layout of kSymbols: main 1000-10ff, alpha 2000-20ff, beta 3001-30ff
// (Thumb), gamma 4000-40ff, veneer 5000-5004.
const struct {
    std::vector<Branch> branches;
    Frames frames;           // core 0 afterwards
    size_t core1Frames = 0;  // depth of core 1 afterwards
} kSequences[] = {
    // A call; a Thumb function called at its odd and at its even address.
    {{{0x500, 0x1000}}, {{0x1000, 0x500}}},
    {{{0x500, 0x3001}}, {{0x3001, 0x500}}},
    {{{0x500, 0x3000}}, {{0x3000, 0x500}}},
    // A branch into the middle of a function is no call.
    {{{0x500, 0x1004}}, {}},
    // A return pops the inner of two frames, also to the call site itself;
    // just beyond call site + 4 is no return.
    {{{0x500, 0x1000}, {0x1010, 0x2000}, {0x2050, 0x1014}}, {{0x1000, 0x500}}},
    {{{0x500, 0x1000}, {0x1010, 0x2000}, {0x2050, 0x1010}}, {{0x1000, 0x500}}},
    {{{0x500, 0x1000}, {0x1010, 0x2000}, {0x2050, 0x1015}}, {{0x1000, 0x500}, {0x2000, 0x1010}}},
    // A return while the callee is the only frame pops nothing.
    {{{0x1010, 0x2000}, {0x2050, 0x1014}}, {{0x2000, 0x1010}}},
    // A source once found not to return (one frame open) stays so: gamma,
    // alpha again, then a branch that would return to gamma.
    {{{0x1010, 0x2000}, {0x2050, 0x1014}, {0x1110, 0x4000}, {0x4010, 0x2000}, {0x2050, 0x4014}},
     {{0x2000, 0x1010}, {0x4000, 0x1110}, {0x2000, 0x4010}}},
    // A target (0x2114, no function) classified while one frame was open is ignored later.
    {{{0x500, 0x1000}, {0x1050, 0x2114}, {0x1010, 0x2000}, {0x2110, 0x4000}, {0x4050, 0x2114}},
     {{0x1000, 0x500}, {0x2000, 0x1010}, {0x4000, 0x2110}}},
    // A branch leaving the function while no frame matches leaves its source a
    // possible return: the same instruction pops once a frame matches.
    {{{0x500, 0x1000}, {0x1010, 0x2000}, {0x2050, 0x7000}, {0x2050, 0x1014}}, {{0x1000, 0x500}}},
    // A nested return pops two frames.
    {{{0x1010, 0x2000}, {0x2020, 0x4000}, {0x4050, 0x1014}}, {}},
    // A branch within the innermost function, or leaving it to no call site, pops nothing.
    {{{0x500, 0x1000}, {0x1010, 0x2000}, {0x2010, 0x2030}, {0x2030, 0x20ff}},
     {{0x1000, 0x500}, {0x2000, 0x1010}}},
    {{{0x500, 0x1000}, {0x1010, 0x2000}, {0x20f0, 0x7000}}, {{0x1000, 0x500}, {0x2000, 0x1010}}},
    // A caller of at most 4 bytes is skipped by the search, which goes on below
    // it; a return to a lower frame pops the frames above it.
    {{{0x500, 0x1000}, {0x1010, 0x5000}, {0x5000, 0x2000}, {0x2050, 0x5004}},
     {{0x1000, 0x500}, {0x5000, 0x1010}, {0x2000, 0x5000}}},
    {{{0x1010, 0x2000}, {0x2020, 0x5000}, {0x1010, 0x4000}, {0x4050, 0x1014}}, {}},
    {{{0x500, 0x1000}, {0x1010, 0x5000}, {0x5000, 0x2000}, {0x2050, 0x1014}}, {{0x1000, 0x500}}},
    // A cached call target pushes again; a cached return source pops again.
    {{{0x500, 0x1000}, {0x1010, 0x2000}, {0x2050, 0x1014}, {0x1020, 0x2000}},
     {{0x1000, 0x500}, {0x2000, 0x1020}}},
    {{{0x500, 0x1000}, {0x1010, 0x2000}, {0x2050, 0x1014}, {0x1020, 0x2000}, {0x2050, 0x1024}},
     {{0x1000, 0x500}}},
    // Stacks are per core; a core beyond the count given to Init is ignored.
    {{{0x500, 0x1000}, {0x600, 0x1000, 1}, {0x1010, 0x2000, 1}, {0x2050, 0x1014}, {0x500, 0x1000, 2}},
     {{0x1000, 0x500}}, 2},
    // An exception empties every stack; a return to a dropped frame is ignored.
    {{{0x500, 0x1000}, {0x1010, 0x2000}, {0x500, 0x4000, 1}, {kException, 0}, {0x1020, 0x2000},
      {0x2050, 0x1014}},
     {{0x2000, 0x1020}}},
};

TEST(BareMetalBranches, StackAfterEachSequence) {
    for (size_t i = 0; i < std::size(kSequences); ++i) {
        const auto& c = kSequences[i];
        BareMetalRig rig;
        BareMetalDriver& driver = rig.Start();
        uint64_t time = 0;
        for (const Branch& b : c.branches) {
            if (b.pc == kException) driver.OnException();
            if (b.pc != kException) driver.OnBranch(nullptr, b.core, b.pc, b.target, true, ++time);
        }
        Frames frames;
        for (const auto& f : driver.callStack(0)) frames.emplace_back(f.start, f.callSite);
        EXPECT_EQ(frames, c.frames) << "sequence " << i;
        EXPECT_EQ(driver.callStack(1).size(), c.core1Frames) << "sequence " << i;
    }
}

}  // namespace
}  // namespace vantric
