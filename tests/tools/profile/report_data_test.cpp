// The report page's data: the fixture's records written out by hand, times
// relative to the start, and a '<' that cannot close the page's script.
#include <gtest/gtest.h>

#include "fixture_capture.h"
#include "rcf/report/report_writer.h"
#include "support/test_support.h"

namespace vantric::rcf {
namespace {

std::string Between(const std::string& text, const std::string& from, const std::string& to) {
    const size_t start = text.find(from);
    if (start == std::string::npos) return "<no " + from + ">";
    const size_t end = text.find(to, start);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

TEST(ReportDataTest, FixtureRecordsAsThePageReadsThem) {
    vantric::testing::TempDirectory temp;
    testing::WriteFixtureCapture(temp.path() / "f.rcf");
    const std::string data = ReportData(testing::FixtureProfile(temp.path() / "f.rcf"), {"f.rcf", nullptr});
    EXPECT_EQ(Between(data, "{", "\n"),
              "{\"capture\":\"f.rcf\",\"start\":\"0\",\"duration\":9007199254740992,\"cores\":2,"
              "\"samplePeriod\":1000,\"samples\":5,");
    EXPECT_EQ(Between(data, "\"symbols\"", "\n"),
              "\"symbols\":{\"frames\":8,\"unresolved\":2,\"anonymous\":1,\"reasons\":[[\"no --sysroot to find the file in\",1],"
              "[\"address outside every symbol\",1]],\"missingFiles\":[]},");
    EXPECT_NE(data.find("{\"tid\":11,\"pid\":10,\"name\":\"we\\\"ird\\u0001\xEF\xBF\xBD\\n\"}"), std::string::npos);
    EXPECT_NE(data.find("{\"name\":\"app+0x40\",\"module\":1,\"file\":\"\",\"line\":0,\"kernel\":false}"),
              std::string::npos);
    EXPECT_NE(data.find("{\"name\":\"kfunc_b\",\"module\":0,\"file\":\"\",\"line\":0,\"kernel\":true}"),
              std::string::npos);
    EXPECT_EQ(Between(data, "\"stacks\"", "\n\"cpu\""),
              "\"stacks\":[[0,1],[2,3],[4],[5]],\n\"slots\":[[10,0,0],[11,0,1],[10,0,2],[12,1,3]],\n"
              "\"bucketWidth\":1024,\"buckets\":[\n[0,2,3,1],\n[1,1],\n[],\n[2,1]],");
    EXPECT_EQ(Between(data, "\"cpu\"", "\n\"counters\""),
              "\"cpu\":[\n[0,0,1000,10],\n[0,1000,3000,-1],\n[0,3000,9007199254740992,11],\n[1,500,600,12],"
              "\n[1,600,700,-1],\n[1,700,9007199254740992,12]],");
    EXPECT_EQ(Between(data, "\"counters\"", "\n\"annotations\""),
              "\"counters\":[\n{\"name\":\"refills\",\"title\":\"L2\",\"core\":0,\"points\":[[999,7],[1000,1]]}],");
    EXPECT_EQ(Between(data, "\"annotations\"", "\n\"functions\""),
              "\"annotations\":[\n[1000,1,0,\"execve(\\\"q\\\")\"],\n[9007199254740992,0,10,\"openat(\\\"/x\\\")\"]],");
    EXPECT_EQ(Between(data, "\"functions\"", "}"),
              "\"functions\":[\n[0,10,100,500,0,\"A\"],\n[0,10,100,300,1,\"B\"],\n[0,10,300,500,1,\"D\"],"
              "\n[0,10,400,500,2,\"E\"]],\n\"baseline\":null");
}

TEST(ReportDataTest, LaterStartFramelessSlotsAndEscapes) {
    Profile profile;
    profile.startTime = 5000;
    profile.endTime = 7000;
    profile.threads[3] = Thread{3, 3, "</script><b>", 2, {}};
    profile.locations.push_back(Location{});
    profile.locations[0].function = "a<b";
    profile.stacks.push_back({{0}});
    profile.samples.push_back({3, 0, 0, 1});
    profile.framelessSamples.push_back({3, 1, 0, 1});
    profile.timeline.add(5100, 0);                   // bucket [4096, 5120): its middle is before the start
    profile.timeline.add(6200, kFramelessSlot | 0);  // bucket [6144, 7168): middle 1656 after the start
    profile.coreSlices.push_back({1, 5000, 7000, false, 3});
    ReportBaseline baseline{"b.rcf", 2, 4, {{"a<b", 50, 25, 100, 75.5}}, {{"p/t", 100, 12.5}}};
    const std::string data = ReportData(profile, {"x", &baseline});
    EXPECT_EQ(data.find('<'), std::string::npos);
    EXPECT_NE(data.find("\"name\":\"\\u003c/script>\\u003cb>\""), std::string::npos);
    EXPECT_NE(data.find("\"start\":\"5000\",\"duration\":2000,"), std::string::npos);
    EXPECT_NE(data.find("\"slots\":[[3,0,0],[3,1,-1]],\n\"bucketWidth\":1024,\"buckets\":[\n[0,1],\n[1,1]],"),
              std::string::npos);
    EXPECT_NE(data.find("\"cpu\":[\n[1,0,2000,3]]"), std::string::npos);
    EXPECT_NE(data.find("\"baseline\":{\"capture\":\"b.rcf\",\"samples\":4,\"thisSamples\":2,"
                        "\"functions\":[\n[\"a\\u003cb\",50.0000,25.0000,100.0000,75.5000]],"
                        "\"threads\":[\n[\"p/t\",100.0000,12.5000]]}}"),
              std::string::npos);
}

}  // namespace
}  // namespace vantric::rcf
