#include "capture/capture_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <vector>

#include "capture/capture_test_support.h"

namespace vantric {
namespace {

using testing::ByteList;
using testing::FrameNamed;
using testing::ReadBack;
using testing::ReadBytes;
using testing::RecordsOf;
using testing::TempDirectory;

std::string FileName(int number) {
    char name[16];
    std::snprintf(name, sizeof name, "%010d", number);
    return name;
}

TEST(CaptureWriterOpen, NumbersFilesByFrameTypeThenCore) {
    const std::pair<uint32_t, const char*> cases[] = {
        {1, "1 2.0 3.0 4 5.0 6 7.0 9 10 11.0 13 "},
        {2, "1 2.0 2.1 3.0 3.1 4 5.0 5.1 6 7.0 7.1 9 10 11.0 11.1 13 "},
    };
    for (const auto& [cores, layout] : cases) {
        TempDirectory temp;
        std::ostringstream errors;
        {
            CaptureWriter writer(CaptureWriter::kDefaultRotationRecords, errors);
            writer.open(temp.capture(), cores);
            EXPECT_TRUE(writer.isOpen());
        }
        EXPECT_EQ(errors.str(), "");
        rcf::Capture capture = ReadBack(temp.capture());
        std::string seen;
        for (size_t i = 0; i < capture.frames.size(); ++i) {
            const rcf::Frame& frame = capture.frames[i];
            EXPECT_EQ(frame.fileName, FileName(static_cast<int>(i)));
            EXPECT_TRUE(frame.closed && frame.records.empty()) << frame.fileName;
            seen += std::to_string(frame.type) +
                    (frame.core ? "." + std::to_string(*frame.core) : "") + " ";
        }
        EXPECT_EQ(seen, layout);
        EXPECT_TRUE(std::filesystem::exists(temp.path() / "test.rcf" / "captured.xml"));
    }
}

TEST(CaptureWriterOpen, ReusesTheDirectoryAndPatchesFrameLengthsAtDestruction) {
    TempDirectory temp;
    std::filesystem::create_directories(temp.path() / "test.rcf");
    std::ofstream(temp.path() / "test.rcf" / "0000000000") << std::string(100, 'x');
    auto summaryFile = temp.path() / "test.rcf" / "0000000000";
    auto nameFileCore2 = temp.path() / "test.rcf" / "0000000006";  // type 3, core 2 of 3
    std::ostringstream errors;
    {
        CaptureWriter writer(CaptureWriter::kDefaultRotationRecords, errors);
        writer.open(temp.capture(), 3);
        EXPECT_TRUE(writer.isOpen());
        EXPECT_EQ(ReadBytes(summaryFile), ByteList({0xFF, 0xFF, 0xFF, 0xFF, 0x01}));
        EXPECT_EQ(ReadBytes(nameFileCore2), ByteList({0xFF, 0xFF, 0xFF, 0xFF, 0x03, 0x02}));
        writer.writeSummary();
    }
    EXPECT_EQ(errors.str(), "");
    std::vector<uint8_t> bytes = ReadBytes(summaryFile);
    ASSERT_EQ(bytes.size(), 22u);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 5), ByteList({18, 0, 0, 0, 1}));
    EXPECT_EQ(ReadBytes(nameFileCore2), ByteList({0x02, 0x00, 0x00, 0x00, 0x03, 0x02}));
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
        expected += "Vantric: failed to open " + dir + FileName(i) + "\n" +
                    "Vantric: failed to open rcf data file \n";
    }
    EXPECT_EQ(errors.str(), expected);
}

// Threshold 2, two cores: the first file of a pair holds 2 counted records,
// later ones 3. Thread announcements and exits are not counted.
TEST(CaptureWriterRotation, CounterBacktraceAndSchedulingFramesRotate) {
    TempDirectory temp;
    const uint32_t cookies[] = {8};
    const uint64_t addresses[] = {0x1000};
    {
        CaptureWriter writer(2);
        writer.open(temp.capture(), 2);
        for (uint64_t i = 0; i < 5; ++i) writer.writeCounterValue(0, i, 0, i);
        for (uint32_t i = 0; i < 3; ++i) {
            writer.writeSample(1, i, 8, 1, 1, cookies, addresses);
            writer.writeSwitch(1, i, 8, 1, 100 + i, "t", 0);  // a new thread each time
            writer.writeThreadExit(1, i, 100 + i);
        }
    }
    rcf::Capture capture = ReadBack(temp.capture());
    const struct {
        const char* file;
        uint32_t type;
        size_t records;
    } files[] = {{"0000000005", 4, 2}, {"0000000016", 4, 3}, {"0000000002", 2, 2},
                 {"0000000017", 2, 1}, {"0000000010", 7, 4}, {"0000000018", 7, 2}};
    for (const auto& f : files) {
        EXPECT_EQ(FrameNamed(capture, f.file).type, f.type) << f.file;
        EXPECT_EQ(FrameNamed(capture, f.file).records.size(), f.records) << f.file;
    }
    auto values = RecordsOf<rcf::CounterValueRecord>(capture, 4);
    ASSERT_EQ(values.size(), 5u);
    for (uint64_t i = 0; i < 5; ++i) EXPECT_EQ(values[i].value, i);
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
    // Four cores: the counter frame is 0000000009; time, core, key (5 + 3), value.
    EXPECT_EQ(testing::FileBody(temp, "0000000009", 5), ByteList({10, 2, 8, 1, 11, 7, 8, 2}));
}

}  // namespace
}  // namespace vantric
