#include "rcf/read_progress.h"

#include <gtest/gtest.h>

#include <sstream>

#include "rcf/capture_reader.h"
#include "support/test_support.h"

namespace vantric::rcf {
namespace {

using std::chrono::milliseconds;

// A clock that moves only when the test says so.
struct FakeClock {
    std::chrono::steady_clock::time_point now{std::chrono::hours(5)};
    ReadProgress::Clock clock() {
        return [this] { return now; };
    }
};

TEST(ReadProgress, SilentForTheFirstSecondThenAtMostOnceASecond) {
    FakeClock time;
    std::ostringstream out;
    ReadProgress progress(out, time.clock());
    progress.start("kelvane.rcf", 300, 3000);
    time.now += milliseconds(999);
    progress.advance(1, 10);
    EXPECT_EQ(out.str(), "");
    // At exactly one second; the percent is of the bytes (1260 of 3000), not the files.
    time.now += milliseconds(1);
    progress.advance(120, 1260);
    EXPECT_EQ(out.str(), "rcf: reading kelvane.rcf: 42% (120 of 300 files)\n");
    out.str("");
    time.now += milliseconds(999);
    progress.advance(121, 1290);
    EXPECT_EQ(out.str(), "");
    // One second after the last line, not after the last call; 2999 of 3000 is not yet 100%.
    time.now += milliseconds(1);
    progress.advance(299, 2999);
    time.now += milliseconds(500);
    progress.advance(300, 3000);
    EXPECT_EQ(out.str(), "rcf: reading kelvane.rcf: 99% (299 of 300 files)\n");
    out.str("");
    time.now += milliseconds(1949);
    progress.finish();
    EXPECT_EQ(out.str(), "rcf: read kelvane.rcf in 4.4 s\n");  // 4.449 s
}

TEST(ReadProgress, FinalLineOnlyAfterAProgressLineAndRoundedToATenth) {
    FakeClock time;
    std::ostringstream out;
    ReadProgress progress(out, time.clock());
    // Longer than a second, but the only file came before it: nothing said, nothing to close.
    progress.start("quick.rcf", 1, 100);
    time.now += milliseconds(900);
    progress.advance(1, 100);
    time.now += milliseconds(900);
    progress.finish();
    EXPECT_EQ(out.str(), "");
    // A second read with the same object starts afresh.
    progress.start("kelvane.rcf", 2, 100);
    time.now += milliseconds(1000);
    progress.advance(1, 50);
    time.now += milliseconds(2450);
    progress.finish();
    EXPECT_EQ(out.str(),
              "rcf: reading kelvane.rcf: 50% (1 of 2 files)\n"
              "rcf: read kelvane.rcf in 3.5 s\n");
}

TEST(ReadProgress, EmptyCapturesCountFiles) {
    FakeClock time;
    std::ostringstream out;
    ReadProgress progress(out, time.clock());
    progress.start("empty.rcf", 4, 0);
    time.now += milliseconds(1000);
    progress.advance(1, 0);
    progress.start("none.rcf", 0, 0);
    time.now += milliseconds(1000);
    progress.advance(0, 0);
    EXPECT_EQ(out.str(),
              "rcf: reading empty.rcf: 25% (1 of 4 files)\n"
              "rcf: reading none.rcf: 100% (0 of 0 files)\n");
}

// VisitCapture counts the data files and their listed sizes (not the
// description files), names the capture without its path, and reports after
// each file; every clock reading is 600 ms after the one before.
TEST(ReadProgress, VisitCaptureReportsTheListedFiles) {
    testing::TempDirectory temp;
    std::filesystem::create_directory(temp.path() / "kelvane.rcf");
    temp.write("kelvane.rcf/0000000000", std::string(10, 'x'));
    temp.write("kelvane.rcf/0000000001", std::string(20, 'x'));
    temp.write("kelvane.rcf/0000000002", std::string(70, 'x'));
    temp.write("kelvane.rcf/captured.xml", std::string(900, ' '));
    std::chrono::steady_clock::time_point now{};
    std::ostringstream out;
    ReadProgress progress(out, [&] { return now += milliseconds(600); });
    Capture capture;
    int frames = 0;
    EXPECT_TRUE(VisitCapture(temp.capture("kelvane.rcf"), capture,
                             [&](const Frame&) { ++frames; }, &progress));
    EXPECT_EQ(frames, 3);
    EXPECT_EQ(out.str(),
              "rcf: reading kelvane.rcf: 30% (2 of 3 files)\n"
              "rcf: read kelvane.rcf in 2.4 s\n");
}

}  // namespace
}  // namespace vantric::rcf
