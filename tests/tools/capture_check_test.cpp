#include "rcf/capture_check.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "capture/capture_writer.h"
#include "support/test_support.h"

namespace vantric {
namespace {

// A capture that was never released: description files empty, then missing.
TEST(CaptureCheck, ReportsDescriptionFilesUnnamedCookiesAndUndescribedKeys) {
    testing::TempDirectory temp;
    {
        CaptureWriter writer;
        writer.open(temp.capture(), 2);
        uint32_t named = writer.cookieFor(0, 1, 1, 1, "/bin/app");
        const uint32_t cookies[] = {named, 0, 0xFFFFFFFF};  // 0 and ~0 are never named
        const uint64_t addresses[] = {0, 0, 0};
        writer.writeSample(1, 2, named, 1, 1, cookies, addresses);  // named on core 0 only
        writer.writeSwitch(0, 2, 77, 1, 2, "t", 0);
        writer.writeCounterValue(0, 3, 4, 1);
    }
    std::vector<std::string> expected = {
        "session.xml is empty", "captured.xml is empty",
        "cookie 4 used by a sample of core 1 (first at 0000000002 offset 6) "
        "has no cookie-name record for that core",
        "cookie 77 used by a link record (first at 0000000015 offset 10) has no "
        "cookie-name record",
        "counter key 7 (first at 0000000005 offset 5) has no counter in captured.xml"};
    EXPECT_EQ(rcf::CheckCapture(testing::ReadBack(temp.capture())), expected);

    std::filesystem::remove(temp.path() / "test.rcf" / "session.xml");
    std::filesystem::remove(temp.path() / "test.rcf" / "captured.xml");
    expected[0] = "session.xml is missing";
    expected[1] = "captured.xml is missing";
    EXPECT_EQ(rcf::CheckCapture(testing::ReadBack(temp.capture())), expected);
}

}  // namespace
}  // namespace vantric
