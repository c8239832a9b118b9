#include <gtest/gtest.h>

#include <vector>

#include "capture/capture_test_support.h"
#include "capture/capture_writer.h"

namespace vantric {
namespace {

using testing::ByteList;
using testing::FileBody;
using testing::ReadBack;
using testing::RecordsOf;
using testing::TempDirectory;

// One core: summary 0000000000, backtrace 0000000001, name 0000000002,
// counter 0000000003, annotate 0000000005, scheduling 0000000006, idle
// 0000000007, link 0000000010.

TEST(CaptureRecords, SummaryAndCoreNameBytes) {
    TempDirectory temp;
    {
        CaptureWriter writer;
        writer.open(temp.capture(), 1);
        writer.writeSummary();
        writer.addCore(0, 3080, "cluster0.cpu0");
    }
    std::vector<uint8_t> expected = ByteList({0x01, 0x0B}, "1\n2\r\n3\r4\n\r5");
    std::vector<uint8_t> tail = ByteList({0, 0, 0, 0, 0x03, 0x00, 0x88, 0x18, 0x08}, "cluster0");
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(FileBody(temp, "0000000000", 5), expected);
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
    for (size_t i = 0; i < cores.size(); ++i) EXPECT_EQ(cores[i].name, cases[i].second);
}

TEST(CaptureRecords, SampleTakesPairsWhileBothListsLastAndUnknownCoresAreDropped) {
    TempDirectory temp;
    const uint32_t cookies[] = {8, 0xFFFFFFFF, 0};
    const uint64_t addresses[] = {0x400000, 300};
    {
        CaptureWriter writer;
        writer.open(temp.capture(), 1);
        writer.writeSample(0, 5, 8, 2, 3, cookies, addresses);
        writer.writeSample(3, 1, 8, 1, 1, cookies, addresses);
        writer.writeSwitch(3, 1, 8, 1, 1, "x", 0);
        writer.writeThreadExit(3, 1, 1);
    }
    EXPECT_EQ(FileBody(temp, "0000000001", 6), ByteList({0x05, 0x08, 0x02, 0x03, 0x08, 0x80, 0x80,
                                                         0x80, 0x02, 0x7F, 0xAC, 0x02, 0x01}));
    EXPECT_EQ(FileBody(temp, "0000000002", 6), ByteList({}));
    EXPECT_EQ(FileBody(temp, "0000000006", 6), ByteList({}));
    EXPECT_EQ(FileBody(temp, "0000000010", 5), ByteList({}));
}

TEST(CaptureRecords, ThirtyTwoBitFieldsAreSignExtendedSixtyFourBitOnesAreNot) {
    TempDirectory temp;
    {
        CaptureWriter writer;
        writer.open(temp.capture(), 1);
        writer.writeCounterValue(0, ~uint64_t{0}, 0xFFFFFFFF - 3, 0xFFFFFFFFu);
        writer.writeIdle(-1, uint64_t{1} << 63, 0);
    }
    EXPECT_EQ(FileBody(temp, "0000000003", 5),
              ByteList({0x7F, 0x00, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F}));
    EXPECT_EQ(FileBody(temp, "0000000007", 5),
              ByteList({0x7F, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x7F, 0x00}));
}

TEST(CaptureRecords, AnnotationBytesAndLongTextsAreCut) {
    TempDirectory temp;
    {
        CaptureWriter writer;
        writer.open(temp.capture(), 1);
        writer.writeAnnotation(1, 2, 3, "hello");
        writer.writeAnnotation(1, 2, 4, std::string(40000, 'a'));
    }
    std::vector<uint8_t> body = FileBody(temp, "0000000005", 5);
    ASSERT_EQ(body.size(), 13 + 10 + CaptureWriter::kMaxAnnotationText);
    // The size field is the cut length 32767 + 4, packed in three bytes.
    EXPECT_EQ(std::vector<uint8_t>(body.begin(), body.begin() + 24),
              ByteList({1, 2, 3, 9, 0x1C, 5, 5, 0},
                       "hello"
                       "\x01\x02\x04\x83\x80\x02\x1C\x05\xFF\x7F"
                       "a"));
}

// Two cores: name frames 0000000003 and 0000000004, scheduling 0000000009
// and 0000000010, link 0000000015.
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
    std::vector<uint8_t> names0 = ByteList({2, 10, 5, 6}, "worker");
    std::vector<uint8_t> renamed = ByteList({2, 40, 5, 7}, "renamed");
    names0.insert(names0.end(), renamed.begin(), renamed.end());
    EXPECT_EQ(FileBody(temp, "0000000003", 6), names0);
    EXPECT_EQ(FileBody(temp, "0000000004", 6), ByteList({2, 30, 6, 6}, "worker"));
    EXPECT_EQ(FileBody(temp, "0000000015", 5),
              ByteList({1, 10, 4, 1, 5, 1, 30, 5, 1, 6, 1, 40, 4, 1, 5, 3, 50, 6}));
    EXPECT_EQ(FileBody(temp, "0000000009", 6), ByteList({1, 10, 5, 0, 1, 40, 5, 0}));
    EXPECT_EQ(FileBody(temp, "0000000010", 6), ByteList({1, 20, 5, 1, 1, 30, 6, 2, 2, 50, 6}));
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
