// ProfileDiff on profiles built by hand; every count and share below is
// worked out from the stacks listed next to it.
#include "rcf/profile/profile_diff.h"

#include <gtest/gtest.h>

#include <tuple>

namespace vantric::rcf {
namespace {

class ProfileMaker {
public:
    // A named function, or an unresolved address in `module` when `function` is empty.
    uint32_t location(const std::string& function, uint64_t address, const std::string& module = "/bin/app") {
        Location l;
        l.function = function;
        l.address = address;
        l.module = module;
        if (function.empty()) l.reason = Unresolved::kNoSysroot;
        profile.locations.push_back(l);
        return static_cast<uint32_t>(profile.locations.size() - 1);
    }
    void thread(uint32_t tid, uint32_t pid, const std::string& name, const std::string& process) {
        Thread& t = profile.threads[tid];
        t.tid = tid;
        t.pid = pid;
        t.name = name;
        profile.processes[pid].pid = pid;
        profile.processes[pid].name = process;
    }
    // `count` samples of `tid` with the stack `leafFirst`; no frames when empty.
    void sample(uint32_t tid, std::vector<uint32_t> leafFirst, uint64_t count) {
        profile.threads[tid].samples += count;
        if (leafFirst.empty()) {
            profile.samplesWithoutFrames += count;
            return;
        }
        profile.stacks.push_back(Stack{std::move(leafFirst)});
        profile.samples.push_back({tid, 0, static_cast<uint32_t>(profile.stacks.size() - 1), count});
    }
    Profile profile;
};

using Counts = std::tuple<std::string, uint64_t, uint64_t, uint64_t, uint64_t>;

std::vector<Counts> Rows(const std::vector<ProfileDiff::Row>& rows) {
    std::vector<Counts> out;
    for (const auto& r : rows) out.emplace_back(r.name, r.selfA, r.selfB, r.totalA, r.totalB);
    return out;
}

TEST(ProfileDiff, FunctionsMatchByNameAndSortByChange) {
    ProfileMaker a;
    a.thread(1, 1, "main", "app");
    const uint32_t main = a.location("main", 0x100), parse = a.location("parse", 0x200),
                   parse2 = a.location("parse", 0x300), lex = a.location("lex", 0x400),
                   libc = a.location("", 0x50, "/lib/libc.so.6");
    a.sample(1, {parse, main}, 3);
    a.sample(1, {parse2, parse, main}, 2);  // recursion through both addresses
    a.sample(1, {lex, parse2, main}, 1);
    a.sample(1, {libc, main}, 2);
    a.sample(1, {}, 2);
    ProfileMaker b;  // other addresses, as after a rebuild
    b.thread(1, 1, "main", "app");
    const uint32_t bMain = b.location("main", 0x900), bParse = b.location("parse", 0xa00),
                   gc = b.location("gc", 0xb00);
    b.sample(1, {bParse, bMain}, 4);
    b.sample(1, {gc, bMain}, 10);
    b.sample(1, {bMain}, 6);

    const ProfileDiff diff = ProfileDiff::Compare(a.profile, b.profile);
    EXPECT_EQ(diff.samplesA(), 10u);  // frameless samples included
    EXPECT_EQ(diff.samplesB(), 20u);
    // Self change (points): gc +50, parse -30, main +30, libc -20, lex -10;
    // parse before main by total change, 40 against 20.
    const std::vector<Counts> expected = {
        {"gc", 0, 10, 0, 10},
        {"parse", 5, 4, 6, 4},
        {"main", 0, 6, 8, 20},
        {"libc.so.6+0x50", 2, 0, 2, 0},
        {"lex", 1, 0, 1, 0},
    };
    EXPECT_EQ(Rows(diff.functions()), expected);
    EXPECT_DOUBLE_EQ(diff.shareA(6), 60.0);
    EXPECT_DOUBLE_EQ(diff.shareB(6), 30.0);
}

TEST(ProfileDiff, EqualChangesSortByName) {
    ProfileMaker a, b;
    a.thread(1, 1, "t", "p");
    b.thread(1, 1, "t", "p");
    const uint32_t y = a.location("y", 1), x = a.location("x", 2), z = a.location("z", 3);
    a.sample(1, {y}, 1);
    a.sample(1, {x}, 1);
    a.sample(1, {z}, 2);
    const uint32_t bz = b.location("z", 3), bw = b.location("w", 4);
    b.sample(1, {bz}, 4);
    b.sample(1, {bw}, 4);
    // A 4 samples, B 8: w +50, x and y -25, z 0. Equal changes go by name.
    const ProfileDiff diff = ProfileDiff::Compare(a.profile, b.profile);
    const std::vector<Counts> expected = {
        {"w", 0, 4, 0, 4}, {"x", 1, 0, 1, 0}, {"y", 1, 0, 1, 0}, {"z", 2, 4, 2, 4}};
    EXPECT_EQ(Rows(diff.functions()), expected);
}

TEST(ProfileDiff, ThreadsMatchByProcessAndThreadName) {
    ProfileMaker a, b;
    a.thread(301, 0, "idle", "kernel");
    a.thread(101, 100, "main", "app");
    a.thread(102, 100, "worker", "app");
    a.thread(103, 100, "worker", "app");
    a.thread(300, 300, "old", "gone");
    a.sample(101, {}, 6);
    a.sample(102, {}, 3);
    a.sample(103, {}, 1);
    b.thread(501, 500, "main", "app");
    b.thread(502, 500, "worker", "app");
    b.thread(600, 600, "sh", "sh");
    b.sample(501, {}, 10);
    b.sample(502, {}, 5);
    b.sample(600, {}, 5);
    // 10 and 20 samples: sh +25, worker 40% -> 25%, main 60% -> 50%, then the
    // unsampled threads by name.
    const ProfileDiff diff = ProfileDiff::Compare(a.profile, b.profile);
    const std::vector<Counts> expected = {
        {"sh/sh", 0, 5, 0, 5},     {"app/worker", 4, 5, 4, 5}, {"app/main", 6, 10, 6, 10},
        {"gone/old", 0, 0, 0, 0}, {"kernel/idle", 0, 0, 0, 0},
    };
    EXPECT_EQ(Rows(diff.threads()), expected);
}

TEST(ProfileDiff, CaptureWithoutSamplesHasZeroShares) {
    ProfileMaker a, b;
    a.thread(1, 1, "main", "app");
    b.thread(1, 1, "main", "app");
    b.sample(1, {b.location("f", 1)}, 4);
    const ProfileDiff diff = ProfileDiff::Compare(a.profile, b.profile);
    EXPECT_EQ(diff.samplesA(), 0u);
    EXPECT_EQ(diff.shareA(5), 0.0);
    EXPECT_EQ(Rows(diff.functions()), (std::vector<Counts>{{"f", 0, 4, 0, 4}}));
    EXPECT_EQ(diff.text("a", "b"),
              "A a: 0 samples; B b: 4 samples\n\n"
              "   self A   self B   change  total A  total B   change  function\n"
              "    0.00%  100.00%  +100.00    0.00%  100.00%  +100.00  f\n\n"
              "  share A  share B   change  thread\n"
              "    0.00%  100.00%  +100.00  app/main\n");
    const ProfileDiff empty = ProfileDiff::Compare(Profile{}, Profile{});
    EXPECT_TRUE(empty.functions().empty());
    EXPECT_TRUE(empty.threads().empty());
    EXPECT_EQ(empty.text("a", "b"),
              "A a: 0 samples; B b: 0 samples\n\n"
              "   self A   self B   change  total A  total B   change  function\n\n"
              "  share A  share B   change  thread\n");
}

TEST(ProfileDiff, TextTables) {
    ProfileMaker a, b;
    a.thread(1, 1, "ma\tin", "app");
    const uint32_t f = a.location("f", 1), g = a.location("g", 2);
    a.sample(1, {f}, 1);
    a.sample(1, {g, f}, 2);
    b.thread(7, 7, "ma\tin", "app");
    const uint32_t bf = b.location("f", 1), h = b.location("h", 3);
    b.sample(7, {bf}, 1);
    b.sample(7, {h, bf}, 2);
    b.sample(7, {}, 1);
    // A 3 samples: f self 1/3 total 3/3, g 2/3. B 4: f self 1/4 total 3/4, h 2/4.
    EXPECT_EQ(ProfileDiff::Compare(a.profile, b.profile).text("old.rcf", "new\n.rcf"),
              "A old.rcf: 3 samples; B new .rcf: 4 samples\n\n"
              "   self A   self B   change  total A  total B   change  function\n"
              "   66.67%    0.00%   -66.67   66.67%    0.00%   -66.67  g\n"
              "    0.00%   50.00%   +50.00    0.00%   50.00%   +50.00  h\n"
              "   33.33%   25.00%    -8.33  100.00%   75.00%   -25.00  f\n\n"
              "  share A  share B   change  thread\n"
              "  100.00%  100.00%     0.00  app/ma in\n");
}

TEST(ProfileDiff, ChangesAreSignedUnlessZero) {
    const std::pair<double, const char*> cases[] = {
        {1.25, "+1.25"}, {-0.5, "-0.50"}, {0.0, "0.00"}, {-0.004, "0.00"},
        {0.004, "0.00"}, {0.006, "+0.01"}, {-100.0, "-100.00"},
    };
    for (auto [change, text] : cases) EXPECT_EQ(ProfileDiff::ChangeText(change), text) << change;
}

}  // namespace
}  // namespace vantric::rcf
