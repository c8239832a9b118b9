// The Linux driver: construction from its settings (system map, offsets text
// of either layout, page shift defaults, the exact exception and console
// texts of every refusal), the CPU activity counters, and task tracking
// against a synthetic kernel image: switches, exits, samples in kernel and
// user mode, frames resolved through the memory-area tree, paths from
// directory entries; on 64-bit cores and on 32-bit cores through the
// thread-information block.
#include "os/linux/linux_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>

#include "linux_rig.h"
#include "rcf/capture_check.h"
#include "util/vantric_exception.h"

namespace vantric {
namespace {

using vq::JSONValue;
using testing::LinuxRig;
using testing::RecordsOf;
using Lines = std::vector<std::string>;
using StackPointers = kvhost::KernelImage::StackPointers;

constexpr const char* kOffsets25 =
    "24,1240,0,1128,1304,1308,1752,16,824,16,8,0,32,24,8,0,8,160,152,32,16,8,0,8,16";
constexpr const char* kWarning = "WARN (Linux driver) Unable to parse kernel struct offsets (p)\n";
constexpr uint32_t kBacktrace = 2, kName = 3, kScheduling = 7, kLink = 13;

class LinuxDriverConstructionTest : public ::testing::Test {
protected:
    LinuxDriverConstructionTest() {
        dir_.write("System.map", "ffff800010019420 T __switch_to\nffff8000100938b0 T release_task\n"
                                 "ffff800011a0f0c0 D init_task\n");
    }
    // Settings with the map, the given offsets keys and a page shift (null: none).
    JSONValue Settings(const char* offsets32, const char* offsets64, JSONValue pageShift) {
        JSONValue settings = JSONValue::makeObject();
        settings["system-map-file"] = JSONValue((dir_.path() / "System.map").string().c_str());
        if (offsets32) settings["linux-offsets-32"] = JSONValue(offsets32);
        if (offsets64) settings["linux-offsets-64"] = JSONValue(offsets64);
        if (pageShift.type() != JSONValue::TypeNull) settings["pageshift"] = pageShift;
        return settings;
    }
    // The exception text, or "" when construction succeeded.
    std::string Refusal(const JSONValue& settings) {
        try {
            LinuxDriver driver(capture_, 16, settings);
        } catch (const VantricExceptionT& e) {
            return e.message();
        }
        return "";
    }

