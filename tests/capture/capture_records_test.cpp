#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "capture/capture_test_support.h"
#include "capture/capture_writer.h"

namespace vantric {
namespace {

using testing::ReadBack;
using testing::ReadBytes;
using testing::RecordsOf;
using testing::TempDirectory;

// One-core file names.
constexpr const char* kSummaryFile = "0000000000";
constexpr const char* kBacktraceFile = "0000000001";
constexpr const char* kAnnotateFile = "0000000005";

std::vector<uint8_t> Body(const TempDirectory& temp, const char* file, size_t headerSize) {
    std::vector<uint8_t> bytes = ReadBytes(temp.path() / "test.rcf" / file);
    if (bytes.size() < headerSize) return {};
    return std::vector<uint8_t>(bytes.begin() + static_cast<long>(headerSize), bytes.end());
}

std::vector<uint8_t> Bytes(std::initializer_list<int> values, std::string_view text = {}) {
    std::vector<uint8_t> out;
    for (int v : values) out.push_back(static_cast<uint8_t>(v));
    out.insert(out.end(), text.begin(), text.end());
    return out;
}

TEST(CaptureRecords, SummaryAndCoreNameBytes) {
    TempDirectory temp;
    {
        CaptureWriter writer;
        writer.open(temp.capture(), 1);
        writer.writeSummary();
        writer.addCore(0, 3080, "cluster0.cpu0");
    }
    std::vector<uint8_t> expected = Bytes({0x01, 0x0B}, "1\n2\r\n3\r4\n\r5");
    std::vector<uint8_t> tail =
        Bytes({0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x88, 0x18, 0x08}, "cluster0");
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(Body(temp, kSummaryFile, 5), expected);
}

TEST(CaptureRecords, CoreNameIsTextBeforeTheLastDotCpu) {
    const std::pair<const char*, const char*> cases[] = {
        {"cluster0.cpu1", "cluster0"},
        {"core0", "core0"},
        {"a.cpu.b.cpu3", "a.cpu.b"},
        {".cpu0", ""},
        {"", ""},
    };
    TempDirectory temp;
    {
        CaptureWriter writer;
        writer.open(temp.capture(), 1);
        for (const auto& c : cases) writer.addCore(0, 3080, c.first);
    }
    auto cores = RecordsOf<rcf::CoreNameRecord>(ReadBack(temp.capture()), 1);
    ASSERT_EQ(cores.size(), std::size(cases));
    for (size_t i = 0; i < cores.size(); ++i) {
        EXPECT_EQ(cores[i].name, cases[i].second) << cases[i].first;
        EXPECT_EQ(cores[i].cpuId, 3080u);
    }
}

TEST(CaptureRecords, SampleTakesPairsWhileBothListsLast) {
    TempDirectory temp;
    const uint32_t cookies[] = {8, 0xFFFFFFFF, 0};
    const uint64_t addresses[] = {0x400000, 300};
    {
        CaptureWriter writer;
        writer.open(temp.capture(), 1);
        writer.writeSample(0, 5, 8, 2, 3, cookies, addresses);
    }
    EXPECT_EQ(Body(temp, kBacktraceFile, 6), Bytes({0x05, 0x08, 0x02, 0x03, 0x08, 0x80, 0x80, 0x80,
                                                    0x02, 0x7F, 0xAC, 0x02, 0x01}));
}

TEST(CaptureRecords, WideValuesSurviveTheRoundTrip) {
    TempDirectory temp;
    const uint64_t big = uint64_t{1} << 63;
    const uint32_t cookies[] = {0x80000000u};
    const uint64_t addresses[] = {~uint64_t{0}};
    {
        CaptureWriter writer;
        writer.open(temp.capture(), 1);
        writer.writeSample(0, big, 0xFFFFFFFF, 0x7FFFFFFF, 0x80000000u, cookies, addresses);
        writer.writeCounterValue(0, ~uint64_t{0}, 0xFFFFFFFF - 3, 0xFFFFFFFFu);
        writer.writeIdle(-1, big, 0);
    }
    rcf::Capture capture = ReadBack(temp.capture());
    auto samples = RecordsOf<rcf::SampleRecord>(capture, 2);
    ASSERT_EQ(samples.size(), 1u);
    EXPECT_EQ(samples[0].time, big);
    EXPECT_EQ(samples[0].cookie, 0xFFFFFFFFu);
    EXPECT_EQ(samples[0].pid, 0x7FFFFFFFu);
    EXPECT_EQ(samples[0].tid, 0x80000000u);
    EXPECT_EQ(samples[0].frames, (std::vector<rcf::StackFrame>{{0x80000000u, ~uint64_t{0}}}));
    auto values = RecordsOf<rcf::CounterValueRecord>(capture, 4);
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].time, ~uint64_t{0});
    EXPECT_EQ(values[0].key, 0xFFFFFFFFu);
    EXPECT_EQ(values[0].value, 0xFFFFFFFFu);
    auto idles = RecordsOf<rcf::IdleRecord>(capture, 9);
    ASSERT_EQ(idles.size(), 1u);
    EXPECT_EQ(idles[0].state, -1);
    EXPECT_EQ(idles[0].time, big);
    // The 32-bit key 0xFFFFFFFF is the single byte 7F; the 64-bit value keeps five bytes.
    EXPECT_EQ(Body(temp, "0000000003", 5), Bytes({0x7F, 0x00, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F}));
}

