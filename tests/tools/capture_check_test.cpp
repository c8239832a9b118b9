#include "rcf/capture_check.h"

#include <gtest/gtest.h>

#include "capture/capture_test_support.h"
#include "rcf/capture_reader.h"
#include "sample_capture.h"

namespace vantric {
namespace {

using testing::TempDirectory;
using testing::WriteCapture;

std::vector<std::string> Check(const std::string& dir) {
    rcf::Capture capture;
    EXPECT_TRUE(rcf::ReadCapture(dir, capture));
    return rcf::CheckCapture(capture);
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
    EXPECT_EQ(Check(temp.capture()),
              (std::vector<std::string>{
                  "cookie 4 used by a sample of core 1 (first at 0000000002 offset 6) "
                  "has no cookie-name record for that core",
                  "cookie 77 used by a link record (first at 0000000015 offset 10) has no "
                  "cookie-name record",
                  "counter key 7 (first at 0000000005 offset 5) has no counter in captured.xml"}));
}

TEST(CaptureCheck, UnreleasedCaptureLacksItsDescriptions) {
    TempDirectory temp;
    WriteCapture(temp.capture(), false);
    EXPECT_EQ(Check(temp.capture()),
              (std::vector<std::string>{
                  "session.xml is empty", "captured.xml is empty",
                  "counter key 3 (first at 0000000003 offset 5) has no counter in captured.xml"}));
}

TEST(CaptureCheck, CaptureOfAHostThatDiedIsReadUpToItsLastCompleteRecord) {
    TempDirectory temp;
    WriteCapture(temp.capture());
    EXPECT_EQ(Check(temp.capture()), std::vector<std::string>{});
    // Undo the close of the backtrace frame and cut its last record short.
    auto path = temp.path() / "test.rcf" / "0000000001";
    std::vector<uint8_t> bytes = testing::ReadBytes(path);
    bytes[0] = bytes[1] = bytes[2] = bytes[3] = 0xFF;
    bytes.pop_back();
    testing::Write(path, bytes);

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

}  // namespace
}  // namespace vantric
