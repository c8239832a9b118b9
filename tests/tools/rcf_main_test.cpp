#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>

#include "capture/capture_test_support.h"
#include "sample_capture.h"

namespace vantric {
namespace {

using testing::ReadBytes;
using testing::Write;

struct CommandRun {
    int status = -1;
    std::string output;
};

CommandRun Rcf(const std::string& arguments) {
    std::string command = std::string(VT_BINARY_DIR) + "/rcf " + arguments + " 2>&1";
    CommandRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[4096];
    for (size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        run.output.append(buffer, got);
    int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST(RcfCommand, CheckDumpAndSummary) {
    testing::TempDirectory temp;
    std::string dir = temp.capture();
    testing::WriteCapture(dir);

    CommandRun check = Rcf("check " + dir);
    EXPECT_EQ(check.status, 0) << check.output;
    EXPECT_EQ(check.output, dir + ": complete and consistent\n");
    CommandRun summary = Rcf("summary " + dir);
    EXPECT_EQ(summary.status, 0);
    EXPECT_EQ(summary.output,
              "processes: 1\nthreads: 2\nsamples: 2\nswitches: 1\ncounters: 1\nannotations: 2\n");
    CommandRun dump = Rcf("dump " + dir);
    EXPECT_EQ(dump.status, 0);
    for (const char* line :
         {"0000000000 frame summary type=1 length=",
          "0000000000 +5 summary text=\"1\\n2\\r\\n3\\r4\\n\\r5\" times=0,0,0 tail=\"\"\n",
          "0000000001 +6 sample time=2 cookie=2 pid=10 tid=10 "
          "frames=2:0x10,0:0x20,4294967295:0x30\n",
          "0000000003 +5 counter-value time=3 core=0 key=3 value=42\n"}) {
        EXPECT_NE(dump.output.find(line), std::string::npos) << line;
    }

    // A frame left open by a host that died: dump succeeds with a warning, check fails.
    auto counters = temp.path() / "test.rcf" / "0000000003";
    std::vector<uint8_t> closed = ReadBytes(counters);
    std::vector<uint8_t> bytes = closed;
    bytes[0] = bytes[1] = bytes[2] = bytes[3] = 0xFF;
    Write(counters, bytes);
    dump = Rcf("dump " + dir);
    EXPECT_EQ(dump.status, 0);
    EXPECT_NE(dump.output.find("0000000003 frame counter type=4 length=open\n"), std::string::npos);
    EXPECT_NE(dump.output.find("rcf: warning: 0000000003 offset 9: frame not closed"),
              std::string::npos)
        << dump.output;
    EXPECT_EQ(Rcf("check " + dir).status, 1);

    // A corrupted length makes check fail with the reason.
    bytes = closed;
    bytes[0] ^= 1;
    Write(counters, bytes);
    check = Rcf("check " + dir);
    EXPECT_EQ(check.status, 1);
    EXPECT_NE(check.output.find("error: 0000000003 offset 0: frame length"), std::string::npos)
        << check.output;

    EXPECT_EQ(Rcf("frobnicate " + dir).status, 2);
    EXPECT_EQ(Rcf("check " + dir + "does-not-exist").status, 1);
}

}  // namespace
}  // namespace vantric
