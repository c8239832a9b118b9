// Construction of the Linux driver from its settings: keys, the system map,
// the offsets text of either layout, page shift defaults, and the exact
// exception and console texts of every refusal.
#include "os/linux/linux_driver.h"

#include <gtest/gtest.h>

#include <functional>

#include "core/vantric_exception.h"
#include "linux_rig.h"

namespace vantric {
namespace {

using vq::JSONValue;

constexpr const char* kOffsets25 =
    "24,1240,0,1128,1304,1308,1752,16,824,16,8,0,32,24,8,0,8,160,152,32,16,8,0,8,16";
constexpr const char* kOffsetsWarning =
    "WARN (Linux driver) Unable to parse kernel struct offsets (p)\n";

class LinuxDriverConstructionTest : public ::testing::Test {
protected:
    LinuxDriverConstructionTest() {
        mapPath_ = (dir_.path() / "System.map").string();
        std::ofstream(mapPath_) << "ffff800010000000 T _text\n"
                                   "ffff800010019420 T __switch_to\n"
                                   "ffff8000100938b0 T release_task\n"
                                   "ffff800011a0f0c0 D init_task\n";
    }

    // A valid 64-bit settings object, changed by `edit`.
    JSONValue Settings(const std::function<void(JSONValue&)>& edit = {}) {
        JSONValue settings = JSONValue::makeObject();
        settings["operating-system"] = JSONValue("linux");
        settings["system-map-file"] = JSONValue(mapPath_.c_str());
        settings["linux-offsets-64"] = JSONValue(kOffsets25);
        settings["pageshift"] = JSONValue(uint64_t{0});
        if (edit) edit(settings);
        return settings;
    }

    std::unique_ptr<LinuxDriver> Build(const JSONValue& settings) {
        return std::make_unique<LinuxDriver>(counters_, capture_, 16, settings);
    }

    // The exception text, or "" when construction succeeded.
    std::string Refusal(const JSONValue& settings) {
        try {
            Build(settings);
        } catch (const VantricExceptionT& e) {
            return e.message();
        }
        return "";
    }

