// Task tracking against a synthetic kernel image: switches, exits, samples in
// kernel and user mode, frames resolved through the memory-area tree, paths
// from directory entries, and the CPU activity counters; on 64-bit cores and
// on 32-bit cores through the thread-information block.
#include <gtest/gtest.h>

#include <algorithm>

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
    std::vector<uint32_t> exits;
    for (const auto& r : RecordsOf<rcf::ThreadExitRecord>(capture, kScheduling)) exits.push_back(r.tid);
    for (const auto& r : RecordsOf<rcf::LinkExitRecord>(capture, kLink)) exits.push_back(r.tid);
    EXPECT_EQ(exits, (std::vector<uint32_t>{100, 0, 100, 0}));
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
    // A kernel thread and the null task have no image.
    using Link = std::tuple<uint32_t, uint32_t, std::string>;  // tid, pid, image
    std::vector<Link> links;
    for (const auto& l : RecordsOf<rcf::LinkRecord>(capture, kLink)) {
        links.emplace_back(l.tid, l.pid, l.cookie ? CookieName(capture, l.cookie) : "");
    }
    for (const Link& want : {Link{101, 100, "/usr/bin/app"}, Link{12, 12, ""}, Link{0, 0, ""}}) {
        EXPECT_NE(std::find(links.begin(), links.end(), want), links.end()) << std::get<0>(want);
    }
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

TEST_P(LinuxTasksTest, UserFramesResolveToFilesAnonymousMemoryOrNothingWithTheMmuOn) {
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
    // No user time without a process image; the kernel sample counts.
    EXPECT_EQ(rig.activity().additions,
              (std::vector<Addition>{{"CPUActivityUser", 1, 0}, {"CPUActivitySystem", 1, 0}}));
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
    image.SetRunning(b);  // the kernel stack now belongs to b
    EXPECT_EQ(rig.driver().CurrentTask(rig.debug(), 0, false), b);
    EXPECT_EQ(rig.driver().CurrentTask(rig.debug(), 1, false), b);  // every core reads R13_svc
    const auto regs = image.WriteFrameRecords(image.NewUserStack(), std::vector<uint64_t>{});
    rig.Sample(0x100, 0x200, regs, false, true, 2);
    const auto samples = RecordsOf<rcf::SampleRecord>(rig.Finish(), kBacktrace);
    ASSERT_EQ(samples.size(), 1u);
    EXPECT_EQ(samples[0].pid, 20u);
}

TEST(LinuxPathsTest, DentryPathsAndTheirFourWarnings) {
    const std::string c60a(60, 'a'), c60b(60, 'b'), c60c(60, 'c'), c60d(60, 'd');
    const std::string c199(199, 'x');
    const struct {
        const char* name;
        std::vector<std::string> components;  // below the root, outermost first
        bool selfParentedTop;                 // top entry is its own parent (no root)
        uint32_t bufferSize;
        std::string expected;
        std::string warning;
    } cases[] = {
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
    for (const auto& c : cases) {
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
    const uint32_t bashCookie = samples[0].cookie, libc = samples[0].frames.at(1).cookie;
    EXPECT_EQ(CookieName(capture, libc), "/usr/lib/aarch64-linux-gnu/libc-2.31.so");
    const std::vector<rcf::StackFrame> frames = {{bashCookie, 0x400}, {libc, 0x10 + (3 << 16)},
                                                 {libc, 0x12340 + (3 << 16)}, {bashCookie, 0x1000}};
    EXPECT_EQ(samples[0].frames, frames);  // page shift 16 from the default
    const auto names = RecordsOf<rcf::ThreadNameRecord>(capture, kName);
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0].name, "bash");
    EXPECT_EQ(RecordsOf<rcf::SwitchRecord>(capture, kScheduling).at(0).state, 1u);
    EXPECT_EQ(RecordsOf<rcf::ThreadExitRecord>(capture, kScheduling).at(0).tid, 812u);
    for (const std::string& problem : rcf::CheckCapture(capture)) ADD_FAILURE() << problem;
}

}  // namespace
}  // namespace vantric
