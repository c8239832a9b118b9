#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "baremetal_test_support.h"
#include "util/vantric_exception.h"
#include "json/json_reader.h"
#include "json/json_stream_reader.h"
#include "os/baremetal/baremetal_driver.h"
#include "os/os_test_support.h"

namespace vantric {
namespace {

using testing::BareMetalRig;
using testing::kAppId;
using testing::kAppName;
using testing::RecordsOf;

// The construction failure text, or "" when construction succeeded.
std::string ConstructionError(BareMetalRig& rig) {
    try {
        BareMetalDriver driver(rig.capture(), 100, rig.settings);
    } catch (const VantricExceptionT& e) {
        return e.what();
    }
    return "";
}

TEST(BareMetalSettings, FailureMessages) {
    const struct {
        const char* key;  // nullptr: the value replaces the whole settings object
        vq::JSONValue value;  // null: the key is absent
        std::string error;
    } cases[] = {
        {"app-name", vq::JSONValue(),
         "invalid app-name : tried to access value of type null as string.\n"},
        {"app-name", vq::JSONValue(7),
         "invalid app-name : tried to access value of type integer as string.\n"},
        {"app-proc-id", vq::JSONValue(),
         "invalid app-proc-id : tried to access value of type null as integer.\n"},
        {"app-proc-id", vq::JSONValue(-1),
         "invalid app-proc-id : Value -1 is too small for uint32.\n"},
        {"app-proc-id", vq::JSONValue(uint64_t{1} << 32),
         "invalid app-proc-id : Value 4294967296 is too large for uint32.\n"},
        {"app-proc-id", vq::JSONValue(4294967295u), ""},
        {"symbol-info-files", vq::JSONValue(),
         "invalid symbol-info-files : tried to access value of type null as string.\n"},
        {"symbol-info-files", vq::JSONValue(3),
         "invalid symbol-info-files : tried to access value of type integer as string.\n"},
        {nullptr, vq::JSONValue::makeArray(),
         "invalid app-name : tried to access value of type array as object.\n"},
    };
    for (const auto& c : cases) {
        BareMetalRig rig;
        (c.key ? rig.settings[c.key] : rig.settings) = c.value;
        EXPECT_EQ(ConstructionError(rig), c.error) << (c.key ? c.key : "settings");
    }
}

TEST(BareMetalSettings, ArrayWithABadElement) {
    BareMetalRig rig;
    vq::JSONValue files = vq::JSONValue::makeArray();
    files.append(vq::JSONValue(rig.WriteFile("a.sym", "fa 100 1ff\n")));
    files.append(vq::JSONValue(5));
    files.append(vq::JSONValue(rig.WriteFile("b.sym", "fb 200 2ff\n")));
    rig.settings["symbol-info-files"] = files;
    EXPECT_EQ(ConstructionError(rig),
              "invalid symbol-info-files : tried to access value of type array as string.\n");

    // Without symbol call graphs the files read before the bad element are kept.
    rig.settings["callgraph-using-debug-info"] = vq::JSONValue(false);
    BareMetalDriver& driver = rig.Start();
    ASSERT_EQ(driver.functions().size(), 1u);
    EXPECT_EQ(driver.functions().begin()->second.name, "fa");
}

TEST(BareMetalSettings, OptionalKeys) {
    BareMetalRig rig;
    BareMetalDriver& driver = rig.Start();
    EXPECT_TRUE(driver.WantsBranchEvents());
    EXPECT_EQ(driver.activity(), nullptr);
    EXPECT_EQ(driver.functions().size(), 5u);

    BareMetalRig plain;
    plain.settings["callgraph-using-debug-info"] = vq::JSONValue(false);
    plain.settings["symbol-info-files"] = vq::JSONValue();  // may be absent now
    EXPECT_FALSE(plain.Start().WantsBranchEvents());
    EXPECT_TRUE(plain.driver().functions().empty());

    BareMetalRig wrongType;  // settings of the wrong type keep their defaults
    wrongType.settings["callgraph-using-debug-info"] = vq::JSONValue("no");
    wrongType.settings["report-function-activity"] = vq::JSONValue(1);
    EXPECT_TRUE(wrongType.Start().WantsBranchEvents());
    EXPECT_EQ(wrongType.driver().activity(), nullptr);
}

TEST(BareMetalSettings, UnreadableFilesAreNotedAndLaterFilesReplaceEarlierFunctions) {
    BareMetalRig rig;
    vq::JSONValue files = vq::JSONValue::makeArray();
    files.append(vq::JSONValue("/nonexistent/one.sym"));
    files.append(vq::JSONValue(rig.WriteFile("a.sym", "old 100 1ff\nfc 301 3ff\n")));
    files.append(vq::JSONValue("/nonexistent/two.sym"));
    files.append(vq::JSONValue(rig.WriteFile("b.sym", "\n\nnew 101 17f\n")));
    rig.settings["symbol-info-files"] = files;
    BareMetalDriver& driver = rig.Start();
    EXPECT_EQ(driver.Messages(),
              "Baremetal driver : Unable to open symbol defintion /nonexistent/one.sym\n"
              "Baremetal driver : Unable to open symbol defintion /nonexistent/two.sym\n");
    ASSERT_EQ(driver.functions().size(), 2u);
    EXPECT_EQ(driver.functions().at(0x300).symbolId, 2u);
    const FunctionSymbol& f = driver.functions().at(0x100);
    EXPECT_EQ(f.name, "new");
    EXPECT_EQ(f.symbolId, 3u);
    EXPECT_EQ(f.end, 0x17fu);
}

vq::JSONValue ReadJson(const std::string& path) {
    std::ifstream in(path);
    vq::JSONStreamReader reader(in);
    vq::JSONValue value;
    EXPECT_TRUE(vq::parseJSON(reader, value)) << path << "\n" << reader.messages();
    return value;
}

// The example's paths are relative to the repository root; the guard goes
// back to the previous directory on every path.
struct InSourceDirectory {
    const std::filesystem::path previous = std::filesystem::current_path();
    InSourceDirectory() { std::filesystem::current_path(VT_SOURCE_DIR); }
    ~InSourceDirectory() { std::filesystem::current_path(previous); }
};

TEST(BareMetalSettings, ExampleBuildsADriverWithEverySymbol) {
    std::optional<InSourceDirectory> inSource(std::in_place);
    const vq::JSONValue config = ReadJson("examples/baremetal/config.json");
    const vq::JSONValue settings =
        ReadJson(config.at(0).members().at("Subsystem_config_file").asString());
    CounterSet counters;
    CaptureWriter capture;
    BareMetalDriver driver(capture, 32, settings);
    inSource.reset();
    EXPECT_EQ(driver.Messages(), "");
    EXPECT_EQ(driver.applicationName(), "blinky");
    EXPECT_TRUE(driver.reportsFunctionActivity());
    ASSERT_EQ(driver.functions().size(), 7u);
    EXPECT_EQ(driver.functions().at(0x240).name, "led_toggle");  // a Thumb function
    EXPECT_EQ(driver.functions().at(0x240).symbolId, 4u);
}

TEST(BareMetalInit, RunsTheBaseSetUp) {
    BareMetalRig failing;
    failing.core().SetExtendedFeatures("HOST_MODEL=1");
    testing::StderrCapture err;
    BareMetalDriver withoutFeature(failing.capture(), 100, failing.settings);
    EXPECT_FALSE(withoutFeature.Init(&failing.core().debug(), 2, true));
    EXPECT_EQ(err.text(), "ERROR (OSDriver) feature not found in ETF\n");
}

// Sampled addresses of core 0, with one cookie for all frames.
std::vector<uint64_t> SampledAddresses(const rcf::Capture& capture) {
    const auto samples = RecordsOf<rcf::SampleRecord>(capture, 2, 0);
    EXPECT_EQ(samples.size(), 1u);
    std::vector<uint64_t> addresses;
    for (const rcf::SampleRecord& sample : samples) {
        for (const rcf::StackFrame& frame : sample.frames) {
            EXPECT_EQ(frame.cookie, sample.cookie);
            addresses.push_back(frame.address);
        }
    }
    return addresses;
}

TEST(BareMetalSample, FirstSampleAnnouncesTheApplicationOnce) {
    BareMetalRig rig;
    BareMetalDriver& driver = rig.Start();
    driver.OnSample(nullptr, 1, 0x1234, 0, 0, 0, false, false, true, 500);
    driver.OnSample(nullptr, 0, 0x1238, 0, 0, 0, false, false, true, 600);
    driver.OnSample(nullptr, 1, 0x123c, 0, 0, 0, false, false, true, 700);
    const rcf::Capture capture = rig.Finish();

    const auto switches = RecordsOf<rcf::SwitchRecord>(capture, 7, 1);
    ASSERT_EQ(switches.size(), 1u);
    EXPECT_EQ(switches[0].time, 500u);
    EXPECT_EQ(switches[0].tid, kAppId);
    EXPECT_EQ(switches[0].state, 0u);
    EXPECT_TRUE(RecordsOf<rcf::SwitchRecord>(capture, 7, 0).empty());
    const auto names = RecordsOf<rcf::CookieNameRecord>(capture, 3, 1);
    ASSERT_EQ(names.size(), 1u);  // one cookie for the application on core 1
    EXPECT_EQ(names[0].name, kAppName);
    const auto samples = RecordsOf<rcf::SampleRecord>(capture, 2, 1);
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_EQ(samples[0].cookie, names[0].cookie);
    EXPECT_EQ(samples[0].tid, kAppId);
    EXPECT_EQ(SampledAddresses(capture), std::vector<uint64_t>{0x1238});
}

TEST(BareMetalSample, CallStackFromBranchesInnermostFirst) {
    BareMetalRig rig;
    BareMetalDriver& driver = rig.Start();
    driver.OnBranch(nullptr, 0, 0x500, 0x1000, true, 1);   // main, called from 0x500
    driver.OnBranch(nullptr, 0, 0x1010, 0x2000, true, 2);  // alpha, from 0x1010
    driver.OnBranch(nullptr, 0, 0x2020, 0x3001, true, 3);  // beta, from 0x2020
    driver.OnSample(nullptr, 0, 0x3050, 0x77, 0x88, 0x99, false, false, true, 10);
    EXPECT_EQ(SampledAddresses(rig.Finish()),
              (std::vector<uint64_t>{0x3050, 0x2020, 0x1010, 0x500}));
}

TEST(BareMetalSample, FrameWalkInTheDataSpaceWithoutSymbols) {
    BareMetalRig rig;
    rig.settings["callgraph-using-debug-info"] = vq::JSONValue(false);
    kvhost::Processor& core = rig.core();
    core.SetPcMemorySpace("Secure");  // the walk must not follow the PC's space
    testing::WriteFrameRecord(core, "Guest", 0x9000, 0x9100, 0xAAA0);
    testing::WriteFrameRecord(core, "Guest", 0x9100, 0, 0xAAA4);
    testing::WriteFrameRecord(core, "Secure", 0x9000, 0x9100, 0xBBB0);
    BareMetalDriver& driver = rig.Start();
    driver.OnBranch(nullptr, 0, 0x500, 0x1000, true, 1);  // no effect without symbols
    EXPECT_TRUE(driver.callStack(0).empty());
    driver.OnSample(&core.debug(), 0, 0x1234, 0x5678, 0x9000, 0x9000, false, false, true, 10);
    EXPECT_EQ(SampledAddresses(rig.Finish()), (std::vector<uint64_t>{0x1234, 0xAAA0}));
}

}  // namespace
}  // namespace vantric
