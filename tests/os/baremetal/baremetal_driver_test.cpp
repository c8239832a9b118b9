#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "baremetal_test_support.h"
#include "core/vantric_exception.h"
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
        BareMetalDriver driver(rig.counters(), rig.capture(), 100, rig.settings);
    } catch (const VantricExceptionT& e) {
        return e.what();
    }
    return "";
}

// ---- settings ----

struct SettingsCase {
    const char* what;
    const char* key;
    vq::JSONValue value;  // null: the key is removed
    std::string error;
};

class SettingsErrorTest : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(SettingsErrorTest, Message) {
    const SettingsCase& c = GetParam();
    BareMetalRig rig;
    rig.settings[c.key] = c.value;
    EXPECT_EQ(ConstructionError(rig), c.error) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Keys, SettingsErrorTest,
    ::testing::Values(
        SettingsCase{"app-name missing", "app-name", vq::JSONValue(),
                     "invalid app-name : tried to access value of type null as string.\n"},
        SettingsCase{"app-name a number", "app-name", vq::JSONValue(7),
                     "invalid app-name : tried to access value of type integer as string.\n"},
        SettingsCase{"app-proc-id missing", "app-proc-id", vq::JSONValue(),
                     "invalid app-proc-id : tried to access value of type null as integer.\n"},
        SettingsCase{"app-proc-id negative", "app-proc-id", vq::JSONValue(-1),
                     "invalid app-proc-id : Value -1 is too small for uint32.\n"},
        SettingsCase{"app-proc-id too large", "app-proc-id", vq::JSONValue(uint64_t{1} << 32),
                     "invalid app-proc-id : Value 4294967296 is too large for uint32.\n"},
        SettingsCase{"app-proc-id largest", "app-proc-id", vq::JSONValue(4294967295u), ""},
        SettingsCase{"symbol files missing", "symbol-info-files", vq::JSONValue(),
                     "invalid symbol-info-files : tried to access value of type null as string.\n"},
        SettingsCase{"symbol files a number", "symbol-info-files", vq::JSONValue(3),
                     "invalid symbol-info-files : tried to access value of type integer as "
                     "string.\n"}));