    kvhost::TempDirectory dir_;
    std::string mapPath_;
    CounterSet counters_;
    CaptureWriter capture_;
};

TEST_F(LinuxDriverConstructionTest, ValidSettingsFillEveryField) {
    auto driver = Build(Settings());
    EXPECT_TRUE(driver->offsets64());
    EXPECT_EQ(driver->systemMapPath(), mapPath_);
    EXPECT_EQ(driver->switchToAddress(), 0xffff800010019420u);
    EXPECT_EQ(driver->releaseTaskAddress(), 0xffff8000100938b0u);
    EXPECT_EQ(driver->symbols().size(), 3u);
    EXPECT_EQ(driver->pageShift(), 16u);
    EXPECT_EQ(driver->callstackDepth(), 16u);
    EXPECT_EQ(driver->offsets().taskCommOffset, 1752u);
    EXPECT_EQ(driver->offsets().threadInfoTaskOffset, 0u);
    EXPECT_TRUE(driver->WantsBranchEvents());
    EXPECT_TRUE(driver->WantsSyscallEvents());
    EXPECT_FALSE(driver->taskKnown());
    EXPECT_EQ(driver->Messages(), "");
}

struct RefusalCase {
    const char* name;
    std::function<void(JSONValue&)> edit;
    std::string exception;  // with "<map>" for the system map path
    std::string console;
};

TEST_F(LinuxDriverConstructionTest, RefusalsCarryTheirExactTexts) {
    const std::string offsets32Without26 = kOffsets25;
    const RefusalCase cases[] = {
        {"no map key", [](JSONValue& s) { s = JSONValue::makeObject(); },
         "invalid System map file : tried to access value of type null as string.\n", ""},
        {"map key not a string", [](JSONValue& s) { s["system-map-file"] = JSONValue(uint64_t{7}); },
         "invalid System map file : tried to access value of type integer as string.\n", ""},
        {"settings not an object", [](JSONValue& s) { s = JSONValue::makeArray(1); },
         "invalid System map file : tried to access value of type array as object.\n", ""},
        {"no offsets",
         [](JSONValue& s) {
             JSONValue copy = JSONValue::makeObject();
             copy["system-map-file"] = s["system-map-file"];
             copy["pageshift"] = JSONValue(uint64_t{0});
             s = copy;
         },
         "invalid offsets\n", ""},
        {"empty 64-bit text replaces a good 32-bit one",
         [&](JSONValue& s) {
             s["linux-offsets-32"] = JSONValue((offsets32Without26 + " 12,").c_str());
             s["linux-offsets-64"] = JSONValue("");
         },
         "invalid offsets\n", ""},
        {"no pageshift",
         [](JSONValue& s) {
             JSONValue copy = JSONValue::makeObject();
             copy["system-map-file"] = s["system-map-file"];
             copy["linux-offsets-64"] = s["linux-offsets-64"];
             s = copy;
         },
         "invalid pageshift : tried to access value of type null as integer.\n", ""},
        {"negative pageshift", [](JSONValue& s) { s["pageshift"] = JSONValue(int64_t{-1}); },
         "invalid pageshift : Value -1 is too small for uint32.\n", ""},
        {"pageshift above 32 bits",
         [](JSONValue& s) { s["pageshift"] = JSONValue(uint64_t{4294967296}); },
         "invalid pageshift : Value 4294967296 is too large for uint32.\n", ""},
        {"pageshift as text", [](JSONValue& s) { s["pageshift"] = JSONValue("12"); },
         "invalid pageshift : tried to access value of type string as integer.\n", ""},
        {"missing map file",
         [](JSONValue& s) { s["system-map-file"] = JSONValue("/nonexistent/System.map"); },
         "system map file (/nonexistent/System.map) load failed ",
         "WARN (Linux driver) Unable to open system map file /nonexistent/System.map\n"},
        {"32-bit text without value 26",
         [&](JSONValue& s) {
             JSONValue copy = JSONValue::makeObject();
             copy["system-map-file"] = s["system-map-file"];
             copy["linux-offsets-32"] = JSONValue(kOffsets25);
             copy["pageshift"] = JSONValue(uint64_t{0});
             s = copy;
         },
         "Offsets parser error (" + offsets32Without26 + ")", kOffsetsWarning},
        {"short 32-bit text warns twice",
         [&](JSONValue& s) {
             JSONValue copy = JSONValue::makeObject();
             copy["system-map-file"] = s["system-map-file"];
             copy["linux-offsets-32"] = JSONValue("1,2,3");
             copy["pageshift"] = JSONValue(uint64_t{0});
             s = copy;
         },
         "Offsets parser error (1,2,3)", std::string(kOffsetsWarning) + kOffsetsWarning},
    };
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(c.name);
        kvhost::StreamCapture console;
        EXPECT_EQ(Refusal(Settings(c.edit)), c.exception);
        EXPECT_EQ(console.err(), c.console);
    }
}

TEST_F(LinuxDriverConstructionTest, MalformedSixtyFourBitTextOnlyWarns) {
    kvhost::StreamCapture console;
    auto driver = Build(Settings([](JSONValue& s) { s["linux-offsets-64"] = JSONValue("5,6,x"); }));
    EXPECT_EQ(console.err(), kOffsetsWarning);
    EXPECT_EQ(driver->offsets().taskStateOffset, 5u);
    EXPECT_EQ(driver->offsets().taskIoWaitOffset, 6u);
    EXPECT_EQ(driver->offsets().taskMmOffset, 0u);
}

TEST_F(LinuxDriverConstructionTest, LayoutChoiceAndPageShiftDefaults) {
    const std::string text32 = std::string(kOffsets25) + " 12,";
    struct Case {
        const char* name;
        bool with32;
        bool with64;
        uint64_t pageShift;
        bool offsets64;
        uint32_t expectedShift;
        uint64_t threadInfoTask;
    };
    const Case cases[] = {
        {"64 only, default", false, true, 0, true, 16, 0},
        {"32 only, default", true, false, 0, false, 12, 12},
        {"both: 64 wins", true, true, 0, true, 16, 0},
        {"64 with 14", false, true, 14, true, 14, 0},
        {"32 with 14", true, false, 14, false, 14, 12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        JSONValue settings = JSONValue::makeObject();
        settings["system-map-file"] = JSONValue(mapPath_.c_str());
        if (c.with32) settings["linux-offsets-32"] = JSONValue(text32.c_str());
        if (c.with64) settings["linux-offsets-64"] = JSONValue(kOffsets25);
        settings["pageshift"] = JSONValue(c.pageShift);
        auto driver = Build(settings);
        EXPECT_EQ(driver->offsets64(), c.offsets64);
        EXPECT_EQ(driver->pageShift(), c.expectedShift);
        EXPECT_EQ(driver->offsets().threadInfoTaskOffset, c.threadInfoTask);
    }
}

TEST_F(LinuxDriverConstructionTest, SyscallTracingKey) {
    EXPECT_FALSE(Build(Settings([](JSONValue& s) {
                     s["trace-linux-syscalls"] = JSONValue(false);
                 }))->WantsSyscallEvents());
    EXPECT_TRUE(Build(Settings([](JSONValue& s) {
                    s["trace-linux-syscalls"] = JSONValue("no");  // not a boolean: default
                }))->WantsSyscallEvents());
    EXPECT_TRUE(Build(Settings())->WantsSyscallEvents());
}

TEST_F(LinuxDriverConstructionTest, MissingSymbolsAreNotReported) {
    std::ofstream(mapPath_) << "c0008000 T stext\nc0108a40 t __switch_to\n";
    kvhost::StreamCapture console;
    auto driver = Build(Settings());
    EXPECT_EQ(driver->switchToAddress(), 0xc0108a40u);
    EXPECT_EQ(driver->releaseTaskAddress(), 0u);
    EXPECT_EQ(console.err(), "");
}

TEST(LinuxDriverInitTest, CreatesBothActivityCountersAndReportsABaseFailure) {
    testing::LinuxRig rig(true);
    rig.Start();
    const auto& created = rig.activity().created;
    ASSERT_EQ(created.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        const SoftwareCounterSpec& s = created[i];
        EXPECT_EQ(s.title, "CPU Activity");
        EXPECT_EQ(s.name, i == 0 ? "User" : "System");
        EXPECT_EQ(s.type, i == 0 ? "CPUActivityUser" : "CPUActivitySystem");
        EXPECT_EQ(s.display, "");
        EXPECT_EQ(s.units, "");
        EXPECT_TRUE(s.averageSelection);
        EXPECT_TRUE(s.perCpu);
        EXPECT_EQ(s.startTime, 0u);
        EXPECT_EQ(s.endTime, ~uint64_t{0});
        EXPECT_TRUE(s.percentage);
        EXPECT_FLOAT_EQ(s.multiplier, 0.0001f);
        EXPECT_TRUE(s.averageCores);
        EXPECT_EQ(s.interval, 1u);
        EXPECT_TRUE(s.derived);
        EXPECT_EQ(s.renderingType, "bar");
    }

    rig.cpu().SetExtendedFeatures("HOST_MODEL=1");
    kvhost::StreamCapture console;
    EXPECT_FALSE(rig.driver().Init(rig.debug(), 2, true));
    EXPECT_EQ(console.err(),
              "ERROR (OSDriver) feature not found in ETF\nWARN (Linux driver) Base driver init \n");
}

}  // namespace
}  // namespace vantric

