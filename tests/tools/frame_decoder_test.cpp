#include "rcf/frame_decoder.h"

#include <gtest/gtest.h>

#include <vector>

namespace vantric::rcf {
namespace {

struct Expected {
    Diagnostic::Severity severity;
    uint64_t offset;
    std::string text;
};

struct CorruptCase {
    const char* what;
    std::vector<uint8_t> bytes;
    size_t records;
    std::vector<Expected> diagnostics;
};

constexpr auto kError = Diagnostic::Severity::kError;
constexpr auto kWarning = Diagnostic::Severity::kWarning;

// Prefixes a closed frame length to `body`.
std::vector<uint8_t> Closed(std::vector<uint8_t> body) {
    auto length = static_cast<uint32_t>(body.size());
    std::vector<uint8_t> out = {static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8),
                                static_cast<uint8_t>(length >> 16),
                                static_cast<uint8_t>(length >> 24)};
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

std::vector<uint8_t> Open(std::vector<uint8_t> body) {
    std::vector<uint8_t> out = {0xFF, 0xFF, 0xFF, 0xFF};
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

TEST(FrameDecoder, ReportsEveryKindOfDamageWithFileAndOffset) {
    const CorruptCase cases[] = {
        {"intact counter frame", Closed({0x04, 0x01, 0x00, 0x03, 0x05}), 1, {}},
        {"file shorter than a length",
         {0x01, 0x00},
         0,
         {{kError, 0, "file too short for a frame length"}}},
        {"length does not match",
         {0x09, 0x00, 0x00, 0x00, 0x04, 0x01, 0x00, 0x03, 0x05},
         1,
         {{kError, 0, "frame length 9 does not match the 5 bytes after it"}}},
        {"frame type without a file", Closed({0x08}), 0, {{kError, 4, "unknown frame type 8"}}},
        {"negative frame type", Closed({0x7F}), 0, {{kError, 4, "unknown frame type -1"}}},
        {"record cut short in a closed frame",
         Closed({0x04, 0x01, 0x00, 0x03, 0x05, 0x02, 0xC0}),
         1,
         {{kError, 9, "record cut short at the end of the file"}}},
        {"unclosed frame, complete records",
         Open({0x04, 0x01, 0x00, 0x03, 0x05}),
         1,
         {{kWarning, 9, "frame not closed (length still 0xFFFFFFFF); read 1 complete records"}}},
        {"unclosed frame, last record cut",
         Open({0x04, 0x01, 0x00, 0x03, 0x05, 0x02, 0x00}),
         1,
         {{kWarning, 9,
           "frame not closed (length still 0xFFFFFFFF); read 1 complete records, the last "
           "record is cut short"}}},
        {"unclosed frame cut inside its header",
         Open({0x02}),
         0,
         {{kWarning, 5,
           "frame not closed (length still 0xFFFFFFFF); read 0 complete records, the last "
           "record is cut short"}}},
        {"32-bit field holding 2^32 - 1 unextended",
         Closed({0x04, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 0x03, 0x05}),
         1,
         {{kError, 6, "value 4294967295 does not fit its 32-bit field"}}},
        {"unknown name record",
         Closed({0x03, 0x00, 0x05}),
         0,
         {{kError, 6, "unknown name record 5"}}},
        {"data in a header-only frame",
         Closed({0x05, 0x00, 0x01}),
         0,
         {{kError, 6, "data after the header of a frame that holds no records"}}},
        {"annotation size disagrees",
         Closed({0x06, 0x01, 0x02, 0x03, 0x08, 0x1C, 0x05, 0x01, 0x00, 'a'}),
         0,
         {{kError, 5, "annotation size 8 does not match its text length 1"}}},
        {"annotation without marker",
         Closed({0x06, 0x01, 0x02, 0x03, 0x05, 0x1D, 0x05, 0x01, 0x00, 'a'}),
         0,
         {{kError, 5, "annotation without its 1C 05 marker"}}},
        {"external frame without stream header",
         Closed({0x0A, 0x0D, 0x02, 0, 0, 0, 25, 'A'}),
         0,
         {{kError, 5, "external annotation frame without its stream header"}}},
        {"external byte count too small",
         Closed({0x0A, 0x0B, 'A', 'N', 'N', 'O', 'T', 'A',  'T',  'E', ' ', '2', '\n', 0,
                 0,    0,    0,   0,   0,   0,   0,   0x0B, 0x02, 0,   0,   0,   25,   0}),
         1,
         {{kError, 25, "byte count 2 does not hold the record's fields"}}},
        {"packed integer too long",
         Closed({0x09, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x00}),
         0,
         {{kError, 5, "packed integer longer than 10 bytes"}}},
    };
    for (const CorruptCase& c : cases) {
        std::vector<Diagnostic> diagnostics;
        Frame frame = DecodeFrame("0000000042", c.bytes, diagnostics);
        EXPECT_EQ(frame.records.size(), c.records) << c.what;
        ASSERT_EQ(diagnostics.size(), c.diagnostics.size()) << c.what;
        for (size_t i = 0; i < diagnostics.size(); ++i) {
            EXPECT_EQ(diagnostics[i].file, "0000000042") << c.what;
            EXPECT_EQ(diagnostics[i].severity, c.diagnostics[i].severity) << c.what;
            EXPECT_EQ(diagnostics[i].offset, c.diagnostics[i].offset) << c.what;
            EXPECT_EQ(diagnostics[i].text, c.diagnostics[i].text) << c.what;
        }
    }
}

TEST(FrameDecoder, DecodesPerCoreHeaderAndRecordOffsets) {
    std::vector<Diagnostic> diagnostics;
    Frame frame = DecodeFrame(
        "0000000003", Closed({0x07, 0x02, 0x01, 0x0A, 0x05, 0x00, 0x02, 0x0B, 0x05}), diagnostics);
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
