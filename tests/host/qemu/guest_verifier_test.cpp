// The verifier on captures built in memory from a guest report: a faithful
// capture passes, and each planted fault is named.
#include "guest_verifier.h"

#include <gtest/gtest.h>

#include <functional>

namespace qemuhost {
namespace {

namespace rcf = vantric::rcf;

GuestReport Report() {
    GuestReport report;
    report.Parse({"@@VTQ process 90 cat", "@@VTQ exec 90 /bin/cat", "@@VTQ open 90 /etc/motd",
                  "@@VTQ process 98 dash", "@@VTQ exec 98 /bin/dash",
                  "@@VTQ maps 98 aaaab6820000-aaaab683e000 r-xp 00000000 00:02 7 /bin/dash",
                  "@@VTQ maps 98 ffffa85f0000-ffffa877c000 r-xp 00000000 00:02 15 /lib/aarch64-linux-gnu/libc.so.6",
                  "@@VTQ end"});
    return report;
}

rcf::Frame FrameOf(uint32_t type, std::vector<rcf::RecordBody> bodies) {
    rcf::Frame frame;
    frame.fileName = "0000000001";
    frame.type = type;
    frame.core = 0;
    frame.closed = true;
    for (auto& body : bodies) frame.records.push_back({0, std::move(body)});
    return frame;
}

// Cookies: 1 /bin/dash, 2 libc, 3 /bin/busybox.
rcf::Capture Faithful() {
    rcf::Capture capture;
    capture.sessionXml = "<session/>";
    capture.capturedXml = "<captured/>";
    capture.frames.push_back(FrameOf(3, {rcf::CookieNameRecord{1, "/bin/dash"},
                                         rcf::CookieNameRecord{2, "/lib/aarch64-linux-gnu/libc.so.6"},
                                         rcf::CookieNameRecord{3, "/bin/busybox"},
                                         rcf::ThreadNameRecord{10, 90, "cat"}, rcf::ThreadNameRecord{20, 98, "dash"}}));
    capture.frames.push_back(FrameOf(6, {rcf::AnnotationRecord{0, 90, 11, "execve(\"/bin/cat\", [\"/bin/cat\"], [])"},
                                         rcf::AnnotationRecord{0, 90, 12, "openat(-100, \"/etc/motd\", 0, 0)"},
                                         rcf::AnnotationRecord{0, 98, 13, "execve(\"/bin/dash\", [], [])"}}));
    capture.frames.push_back(FrameOf(7, {rcf::ThreadExitRecord{30, 90}, rcf::ThreadExitRecord{40, 98}}));
    // dash in its loop: pc in dash's text, caller in libc; before its exec
    // the pid ran busybox, whose offsets dash's map does not cover.
    capture.frames.push_back(FrameOf(2, {rcf::SampleRecord{25, 1, 98, 98, {{1, 0x1d000}, {2, 0x2a000}}},
                                         rcf::SampleRecord{15, 3, 98, 98, {{3, 0xfb468}}}}));
    // 98 moves from vCPU 0 to vCPU 1 at 35, both switches at that moment.
    capture.frames.push_back(FrameOf(7, {rcf::SwitchRecord{10, 90, 1}, rcf::SwitchRecord{20, 98, 0}, rcf::SwitchRecord{35, 0, 1}}));
    capture.frames.push_back(FrameOf(7, {rcf::SwitchRecord{5, 0, 1}, rcf::SwitchRecord{35, 98, 1}}));
    capture.frames.back().core = 1;
    return capture;
}

TEST(GuestVerifier, AFaithfulCapturePassesAndEachFaultIsNamed) {
    const GuestReport report = Report();
    ASSERT_TRUE(GuestVerifier::AllOk(GuestVerifier::Verify(Faithful(), report)))
        << GuestVerifier::Table(GuestVerifier::Verify(Faithful(), report));
    struct Case {
        const char* name;
        std::function<void(rcf::Capture&)> plant;
        std::string detail;
    };
    auto record = [](rcf::Capture& c, size_t frame, size_t index) -> rcf::RecordBody& {
        return c.frames[frame].records[index].body;
    };
    const Case cases[] = {
        {"renamed", [&](rcf::Capture& c) { std::get<rcf::ThreadNameRecord>(record(c, 0, 3)).name = "sh"; },
         "no thread 90 named 'cat'"},
        {"open by another thread", [&](rcf::Capture& c) { std::get<rcf::AnnotationRecord>(record(c, 1, 1)).tid = 91; },
         "no openat of \"/etc/motd\" by thread 90"},
        {"another program", [&](rcf::Capture& c) { std::get<rcf::AnnotationRecord>(record(c, 1, 0)).text = "execve(\"/bin/ls\")"; },
         "no execve of \"/bin/cat\" by thread 90"},
        {"exit missing", [&](rcf::Capture& c) { c.frames[2].records.pop_back(); }, "no exit of 98 (dash)"},
        {"frame past its mapping",
         [&](rcf::Capture& c) { std::get<rcf::SampleRecord>(record(c, 3, 0)).frames[1].address = 0x18c000; },
         "frame 1 at /lib/aarch64-linux-gnu/libc.so.6 + 0x18c000 is in no mapping of dash"},
        {"pc in no file", [&](rcf::Capture& c) { std::get<rcf::SampleRecord>(record(c, 3, 0)).frames[0].cookie = 0xFFFFFFFFu; },
         "a dash sample whose pc lies in no mapped file"},
        {"no dash sample", [&](rcf::Capture& c) { c.frames[3].records.erase(c.frames[3].records.begin()); },
         "no user-mode sample of dash (pid 98)"},
        {"a thread on two vCPUs", [&](rcf::Capture& c) { std::get<rcf::SwitchRecord>(record(c, 4, 2)).time = 36; },
         "thread 98 current on vCPUs 0 and 1 at 35"},
        {"unnamed cookie", [&](rcf::Capture& c) { c.frames[0].records.erase(c.frames[0].records.begin() + 1); },
         ""},  // rcf check: a sample cookie without a name
    };
    for (const Case& c : cases) {
        rcf::Capture capture = Faithful();
        c.plant(capture);
        const std::vector<VerifyRow> rows = GuestVerifier::Verify(capture, report);
        EXPECT_FALSE(GuestVerifier::AllOk(rows)) << c.name;
        if (c.detail.empty()) continue;
        const bool named = std::any_of(rows.begin(), rows.end(), [&](const VerifyRow& r) { return r.detail == c.detail; });
        EXPECT_TRUE(named) << c.name << "\n" << GuestVerifier::Table(rows);
    }
}

}  // namespace
}  // namespace qemuhost