namespace vantric {
namespace {

// The example shipped in examples/linux must stay loadable and match the
// layout the tests build for that kernel.
TEST(LinuxExampleTest, ExampleSettingsDescribeTheDebianKernel) {
    const std::string root = VT_SOURCE_DIR;
    vq::JSONValue settings = testing::ReadSettings(root + "/examples/linux/linux.json");
    EXPECT_EQ(settings["system-map-file"].asString(), "examples/linux/System.map");
    EXPECT_EQ(settings["linux-offsets-64"].asString(),
              kvhost::KernelLayout::Debian510CloudArm64().Text(true));
    settings["system-map-file"] = vq::JSONValue((root + "/examples/linux/System.map").c_str());
    CounterSet counters;
    CaptureWriter capture;
    kvhost::StreamCapture console;
    LinuxDriver driver(counters, capture, 32, settings);
    EXPECT_EQ(console.err(), "");
    EXPECT_EQ(driver.switchToAddress(), 0xffff800010019420u);
    EXPECT_EQ(driver.releaseTaskAddress(), 0xffff8000100938b0u);
    EXPECT_EQ(driver.pageShift(), 12u);

    const vq::JSONValue config = testing::ReadSettings(root + "/examples/linux/config.json");
    ASSERT_EQ(config.size(), 1u);
    EXPECT_EQ(config.at(0).members().at("Subsystem_config_file").asString(),
              "examples/linux/linux.json");
}

}  // namespace
}  // namespace vantric
