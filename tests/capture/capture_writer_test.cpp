#include "capture/capture_writer.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <sstream>
#include <vector>

#include "support/test_support.h"

namespace vantric {
namespace {

using namespace std::string_literals;
using testing::ReadBack;
using testing::TempDirectory;

// Bytes given as numbers, then the bytes of `text`.
std::vector<uint8_t> ByteList(std::initializer_list<int> values, std::string_view text = {}) {
    std::vector<uint8_t> out(values.begin(), values.end());
    out.insert(out.end(), text.begin(), text.end());
    return out;
}

// Data file `file` of the capture in `temp`, without its first `skip` bytes.
std::vector<uint8_t> FileBody(const TempDirectory& temp, const char* file, size_t skip) {
    const std::string bytes = testing::ReadFile(temp.path() / "test.rcf" / file);
    return std::vector<uint8_t>(bytes.begin() + static_cast<long>(std::min(skip, bytes.size())),
                                bytes.end());
}

// "file:type[.core][:records]" per frame, a file by its last two digits.
// ReadBack fails the test on any frame whose length was not patched.
std::string Layout(const std::string& directory) {
    std::string layout;
    for (const rcf::Frame& frame : ReadBack(directory).frames) {
        layout += frame.fileName.substr(8) + ":" + std::to_string(frame.type) +
                  (frame.core ? "." + std::to_string(*frame.core) : "") +
                  (frame.records.empty() ? "" : ":" + std::to_string(frame.records.size())) + " ";
    }
    return layout;
}

// Every frame starts on disk at open, truncating a stale file. (The record
// cases below rely on the one-core numbering.)
TEST(CaptureWriterOpen, NumbersFilesByFrameTypeThenCore) {
    TempDirectory temp;
    std::filesystem::create_directories(temp.path() / "test.rcf");
    temp.write("test.rcf/0000000000", std::string(100, 'x'));
    std::ostringstream errors;
    {
        CaptureWriter writer(CaptureWriter::kDefaultRotationRecords, errors);
        writer.open(temp.capture(), 2);
        EXPECT_TRUE(writer.isOpen());
        EXPECT_EQ(FileBody(temp, "0000000000", 0), ByteList({0xFF, 0xFF, 0xFF, 0xFF, 1}));
        EXPECT_EQ(FileBody(temp, "0000000004", 0), ByteList({0xFF, 0xFF, 0xFF, 0xFF, 3, 1}));
    }
    EXPECT_EQ(errors.str(), "");
    EXPECT_EQ(Layout(temp.capture()),
              "00:1 01:2.0 02:2.1 03:3.0 04:3.1 05:4 06:5.0 07:5.1 08:6 09:7.0 10:7.1 11:9 12:10 "
              "13:11.0 14:11.1 15:13 ");
}

// Threshold 2, two cores: the first file of a pair holds 2 counted records,
// later ones 3. Thread announcements and exits are not counted.
TEST(CaptureWriterRotation, CounterBacktraceAndSchedulingFramesRotate) {
    TempDirectory temp;
    {
        CaptureWriter writer(2);
        writer.open(temp.capture(), 2);
        for (uint64_t i = 0; i < 5; ++i) writer.writeCounterValue(0, i, 0, i);
        for (uint32_t i = 0; i < 3; ++i) {
            writer.writeSample(1, i, 8, 1, 1, {}, {});
            writer.writeSwitch(1, i, 8, 1, 100 + i, "t", 0);  // a new thread each time
            writer.writeThreadExit(1, i, 100 + i);
        }
    }
    EXPECT_EQ(Layout(temp.capture()),
              "00:1 01:2.0 02:2.1:2 03:3.0 04:3.1:3 05:4:2 06:5.0 07:5.1 08:6 09:7.0 10:7.1:4 11:9 "
              "12:10 13:11.0 14:11.1 15:13:6 16:4:3 17:2.1:1 18:7.1:2 ");
}

// A directory that cannot be created fails every file; a frame that cannot
// rotate is reported and tried again at the next record.
TEST(CaptureWriterOpen, FailuresAreReportedForEveryFile) {
    TempDirectory temp;
    std::string missing = (temp.path() / "missing" / "test.rcf").string() + "/";
    std::ostringstream errors;
    {
        CaptureWriter writer(CaptureWriter::kDefaultRotationRecords, errors);
        writer.open(missing, 1);
        EXPECT_FALSE(writer.isOpen());
        writer.writeSummary();  // dropped, not a crash
    }
    std::string expected = "Vantric: failed to open" + missing + "\n";
    for (std::string name : {"session.xml", "captured.xml"}) {
        expected += "Vantric: failed to open " + missing + name + "\nVantric: failed to open " +
                    name + " \n";
    }
    for (int i = 0; i <= 12; ++i) {
        const std::string& dir = i <= 10 ? missing : temp.capture();
        expected += "Vantric: failed to open " + dir + (i < 10 ? "000000000" : "00000000") +
                    std::to_string(i) + "\nVantric: failed to open rcf data file \n";
    }
    {
        CaptureWriter writer(1, errors);
        writer.open(temp.capture(), 1);
        writer.writeCounterValue(0, 1, 0, 1);
        std::filesystem::remove_all(temp.path() / "test.rcf");
        writer.writeCounterValue(0, 2, 0, 2);
        writer.writeCounterValue(0, 3, 0, 3);
    }
    EXPECT_EQ(errors.str(), expected);
}

struct FileBytes {
    const char* file;
    size_t skip;  // length and frame header: 5 bytes, 6 for a per-core frame
    std::vector<uint8_t> bytes;
};
struct RecordCase {
    const char* what;
    uint32_t cores;
    std::function<void(CaptureWriter&)> write;
    std::vector<FileBytes> files;
    const char* messages = "";
};

// 200 stack frames (cookie 0x7FFFFFFF, address 2^63 - 1) as the writer packs them.
std::string ManyFrameBytes() {
    std::string bytes;
    for (int i = 0; i < 200; ++i) bytes += "\xFF\xFF\xFF\xFF\x07" + std::string(9, '\xFF') + '\0';
    return bytes;
}

// File names: with one core, summary 0000000000, backtrace 1, name 2,
// counter 3, annotate 5, scheduling 6, idle 7, link 10; with two cores, name
// 3 and 4, scheduling 9 and 10, link 15; with four, name 5 to 8, counter 9,
// link 25.
const RecordCase kRecordCases[] = {
    {"summary, then core names cut at the last .cpu", 1,
     [](CaptureWriter& w) {
         w.writeSummary();
         for (const char* name : {"cluster0.cpu0", "core0", "a.cpu.b.cpu3", ".cpu0", ""})
             w.addCore(0, 3080, name);
     },
     {{"0000000000", 5,
       ByteList({0x01, 0x0B}, "1\n2\r\n3\r4\n\r5\0\0\0\0"
                              "\x03\x00\x88\x18\x08" "cluster0" "\x03\x00\x88\x18\x05" "core0"
                              "\x03\x00\x88\x18\x07" "a.cpu.b" "\x03\x00\x88\x18\x00"
                              "\x03\x00\x88\x18\x00"s)}}},
    {"a sample takes pairs while both lists last; unknown cores are dropped", 1,
     [](CaptureWriter& w) {
         const uint32_t cookies[] = {8, 0xFFFFFFFF, 0};
         const uint64_t addresses[] = {0x400000, 300};
         w.writeSample(0, 5, 8, 2, 3, cookies, addresses);
         w.writeSample(1, 1, 8, 1, 1, cookies, addresses);
         w.writeSwitch(1, 1, 8, 1, 1, "x", 0);
         w.writeThreadExit(1, 1, 1);
     },
     {{"0000000001", 6,
       ByteList({0x05, 0x08, 0x02, 0x03, 0x08, 0x80, 0x80, 0x80, 0x02, 0x7F, 0xAC, 0x02, 0x01})},
      {"0000000002", 6, {}}, {"0000000006", 6, {}}, {"0000000010", 5, {}}}},
    {"32-bit fields are sign-extended, 64-bit ones are not", 1,
     [](CaptureWriter& w) {
         w.writeCounterValue(0, ~uint64_t{0}, 0xFFFFFFFF - 3, 0xFFFFFFFFu);
         w.writeIdle(-1, uint64_t{1} << 63, 0);
     },
     {{"0000000003", 5, ByteList({0x7F, 0x00, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F})},
      {"0000000007", 5,
       ByteList({0x7F, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x7F, 0x00})}}},
    {"annotations; a text is cut to 32767 bytes, its size field packed in three", 1,
     [](CaptureWriter& w) {
         w.writeAnnotation(1, 2, 3, "hello");
         w.writeAnnotation(1, 2, 4, std::string(32768, 'a'));
     },
     {{"0000000005", 5,
       ByteList({1, 2, 3, 9, 0x1C, 5, 5, 0}, "hello\x01\x02\x04\x83\x80\x02\x1C\x05\xFF\x7F" +
                                                std::string(32767, 'a'))}}},
    {"records longer than the record buffer keep their bytes", 1,
     [](CaptureWriter& w) {
         w.writeSample(0, 1, 8, 1, 1, std::vector<uint32_t>(200, 0x7FFFFFFF),
                       std::vector<uint64_t>(200, ~uint64_t{0} >> 1));
         w.writeSwitch(0, 2, 8, 1, 1, std::string(2000, 'n'), 0);
     },
     {{"0000000001", 6, ByteList({1, 8, 1, 1}, ManyFrameBytes() + '\x01')},
      {"0000000002", 6, ByteList({2, 2, 1, 0xD0, 0x0F}, std::string(2000, 'n'))}}},
    {"a thread is announced once for all cores", 2,
     [](CaptureWriter& w) {
         w.writeSwitch(0, 10, 4, 1, 5, "worker", 0);
         w.writeSwitch(1, 20, 9, 2, 5, "worker", 1);  // same thread, other core and cookie
         w.writeSwitch(1, 30, 5, 1, 6, "worker", 2);  // same name, other tid
         w.writeSwitch(0, 40, 4, 1, 5, "renamed", 0);
         w.writeThreadExit(1, 50, 6);
     },
     {{"0000000003", 6, ByteList({2, 10, 5, 6}, "worker\x02\x28\x05\x07renamed")},
      {"0000000004", 6, ByteList({2, 30, 6, 6}, "worker")},
      {"0000000015", 5, ByteList({1, 10, 4, 1, 5, 1, 30, 5, 1, 6, 1, 40, 4, 1, 5, 3, 50, 6})},
      {"0000000009", 6, ByteList({1, 10, 5, 0, 1, 40, 5, 0})},
      {"0000000010", 6, ByteList({1, 20, 5, 1, 1, 30, 6, 2, 2, 50, 6})}}},
    {"a new cookie is named on its core and linked; the thread does not count", 4,
     [](CaptureWriter& w) {
         EXPECT_EQ(w.cookieFor(0, 1, 0, 5, ""), 8u);
         EXPECT_EQ(w.cookieFor(1, 10, 7, 20, "/bin/app"), 9u);
         EXPECT_EQ(w.cookieFor(1, 11, 7, 22, "/bin/app"), 9u);
         EXPECT_EQ(w.cookieFor(4, 10, 7, 25, "/bin/app"), 0u);  // no such core
     },
     {{"0000000005", 6, ByteList({1, 8, 0})},
      {"0000000006", 6, ByteList({1, 9, 8}, "/bin/app")},
      {"0000000025", 5, ByteList({1, 5, 8, 0, 1, 1, 20, 9, 7, 10})}}},
    {"a counter of a core beyond the count is still written: time, core, key + 3, value", 4,
     [](CaptureWriter& w) {
         w.writeCounterValue(2, 10, 5, 1);
         w.writeCounterValue(4, 11, 5, 2);
     },
     {{"0000000009", 5, ByteList({10, 2, 8, 1, 11, 4, 8, 2})}},
     "counter id 5:4\n"},
};

TEST(CaptureWriterRecords, BytesOfEveryRecord) {
    for (const RecordCase& c : kRecordCases) {
        testing::TempDirectory temp;
        std::ostringstream messages;
        {
            CaptureWriter writer(CaptureWriter::kDefaultRotationRecords, std::cerr, messages);
            writer.open(temp.capture(), c.cores);
            c.write(writer);
        }
        for (const FileBytes& f : c.files)
            EXPECT_EQ(FileBody(temp, f.file, f.skip), f.bytes) << c.what << ": " << f.file;
        EXPECT_EQ(messages.str(), c.messages) << c.what;
    }
}

// A file-size limit (SIGXFSZ ignored, as a host would) cuts the counter file:
// the loss is named once the files are closed, and the capture reads back
// without a diagnostic up to its last complete record.
TEST(CaptureWriterLoss, FileSizeLimitIsReportedAndTheCaptureEndsWithAWholeRecord) {
    testing::TempDirectory temp;
    std::ostringstream errors, messages;
    const auto writeCounterValues = [&](const std::string& directory, rlim_t limit) {
        rlimit saved{};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        rlimit limited{std::min(limit, saved.rlim_max), saved.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limited);
        {
            CaptureWriter writer(CaptureWriter::kDefaultRotationRecords, errors, messages);
            writer.open(directory, 1);
            for (uint32_t i = 0; i < 30000; ++i) writer.writeCounterValue(0, i, 0, i);
            writer.writeDescriptions(0, 30000, {CounterDescription{}});
        }
        ::setrlimit(RLIMIT_FSIZE, &saved);
        return std::filesystem::file_size(directory + "0000000003");
    };
    const uintmax_t full = writeCounterValues(temp.capture("full.rcf"), RLIM_INFINITY);
    ASSERT_GT(full, 200000u);
    std::signal(SIGXFSZ, SIG_IGN);
    const uintmax_t cut = writeCounterValues(temp.capture(), 100000);
    std::signal(SIGXFSZ, SIG_DFL);

    EXPECT_LE(cut, 100000u);
    EXPECT_EQ(errors.str(), "WARN (Vantric capture) " + temp.capture() + "0000000003 : " +
                                std::to_string(full - cut) + " bytes lost (File too large)\n");
    const auto values = testing::RecordsOf<rcf::CounterValueRecord>(testing::ReadBack(temp.capture()), 4);
    ASSERT_GT(values.size(), 1000u);
    ASSERT_LT(values.size(), 30000u);
    EXPECT_EQ(values.back().value, values.size() - 1);
}

}  // namespace
}  // namespace vantric
