// System-call decoding: openat and execve texts read from a synthetic image,
// UNKNOWN for unreadable parts, ignored call numbers, both core widths.
#include <gtest/gtest.h>

#include "linux_rig.h"

namespace vantric {
namespace {

using testing::LinuxRig;
using testing::RecordsOf;

constexpr uint32_t kAnnotate = 6;

struct Numbers {
    uint64_t openat;
    uint64_t execve;
};

class LinuxSyscallsTest : public ::testing::TestWithParam<bool> {
protected:
    LinuxSyscallsTest() : rig_(GetParam()) {
        task_ = rig_.image().AddProcess(640, "sh", "/bin/sh");
        thread_ = rig_.image().AddThread(task_, 641, "sh");
        rig_.Start();
        rig_.Switch(0, thread_, 1, /*core=*/1);
    }
    bool is64() const { return GetParam(); }
    Numbers numbers() const { return is64() ? Numbers{56, 221} : Numbers{322, 11}; }

    void Call(uint64_t number, std::array<uint64_t, 6> args, uint64_t time = 50, uint32_t core = 1) {
        rig_.image().EnterSyscall(number, args);
        rig_.driver().OnSyscall(rig_.debug(), core, is64(), time);
        EXPECT_EQ(rig_.driver().pendingSyscalls(), 0u);
    }
    std::vector<std::string> Texts() {
        std::vector<std::string> texts;
        for (const auto& a : RecordsOf<rcf::AnnotationRecord>(rig_.Finish(), kAnnotate)) {
            texts.push_back(a.text);
        }
        return texts;
    }

    LinuxRig rig_;
    uint64_t task_ = 0;
    uint64_t thread_ = 0;
};

TEST_P(LinuxSyscallsTest, OpenatTextWithSignedArguments) {
    auto& image = rig_.image();
    const uint64_t path = image.UserString("/etc/ld.so.cache");
    const uint64_t minus100 = is64() ? uint64_t(-100) : 0xFFFFFF9Cu;
    Call(numbers().openat, {minus100, path, 524288, 0, 0, 0}, 77);
    Call(numbers().openat, {3, path, 0xFFFFFFFF, 0x8000, 0, 0});
    Call(numbers().openat, {3, path, 0x41, 0x1FFFF, 0, 0});
    Call(numbers().openat, {3, path, 0x241, 0x1A4, 0, 0});

    const rcf::Capture capture = rig_.Finish();
    const auto annotations = RecordsOf<rcf::AnnotationRecord>(capture, kAnnotate);
    ASSERT_EQ(annotations.size(), 4u);
    EXPECT_EQ(annotations[0].text, "openat(-100, \"/etc/ld.so.cache\", 524288, 0)");
    EXPECT_EQ(annotations[0].pid, 1u);  // the core stands in the pid position
    EXPECT_EQ(annotations[0].tid, 641u);
    EXPECT_EQ(annotations[0].time, 77u);
    EXPECT_EQ(annotations[1].text, "openat(3, \"/etc/ld.so.cache\", -1, -32768)");
    EXPECT_EQ(annotations[2].text, "openat(3, \"/etc/ld.so.cache\", 65, -1)");
    EXPECT_EQ(annotations[3].text, "openat(3, \"/etc/ld.so.cache\", 577, 420)");
}

TEST_P(LinuxSyscallsTest, UnreadableOrOverlongPathsPrintUnknown) {
    auto& image = rig_.image();
    Call(numbers().openat, {1, image.UnmappedUserAddress(), 0, 0, 0, 0});
    Call(numbers().openat, {1, image.UserString(std::string(101, 'a')), 0, 0, 0, 0});
    Call(numbers().openat, {1, image.UserString(std::string(99, 'b')), 0, 0, 0, 0});
    const auto texts = Texts();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0], "openat(1, UNKNOWN, 0, 0)");
    EXPECT_EQ(texts[1], "openat(1, UNKNOWN, 0, 0)");
    EXPECT_EQ(texts[2], "openat(1, \"" + std::string(99, 'b') + "\", 0, 0)");
}

