// The guest's marker lines as its /init prints them (taken from a console
// log of a run), with kernel output and noise around them.
#include "guest_report.h"

#include <gtest/gtest.h>

namespace qemuhost {
namespace {

const std::vector<std::string> kConsole = {
    "[    1.830953] Run /init as init process",
    "@@VTQ kallsyms ffff8000080986e0 T release_task",
    "@@VTQ kallsyms ffff800008bb50f0 T __switch_to",
    "@@VTQ ready",
    "go",
    "@@VTQ begin",
    "@@VTQ process 90 cat",
    "@@VTQ exec 90 /bin/cat",
    "@@VTQ open 90 /tmp/gate",
    "@@VTQ open 90 /etc/hostname",
    "@@VTQ process 98 dash",
    "@@VTQ exec 98 /bin/dash",
    "@@VTQ maps 98 aaaab6820000-aaaab683e000 r-xp 00000000 00:02 7                          /bin/dash",
    "@@VTQ maps 98 aaaab684e000-aaaab6850000 r--p 0001e000 00:02 7                          /bin/dash",
    "@@VTQ maps 98 aaaab6851000-aaaab6853000 rw-p 00000000 00:00 0",
    "@@VTQ maps 98 ffffa85f0000-ffffa877c000 r-xp 00000000 00:02 15                         /lib/aarch64-linux-gnu/libc.so.6",
    "[    5.1] random: crng init done@@VTQ open 98 /tmp/work.sh",
    "@@VTQ process 0 swapper",
    "@@VTQ maps 98 zzzz-aaaa r-xp 0 0 0 /bin/dash",
    "@@VTQ open 99",
    "@@VTQ dash-done 98 30000 vantric guest",
    "@@VTQ end",
};

TEST(GuestReport, ReadsWhatTheGuestDid) {
    GuestReport report;
    report.Parse(kConsole);
    EXPECT_TRUE(report.ready());
    EXPECT_TRUE(report.ended());
    EXPECT_EQ(report.symbols().at("__switch_to"), 0xffff800008bb50f0ull);
    EXPECT_EQ(report.symbols().at("release_task"), 0xffff8000080986e0ull);
    EXPECT_EQ(report.SymbolText(),
              "ffff800008bb50f0 T __switch_to\nffff8000080986e0 T release_task\n");
    ASSERT_EQ(report.processes().size(), 2u);
    const ReportedProcess& cat = report.processes().at(90);
    EXPECT_EQ(cat.name, "cat");
    EXPECT_EQ(cat.programs, std::vector<std::string>{"/bin/cat"});
    EXPECT_EQ(cat.opened, (std::vector<std::string>{"/tmp/gate", "/etc/hostname"}));
    EXPECT_EQ(report.dashPid(), 98u);
    const ReportedProcess& dash = report.processes().at(98);
    EXPECT_EQ(dash.opened, std::vector<std::string>{"/tmp/work.sh"});  // after kernel output on its line
    ASSERT_EQ(dash.maps.size(), 4u);
    EXPECT_EQ(dash.maps[1].start, 0xaaaab684e000ull);
    EXPECT_EQ(dash.maps[1].end, 0xaaaab6850000ull);
    EXPECT_EQ(dash.maps[1].offset, 0x1e000u);
    EXPECT_EQ(dash.maps[1].path, "/bin/dash");
    EXPECT_EQ(dash.maps[2].path, "");
    // pid 0, a map line without a range, an open without a path.
    EXPECT_EQ(report.unreadable().size(), 3u);
}

}  // namespace
}  // namespace qemuhost
