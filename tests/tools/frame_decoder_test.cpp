#include "rcf/frame_decoder.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

namespace vantric::rcf {
namespace {

// Bytes from hex pairs; "L" stands for the four length bytes of a closed
// frame (the byte count after them), "O" for those of an open one.
std::vector<uint8_t> Frame(const std::string& text) {
    std::istringstream in(text);
    std::vector<uint8_t> bytes;
    bool closed = false;
    for (std::string item; in >> item;) {
        if (item == "L" || item == "O") {
            closed = item == "L";
            bytes.insert(bytes.end(), 4, 0xFF);
        } else if (item[0] == '\'') {
            bytes.insert(bytes.end(), item.begin() + 1, item.end());  // 'text
        } else {
            bytes.push_back(static_cast<uint8_t>(std::stoul(item, nullptr, 16)));
        }
    }
    for (int i = 0; closed && i < 4; ++i)
        bytes[i] = static_cast<uint8_t>((bytes.size() - 4) >> (8 * i));
    return bytes;
}

TEST(FrameDecoder, ReportsEveryKindOfDamageWithFileAndOffset) {
    constexpr auto E = Diagnostic::Severity::kError;
    constexpr auto W = Diagnostic::Severity::kWarning;
    const char* kOpen = "frame not closed (length still 0xFFFFFFFF); read ";
    const struct {
        std::string bytes;
        size_t records;
        Diagnostic::Severity severity;
        uint64_t offset;
        std::string text;  // empty: no diagnostic
    } cases[] = {
        {"L 04 01 00 03 05", 1, E, 0, ""},
        {"01 00", 0, E, 0, "file too short for a frame length"},
        {"09 00 00 00 04 01 00 03 05", 1, E, 0,
         "frame length 9 does not match the 5 bytes after it"},
        {"L 08", 0, E, 4, "unknown frame type 8"},
        {"L 7F", 0, E, 4, "unknown frame type -1"},
        {"L 04 01 00 03 05 02 C0", 1, E, 9, "record cut short at the end of the file"},
        {"O 04 01 00 03 05", 1, W, 9, kOpen + std::string("1 complete records")},
        {"O 04 01 00 03 05 02 00", 1, W, 9,
         kOpen + std::string("1 complete records, the last record is cut short")},
        {"O 02", 0, W, 5, kOpen + std::string("0 complete records, the last record is cut short")},
        {"L 04 01 FF FF FF FF 0F 03 05", 1, E, 6, "value 4294967295 does not fit its 32-bit field"},
        {"L 03 00 05", 0, E, 6, "unknown name record 5"},
        {"L 05 00 01", 0, E, 6, "data after the header of a frame that holds no records"},
        {"L 06 01 02 03 08 1C 05 01 00 'a", 0, E, 5,
         "annotation size 8 does not match its text length 1"},
        {"L 06 01 02 03 05 1D 05 01 00 'a", 0, E, 5, "annotation without its 1C 05 marker"},
        {"L 0A 0D 02 00 00 00 19 'A", 0, E, 5,
         "external annotation frame without its stream header"},
        {"L 0A 0B 'ANNOTATE 20 32 0A 00 00 00 00 00 00 00 00 0B 02 00 00 00 19 00", 1, E, 25,
         "byte count 2 does not hold the record's fields"},
        {"L 09 80 80 80 80 80 80 80 80 80 80 00", 0, E, 5, "packed integer longer than 10 bytes"},
    };
    for (const auto& c : cases) {
        std::vector<Diagnostic> diagnostics;
        rcf::Frame frame = DecodeFrame("0000000042", Frame(c.bytes), diagnostics);
        EXPECT_EQ(frame.records.size(), c.records) << c.bytes;
        ASSERT_EQ(diagnostics.size(), c.text.empty() ? 0u : 1u) << c.bytes;
        if (c.text.empty()) continue;
        EXPECT_EQ(diagnostics[0].file, "0000000042");
        EXPECT_EQ(diagnostics[0].severity, c.severity) << c.bytes;
        EXPECT_EQ(diagnostics[0].offset, c.offset) << c.bytes;
        EXPECT_EQ(diagnostics[0].text, c.text);
    }
}

TEST(FrameDecoder, DecodesPerCoreHeaderAndRecordOffsets) {
    std::vector<Diagnostic> diagnostics;
    rcf::Frame frame =
        DecodeFrame("0000000003", Frame("L 07 02 01 0A 05 00 02 0B 05"), diagnostics);
    EXPECT_TRUE(diagnostics.empty());
    EXPECT_TRUE(frame.closed);
    EXPECT_EQ(frame.type, 7u);
    EXPECT_EQ(frame.core, 2u);
    ASSERT_EQ(frame.records.size(), 2u);
    EXPECT_EQ(frame.records[0].offset, 6u);
    EXPECT_EQ(frame.records[1].offset, 10u);
    const auto* exit = std::get_if<ThreadExitRecord>(&frame.records[1].body);
    ASSERT_NE(exit, nullptr);
    EXPECT_EQ(exit->time, 11u);
    EXPECT_EQ(exit->tid, 5u);
}

}  // namespace
}  // namespace vantric::rcf