TEST_P(LinuxSyscallsTest, ExecveWithArgumentsAndEnvironment) {
    auto& image = rig_.image();
    const uint64_t file = image.UserString("/bin/ls");
    const std::vector<uint64_t> argv = {image.UserString("ls"), image.UserString("-l")};
    const std::vector<uint64_t> noEnv = {};
    const std::vector<uint64_t> env = {image.UserString("HOME=/root"), image.UnmappedUserAddress()};
    Call(numbers().execve, {file, image.UserPointerArray(argv), image.UserPointerArray(noEnv), 0, 0, 0});
    Call(numbers().execve, {file, image.UserPointerArray(argv), image.UserPointerArray(env), 0, 0, 0});
    Call(numbers().execve, {image.UnmappedUserAddress(), image.UnmappedUserAddress(),
                            image.UserPointerArray(noEnv), 0, 0, 0});
    const auto texts = Texts();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0], "execve(\"/bin/ls\", [\"ls\", \"-l\"], [])");
    EXPECT_EQ(texts[1], "execve(\"/bin/ls\", [\"ls\", \"-l\"], [\"HOME=/root\", UNKNOWN])");
    EXPECT_EQ(texts[2], "execve(UNKNOWN, UNKNOWN, [])");
}

TEST_P(LinuxSyscallsTest, OtherCallNumbersAreIgnored) {
    const uint64_t path = rig_.image().UserString("/tmp/x");
    // The other table's numbers, close calls and nearby numbers.
    const uint64_t ignored[] = {numbers().openat + 1, numbers().execve - 1, 5, 57, is64() ? 322u : 56u,
                                is64() ? 11u : 221u};
    for (uint64_t number : ignored) Call(number, {3, path, 0, 0, 0, 0});
    EXPECT_TRUE(Texts().empty());
}

INSTANTIATE_TEST_SUITE_P(Widths, LinuxSyscallsTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Core64" : "Core32"; });

TEST(LinuxSyscallsNoTaskTest, ThreadIdIsZeroBeforeAnySwitchAndTlbFillFindsNothing) {
    LinuxRig rig(true);
    const uint64_t path = rig.image().UserString("/a");
    rig.Start();
    rig.image().EnterSyscall(56, {0, path, 0, 0, 0, 0});
    rig.driver().OnSyscall(rig.debug(), 0, true, 3);
    rig.driver().OnTlbFill(rig.debug(), 0, true, 4);
    const auto annotations = RecordsOf<rcf::AnnotationRecord>(rig.Finish(), kAnnotate);
    ASSERT_EQ(annotations.size(), 1u);
    EXPECT_EQ(annotations[0].tid, 0u);
    EXPECT_EQ(annotations[0].pid, 0u);
    EXPECT_EQ(annotations[0].text, "openat(0, \"/a\", 0, 0)");
}

TEST(LinuxSyscallRecordsTest, OtherSyscallPrintsRawUnsignedArgumentsAndRetriesCountAttempts) {
    kvhost::TempDirectory dir;
    CaptureWriter capture(CaptureWriter::kDefaultRotationRecords);
    capture.open((dir.path() / "c.rcf").string() + "/", 1);
    SyscallContext context;
    context.capture = &capture;
    context.args = {0, 1, ~uint64_t{0}, 3, 4, 5};
    context.threadId = 9;
    OtherSyscall other(context);
    EXPECT_TRUE(other.Fetch());
    EXPECT_TRUE(other.Emit());

    context.args[1] = 0x1234;  // unreadable: no debug interface
    OpenatSyscall openat(context);
    EXPECT_FALSE(openat.Fetch());
    EXPECT_TRUE(openat.Emit());
    EXPECT_EQ(openat.attempts(), 1u);
    capture.close();
    rcf::Capture read;
    ASSERT_TRUE(rcf::ReadCapture((dir.path() / "c.rcf").string(), read));
    const auto annotations = RecordsOf<rcf::AnnotationRecord>(read, kAnnotate);
    ASSERT_EQ(annotations.size(), 2u);
    EXPECT_EQ(annotations[0].text, "unknown(0, 1, 18446744073709551615, 3, 4, 5)");
    EXPECT_EQ(annotations[0].tid, 9u);
    EXPECT_EQ(annotations[1].text, "openat(0, UNKNOWN, -1, 3)");
}

}  // namespace
}  // namespace vantric
