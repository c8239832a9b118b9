#include "capture/capture_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <utility>
#include <vector>

#include "capture/capture_test_support.h"

namespace vantric {
namespace {

using testing::FrameNamed;
using testing::ReadBack;
using testing::ReadBytes;
using testing::RecordsOf;
using testing::TempDirectory;

std::vector<std::pair<uint32_t, uint32_t>> TypesAndCores(const rcf::Capture& capture) {
    std::vector<std::pair<uint32_t, uint32_t>> out;
    for (const rcf::Frame& frame : capture.frames)
        out.emplace_back(frame.type, frame.core.value_or(99));
    return out;
}

TEST(CaptureWriterOpen, OneCoreGetsElevenFilesInFrameTypeOrder) {
    TempDirectory temp;
    std::ostringstream errors;
    {
        CaptureWriter writer(CaptureWriter::kDefaultRotationRecords, errors);
        writer.open(temp.capture(), 1);
        EXPECT_TRUE(writer.isOpen());
    }
    EXPECT_EQ(errors.str(), "");
    rcf::Capture capture = ReadBack(temp.capture());
    std::vector<std::string> names;
    for (const rcf::Frame& frame : capture.frames) names.push_back(frame.fileName);
    EXPECT_EQ(names,
              (std::vector<std::string>{"0000000000", "0000000001", "0000000002", "0000000003",
                                        "0000000004", "0000000005", "0000000006", "0000000007",
                                        "0000000008", "0000000009", "0000000010"}));
    EXPECT_EQ(TypesAndCores(capture), (std::vector<std::pair<uint32_t, uint32_t>>{{1, 99},
                                                                                  {2, 0},
                                                                                  {3, 0},
                                                                                  {4, 99},
                                                                                  {5, 0},
                                                                                  {6, 99},
                                                                                  {7, 0},
                                                                                  {9, 99},
                                                                                  {10, 99},
                                                                                  {11, 0},
                                                                                  {13, 99}}));
    for (const rcf::Frame& frame : capture.frames) {
        EXPECT_TRUE(frame.closed);
        EXPECT_TRUE(frame.records.empty());
    }
    EXPECT_TRUE(std::filesystem::exists(temp.path() / "test.rcf" / "session.xml"));
    EXPECT_TRUE(std::filesystem::exists(temp.path() / "test.rcf" / "captured.xml"));
}

TEST(CaptureWriterOpen, TwoCoresNumberFilesByTypeThenCore) {
    TempDirectory temp;
    {
        CaptureWriter writer;
        writer.open(temp.capture(), 2);
    }
    rcf::Capture capture = ReadBack(temp.capture());
    ASSERT_EQ(capture.frames.size(), 16u);
    EXPECT_EQ(capture.frames.back().fileName, "0000000015");
    EXPECT_EQ(TypesAndCores(capture), (std::vector<std::pair<uint32_t, uint32_t>>{{1, 99},
                                                                                  {2, 0},
                                                                                  {2, 1},
                                                                                  {3, 0},
                                                                                  {3, 1},
                                                                                  {4, 99},
                                                                                  {5, 0},
                                                                                  {5, 1},
                                                                                  {6, 99},
                                                                                  {7, 0},
                                                                                  {7, 1},
                                                                                  {9, 99},
                                                                                  {10, 99},
                                                                                  {11, 0},
                                                                                  {11, 1},
                                                                                  {13, 99}}));
}

TEST(CaptureWriterOpen, FrameStartIsOnDiskAtOnceAndLengthPatchedAtDestruction) {
    TempDirectory temp;
    auto summaryFile = temp.path() / "test.rcf" / "0000000000";
    auto nameFileCore2 = temp.path() / "test.rcf" / "0000000006";  // type 3, core 2 of 3
    {
        CaptureWriter writer;
        writer.open(temp.capture(), 3);
        EXPECT_EQ(ReadBytes(summaryFile), (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 0x01}));
        EXPECT_EQ(ReadBytes(nameFileCore2),
                  (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 0x03, 0x02}));
        writer.writeSummary();
    }
    std::vector<uint8_t> bytes = ReadBytes(summaryFile);
    ASSERT_GE(bytes.size(), 5u);
    uint32_t length =
        bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
    EXPECT_EQ(length, bytes.size() - 4);
    EXPECT_EQ(bytes[4], 0x01);
    EXPECT_EQ(ReadBytes(nameFileCore2), (std::vector<uint8_t>{0x02, 0x00, 0x00, 0x00, 0x03, 0x02}));
}

TEST(CaptureWriterOpen, ReusesAnExistingDirectoryAndTruncatesItsFiles) {
    TempDirectory temp;
    std::filesystem::create_directories(temp.path() / "test.rcf");
    {
        std::ofstream old(temp.path() / "test.rcf" / "0000000000", std::ios::binary);
        old << std::string(100, 'x');
    }
    std::ostringstream errors;
    {
        CaptureWriter writer(CaptureWriter::kDefaultRotationRecords, errors);
        writer.open(temp.capture(), 1);
        EXPECT_TRUE(writer.isOpen());
    }
    EXPECT_EQ(errors.str(), "");
    EXPECT_EQ(ReadBytes(temp.path() / "test.rcf" / "0000000000"),
              (std::vector<uint8_t>{0x01, 0x00, 0x00, 0x00, 0x01}));
}