TEST(CaptureRecords, AnnotationBytesAndLongTextsAreCut) {
    TempDirectory temp;
    std::string longText(40000, 'a');
    {
        CaptureWriter writer;
        writer.open(temp.capture(), 1);
        writer.writeAnnotation(1, 2, 3, "hello");
        writer.writeAnnotation(1, 2, 4, longText);
    }
    std::vector<uint8_t> body = Body(temp, kAnnotateFile, 5);
    ASSERT_GE(body.size(), 13u);
    EXPECT_EQ(std::vector<uint8_t>(body.begin(), body.begin() + 13),
              Bytes({0x01, 0x02, 0x03, 0x09, 0x1C, 0x05, 0x05, 0x00}, "hello"));
    auto annotations = RecordsOf<rcf::AnnotationRecord>(ReadBack(temp.capture()), 6);
    ASSERT_EQ(annotations.size(), 2u);
    EXPECT_EQ(annotations[0].text, "hello");
    EXPECT_EQ(annotations[1].text.size(), CaptureWriter::kMaxAnnotationText);
}

TEST(CaptureRecords, ThreadsAreAnnouncedOnceForAllCores) {
    TempDirectory temp;
    {
        CaptureWriter writer;
        writer.open(temp.capture(), 2);
        writer.writeSwitch(0, 10, 4, 1, 5, "worker", 0);
        writer.writeSwitch(1, 20, 9, 2, 5, "worker", 1);  // same thread, other core and cookie
        writer.writeSwitch(1, 30, 5, 1, 6, "worker", 2);  // same name, other tid
        writer.writeSwitch(0, 40, 4, 1, 5, "renamed", 0);
        writer.writeThreadExit(1, 50, 6);
    }
    rcf::Capture capture = ReadBack(temp.capture());
    auto names0 = RecordsOf<rcf::ThreadNameRecord>(capture, 3, 0);
    auto names1 = RecordsOf<rcf::ThreadNameRecord>(capture, 3, 1);
    ASSERT_EQ(names0.size(), 2u);
    EXPECT_EQ(names0[0].tid, 5u);
    EXPECT_EQ(names0[0].name, "worker");
    EXPECT_EQ(names0[1].name, "renamed");
    ASSERT_EQ(names1.size(), 1u);
    EXPECT_EQ(names1[0].tid, 6u);
    EXPECT_EQ(names1[0].time, 30u);
    auto links = RecordsOf<rcf::LinkRecord>(capture, 13);
    ASSERT_EQ(links.size(), 3u);
    EXPECT_EQ(links[1].cookie, 5u);
    EXPECT_EQ(links[1].tid, 6u);
    auto switches1 = RecordsOf<rcf::SwitchRecord>(capture, 7, 1);
    ASSERT_EQ(switches1.size(), 2u);
    EXPECT_EQ(switches1[0].state, 1u);
    EXPECT_EQ(switches1[1].tid, 6u);
    EXPECT_EQ(RecordsOf<rcf::SwitchRecord>(capture, 7, 0).size(), 2u);
    auto exits = RecordsOf<rcf::ThreadExitRecord>(capture, 7, 1);
    ASSERT_EQ(exits.size(), 1u);
    EXPECT_EQ(exits[0].time, 50u);
    auto linkExits = RecordsOf<rcf::LinkExitRecord>(capture, 13);
    ASSERT_EQ(linkExits.size(), 1u);
    EXPECT_EQ(linkExits[0].tid, 6u);
}

TEST(CaptureRecords, RecordsForUnknownCoresAreDropped) {
    TempDirectory temp;
    const uint32_t cookies[] = {8};
    const uint64_t addresses[] = {1};
    {
        CaptureWriter writer;
        writer.open(temp.capture(), 1);
        writer.writeSample(3, 1, 8, 1, 1, cookies, addresses);
        writer.writeSwitch(3, 1, 8, 1, 1, "x", 0);
        writer.writeThreadExit(3, 1, 1);
    }
    rcf::Capture capture = ReadBack(temp.capture());
    for (const rcf::Frame& frame : capture.frames)
        EXPECT_TRUE(frame.records.empty()) << frame.fileName;
}

TEST(CaptureRecords, LongRecordsGoOutInPiecesWithTheSameBytes) {
    TempDirectory temp;
    std::vector<uint32_t> cookies(200, 0x7FFFFFFF);
    std::vector<uint64_t> addresses(200, ~uint64_t{0} >> 1);
    std::string name(2000, 'n');
    {
        CaptureWriter writer;
        writer.open(temp.capture(), 1);
        writer.writeSample(0, 1, 8, 1, 1, cookies, addresses);
        writer.writeSwitch(0, 2, 8, 1, 1, name, 0);
    }
    rcf::Capture capture = ReadBack(temp.capture());
    auto samples = RecordsOf<rcf::SampleRecord>(capture, 2);
    ASSERT_EQ(samples.size(), 1u);
    ASSERT_EQ(samples[0].frames.size(), 200u);
    EXPECT_EQ(samples[0].frames[199].address, ~uint64_t{0} >> 1);
    auto names = RecordsOf<rcf::ThreadNameRecord>(capture, 3);
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0].name, name);
}

}  // namespace
}  // namespace vantric
