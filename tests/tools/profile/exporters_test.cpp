// Every exporter on the fixture capture; the expected texts are written out
// by hand from the records in fixture_capture.cpp.
#include <gtest/gtest.h>
#include <zlib.h>

#include <fstream>
#include <sstream>

#include "fixture_capture.h"
#include "rcf/profile/chrome_export.h"
#include "rcf/profile/folded_export.h"
#include "rcf/profile/pprof_export.h"
#include "rcf/profile/speedscope_export.h"
#include "support/test_support.h"

namespace vantric::rcf {
namespace {

// What an exporter wrote into a file of the temp directory (gunzipped when needed).
template <typename Write>
std::string Exported(const vantric::testing::TempDirectory& temp, const std::string& name, Write write) {
    const std::string path = (temp.path() / name).string();
    OutputStream out;
    EXPECT_TRUE(out.open(path, name.size() > 3 && name.substr(name.size() - 3) == ".gz"));
    write(out);
    EXPECT_TRUE(out.close()) << out.error();
    gzFile in = gzopen(path.c_str(), "rb");
    std::string text;
    char buffer[4096];
    for (int n; (n = gzread(in, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
    gzclose(in);
    return text;
}

class ExportersTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::WriteFixtureCapture(temp.path() / "f.rcf");
        profile = testing::FixtureProfile(temp.path() / "f.rcf");
    }
    vantric::testing::TempDirectory temp;
    Profile profile;
};

// ---- the model the exporters share ----

TEST_F(ExportersTest, ModelCountsUnresolvedFramesByReason) {
    const SymbolReport& s = profile.symbols;
    EXPECT_EQ(s.frames, 8u);
    EXPECT_EQ(s.framesBy[size_t(Unresolved::kResolved)], 5u);
    EXPECT_EQ(s.framesBy[size_t(Unresolved::kNoSysroot)], 1u);
    EXPECT_EQ(s.framesBy[size_t(Unresolved::kAnonymous)], 1u);
    EXPECT_EQ(s.framesBy[size_t(Unresolved::kOutsideSymbols)], 1u);
    EXPECT_EQ(s.locations, 6u);
    EXPECT_EQ(profile.samplePeriod, 1000u);  // core 0 at 0, 1000, 2000, 4000; core 1 once
}

TEST_F(ExportersTest, CoreSlicesAndNestedCalls) {
    const std::vector<std::tuple<uint32_t, uint64_t, uint64_t, bool, uint32_t>> slices = {
        {0, 0, 1000, false, 10}, {0, 1000, 3000, true, 0}, {0, 3000, testing::kLastTime, false, 11},
        {1, 500, 600, false, 12}, {1, 600, 700, true, 0}, {1, 700, testing::kLastTime, false, 12},
    };
    ASSERT_EQ(profile.coreSlices.size(), slices.size());
    for (size_t i = 0; i < slices.size(); ++i) {
        const CoreSlice& s = profile.coreSlices[i];
        EXPECT_EQ(std::make_tuple(s.core, s.start, s.end, s.idle, s.tid), slices[i]) << i;
    }
    // Sorted by start, longer first; E cut to the end of D and A.
    const std::vector<std::tuple<std::string, uint64_t, uint64_t, uint32_t>> calls = {
        {"A", 100, 500, 0}, {"B", 100, 300, 1}, {"D", 300, 500, 1}, {"E", 400, 500, 2}};
    ASSERT_EQ(profile.functions.size(), calls.size());
    for (size_t i = 0; i < calls.size(); ++i) {
        const FunctionSlice& f = profile.functions[i];
        EXPECT_EQ(std::make_tuple(f.name, f.start, f.end, f.depth), calls[i]) << i;
        EXPECT_EQ(f.tid, 10u);
    }
    EXPECT_EQ(profile.clippedFunctions, 1u);
}

// ---- folded ----

TEST_F(ExportersTest, FoldedIsRootFirstWithSafeNames) {
    EXPECT_EQ(Exported(temp, "out.folded", [&](OutputStream& out) { WriteFolded(profile, out); }),
              "[anon]+0x7fff0000;app+0x40 1\n"
              "[kernel]+0xffff0300 1\n"
              "kfunc_b 1\n"
              "kfunc_b;odd:name\xEF\xBF\xBD 2\n");
}

// ---- chrome ----

TEST_F(ExportersTest, ChromeEventsWithExactMicroseconds) {
    const std::string json = Exported(temp, "out.json.gz", [&](OutputStream& out) { WriteChromeTrace(profile, out); });
    const std::vector<std::string> lines = {
        R"~({"ph":"X","name":"main","pid":1073741824,"tid":1,"cat":"thread","ts":0.000,"dur":1.000,"args":{"tid":10,"pid":10,"process":"app"}})~",
        R"~({"ph":"X","name":"idle","pid":1073741824,"tid":1,"cat":"idle","ts":1.000,"dur":2.000})~",
        "{\"ph\":\"X\",\"name\":\"we\\\"ird\\u0001\xEF\xBF\xBD\\n\",\"pid\":1073741824,\"tid\":1,\"cat\":\"thread\","
        "\"ts\":3.000,\"dur\":9007199254737.992,",
        R"~({"ph":"X","name":"A","pid":1073741825,"tid":1,"cat":"function","ts":0.100,"dur":0.400,"args":{"tid":10}})~",
        R"~({"ph":"X","name":"B","pid":1073741825,"tid":1,"cat":"function","ts":0.100,"dur":0.200,"args":{"tid":10}})~",
        R"~({"ph":"X","name":"D","pid":1073741825,"tid":1,"cat":"function","ts":0.300,"dur":0.200,"args":{"tid":10}})~",
        R"~({"ph":"X","name":"E","pid":1073741825,"tid":1,"cat":"function","ts":0.400,"dur":0.100,"args":{"tid":10}})~",
        R"~({"ph":"i","name":"openat","pid":10,"tid":10,"cat":"annotation","s":"t","ts":9007199254740.992,"args":{"text":"openat(\"/x\")","core":0}})~",
        R"~({"ph":"i","name":"execve","pid":1073741827,"tid":1073742081,"cat":"annotation","s":"t","ts":1.000,)~",
        R"~({"ph":"C","name":"L2 refills core 0","pid":1073741826,"tid":1,"ts":0.999,"args":{"value":7}})~",
        R"~({"ph":"C","name":"L2 refills core 0","pid":1073741826,"tid":1,"ts":1.000,"args":{"value":1}})~",
        R"~({"ph":"M","name":"thread_name","pid":10,"tid":10,"args":{"name":"main"}})~",
        R"~({"ph":"M","name":"process_name","pid":10,"tid":1,"args":{"name":"app"}})~",
    };
    size_t last = 0;
    for (const std::string& line : lines) {
        const size_t at = json.find(line);
        EXPECT_NE(at, std::string::npos) << line << "\n" << json;
        // Function calls in nesting order: A, B, D, E.
        if (line.find("\"function\"") != std::string::npos) {
            EXPECT_GT(at, last) << line;
            last = at;
        }
    }
    // The event's own pid and tid come first on its line; neither is ever 0.
    std::istringstream events(json);
    for (std::string line; std::getline(events, line);) {
        if (line.find("\"ph\"") == std::string::npos) continue;
        const size_t pid = line.find("\"pid\":");
        EXPECT_NE(line.substr(pid, line.find(',', pid) - pid), "\"pid\":0") << line;
        const size_t tid = line.find("\"tid\":");
        EXPECT_NE(line.substr(tid, line.find(',', tid) - tid), "\"tid\":0") << line;
    }
    EXPECT_EQ(json.find("e+"), std::string::npos);  // never %g
}

// ---- speedscope ----

TEST_F(ExportersTest, SpeedscopeStacksRootFirstIdleAndBalancedEvents) {
    const std::string json = Exported(temp, "out.speedscope.json",
                                      [&](OutputStream& out) { WriteSpeedscope(profile, "f.rcf", out); });
    const std::vector<std::string> parts = {
        // Frames in the order the locations were met, the idle frame, then the calls.
        "\"frames\":[\n{\"name\":\"odd;name\xEF\xBF\xBD\"},\n{\"name\":\"kfunc_b\"},\n{\"name\":\"app+0x40\"},"
        "\n{\"name\":\"[anon]+0x7fff0000\"},\n{\"name\":\"[kernel]+0xffff0300\"},\n{\"name\":\"(idle)\"},"
        "\n{\"name\":\"A\"},\n{\"name\":\"B\"},\n{\"name\":\"D\"},\n{\"name\":\"E\"}]",
        // tid 10: two samples of one stack, 2000 ns off the cores, one more sample.
        R"~({"type":"sampled","name":"main (tid 10)","unit":"nanoseconds","startValue":0,"endValue":5000,"samples":[[1,0],[5],[1]],"weights":[2000,2000,1000]})~",
        R"~({"type":"sampled","name":"tid 12 (tid 12)","unit":"nanoseconds","startValue":500,"endValue":1500,"samples":[[4]],"weights":[1000]})~",
        R"~("events":[{"type":"O","frame":6,"at":100},{"type":"O","frame":7,"at":100},{"type":"C","frame":7,"at":300},)~"
        R"~({"type":"O","frame":8,"at":300},{"type":"O","frame":9,"at":400},{"type":"C","frame":9,"at":500},)~"
        R"~({"type":"C","frame":8,"at":500},{"type":"C","frame":6,"at":500}])~",
    };
    for (const std::string& part : parts) EXPECT_NE(json.find(part), std::string::npos) << part << "\n" << json;
}

}  // namespace
}  // namespace vantric::rcf
