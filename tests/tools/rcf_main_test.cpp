#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <initializer_list>
#include <string>

#include "capture/capture_writer.h"
#include "support/test_support.h"

namespace vantric {
namespace {

// Runs rcf with `arguments`; expects `status` and each of `parts` in what it prints.
void ExpectRcf(const testing::TempDirectory& temp, const std::string& arguments, int status,
               std::initializer_list<std::string> parts) {
    const std::string out = (temp.path() / "rcf.out").string();
    const std::string command = std::string(VT_BINARY_DIR) + "/rcf " + arguments;
    const int result = std::system((command + " >" + out + " 2>&1").c_str());
    const std::string output = testing::ReadFile(out);
    EXPECT_EQ(WIFEXITED(result) ? WEXITSTATUS(result) : -1, status) << arguments << '\n' << output;
    for (const std::string& part : parts)
        EXPECT_NE(output.find(part), std::string::npos) << part << '\n' << output;
}

TEST(RcfCommand, CheckDumpAndSummary) {
    testing::TempDirectory temp;
    const std::string dir = temp.capture();
    {
        // One core: a process, two threads, samples, a counter, an annotation, a channel.
        CaptureWriter writer;
        writer.open(dir, 1);
        writer.writeSummary();
        writer.addCore(0, 3080, "cluster0.cpu0");
        uint32_t cookie = writer.cookieFor(0, 10, 10, 1, "/bin/app");
        writer.writeSwitch(0, 1, cookie, 10, 10, "app", 0);
        const uint32_t cookies[] = {cookie, 0, 0xFFFFFFFF};
        const uint64_t addresses[] = {0x10, 0x20, 0x30};
        writer.writeSample(0, 2, cookie, 10, 10, cookies, addresses);
        writer.writeSample(0, 3, cookie, 10, 11, cookies, addresses);
        writer.writeCounterValue(0, 3, 0, 42);
        writer.writeAnnotation(10, 10, 4, "note");
        writer.writeChannelText(writer.registerChannel("ch"), 1, "t");
        writer.writeDescriptions(0, 5, {CounterDescription{}});  // counter 0, key 3
    }
    ExpectRcf(temp, "check " + dir, 0, {dir + ": complete and consistent\n"});
    // The page and the comparison count the same two samples; the window is checked.
    const std::string page = (temp.path() / "r.html").string();
    ExpectRcf(temp, "report " + dir + " -o " + page, 0, {"rcf: symbols: frames 6,"});
    EXPECT_NE(testing::ReadFile(page).find(",\"samples\":2,"), std::string::npos);
    ExpectRcf(temp, "diff " + dir + " " + dir, 0, {"A test.rcf: 2 samples; B test.rcf: 2 samples\n"});
    ExpectRcf(temp, "diff " + dir, 2, {"B is required", "rcf diff A B [PROFILE]"});
    ExpectRcf(temp, "report " + dir + " --from 5 --to 5", 2, {"--from: must be earlier than --to"});
    ExpectRcf(temp, "summary " + dir, 0,
              {"processes: 1\nthreads: 2\nsamples: 2\nswitches: 1\ncounters: 1\nannotations: 2\n"});
    ExpectRcf(temp, "dump " + dir, 0,
              {"0000000000 frame summary type=1 length=",
               "0000000000 +5 summary text=\"1\\n2\\r\\n3\\r4\\n\\r5\" times=0,0,0 tail=\"\"\n",
               "0000000001 +6 sample time=2 cookie=2 pid=10 tid=10 "
               "frames=2:0x10,0:0x20,4294967295:0x30\n",
               "0000000003 +5 counter-value time=3 core=0 key=3 value=42\n"});

    // A frame left open by a host that died: dump succeeds with a warning, check fails.
    const std::string counters = "test.rcf/0000000003";
    const std::string closed = testing::ReadFile(temp.path() / counters);
    temp.write(counters, "\xFF\xFF\xFF\xFF" + closed.substr(4));
    ExpectRcf(temp, "dump " + dir, 0,
              {"0000000003 frame counter type=4 length=open\n",
               "rcf: warning: 0000000003 offset 9: frame not closed"});
    ExpectRcf(temp, "check " + dir, 1, {"warning: 0000000003 offset 9: frame not closed"});

    // A corrupted length makes check fail with the reason.
    temp.write(counters, static_cast<char>(closed[0] ^ 1) + closed.substr(1));
    ExpectRcf(temp, "check " + dir, 1, {"error: 0000000003 offset 0: frame length"});
    ExpectRcf(temp, "frobnicate " + dir, 2, {"usage: rcf dump|check|summary DIR\n"});
    ExpectRcf(temp, "check " + dir + "does-not-exist", 1, {"cannot read the capture directory"});

    // A directory where a data file belongs is reported, never read.
    std::filesystem::remove(temp.path() / counters);
    std::filesystem::create_directory(temp.path() / counters);
    ExpectRcf(temp, "dump " + dir, 1, {"error: 0000000003 offset 0: cannot read the file"});
}

}  // namespace
}  // namespace vantric
