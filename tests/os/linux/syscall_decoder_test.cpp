// System-call decoding: openat and execve texts read from a synthetic image,
// UNKNOWN for unreadable parts, ignored call numbers, both core widths.
#include <gtest/gtest.h>

#include "linux_rig.h"

namespace vantric {
namespace {

using testing::RecordsOf;
using Ptrs = std::vector<uint64_t>;

class LinuxSyscallsTest : public ::testing::TestWithParam<bool> {};

TEST_P(LinuxSyscallsTest, CallTextsAndIgnoredNumbers) {
    const bool is64 = GetParam();
    testing::LinuxRig rig(is64);
    auto& image = rig.image();
    const uint64_t thread = image.AddThread(image.AddProcess(640, "sh", "/bin/sh"), 641, "sh");
    rig.Start();
    rig.Switch(0, thread, 1, /*core=*/1);

    const uint64_t openat = is64 ? 56 : 322, execve = is64 ? 221 : 11;
    const uint64_t path = image.UserString("/etc/ld.so.cache"), bad = image.UnmappedUserAddress();
    const uint64_t file = image.UserString("/bin/ls");
    const uint64_t argv = image.UserPointerArray(Ptrs{image.UserString("ls"), image.UserString("-l")});
    const uint64_t noEnv = image.UserPointerArray(Ptrs{});
    const uint64_t env = image.UserPointerArray(Ptrs{image.UserString("HOME=/root"), bad});
    const std::string b99(99, 'b');
    // An array of 99 string pointers ends within the 100 elements read, one of 100 does not.
    const Ptrs a99(99, image.UserString("a")), a100(100, a99[0]);
    std::string list99 = "[\"a\"";
    for (int i = 1; i < 99; ++i) list99 += ", \"a\"";
    // The call number, its arguments and its text ("" when the call is ignored).
    const struct { uint64_t number; std::array<uint64_t, 6> args; std::string text; } cases[] = {
        {openat, {is64 ? uint64_t(-100) : 0xFFFFFF9Cu, path, 524288, 0, 0, 0},
         "openat(-100, \"/etc/ld.so.cache\", 524288, 0)"},
        {openat, {3, path, 0xFFFFFFFF, 0x8000, 0, 0}, "openat(3, \"/etc/ld.so.cache\", -1, -32768)"},
        {openat, {3, path, 0x41, 0x1FFFF, 0, 0}, "openat(3, \"/etc/ld.so.cache\", 65, -1)"},
        {openat, {3, path, 0x241, 0x1A4, 0, 0}, "openat(3, \"/etc/ld.so.cache\", 577, 420)"},
        {openat, {1, bad, 0, 0, 0, 0}, "openat(1, UNKNOWN, 0, 0)"},
        {openat, {1, image.UserString(std::string(100, 'a')), 0, 0, 0, 0}, "openat(1, UNKNOWN, 0, 0)"},
        {openat, {1, image.UserString(b99), 0, 0, 0, 0}, "openat(1, \"" + b99 + "\", 0, 0)"},
        {execve, {file, argv, noEnv, 0, 0, 0}, "execve(\"/bin/ls\", [\"ls\", \"-l\"], [])"},
        {execve, {file, argv, env, 0, 0, 0},
         "execve(\"/bin/ls\", [\"ls\", \"-l\"], [\"HOME=/root\", UNKNOWN])"},
        {execve, {bad, bad, noEnv, 0, 0, 0}, "execve(UNKNOWN, UNKNOWN, [])"},
        {execve, {file, image.UserPointerArray(a99), image.UserPointerArray(a100), 0, 0, 0},
         "execve(\"/bin/ls\", " + list99 + "], UNKNOWN)"},
        // The other table's numbers, close calls and nearby numbers.
        {openat + 1, {3, path, 0, 0, 0, 0}, ""},
        {execve - 1, {3, path, 0, 0, 0, 0}, ""},
        {57, {3, path, 0, 0, 0, 0}, ""},
        {is64 ? 322u : 56u, {3, path, 0, 0, 0, 0}, ""},
        {is64 ? 11u : 221u, {3, path, 0, 0, 0, 0}, ""},
    };
    std::vector<std::string> expected;
    for (size_t i = 0; i < std::size(cases); ++i) {
        image.EnterSyscall(cases[i].number, cases[i].args);
        rig.driver().OnSyscall(rig.debug(), 1, is64, 50 + i);
        if (!cases[i].text.empty()) expected.push_back(cases[i].text);
    }
    const auto annotations = RecordsOf<rcf::AnnotationRecord>(rig.Finish(), 6);
    std::vector<std::string> texts;
    for (const auto& a : annotations) texts.push_back(a.text);
    EXPECT_EQ(texts, expected);
    ASSERT_FALSE(annotations.empty());
    EXPECT_EQ(annotations[0].pid, 1u);  // the core stands in the pid position
    EXPECT_EQ(annotations[0].tid, 641u);
    EXPECT_EQ(annotations[0].time, 50u);
}

INSTANTIATE_TEST_SUITE_P(Widths, LinuxSyscallsTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Core64" : "Core32"; });

}  // namespace
}  // namespace vantric
