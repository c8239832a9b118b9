#include "fixture_capture.h"

#include "capture_encoder.h"
#include "rcf/capture_reader.h"
#include "rcf/profile/profile_builder.h"

namespace vantric::rcf::testing {
namespace {

void Sample(CaptureEncoder& e, int64_t time, int64_t cookie, int64_t pid, int64_t tid,
            std::initializer_list<std::pair<int64_t, int64_t>> frames) {
    e.packed(time).packed(cookie).packed(pid).packed(tid);
    for (auto [frameCookie, address] : frames) e.packed(frameCookie).packed(address);
    e.packed(1);
}

void Annotation(CaptureEncoder& e, int64_t core, int64_t tid, int64_t time, const std::string& text) {
    e.packed(core).packed(tid).packed(time).packed(static_cast<int64_t>(text.size()) + 4);
    e.raw("\x1C\x05").raw(std::string(1, static_cast<char>(text.size()))).raw(std::string(1, '\0')).raw(text);
}

void Node(CaptureEncoder& e, int64_t sequence, int64_t parent, const std::string& text) {
    CaptureEncoder body = CaptureEncoder::body();
    body.packed(25).packed(sequence).packed(parent).raw(text);
    e.external(0x0B, body);
}

void Call(CaptureEncoder& e, int64_t sequence, int64_t related, int64_t start, int64_t duration,
          const std::string& name) {
    CaptureEncoder body = CaptureEncoder::body();
    body.packed(25).packed(sequence).packed(related).packed(start).packed(duration).u32(1).packed(-1).packed(0).raw(name);
    e.external(0x0C, body);
}

}  // namespace

std::string FixtureSystemMap() {
    return "ffff0000 T odd;name\xFF\n"
           "ffff0100 t kfunc_b\n"
           "ffff0200 D some_data\n"
           "5b1f6a3c A __crc_x\n";
}

void WriteFixtureCapture(const std::filesystem::path& directory) {
    CaptureEncoder e(directory);
    e.frame(2, 0);  // backtrace, core 0; frames leaf first
    Sample(e, 0, 0, 10, 10, {{0, 0xffff0010}, {0, 0xffff0100}});
    Sample(e, 1000, 0, 10, 10, {{0, 0xffff0010}, {0, 0xffff0100}});
    Sample(e, 2000, 2, 10, 11, {{2, 0x40}, {0, 0x7fff0000}});
    Sample(e, 4000, 0, 10, 10, {{0, 0xffff0150}});
    e.frame(2, 1);
    Sample(e, 500, 0, 0, 12, {{0, 0xffff0300}});
    e.frame(3, 0);  // names
    e.packed(1).packed(2).text("/bin/app");
    e.packed(2).packed(0).packed(10).text("main");
    e.packed(2).packed(0).packed(11).text("we\"ird\x01\xFF\n");
    e.frame(7, 0);  // scheduling, core 0
    e.packed(1).packed(0).packed(10).packed(0);
    e.packed(1).packed(1000).packed(0).packed(0);
    e.packed(1).packed(3000).packed(11).packed(0);
    e.frame(7, 1);
    e.packed(1).packed(500).packed(12).packed(0);
    e.frame(9);  // idle: core 1 waits from 600 to 700 while tid 12 runs
    e.packed(0).packed(600).packed(1);
    e.packed(-1).packed(700).packed(1);
    e.frame(4);  // counters
    e.packed(999).packed(0).packed(3).packed(5);
    e.packed(999).packed(0).packed(3).packed(2);
    e.packed(1000).packed(0).packed(3).packed(1);
    e.frame(6);  // annotations; the core travels in the pid position
    Annotation(e, 0, 10, static_cast<int64_t>(kLastTime), "openat(\"/x\")");
    Annotation(e, 1, 0, 1000, "execve(\"q\")");
    e.frame(13);  // links
    e.packed(1).packed(0).packed(2).packed(10).packed(10);
    e.packed(1).packed(0).packed(2).packed(10).packed(11);
    e.frame(10);  // function activity: core 0 > app > 10 > function
    e.raw("\x0B" "ANNOTATE 2\n").u32(0).u32(0);
    Node(e, 0, -1, "0");
    Node(e, 1, 0, "app");
    Node(e, 2, 1, "10");
    Node(e, 3, 2, "f");
    Call(e, 0, 3, 100, 200, "B");  // [100, 300) inside A, same start
    Call(e, 1, 3, 100, 400, "A");  // [100, 500)
    Call(e, 2, 3, 400, 200, "E");  // [400, 600) outlives D and A: cut to 500
    Call(e, 3, 3, 300, 200, "D");  // [300, 500), ends with A
    e.write(2, "  <counter key='3' title='L2' name='refills'/>\n");
}

Profile FixtureProfile(const std::filesystem::path& directory) {
    Symbolizer symbolizer;
    SymbolFile map;
    std::string problem;
    map.parse("System.map", FixtureSystemMap(), problem);
    symbolizer.addSymbolFile(std::move(map));
    ProfileBuilder builder;
    Capture capture;
    VisitCapture(directory.string(), capture, [&](const Frame& frame) { builder.add(frame); });
    return builder.finish(capture, symbolizer);
}

}  // namespace vantric::rcf::testing