TEST(BareMetalSettings, SettingsThatAreNotAnObject) {
    BareMetalRig rig;
    rig.settings = vq::JSONValue::makeArray();
    EXPECT_EQ(ConstructionError(rig),
              "invalid app-name : tried to access value of type array as object.\n");
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

TEST(BareMetalSettings, DefaultsAndValues) {
    BareMetalRig rig;
    BareMetalDriver& driver = rig.Start();
    EXPECT_EQ(driver.applicationName(), kAppName);
    EXPECT_EQ(driver.applicationId(), kAppId);
    EXPECT_TRUE(driver.callgraphUsesSymbols());
    EXPECT_TRUE(driver.WantsBranchEvents());
    EXPECT_FALSE(driver.WantsSyscallEvents());
    EXPECT_FALSE(driver.reportsFunctionActivity());
    EXPECT_EQ(driver.activity(), nullptr);
    EXPECT_EQ(driver.functions().size(), 5u);
    EXPECT_EQ(driver.Messages(), "");

    BareMetalRig other;
    other.settings["report-function-activity"] = vq::JSONValue("yes");  // ignored
    other.settings["callgraph-using-debug-info"] = vq::JSONValue(false);
    other.settings["symbol-info-files"] = vq::JSONValue();  // may be absent now
    BareMetalDriver& plain = other.Start();
    EXPECT_FALSE(plain.reportsFunctionActivity());
    EXPECT_FALSE(plain.callgraphUsesSymbols());
    EXPECT_FALSE(plain.WantsBranchEvents());
    EXPECT_TRUE(plain.functions().empty());

    BareMetalRig wrongType;
    wrongType.settings["callgraph-using-debug-info"] = vq::JSONValue("no");  // ignored
    wrongType.settings["report-function-activity"] = vq::JSONValue(1);      // ignored
    EXPECT_TRUE(wrongType.Start().callgraphUsesSymbols());
    EXPECT_FALSE(wrongType.driver().reportsFunctionActivity());
}

TEST(BareMetalSettings, UnreadableSymbolFileIsNotedAndSkipped) {
    BareMetalRig rig;
    vq::JSONValue files = vq::JSONValue::makeArray();
    files.append(vq::JSONValue("/nonexistent/one.sym"));
    files.append(vq::JSONValue(rig.WriteFile("b.sym", "fb 200 2ff\nfc 301 3ff\n")));
    files.append(vq::JSONValue("/nonexistent/two.sym"));
    rig.settings["symbol-info-files"] = files;
    BareMetalDriver& driver = rig.Start();
    EXPECT_EQ(driver.Messages(),
              "Baremetal driver : Unable to open symbol defintion /nonexistent/one.sym\n"
              "Baremetal driver : Unable to open symbol defintion /nonexistent/two.sym\n");
    ASSERT_EQ(driver.functions().size(), 2u);
    EXPECT_EQ(driver.functions().at(0x300).symbolId, 2u);
}

TEST(BareMetalSettings, LaterFilesReplaceEarlierFunctions) {
    BareMetalRig rig;
    vq::JSONValue files = vq::JSONValue::makeArray();
    files.append(vq::JSONValue(rig.WriteFile("a.sym", "old 100 1ff\n")));
    files.append(vq::JSONValue(rig.WriteFile("b.sym", "\n\nnew 101 17f\n")));
    rig.settings["symbol-info-files"] = files;
    const FunctionSymbol& f = rig.Start().functions().at(0x100);
    EXPECT_EQ(f.name, "new");
    EXPECT_EQ(f.symbolId, 3u);
    EXPECT_EQ(f.end, 0x17fu);
}

// ---- Init ----

TEST(BareMetalInit, SizesStacksAndRunsTheBaseSetUp) {
    BareMetalRig rig(3);
    BareMetalDriver& driver = rig.Start();
    driver.OnBranch(nullptr, 2, 0x500, 0x1000, true, 1);
    EXPECT_EQ(driver.callStack(2).size(), 1u);
    driver.OnBranch(nullptr, 3, 0x500, 0x1000, true, 1);  // beyond the core count: ignored
    EXPECT_TRUE(driver.callStack(3).empty());

    BareMetalRig failing;
    failing.core().SetExtendedFeatures("HOST_MODEL=1");
    testing::StderrCapture err;
    BareMetalDriver driverWithoutFeature(failing.counters(), failing.capture(), 100,
                                         failing.settings);
    EXPECT_FALSE(driverWithoutFeature.Init(&failing.core().debug(), 2, true));
    EXPECT_EQ(err.text(), "ERROR (OSDriver) feature not found in ETF\n");
}

// ---- samples ----

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
    const auto threads = RecordsOf<rcf::ThreadNameRecord>(capture, 3, 1);
    ASSERT_EQ(threads.size(), 1u);
    EXPECT_EQ(threads[0].name, kAppName);
    EXPECT_EQ(threads[0].tid, kAppId);

    const auto names = RecordsOf<rcf::CookieNameRecord>(capture, 3, 1);
    ASSERT_EQ(names.size(), 1u);  // one cookie for the application on core 1
    EXPECT_EQ(names[0].name, kAppName);
    const auto samples = RecordsOf<rcf::SampleRecord>(capture, 2, 1);
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_EQ(samples[0].cookie, names[0].cookie);
    EXPECT_EQ(samples[0].pid, kAppId);
    EXPECT_EQ(samples[0].tid, kAppId);
    EXPECT_EQ(RecordsOf<rcf::SampleRecord>(capture, 2, 0).size(), 1u);
}

TEST(BareMetalSample, CallStackFromBranchesInnermostFirst) {
    BareMetalRig rig;
    BareMetalDriver& driver = rig.Start();
    driver.OnBranch(nullptr, 0, 0x500, 0x1000, true, 1);   // main, called from 0x500
    driver.OnBranch(nullptr, 0, 0x1010, 0x2000, true, 2);  // alpha, from 0x1010
    driver.OnBranch(nullptr, 0, 0x2020, 0x3001, true, 3);  // beta, from 0x2020
    driver.OnSample(nullptr, 0, 0x3050, 0x77, 0x88, 0x99, false, false, true, 10);
    const rcf::Capture capture = rig.Finish();

    const auto samples = RecordsOf<rcf::SampleRecord>(capture, 2, 0);
    ASSERT_EQ(samples.size(), 1u);
    const uint32_t cookie = samples[0].cookie;
    EXPECT_EQ(samples[0].frames, (std::vector<rcf::StackFrame>{
                                     {cookie, 0x3050}, {cookie, 0x2020}, {cookie, 0x1010},
                                     {cookie, 0x500}}));
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
    const rcf::Capture capture = rig.Finish();

    const auto samples = RecordsOf<rcf::SampleRecord>(capture, 2, 0);
    ASSERT_EQ(samples.size(), 1u);
    std::vector<uint64_t> addresses;
    for (const rcf::StackFrame& frame : samples[0].frames) addresses.push_back(frame.address);
    EXPECT_EQ(addresses, (std::vector<uint64_t>{0x1234, 0xAAA0}));
}

}  // namespace
}  // namespace vantric