TEST(CaptureWriterOpen, DirectoryThatCannotBeCreatedReportsEveryFile) {
    TempDirectory temp;
    std::string dir = (temp.path() / "missing" / "test.rcf").string() + "/";
    std::ostringstream errors;
    {
        CaptureWriter writer(CaptureWriter::kDefaultRotationRecords, errors);
        writer.open(dir, 1);
        EXPECT_FALSE(writer.isOpen());
        writer.writeSummary();  // dropped, not a crash
    }
    std::string expected = "Vantric: failed to open" + dir + "\n" + "Vantric: failed to open " +
                           dir + "session.xml\n" + "Vantric: failed to open session.xml \n" +
                           "Vantric: failed to open " + dir + "captured.xml\n" +
                           "Vantric: failed to open captured.xml \n";
    for (int i = 0; i <= 10; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "%010d", i);
        expected += "Vantric: failed to open " + dir + name + "\n" +
                    "Vantric: failed to open rcf data file \n";
    }
    EXPECT_EQ(errors.str(), expected);
}

// Files of the rotating frames with a threshold of 3, one core: counter
// 0000000003, backtrace 0000000001, scheduling 0000000006.
TEST(CaptureWriterRotation, FirstFileHoldsThresholdRecordsLaterOnesOneMore) {
    TempDirectory temp;
    {
        CaptureWriter writer(3);
        writer.open(temp.capture(), 1);
        for (uint64_t i = 0; i < 10; ++i) writer.writeCounterValue(0, i, 0, i);
    }
    rcf::Capture capture = ReadBack(temp.capture());
    ASSERT_EQ(capture.frames.size(), 13u);
    EXPECT_EQ(FrameNamed(capture, "0000000003").records.size(), 3u);
    EXPECT_EQ(FrameNamed(capture, "0000000011").records.size(), 4u);
    EXPECT_EQ(FrameNamed(capture, "0000000012").records.size(), 3u);
    EXPECT_EQ(FrameNamed(capture, "0000000012").type, 4u);
    auto values = RecordsOf<rcf::CounterValueRecord>(capture, 4);
    ASSERT_EQ(values.size(), 10u);
    for (uint64_t i = 0; i < 10; ++i) EXPECT_EQ(values[i].value, i);
}

TEST(CaptureWriterRotation, SamplesAndSwitchesRotatePerCoreAnnouncementsAreNotCounted) {
    TempDirectory temp;
    const uint32_t cookies[] = {8};
    const uint64_t addresses[] = {0x1000};
    {
        CaptureWriter writer(2);
        writer.open(temp.capture(), 2);
        for (uint32_t i = 0; i < 3; ++i) {
            writer.writeSample(1, i, 8, 1, 1, cookies, addresses);
            // A new thread each time: the announcement goes to other frames.
            writer.writeSwitch(1, i, 8, 1, 100 + i, "t", 0);
            writer.writeThreadExit(1, i, 100 + i);
        }
    }
    rcf::Capture capture = ReadBack(temp.capture());
    // Two cores: backtrace core 1 is 0000000002, scheduling core 1 is 0000000010.
    EXPECT_EQ(FrameNamed(capture, "0000000002").records.size(), 2u);
    EXPECT_EQ(FrameNamed(capture, "0000000016").type, 2u);
    EXPECT_EQ(FrameNamed(capture, "0000000016").core, 1u);
    EXPECT_EQ(FrameNamed(capture, "0000000016").records.size(), 1u);
    // Switch, exit, switch, exit, then rotation before the third switch.
    EXPECT_EQ(FrameNamed(capture, "0000000010").records.size(), 4u);
    EXPECT_EQ(FrameNamed(capture, "0000000017").type, 7u);
    EXPECT_EQ(FrameNamed(capture, "0000000017").records.size(), 2u);
    EXPECT_EQ(RecordsOf<rcf::ThreadNameRecord>(capture, 3, 1).size(), 3u);
}

TEST(CaptureWriterRotation, OpenFailureIsReportedAndRetriedAtTheNextRecord) {
    TempDirectory temp;
    std::ostringstream errors;
    std::string dir = temp.capture();
    {
        CaptureWriter writer(1, errors);
        writer.open(dir, 1);
        writer.writeCounterValue(0, 1, 0, 1);
        std::filesystem::remove_all(temp.path() / "test.rcf");
        writer.writeCounterValue(0, 2, 0, 2);
        writer.writeCounterValue(0, 3, 0, 3);
    }
    EXPECT_EQ(errors.str(), "Vantric: failed to open " + dir + "0000000011\n" +
                                "Vantric: failed to open rcf data file \n" +
                                "Vantric: failed to open " + dir + "0000000012\n" +
                                "Vantric: failed to open rcf data file \n");
}

TEST(CaptureWriterCounters, CoreBeyondTheCoreCountIsReportedAndStillWritten) {
    TempDirectory temp;
    std::ostringstream messages;
    {
        CaptureWriter writer(CaptureWriter::kDefaultRotationRecords, std::cerr, messages);
        writer.open(temp.capture(), 4);
        writer.writeCounterValue(2, 10, 5, 1);
        writer.writeCounterValue(7, 11, 5, 2);
    }
    EXPECT_EQ(messages.str(), "counter id 5:7\n");
    auto values = RecordsOf<rcf::CounterValueRecord>(ReadBack(temp.capture()), 4);
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[1].core, 7u);
    EXPECT_EQ(values[1].key, 8u);
    EXPECT_EQ(values[1].time, 11u);
}

}  // namespace
}  // namespace vantric