    testing::TempDirectory dir_;
    CaptureWriter capture_;
    const std::string text32_ = std::string(kOffsets25) + " 12,";
};

TEST_F(LinuxDriverConstructionTest, RefusalsCarryTheirExactTexts) {
    const JSONValue zero(uint64_t{0});
    const std::string type = "tried to access value of type ", shift = "invalid pageshift : ";
    auto maple = [&](JSONValue areas, const char* offsets, const char* offsets32 = nullptr) {
        JSONValue settings = Settings(offsets32, offsets32 ? nullptr : kOffsets25, zero);
        settings["memory-areas"] = areas;
        if (offsets) settings["maple-tree-offsets"] = JSONValue(offsets);
        return settings;
    };
    const std::string mapleText = "invalid maple-tree-offsets : ";
    JSONValue missingMap = Settings(nullptr, kOffsets25, zero);
    missingMap["system-map-file"] = JSONValue("/nonexistent/System.map");
    const struct { JSONValue settings; std::string exception, console; } cases[] = {
        {JSONValue::makeObject(), "invalid System map file : " + type + "null as string.\n", ""},
        {JSONValue::makeArray(1), "invalid System map file : " + type + "array as object.\n", ""},
        {Settings(nullptr, nullptr, zero), "invalid offsets\n", ""},
        // An empty 64-bit text replaces a good 32-bit one.
        {Settings(text32_.c_str(), "", zero), "invalid offsets\n", ""},
        {Settings(nullptr, kOffsets25, JSONValue()), shift + type + "null as integer.\n", ""},
        {Settings(nullptr, kOffsets25, JSONValue(int64_t{-1})),
         shift + "Value -1 is too small for uint32.\n", ""},
        {Settings(nullptr, kOffsets25, JSONValue(uint64_t{4294967296})),
         shift + "Value 4294967296 is too large for uint32.\n", ""},
        {Settings(nullptr, kOffsets25, JSONValue("12")), shift + type + "string as integer.\n", ""},
        {Settings(nullptr, kOffsets25, JSONValue(uint64_t{64})), shift + "64 is not a page size (0 to 63).\n", ""},
        {Settings(kOffsets25, nullptr, zero), "Offsets parser error (" + std::string(kOffsets25) + ")",
         kWarning},
        {Settings("1,2,3", nullptr, zero), "Offsets parser error (1,2,3)", std::string(kWarning) + kWarning},
        {maple(JSONValue(uint64_t{1}), nullptr), "invalid memory-areas : " + type + "integer as string.\n", ""},
        {maple(JSONValue("avl"), nullptr),
         "invalid memory-areas : \"avl\" is neither \"rb-tree\" nor \"maple-tree\".\n", ""},
        {maple(JSONValue("maple-tree"), nullptr), mapleText + type + "null as string.\n", ""},
        {maple(JSONValue("maple-tree"), "0,8,8,128,248,8,80"), mapleText + "only 7 values; 8 are needed (0,8,8,128,248,8,80).\n", ""},
        {maple(JSONValue("maple-tree"), "0,8,8,128,248,8,80,240,1"),
         mapleText + "more than 8 values (0,8,8,128,248,8,80,240,1).\n", ""},
        {maple(JSONValue("maple-tree"), "0;8"), mapleText + "a comma must follow value 1 (0;8).\n", ""},
        {maple(JSONValue("maple-tree"), "0,8,8,128,256,8,80,240"),
         mapleText + "a node part lies beyond the 256-byte node (0,8,8,128,256,8,80,240).\n", ""},
        {maple(JSONValue("maple-tree"), "0,8,8,129,248,8,80,240"),
         mapleText + "a node part lies beyond the 256-byte node (0,8,8,129,248,8,80,240).\n", ""},
        {maple(JSONValue("maple-tree"), "0,8,8,128,248,8,80,240", text32_.c_str()),
         "invalid memory-areas : a maple tree needs linux-offsets-64.\n", ""},
        {missingMap, "system map file (/nonexistent/System.map) load failed ",
         "WARN (Linux driver) Unable to open system map file /nonexistent/System.map\n"},
    };
    for (const auto& c : cases) {
        kvhost::StreamCapture console;
        EXPECT_EQ(Refusal(c.settings), c.exception);
        EXPECT_EQ(console.err(), c.console) << c.exception;
    }
}

TEST_F(LinuxDriverConstructionTest, LayoutChoiceAndPageShiftDefaults) {
    // The offsets keys, the page shift, then "offsets64 pageShift threadInfoTaskOffset
    // taskMmOffset" of the driver and its console.
    const struct { const char *offsets32, *offsets64; uint64_t pageShift; const char *got, *console; } cases[] = {
        {nullptr, kOffsets25, 0, "1 16 0 1128", ""},      {text32_.c_str(), nullptr, 0, "0 12 12 1128", ""},
        {text32_.c_str(), kOffsets25, 0, "1 16 0 1128", ""}, {nullptr, kOffsets25, 14, "1 14 0 1128", ""},
        {nullptr, kOffsets25, 63, "1 63 0 1128", ""},
        {text32_.c_str(), nullptr, 14, "0 14 12 1128", ""},
        {nullptr, "5,6,x", 0, "1 16 0 0", kWarning},  // a bad 64-bit text only warns
    };
    for (const auto& c : cases) {
        kvhost::StreamCapture console;
        LinuxDriver driver(capture_, 16, Settings(c.offsets32, c.offsets64, JSONValue(c.pageShift)));
        EXPECT_EQ(console.err(), c.console);
        std::ostringstream got;
        got << driver.offsets64() << ' ' << driver.pageShift() << ' ' << driver.offsets().threadInfoTaskOffset
            << ' ' << driver.offsets().taskMmOffset;
        EXPECT_EQ(got.str(), c.got) << (c.offsets64 ? c.offsets64 : "-") << (c.offsets32 ? " +32" : "");
        EXPECT_EQ(driver.switchToAddress(), 0xffff800010019420u);
        EXPECT_EQ(driver.releaseTaskAddress(), 0xffff8000100938b0u);
        EXPECT_TRUE(driver.WantsSyscallEvents());
    }
    JSONValue quiet = Settings(nullptr, kOffsets25, JSONValue(uint64_t{0}));
    quiet["trace-linux-syscalls"] = JSONValue(false);
    EXPECT_FALSE(LinuxDriver(capture_, 16, quiet).WantsSyscallEvents());
}

TEST_F(LinuxDriverConstructionTest, AMapWithoutTheTaskSymbolsIsNamed) {
    const std::string map = (dir_.path() / "System.map").string();
    const std::pair<const char*, std::string> cases[] = {
        {"ffff800010019420 T __switch_to\nffff8000100938b0 T release_task\n", ""},
        {"ffff800010019420 T __switch_to\n", map + " has no release_task : no thread exits will be recorded"},
        {"ffff8000100938b0 T release_task\n",
         map + " has no __switch_to : no task switches and no samples will be recorded"},
        {"ffff800010019420 T __switch_to_x\n",
         map + " has no __switch_to and has no release_task : no task switches and no samples will be recorded"},
        {"0000000000000000 T __switch_to\n0000000000000000 T release_task\n",
         map + " lists __switch_to at address 0 (read /proc/kallsyms as root) and lists release_task at address 0 "
               "(read /proc/kallsyms as root) : no task switches and no samples will be recorded"},
    };
    for (const auto& [symbols, message] : cases) {
        dir_.write("System.map", symbols);
        EXPECT_EQ(LinuxDriver(capture_, 16, Settings(nullptr, kOffsets25, JSONValue(uint64_t{0}))).Messages(),
                  message);
    }
}

TEST(LinuxDriverInitTest, CreatesBothActivityCountersAndReportsABaseFailure) {
    LinuxRig rig(true);
    rig.Start();
    Lines created;
    for (const SoftwareCounterSettings& s : rig.activity().created) {
        std::ostringstream line;
        line << s.title << '|' << s.name << '|' << s.type << '|' << s.display << '|' << s.units << '|'
             << s.averageSelection << s.perCpu << s.percentage << s.averageCores << s.derived << '|'
             << s.startTime << '|' << s.endTime << '|' << s.multiplier << '|' << s.interval << '|'
             << s.renderingType;
        created.push_back(line.str());
    }
    EXPECT_EQ(created, (Lines{"CPU Activity|User|CPUActivityUser|||11111|0|18446744073709551615|0.0001|1|bar",
                              "CPU Activity|System|CPUActivitySystem|||11111|0|18446744073709551615|0.0001|1|bar"}));
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
    JSONValue settings = testing::ReadSettings(root + "/examples/linux/linux.json");
    EXPECT_EQ(settings["linux-offsets-64"].asString(), kvhost::KernelLayout::Debian510CloudArm64().Text(true));
    settings["system-map-file"] = JSONValue((root + "/examples/linux/System.map").c_str());
    CaptureWriter capture;
    kvhost::StreamCapture console;
    LinuxDriver driver(capture, 32, settings);
    EXPECT_EQ(console.err(), "");
    EXPECT_EQ(driver.switchToAddress(), 0xffff800010019420u);
    EXPECT_EQ(driver.releaseTaskAddress(), 0xffff8000100938b0u);
    EXPECT_EQ(driver.pageShift(), 12u);
}

// ---- task tracking and samples ----

std::string CookieName(const rcf::Capture& capture, uint32_t cookie) {
    for (const auto& r : RecordsOf<rcf::CookieNameRecord>(capture, kName)) {
        if (r.cookie == cookie) return r.name;
    }
    return "<none>";
}

// Every case runs on the synthetic 64-bit and 32-bit layouts, on the 64-bit
// one with its areas in a maple tree, and on the example kernel build
// (Debian's arm64 5.10.0-32-cloud-arm64, with the structure offsets read
// from that build).
enum class Layout { k64, k32, kMaple, kDebian };

class LinuxTasksTest : public ::testing::TestWithParam<Layout> {
protected:
    bool is64() const { return GetParam() != Layout::k32; }
    kvhost::KernelLayout layout() const {
        return GetParam() == Layout::kDebian  ? kvhost::KernelLayout::Debian510CloudArm64()
               : GetParam() == Layout::kMaple ? kvhost::KernelLayout::Synthetic64Maple()
               : is64()                       ? kvhost::KernelLayout::Synthetic64()
                                              : kvhost::KernelLayout::Synthetic32();
    }
};

TEST_P(LinuxTasksTest, SwitchRecordsIdsNameCookieAndStateCode) {
    LinuxRig rig(is64(), layout());
    auto& image = rig.image();
    const uint64_t app = image.AddProcess(100, "app", "/usr/bin/app");
    const uint64_t worker = image.AddThread(app, 101, "worker");
    const uint64_t kworker = image.AddKernelThread(12, "kworker/0:1");
    rig.Start();
    rig.Exit(worker, 5);  // a thread exit carries the pid in the thread position
    rig.Exit(0, 6);
    // Codes: no prev or state 0 -> 1; state with I/O wait -> 2; state alone -> 0.
    rig.Switch(0, worker, 10);
    rig.Switch(worker, kworker, 20);
    image.SetTaskState(kworker, 2, 1);
    rig.Switch(kworker, app, 30);
    image.SetTaskState(app, 1, 0);
    rig.Switch(app, 0, 40);

    const rcf::Capture capture = rig.Finish();
    for (const std::string& problem : rcf::CheckCapture(capture)) ADD_FAILURE() << problem;
    std::vector<uint32_t> exits;
    for (const auto& r : RecordsOf<rcf::ThreadExitRecord>(capture, kScheduling)) exits.push_back(r.tid);
    for (const auto& r : RecordsOf<rcf::LinkExitRecord>(capture, kLink)) exits.push_back(r.tid);
    EXPECT_EQ(exits, (std::vector<uint32_t>{100, 0, 100, 0}));
    // Switches as "time tid state"; threads announced with their names, the
    // slash of a command name replaced.
    Lines switches, names, links;
    for (const auto& r : RecordsOf<rcf::SwitchRecord>(capture, kScheduling)) {
        switches.push_back(std::to_string(r.time) + " " + std::to_string(r.tid) + " " + std::to_string(r.state));
    }
    EXPECT_EQ(switches, (Lines{"10 101 1", "20 12 1", "30 100 2", "40 0 0"}));
    for (const auto& r : RecordsOf<rcf::ThreadNameRecord>(capture, kName)) {
        names.push_back(std::to_string(r.tid) + " " + r.name);
    }
    EXPECT_EQ(names, (Lines{"101 worker", "12 kworker_0:1", "100 app", "0 "}));
    // Links carry the process image's cookie and the pid (the thread group).
    // A kernel thread and the null task have no image.
    for (const auto& l : RecordsOf<rcf::LinkRecord>(capture, kLink)) {
        links.push_back(std::to_string(l.tid) + " " + std::to_string(l.pid) + " " +
                        (l.cookie ? CookieName(capture, l.cookie) : ""));
    }
    for (const char* want : {"101 100 /usr/bin/app", "12 12 ", "0 0 "}) {
        EXPECT_NE(std::find(links.begin(), links.end(), want), links.end()) << want;
    }
}

TEST_P(LinuxTasksTest, KernelSampleKeepsRawAddressesAndCountsSystemTime) {
    LinuxRig rig(is64(), layout(), /*depth=*/4);
    auto& image = rig.image();
    const uint64_t app = image.AddProcess(42, "app", "/usr/bin/app");
    rig.Start();
    rig.Switch(0, app, 1);
    const std::vector<uint64_t> returns = {0xc0001000, 0xc0002000, 0xc0003000, 0xc0004000};
    const auto regs = image.WriteFrameRecords(image.NewUserStack(), returns);
    rig.Sample(0xc0000500, 0xc0000900, regs, /*user=*/false, true, 7, /*core=*/1);

    const auto samples = RecordsOf<rcf::SampleRecord>(rig.Finish(), kBacktrace, 1);
    ASSERT_EQ(samples.size(), 1u);
    EXPECT_EQ(samples[0].time + samples[0].cookie, 7u);
    EXPECT_EQ(samples[0].pid, is64() ? 0u : 42u);  // 64-bit: core 1 saw no switch
    // pc, lr (fp lies just above sp), then frame records up to the depth.
    const std::vector<rcf::StackFrame> frames = {
        {0, 0xc0000500}, {0, 0xc0000900}, {0, 0xc0001000}, {0, 0xc0002000}};
    EXPECT_EQ(samples[0].frames, frames);
    EXPECT_EQ(rig.activity().additions, Lines{"CPUActivitySystem 1 1"});
}

TEST_P(LinuxTasksTest, UserFramesResolveToFilesAnonymousMemoryOrNothingWithTheMmuOn) {
    LinuxRig rig(is64(), layout(), 8, kvhost::LinuxSettingsOptions{12, true, 0, 0});
    auto& image = rig.image();
    const uint64_t app = image.AddProcess(500, "app", "/usr/bin/app");
    image.MapFile(app, 0x400000, 0x410000, "/usr/bin/app", 0);
    image.MapFile(app, 0x7000000, 0x7040000, "/usr/lib/libc.so.6", 2);
    image.MapAnonymous(app, 0x9000000, 0x9100000);
    image.MapFile(app, 0x2000000, 0x2001000, "/", 0);  // a file whose path is empty
    rig.Start();
    rig.Switch(0, app, 1);
    // 0x7040000 is the end of libc's area: the first address outside it.
    const std::vector<uint64_t> returns = {0x7000123, 0x9000040, 0x7040000, 0x2000010};
    const auto regs = image.WriteFrameRecords(image.NewUserStack(), returns);
    rig.Sample(0x400abc, 0x400def, regs, /*user=*/true, true, 9);
    // With the MMU off no task is known, whatever the mode.
    const auto regs2 = image.WriteFrameRecords(image.NewUserStack(), std::vector<uint64_t>{0x400100});
    rig.Sample(0x400010, 0x400020, regs2, /*user=*/true, /*mmu=*/false, 10);
    rig.Sample(0x400010, 0x400020, regs2, /*user=*/false, /*mmu=*/false, 11);

    const rcf::Capture capture = rig.Finish();
    const auto samples = RecordsOf<rcf::SampleRecord>(capture, kBacktrace);
    ASSERT_EQ(samples.size(), 3u);
    EXPECT_EQ(samples[1].pid + samples[1].tid + samples[1].cookie, 0u);
    EXPECT_EQ(samples[1].frames, (std::vector<rcf::StackFrame>(3, rcf::StackFrame{0, 0})));
    EXPECT_EQ(samples[2].pid, 0u);
    EXPECT_EQ(samples[2].frames[0], (rcf::StackFrame{0, 0x400010}));
    const auto& s = samples[0];
    EXPECT_EQ(s.pid + s.tid, 1000u);
    EXPECT_EQ(CookieName(capture, s.cookie), "/usr/bin/app");
    const uint32_t libc = s.frames.at(2).cookie;
    EXPECT_EQ(CookieName(capture, libc), "/usr/lib/libc.so.6");
    // pc and lr in the executable; libc at page offset 2 with page shift 12;
    // anonymous memory; outside every area; an empty file path falls back to
    // the process image and keeps offset 0.
    const std::vector<rcf::StackFrame> frames = {{s.cookie, 0xabc}, {s.cookie, 0xdef}, {libc, 0x123 + 2 * 4096},
                                                 {0, 0x9000040}, {0xFFFFFFFF, 0x7040000}, {s.cookie, 0}};
    EXPECT_EQ(s.frames, frames);
    // No user time without a process image; the kernel sample counts.
    EXPECT_EQ(rig.activity().additions, (Lines{"CPUActivityUser 1 0", "CPUActivitySystem 1 0"}));
}

// The tree search finds the first area that ends above the address, so an
// address at an area's end belongs to the area after it; the maple tree
// holds gaps, so an address between areas has none.
TEST_P(LinuxTasksTest, MemoryAreaSearchEndsAreExclusive) {
    const uint64_t gap = GetParam() == Layout::kMaple;
    LinuxRig rig(is64(), layout());
    auto& image = rig.image();
    const uint64_t app = image.AddProcess(7, "app", "/bin/app");
    const uint64_t a = image.MapFile(app, 0x400000, 0x410000, "/bin/app", 0);
    const uint64_t b = image.MapAnonymous(app, 0x410000, 0x420000);
    const uint64_t c = image.MapAnonymous(app, 0x500000, 0x510000);
    rig.Start();
    const std::pair<uint64_t, uint64_t> cases[] = {{0x3FFFFF, gap ? 0 : a}, {0x400000, a}, {0x40FFFF, a},
        {0x410000, b}, {0x41FFFF, b}, {0x420000, gap ? 0 : c}, {0x50FFFF, c}, {0x510000, 0}};
    for (const auto& [address, area] : cases) {
        EXPECT_EQ(rig.driver().FindMemoryArea(rig.debug(), image.MmOf(app), address, is64()), area) << address;
    }
}

std::string LayoutName(const ::testing::TestParamInfo<Layout>& info) {
    switch (info.param) {
        case Layout::k64: return "Core64";
        case Layout::k32: return "Core32";
        case Layout::kMaple: return "Maple";
        case Layout::kDebian: return "Debian";
    }
    return "";
}

INSTANTIATE_TEST_SUITE_P(Layouts, LinuxTasksTest,
                         ::testing::Values(Layout::k64, Layout::k32, Layout::kMaple, Layout::kDebian), LayoutName);

TEST(LinuxTasks32Test, CurrentTaskComesFromTheKernelStackNotTheLastSwitch) {
    LinuxRig rig(false);
    auto& image = rig.image();
    const uint64_t a = image.AddProcess(10, "a", "/bin/a");
    const uint64_t b = image.AddProcess(20, "b", "/bin/b");
    rig.Start();
    rig.Switch(0, a, 1);
    image.SetRunning(b);  // the kernel stack now belongs to b
    EXPECT_EQ(rig.driver().CurrentTask(rig.debug(), 0, false), b);
    EXPECT_EQ(rig.driver().CurrentTask(rig.debug(), 1, false), b);  // every core reads R13_svc
    rig.Sample(0x100, 0x200, image.WriteFrameRecords(image.NewUserStack(), std::vector<uint64_t>{}),
               false, true, 2);
    EXPECT_EQ(RecordsOf<rcf::SampleRecord>(rig.Finish(), kBacktrace).at(0).pid, 20u);
}

TEST(LinuxPathsTest, DentryPathsAndTheirFourWarnings) {
    const std::string a(60, 'a'), b(60, 'b'), c(60, 'c'), d(60, 'd'), x(199, 'x');
    const std::string tooLong = "morlak: path is too long\n", noRoom = "morlak: no room for slash\n";
    const struct {
        std::vector<std::string> components;  // below the root, outermost first
        bool selfParentedTop;                 // top entry is its own parent (no root)
        uint32_t bufferSize;
        std::string expected, warning;
    } cases[] = {
        {{"usr", "bin", "ls"}, false, 200, "/usr/bin/ls", ""},
        {{}, false, 200, "", ""},  // the root alone
        {{a, b, c, d}, false, 200, "/" + b + "/" + c + "/" + d, tooLong},  // keeps what fitted
        {{x}, false, 200, x, noRoom},
        {{"ab", "defg"}, false, 8, "ab/defg", noRoom},
        {{"abc", "defg"}, false, 8, "/defg", tooLong},
        {{"orphan", "leaf"}, true, 200, "/orphan/leaf", "morlak: parent is self\n"},
        {{"", "leaf"}, false, 200, "/leaf", "morlak: path is empty string\n"},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.expected);
        LinuxRig rig(true);
        auto& image = rig.image();
        uint64_t dentry = t.selfParentedTop ? 0 : image.Dentry("/");
        for (const std::string& component : t.components) dentry = image.NewDentry(component, dentry);
        const uint64_t file = image.FileFor(dentry);
        rig.Start();
        std::vector<char> buffer(t.bufferSize);
        kvhost::StreamCapture console;
        EXPECT_EQ(rig.driver().BuildDentryPath(rig.debug(), file + image.layout().fileFPath,
                                               buffer.data(), t.bufferSize, true),
                  t.expected);
        EXPECT_EQ(console.err(), t.warning.empty() ? "" : "WARN (Linux driver) " + t.warning + "\n");
    }
}

// A wrong offset can make the kernel's structures loop; the switch and the
// sample still end, with the result of an absent structure (0xFFFFFFFF: no
// area), or for a path, with what fitted the driver's 200-byte buffer. Events
// that do not return within the time limit end the program as a failure.
TEST(LinuxFaultyStructuresTest, WalksOverLoopsEndAsIfNothingWereThere) {
    using Corrupt = void (*)(kvhost::KernelImage&, uint64_t b, uint64_t c);  // b, c: areas
    std::string cut = "libc.so";  // the leaf, then (lib, libc.so) pairs until 199 bytes are used
    while (cut.size() < 199) cut += "/lib/libc.so";
    const struct { const char* fault; Corrupt corrupt; uint64_t address; std::string file; uint64_t offset; } rows[] = {
        {"tree node is its own left child", [](kvhost::KernelImage& i, uint64_t b, uint64_t) {
             i.SetAreaChild(b, true, b); }, 0x400010, "", 0x400010},
        {"tree node is its own right child", [](kvhost::KernelImage& i, uint64_t b, uint64_t) {
             i.SetAreaChild(b, false, b); }, 0x600010, "", 0x600010},
        {"area list loops", [](kvhost::KernelImage& i, uint64_t b, uint64_t c) {
             i.SetAreaNext(c, b); }, 0x480000, "", 0x480000},
        {"dentry parents loop", [](kvhost::KernelImage& i, uint64_t, uint64_t) {
             i.SetDentryParent(i.Dentry("/lib"), i.Dentry("/lib/libc.so")); }, 0x600010, cut, 0x10},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fault);
        LinuxRig rig(true);
        auto& image = rig.image();
        const uint64_t app = image.AddProcess(7, "app", "/bin/app");
        // A tree of b with /bin/app on the left and libc on the right.
        image.MapFile(app, 0x400000, 0x410000, "/bin/app", 0);
        const uint64_t b = image.MapAnonymous(app, 0x500000, 0x510000);
        const uint64_t c = image.MapFile(app, 0x600000, 0x610000, "/lib/libc.so", 0);
        row.corrupt(image, b, c);
        rig.Start();
        kvhost::StreamCapture console;
        auto events = std::async(std::launch::async, [&] {
            rig.Switch(0, app, 1);
            rig.Sample(row.address, 0, {}, true, true, 2);
        });
        if (events.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            std::fprintf(stderr, "%s: the walk does not end\n", row.fault);
            std::_Exit(1);
        }
        const rcf::Capture capture = rig.Finish();
        const auto samples = RecordsOf<rcf::SampleRecord>(capture, kBacktrace);
        ASSERT_EQ(samples.size(), 1u);
        EXPECT_EQ(CookieName(capture, samples[0].cookie), "/bin/app");
        const rcf::StackFrame frame = samples[0].frames.at(0);
        EXPECT_EQ(frame.address, row.offset);
        if (row.file.empty()) EXPECT_EQ(frame.cookie, 0xFFFFFFFFu);
        else EXPECT_EQ(CookieName(capture, frame.cookie), row.file);
        EXPECT_EQ(console.err(), row.file.empty() ? "" : "WARN (Linux driver) morlak: no room for slash\n\n");
    }
}

}  // namespace
}  // namespace vantric
