// Construction of the Linux driver from its settings: the system map, the
// offsets text of either layout, page shift defaults, the exact exception and
// console texts of every refusal, and the CPU activity counters.
#include "os/linux/linux_driver.h"

#include <gtest/gtest.h>

#include <functional>

#include "util/vantric_exception.h"
#include "linux_rig.h"

namespace vantric {
namespace {

using vq::JSONValue;

constexpr const char* kOffsets25 =
    "24,1240,0,1128,1304,1308,1752,16,824,16,8,0,32,24,8,0,8,160,152,32,16,8,0,8,16";
constexpr const char* kWarning = "WARN (Linux driver) Unable to parse kernel struct offsets (p)\n";

class LinuxDriverConstructionTest : public ::testing::Test {
protected:
    LinuxDriverConstructionTest() {
        std::ofstream(mapPath_) << "ffff800010019420 T __switch_to\nffff8000100938b0 T release_task\n"
                                   "ffff800011a0f0c0 D init_task\n";
    }
    // Settings with the map, the given offsets keys and a page shift (null: none).
    JSONValue Settings(const char* offsets32, const char* offsets64, JSONValue pageShift) {
        JSONValue settings = JSONValue::makeObject();
        settings["system-map-file"] = JSONValue(mapPath_.c_str());
        if (offsets32) settings["linux-offsets-32"] = JSONValue(offsets32);
        if (offsets64) settings["linux-offsets-64"] = JSONValue(offsets64);
        if (pageShift.type() != JSONValue::TypeNull) settings["pageshift"] = pageShift;
        return settings;
    }
    std::unique_ptr<LinuxDriver> Build(const JSONValue& settings) {
        return std::make_unique<LinuxDriver>(capture_, 16, settings);
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
    std::string mapPath_ = (dir_.path() / "System.map").string();
    CounterSet counters_;
    CaptureWriter capture_;
};

TEST_F(LinuxDriverConstructionTest, RefusalsCarryTheirExactTexts) {
    const JSONValue zero(uint64_t{0});
    const std::string text32 = std::string(kOffsets25) + " 12,";
    const struct {
        JSONValue settings;
        std::string exception;
        std::string console;
    } cases[] = {
        {JSONValue::makeObject(),
         "invalid System map file : tried to access value of type null as string.\n", ""},
        {JSONValue::makeArray(1),
         "invalid System map file : tried to access value of type array as object.\n", ""},
        {Settings(nullptr, nullptr, zero), "invalid offsets\n", ""},
        // An empty 64-bit text replaces a good 32-bit one.
        {Settings(text32.c_str(), "", zero), "invalid offsets\n", ""},
        {Settings(nullptr, kOffsets25, JSONValue()),
         "invalid pageshift : tried to access value of type null as integer.\n", ""},
        {Settings(nullptr, kOffsets25, JSONValue(int64_t{-1})),
         "invalid pageshift : Value -1 is too small for uint32.\n", ""},
        {Settings(nullptr, kOffsets25, JSONValue(uint64_t{4294967296})),
         "invalid pageshift : Value 4294967296 is too large for uint32.\n", ""},
        {Settings(nullptr, kOffsets25, JSONValue("12")),
         "invalid pageshift : tried to access value of type string as integer.\n", ""},
        {Settings(kOffsets25, nullptr, zero), "Offsets parser error (" + std::string(kOffsets25) + ")",
         kWarning},
        {Settings("1,2,3", nullptr, zero), "Offsets parser error (1,2,3)",
         std::string(kWarning) + kWarning},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.exception);
        kvhost::StreamCapture console;
        EXPECT_EQ(Refusal(c.settings), c.exception);
        EXPECT_EQ(console.err(), c.console);
    }
    JSONValue missingMap = Settings(nullptr, kOffsets25, zero);
    missingMap["system-map-file"] = JSONValue("/nonexistent/System.map");
    kvhost::StreamCapture console;
    EXPECT_EQ(Refusal(missingMap), "system map file (/nonexistent/System.map) load failed ");
    EXPECT_EQ(console.err(),
              "WARN (Linux driver) Unable to open system map file /nonexistent/System.map\n");
}

TEST_F(LinuxDriverConstructionTest, LayoutChoiceAndPageShiftDefaults) {
    const std::string text32 = std::string(kOffsets25) + " 12,";
    const struct {
        const char* offsets32;
        const char* offsets64;
        uint64_t pageShift;
        bool offsets64Chosen;
        uint32_t expectedShift;
        uint64_t threadInfoTask;
        std::string console;
    } cases[] = {
        {nullptr, kOffsets25, 0, true, 16, 0, ""},
        {text32.c_str(), nullptr, 0, false, 12, 12, ""},
        {text32.c_str(), kOffsets25, 0, true, 16, 0, ""},
        {nullptr, kOffsets25, 14, true, 14, 0, ""},
        {text32.c_str(), nullptr, 14, false, 14, 12, ""},
        {nullptr, "5,6,x", 0, true, 16, 0, kWarning},  // a bad 64-bit text only warns
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.offsets64 ? c.offsets64 : "-") + (c.offsets32 ? " +32" : ""));
        kvhost::StreamCapture console;
        auto driver = Build(Settings(c.offsets32, c.offsets64, JSONValue(c.pageShift)));
        EXPECT_EQ(console.err(), c.console);
        EXPECT_EQ(driver->offsets64(), c.offsets64Chosen);
        EXPECT_EQ(driver->pageShift(), c.expectedShift);
        EXPECT_EQ(driver->offsets().threadInfoTaskOffset, c.threadInfoTask);
        EXPECT_EQ(driver->offsets().taskMmOffset, c.console.empty() ? 1128u : 0u);
        EXPECT_EQ(driver->switchToAddress(), 0xffff800010019420u);
        EXPECT_EQ(driver->releaseTaskAddress(), 0xffff8000100938b0u);
        EXPECT_TRUE(driver->WantsSyscallEvents());
    }
    JSONValue quiet = Settings(nullptr, kOffsets25, JSONValue(uint64_t{0}));
    quiet["trace-linux-syscalls"] = JSONValue(false);
    EXPECT_FALSE(Build(quiet)->WantsSyscallEvents());
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
        EXPECT_EQ(s.display + s.units, "");
        EXPECT_TRUE(s.averageSelection && s.perCpu && s.percentage && s.averageCores && s.derived);
        EXPECT_EQ(s.startTime, 0u);
        EXPECT_EQ(s.endTime, ~uint64_t{0});
        EXPECT_FLOAT_EQ(s.multiplier, 0.0001f);
        EXPECT_EQ(s.interval, 1u);
        EXPECT_EQ(s.renderingType, "bar");
    }
    rig.cpu().SetExtendedFeatures("HOST_MODEL=1");
    kvhost::StreamCapture console;
    EXPECT_FALSE(rig.driver().Init(rig.debug(), 2, true));
    EXPECT_EQ(console.err(),
              "ERROR (OSDriver) feature not found in ETF\nWARN (Linux driver) Base driver init \n");
}

// The example shipped in examples/linux must stay loadable and describe the
// Debian kernel the layout preset was read from.
TEST(LinuxExampleTest, ExampleSettingsDescribeTheDebianKernel) {
    const std::string root = VT_SOURCE_DIR;
    vq::JSONValue settings = testing::ReadSettings(root + "/examples/linux/linux.json");
    EXPECT_EQ(settings["linux-offsets-64"].asString(),
              kvhost::KernelLayout::Debian510CloudArm64().Text(true));
    settings["system-map-file"] = vq::JSONValue((root + "/examples/linux/System.map").c_str());
    CounterSet counters;
    CaptureWriter capture;
    kvhost::StreamCapture console;
    LinuxDriver driver(capture, 32, settings);
    EXPECT_EQ(console.err(), "");
    EXPECT_EQ(driver.switchToAddress(), 0xffff800010019420u);
    EXPECT_EQ(driver.releaseTaskAddress(), 0xffff8000100938b0u);
    EXPECT_EQ(driver.pageShift(), 12u);
}

}  // namespace
}  // namespace vantric
