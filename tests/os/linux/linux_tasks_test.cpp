// Task tracking against a synthetic kernel image: switches, exits, samples in
// kernel and user mode, frames resolved through the memory-area tree, paths
// from directory entries, and the CPU activity counters; on 64-bit cores and
// on 32-bit cores through the thread-information block.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "linux_rig.h"
#include "rcf/capture_check.h"

namespace vantric {
namespace {

using testing::LinuxRig;
using testing::RecordsOf;
using Addition = testing::RecordingActivity::Addition;
using StackPointers = kvhost::KernelImage::StackPointers;

constexpr uint32_t kBacktrace = 2;
constexpr uint32_t kName = 3;
constexpr uint32_t kScheduling = 7;
constexpr uint32_t kLink = 13;

std::string CookieName(const rcf::Capture& capture, uint32_t cookie) {
    for (const auto& r : RecordsOf<rcf::CookieNameRecord>(capture, kName)) {
        if (r.cookie == cookie) return r.name;
    }
    return "<none>";
}

class LinuxTasksTest : public ::testing::TestWithParam<bool> {
protected:
    bool is64() const { return GetParam(); }
};

TEST_P(LinuxTasksTest, SwitchRecordsIdsNameCookieAndStateCode) {
    LinuxRig rig(is64());
    auto& image = rig.image();
    const uint64_t app = image.AddProcess(100, "app", "/usr/bin/app");
    const uint64_t worker = image.AddThread(app, 101, "worker");
    const uint64_t kworker = image.AddKernelThread(12, "kworker/0:1");
    rig.Start();

    // prev 0: runnable (1)
    rig.Switch(0, worker, 10);
    // state 0: runnable (1)
    rig.Switch(worker, kworker, 20);
    // state set, I/O wait set: 2
    image.SetTaskState(kworker, 2, 1);
    rig.Switch(kworker, app, 30);
    // state set, no I/O wait: 0
    image.SetTaskState(app, 1, 0);
    rig.Switch(app, 0, 40);
    EXPECT_TRUE(rig.driver().taskKnown());

    const rcf::Capture capture = rig.Finish();
    const auto switches = RecordsOf<rcf::SwitchRecord>(capture, kScheduling);
    ASSERT_EQ(switches.size(), 4u);
    const uint32_t tids[] = {101, 12, 100, 0};
    const uint32_t states[] = {1, 1, 2, 0};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(switches[i].time, 10 * (i + 1));
        EXPECT_EQ(switches[i].tid, tids[i]);
        EXPECT_EQ(switches[i].state, states[i]) << i;
    }
    // Threads announced with their names; the slash of a command name is replaced.
    std::vector<std::pair<uint32_t, std::string>> names;
    for (const auto& r : RecordsOf<rcf::ThreadNameRecord>(capture, kName)) {
        names.emplace_back(r.tid, r.name);
    }
    const std::vector<std::pair<uint32_t, std::string>> expected = {
        {101, "worker"}, {12, "kworker_0:1"}, {100, "app"}, {0, ""}};
    EXPECT_EQ(names, expected);
    // Links carry the process image's cookie and the pid (the thread group).
    const auto links = RecordsOf<rcf::LinkRecord>(capture, kLink);
    ASSERT_GE(links.size(), 4u);
    // cookieFor announces the worker's image first, then the thread link follows.
    EXPECT_EQ(CookieName(capture, links[0].cookie), "/usr/bin/app");
    EXPECT_EQ(links[0].pid, 100u);
    EXPECT_EQ(links[1].cookie, links[0].cookie);
    EXPECT_EQ(links[1].tid, 101u);
    const auto kernelLink = std::find_if(links.begin(), links.end(),
                                         [](const auto& l) { return l.tid == 12; });
    ASSERT_NE(kernelLink, links.end());
    EXPECT_EQ(kernelLink->cookie, 0u);  // a kernel thread has no image
    EXPECT_EQ(kernelLink->pid, 12u);
    const auto nullLink =
        std::find_if(links.begin(), links.end(), [](const auto& l) { return l.time == 40; });
    ASSERT_NE(nullLink, links.end());
    EXPECT_EQ(nullLink->cookie, 0u);
    EXPECT_EQ(nullLink->pid, 0u);
}

TEST_P(LinuxTasksTest, ThreadExitCarriesTheProcessIdInTheThreadPosition) {
    LinuxRig rig(is64());
    const uint64_t app = rig.image().AddProcess(300, "app", "/bin/app");
    const uint64_t thread = rig.image().AddThread(app, 301, "t");
    rig.Start();
    rig.Exit(thread, 5);  // exits are recorded before any switch
    rig.Exit(0, 6);
    const rcf::Capture capture = rig.Finish();
    const auto exits = RecordsOf<rcf::ThreadExitRecord>(capture, kScheduling);
    ASSERT_EQ(exits.size(), 2u);
    EXPECT_EQ(exits[0].tid, 300u);
    EXPECT_EQ(exits[0].time, 5u);
    EXPECT_EQ(exits[1].tid, 0u);
    const auto linkExits = RecordsOf<rcf::LinkExitRecord>(capture, kLink);
    ASSERT_EQ(linkExits.size(), 2u);
    EXPECT_EQ(linkExits[0].tid, 300u);
}

TEST_P(LinuxTasksTest, NothingIsSampledBeforeTheFirstSwitch) {
    LinuxRig rig(is64());
    rig.image().AddProcess(1, "init", "/sbin/init");
    rig.Start();
    const auto regs = rig.image().WriteFrameRecords(rig.image().NewUserStack(), std::vector<uint64_t>{0x4000});
    rig.Sample(0x1000, 0x2000, regs, false, true, 1);
    rig.Sample(0x1000, 0x2000, regs, true, true, 2);
    rig.driver().OnBranch(rig.debug(), 0, 0, 0x1234, is64(), 3);  // not a watched function
    EXPECT_FALSE(rig.driver().taskKnown());
    EXPECT_TRUE(rig.activity().additions.empty());
    EXPECT_TRUE(RecordsOf<rcf::SampleRecord>(rig.Finish(), kBacktrace).empty());
}

TEST_P(LinuxTasksTest, KernelSampleKeepsRawAddressesAndCountsSystemTime) {
    LinuxRig rig(is64(), /*depth=*/4);
    auto& image = rig.image();
    const uint64_t app = image.AddProcess(42, "app", "/usr/bin/app");
    rig.Start();
    rig.Switch(0, app, 1);
    const std::vector<uint64_t> returns = {0xc0001000, 0xc0002000, 0xc0003000, 0xc0004000};
    const auto regs = image.WriteFrameRecords(image.NewUserStack(), returns);
    rig.Sample(0xc0000500, 0xc0000900, regs, /*user=*/false, true, 7, /*core=*/1);

    const rcf::Capture capture = rig.Finish();
    const auto samples = RecordsOf<rcf::SampleRecord>(capture, kBacktrace);
    ASSERT_EQ(samples.size(), 1u);
    EXPECT_EQ(samples[0].time, 7u);
    EXPECT_EQ(samples[0].cookie, 0u);
    EXPECT_EQ(samples[0].pid, is64() ? 0u : 42u);  // 64-bit: core 1 saw no switch
    // pc, lr (fp lies just above sp), then frame records up to the depth.
    const std::vector<rcf::StackFrame> frames = {
        {0, 0xc0000500}, {0, 0xc0000900}, {0, 0xc0001000}, {0, 0xc0002000}};
    EXPECT_EQ(samples[0].frames, frames);
    EXPECT_EQ(rig.activity().additions,
              (std::vector<Addition>{{"CPUActivitySystem", 1, 1}}));
}

TEST_P(LinuxTasksTest, UserFramesResolveToFilesAnonymousMemoryOrNothing) {
    LinuxRig rig(is64(), 8, kvhost::LinuxSettingsOptions{12, true, 0, 0});
    auto& image = rig.image();
    const uint64_t app = image.AddProcess(500, "app", "/usr/bin/app");
    image.MapFile(app, 0x400000, 0x410000, "/usr/bin/app", 0);
    image.MapFile(app, 0x7000000, 0x7040000, "/usr/lib/libc.so.6", 2);
    image.MapAnonymous(app, 0x9000000, 0x9100000);
    image.MapFile(app, 0x2000000, 0x2001000, "/", 0);  // a file whose path is empty
    rig.Start();
    rig.Switch(0, app, 1);

    const std::vector<uint64_t> returns = {0x7000123, 0x9000040, 0x8000000, 0x2000010};
    const auto regs = image.WriteFrameRecords(image.NewUserStack(), returns);
    rig.Sample(0x400abc, 0x400def, regs, /*user=*/true, true, 9);

    const rcf::Capture capture = rig.Finish();
    const auto samples = RecordsOf<rcf::SampleRecord>(capture, kBacktrace);
    ASSERT_EQ(samples.size(), 1u);
    const auto& s = samples[0];
    EXPECT_EQ(s.pid, 500u);
    EXPECT_EQ(s.tid, 500u);
    EXPECT_EQ(CookieName(capture, s.cookie), "/usr/bin/app");
    ASSERT_EQ(s.frames.size(), 6u);
    EXPECT_EQ(s.frames[0], (rcf::StackFrame{s.cookie, 0xabc}));  // pc in the executable
    EXPECT_EQ(s.frames[1], (rcf::StackFrame{s.cookie, 0xdef}));  // lr
    EXPECT_EQ(CookieName(capture, s.frames[2].cookie), "/usr/lib/libc.so.6");
    EXPECT_EQ(s.frames[2].address, 0x123u + 2 * 4096);  // page offset 2, page shift 12
    EXPECT_EQ(s.frames[3], (rcf::StackFrame{0, 0x9000040}));           // anonymous
    EXPECT_EQ(s.frames[4], (rcf::StackFrame{0xFFFFFFFF, 0x8000000}));   // outside every area
    // An empty file path falls back to the process image and keeps offset 0.
    EXPECT_EQ(s.frames[5], (rcf::StackFrame{s.cookie, 0}));
    EXPECT_EQ(rig.activity().additions, (std::vector<Addition>{{"CPUActivityUser", 1, 0}}));
}

TEST_P(LinuxTasksTest, SamplesWithTheMmuOffKnowNoTask) {
    LinuxRig rig(is64());
    auto& image = rig.image();
    const uint64_t app = image.AddProcess(77, "app", "/usr/bin/app");
    image.MapFile(app, 0x400000, 0x410000, "/usr/bin/app", 0);
    rig.Start();
    rig.Switch(0, app, 1);
    const auto regs = image.WriteFrameRecords(image.NewUserStack(), std::vector<uint64_t>{0x400100});
    rig.Sample(0x400010, 0x400020, regs, /*user=*/true, /*mmu=*/false, 2);
    rig.Sample(0x400010, 0x400020, regs, /*user=*/false, /*mmu=*/false, 3);

    const auto samples = RecordsOf<rcf::SampleRecord>(rig.Finish(), kBacktrace);
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_EQ(samples[0].pid, 0u);
    EXPECT_EQ(samples[0].tid, 0u);
    EXPECT_EQ(samples[0].cookie, 0u);
    EXPECT_EQ(samples[0].frames, (std::vector<rcf::StackFrame>(3, rcf::StackFrame{0, 0})));
    EXPECT_EQ(samples[1].pid, 0u);
    EXPECT_EQ(samples[1].frames[0], (rcf::StackFrame{0, 0x400010}));
    // No user time without a process image; the kernel sample counts.
    EXPECT_EQ(rig.activity().additions, (std::vector<Addition>{{"CPUActivitySystem", 1, 0}}));
}

TEST_P(LinuxTasksTest, KernelThreadInUserModeHasNoImage) {
    LinuxRig rig(is64());
    const uint64_t kthread = rig.image().AddKernelThread(9, "ksoftirqd/0");
    rig.Start();
    rig.Switch(0, kthread, 1);
    const auto regs = rig.image().WriteFrameRecords(rig.image().NewUserStack(), std::vector<uint64_t>{0x5000});
    rig.Sample(0x1000, 0x2000, regs, true, true, 2);
    const auto samples = RecordsOf<rcf::SampleRecord>(rig.Finish(), kBacktrace);
    ASSERT_EQ(samples.size(), 1u);
    EXPECT_EQ(samples[0].pid, 9u);
    EXPECT_EQ(samples[0].cookie, 0u);
    const std::vector<rcf::StackFrame> frames = {{0, 0x1000}, {0, 0x2000}, {0, 0x5000}};
    EXPECT_EQ(samples[0].frames, frames);
    EXPECT_TRUE(rig.activity().additions.empty());
}

INSTANTIATE_TEST_SUITE_P(Widths, LinuxTasksTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Core64" : "Core32"; });

TEST(LinuxTasks32Test, CurrentTaskComesFromTheKernelStackNotTheLastSwitch) {
    LinuxRig rig(false);
    auto& image = rig.image();
    const uint64_t a = image.AddProcess(10, "a", "/bin/a");
    const uint64_t b = image.AddProcess(20, "b", "/bin/b");
    rig.Start();
    rig.Switch(0, a, 1);
    EXPECT_EQ(rig.driver().CurrentTask(rig.debug(), 0, false), a);
    image.SetRunning(b);  // the kernel stack now belongs to b
    EXPECT_EQ(rig.driver().CurrentTask(rig.debug(), 0, false), b);
    EXPECT_EQ(rig.driver().CurrentTask(rig.debug(), 1, false), b);  // every core reads R13_svc
    const auto regs = image.WriteFrameRecords(image.NewUserStack(), std::vector<uint64_t>{});
    rig.Sample(0x100, 0x200, regs, false, true, 2);
    const auto samples = RecordsOf<rcf::SampleRecord>(rig.Finish(), kBacktrace);
    ASSERT_EQ(samples.size(), 1u);
    EXPECT_EQ(samples[0].pid, 20u);
}

TEST(LinuxTasks64Test, CurrentTaskIsPerCore) {
    LinuxRig rig(true);
    const uint64_t a = rig.image().AddProcess(10, "a", "/bin/a");
    const uint64_t b = rig.image().AddProcess(20, "b", "/bin/b");
    rig.Start();
    EXPECT_EQ(rig.driver().CurrentTask(rig.debug(), 0, true), 0u);
    rig.Switch(0, a, 1, 0);
    rig.Switch(0, b, 2, 1);
    EXPECT_EQ(rig.driver().CurrentTask(rig.debug(), 0, true), a);
    EXPECT_EQ(rig.driver().CurrentTask(rig.debug(), 1, true), b);
    EXPECT_EQ(rig.driver().CurrentTask(rig.debug(), 7, true), 0u);  // beyond the cores
}

TEST(LinuxTasks64Test, FindMemoryAreaMatchesALinearSearch) {
    LinuxRig rig(true);
    auto& image = rig.image();
    const uint64_t app = image.AddProcess(1, "a", "");
    std::vector<uint64_t> starts;
    for (uint64_t i = 0; i < 50; ++i) starts.push_back(0x100000 + i * 0x10000);
    std::shuffle(starts.begin(), starts.end(), std::mt19937(3));
    std::vector<std::pair<uint64_t, uint64_t>> areas;  // (start, area)
    for (uint64_t start : starts) areas.emplace_back(start, image.MapAnonymous(app, start, start + 0x8000));
    std::sort(areas.begin(), areas.end());
    rig.Start();
    const uint64_t mm = image.MmOf(app);
    for (uint64_t address = 0xF0000; address < 0x100000 + 51 * 0x10000; address += 0x1000) {
        uint64_t expected = 0;
        for (const auto& [start, area] : areas) {
            if (start + 0x8000 > address) {
                expected = area;
                break;
            }
        }
        EXPECT_EQ(rig.driver().FindMemoryArea(rig.debug(), mm, address, true), expected)
            << std::hex << address;
    }
    EXPECT_EQ(rig.driver().FindMemoryArea(rig.debug(), image.MmOf(image.AddProcess(2, "b", "")),
                                          0x100000, true),
              0u);  // an empty tree
}

struct PathCase {
    const char* name;
    std::vector<std::string> components;  // below the root, outermost first
    bool selfParentedTop;                 // top entry is its own parent (no root)
    uint32_t bufferSize;
    std::string expected;
    std::string warning;
};

TEST(LinuxPathsTest, DentryPathsAndTheirFourWarnings) {
    const std::string c60a(60, 'a'), c60b(60, 'b'), c60c(60, 'c'), c60d(60, 'd');
    const std::string c199(199, 'x');
    const PathCase cases[] = {
        {"absolute path", {"usr", "bin", "ls"}, false, 200, "/usr/bin/ls", ""},
        {"root only", {}, false, 200, "", ""},
        {"too long keeps what fitted", {c60a, c60b, c60c, c60d}, false, 200,
         "/" + c60b + "/" + c60c + "/" + c60d, "morlak: path is too long\n"},
        {"no room for the slash", {c199}, false, 200, c199, "morlak: no room for slash\n"},
        {"small buffer, no room", {"ab", "defg"}, false, 8, "ab/defg", "morlak: no room for slash\n"},
        {"small buffer, too long", {"abc", "defg"}, false, 8, "/defg", "morlak: path is too long\n"},
        {"parent is self", {"orphan", "leaf"}, true, 200, "/orphan/leaf", "morlak: parent is self\n"},
        {"empty name", {"", "leaf"}, false, 200, "/leaf", "morlak: path is empty string\n"},
    };
    for (const PathCase& c : cases) {
        SCOPED_TRACE(c.name);
        LinuxRig rig(true);
        auto& image = rig.image();
        uint64_t dentry = c.selfParentedTop ? 0 : image.Dentry("/");
        for (const std::string& component : c.components) dentry = image.NewDentry(component, dentry);
        const uint64_t file = image.FileFor(dentry);
        rig.Start();
        std::vector<char> buffer(c.bufferSize);
        kvhost::StreamCapture console;
        const std::string_view path = rig.driver().BuildDentryPath(
            rig.debug(), file + image.layout().fileFPath, buffer.data(), c.bufferSize, true);
        EXPECT_EQ(path, c.expected);
        EXPECT_EQ(console.err(), c.warning.empty() ? "" : "WARN (Linux driver) " + c.warning + "\n");
    }
}

TEST(LinuxPathsTest, NoDentryGivesAnEmptyPath) {
    LinuxRig rig(false);
    rig.Start();
    char buffer[200];
    kvhost::StreamCapture console;
    EXPECT_EQ(rig.driver().BuildDentryPath(rig.debug(), 0x100, buffer, 200, false), "");
    EXPECT_EQ(console.err(), "");
}

// The example kernel build: Debian's arm64 5.10.0-32-cloud-arm64, with the
// structure offsets and symbol addresses read from that build.
TEST(LinuxDebianKernelTest, DriverFollowsAnImageWithTheRealOffsets) {
    LinuxRig rig(true, kvhost::KernelLayout::Debian510CloudArm64(), 8);
    auto& image = rig.image();
    const uint64_t bash = image.AddProcess(812, "bash", "/usr/bin/bash");
    image.MapFile(bash, 0xaaaad0000000, 0xaaaad00f0000, "/usr/bin/bash", 0);
    image.MapFile(bash, 0xffff9a000000, 0xffff9a160000, "/usr/lib/aarch64-linux-gnu/libc-2.31.so", 3);
    image.MapAnonymous(bash, 0xfffff0000000, 0xfffff0100000);
    const uint64_t kworker = image.AddKernelThread(57, "kworker/u4:2");
    rig.Start();
    EXPECT_EQ(rig.driver().switchToAddress(), 0xffff800010019420u);
    EXPECT_EQ(rig.driver().releaseTaskAddress(), 0xffff8000100938b0u);
    EXPECT_EQ(rig.driver().pageShift(), 16u);

    rig.Switch(kworker, bash, 100);
    const auto regs = image.WriteFrameRecords(image.NewUserStack(),
                                              std::vector<uint64_t>{0xffff9a012340, 0xaaaad0001000});
    rig.Sample(0xaaaad0000400, 0xffff9a000010, regs, true, true, 200);
    rig.Exit(bash, 300);

    const rcf::Capture capture = rig.Finish();
    const auto samples = RecordsOf<rcf::SampleRecord>(capture, kBacktrace);
    ASSERT_EQ(samples.size(), 1u);
    EXPECT_EQ(samples[0].pid, 812u);
    EXPECT_EQ(CookieName(capture, samples[0].cookie), "/usr/bin/bash");
    ASSERT_EQ(samples[0].frames.size(), 4u);
    EXPECT_EQ(samples[0].frames[0].address, 0x400u);
    EXPECT_EQ(CookieName(capture, samples[0].frames[1].cookie),
              "/usr/lib/aarch64-linux-gnu/libc-2.31.so");
    EXPECT_EQ(samples[0].frames[1].address, 0x10u + (3u << 16));
    EXPECT_EQ(samples[0].frames[2].address, 0x12340u + (3u << 16));
    EXPECT_EQ(samples[0].frames[3].address, 0x1000u);
    const auto names = RecordsOf<rcf::ThreadNameRecord>(capture, kName);
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0].name, "bash");
    EXPECT_EQ(RecordsOf<rcf::SwitchRecord>(capture, kScheduling).at(0).state, 1u);
    EXPECT_EQ(RecordsOf<rcf::ThreadExitRecord>(capture, kScheduling).at(0).tid, 812u);
    for (const std::string& problem : rcf::CheckCapture(capture)) ADD_FAILURE() << problem;
}

}  // namespace
}  // namespace vantric
