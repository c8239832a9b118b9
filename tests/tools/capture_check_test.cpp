#include "rcf/capture_check.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "capture/capture_test_support.h"
#include "rcf/capture_reader.h"
#include "sample_capture.h"

namespace vantric {
namespace {

using testing::ReadBytes;
using testing::TempDirectory;
using testing::Write;
using testing::WriteCapture;

std::vector<std::string> Check(const std::string& dir) {
    rcf::Capture capture;
    EXPECT_TRUE(rcf::ReadCapture(dir, capture));
    return rcf::CheckCapture(capture);
}

TEST(CaptureCheck, CompleteCaptureHasNoReasons) {
    TempDirectory temp;
    WriteCapture(temp.capture());
    EXPECT_EQ(Check(temp.capture()), std::vector<std::string>{});
}

TEST(CaptureCheck, UnnamedCookieAndUndescribedKeyAreReported) {
    TempDirectory temp;
    {
        CaptureWriter writer;
        writer.open(temp.capture(), 2);
        uint32_t named = writer.cookieFor(0, 1, 1, 1, "/bin/app");
        const uint32_t cookies[] = {named};
        const uint64_t addresses[] = {0};
        writer.writeSample(1, 2, named, 1, 1, cookies, addresses);  // named on core 0 only
        writer.writeSwitch(0, 2, 77, 1, 2, "t", 0);
        writer.writeCounterValue(0, 3, 4, 1);
        writer.writeDescriptions(0, 3, {});
    }
    std::vector<std::string> reasons = Check(temp.capture());
    ASSERT_EQ(reasons.size(), 3u);
    EXPECT_EQ(reasons[0],
              "cookie 4 used by a sample of core 1 (first at 0000000002 offset 6) "
              "has no cookie-name record for that core");
    EXPECT_EQ(reasons[1],
              "cookie 77 used by a link record (first at 0000000015 offset 10) has no "
              "cookie-name record");
    EXPECT_EQ(reasons[2],
              "counter key 7 (first at 0000000005 offset 5) has no counter in captured.xml");
}

TEST(CaptureCheck, UnreleasedCaptureLacksItsDescriptions) {
    TempDirectory temp;
    WriteCapture(temp.capture(), false);
    std::vector<std::string> reasons = Check(temp.capture());
    ASSERT_EQ(reasons.size(), 3u);
    EXPECT_EQ(reasons[0], "session.xml is empty");
    EXPECT_EQ(reasons[1], "captured.xml is empty");
    EXPECT_EQ(reasons[2],
              "counter key 3 (first at 0000000003 offset 5) has no counter in captured.xml");
}

TEST(CaptureCheck, CaptureOfAHostThatDiedIsReadUpToItsLastCompleteRecord) {
    TempDirectory temp;
    WriteCapture(temp.capture());
    // Undo the close of the backtrace frame and cut its last record short.
    auto path = temp.path() / "test.rcf" / "0000000001";
    std::vector<uint8_t> bytes = ReadBytes(path);
    bytes[0] = bytes[1] = bytes[2] = bytes[3] = 0xFF;
    bytes.pop_back();
    Write(path, bytes);

    rcf::Capture capture;
    ASSERT_TRUE(rcf::ReadCapture(temp.capture(), capture));
    ASSERT_EQ(capture.diagnostics.size(), 1u);
    EXPECT_EQ(capture.diagnostics[0].severity, rcf::Diagnostic::Severity::kWarning);
    EXPECT_EQ(rcf::FormatDiagnostic(capture.diagnostics[0]),
              "warning: 0000000001 offset 17: frame not closed (length still 0xFFFFFFFF); read 1 "
              "complete records, the last record is cut short");
    EXPECT_EQ(testing::RecordsOf<rcf::SampleRecord>(capture, 2).size(), 1u);
    EXPECT_EQ(rcf::CheckCapture(capture).size(), 1u);
}

TEST(CaptureCheck, SummaryCountsWhatTheCaptureHolds) {
    TempDirectory temp;
    WriteCapture(temp.capture());
    rcf::CaptureSummary summary = rcf::Summarize(testing::ReadBack(temp.capture()));
    EXPECT_EQ(summary.processes, 1u);
    EXPECT_EQ(summary.threads, 2u);
    EXPECT_EQ(summary.samples, 2u);
    EXPECT_EQ(summary.switches, 1u);
    EXPECT_EQ(summary.counters, 1u);
    EXPECT_EQ(summary.annotations, 2u);
}

}  // namespace
}  // namespace vantric
