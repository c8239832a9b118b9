#include "rcf/frame_decoder.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "rcf/record_text.h"

namespace vantric::rcf {
namespace {

// Bytes from hex pairs; "L" stands for the four length bytes of a closed
// frame (the byte count after them), "O" for those of an open one.
std::vector<uint8_t> Frame(const std::string& text) {
    std::istringstream in(text);
    std::vector<uint8_t> bytes;
    for (std::string item; in >> item;) {
        if (item == "L" || item == "O")
            bytes.insert(bytes.end(), 4, 0xFF);
        else if (item[0] == '\'')
            bytes.insert(bytes.end(), item.begin() + 1, item.end());  // 'text
        else
            bytes.push_back(static_cast<uint8_t>(std::stoul(item, nullptr, 16)));
    }
    for (int i = 0; text[0] == 'L' && i < 4; ++i)
        bytes[i] = static_cast<uint8_t>((bytes.size() - 4) >> (8 * i));
    return bytes;
}

// The records decoded from each damaged frame, then its diagnostic as
// "E|W offset text".
TEST(FrameDecoder, ReportsEveryKindOfDamageWithItsOffset) {
    const std::string notClosed = " frame not closed (length still 0xFFFFFFFF); read ";
    const std::pair<std::string, std::string> cases[] = {
        {"L 04 01 00 03 05", "1"},
        {"01 00", "0 E 0 file too short for a frame length"},
        {"09 00 00 00 04 01 00 03 05", "1 E 0 frame length 9 does not match the 5 bytes after it"},
        {"L 08", "0 E 4 unknown frame type 8"},
        {"L 7F", "0 E 4 unknown frame type -1"},
        {"L 04 01 00 03 05 02 C0", "1 E 9 record cut short at the end of the file"},
        {"O 04 01 00 03 05", "1 W 9" + notClosed + "1 complete records"},
        {"O 04 01 00 03 05 02 00",
         "1 W 9" + notClosed + "1 complete records, the last record is cut short"},
        {"O 02", "0 W 5" + notClosed + "0 complete records, the last record is cut short"},
        {"L 04 01 FF FF FF FF 0F 03 05", "1 E 6 value 4294967295 does not fit its 32-bit field"},
        {"L 03 00 05", "0 E 6 unknown name record 5"},
        {"L 05 00 01", "0 E 6 data after the header of a frame that holds no records"},
        {"L 06 01 02 03 08 1C 05 01 00 'a",
         "0 E 5 annotation size 8 does not match its text length 1"},
        {"L 06 01 02 03 05 1D 05 01 00 'a", "0 E 5 annotation without its 1C 05 marker"},
        {"L 0A 0D 02 00 00 00 19 'A", "0 E 5 external annotation frame without its stream header"},
        {"L 0A 0B 'ANNOTATE 20 32 0A 00 00 00 00 00 00 00 00 0B 02 00 00 00 19 00",
         "1 E 25 byte count 2 does not hold the record's fields"},
        {"L 09 80 80 80 80 80 80 80 80 80 80 00", "0 E 5 packed integer longer than 10 bytes"},
    };
    for (const auto& [bytes, expected] : cases) {
        std::vector<Diagnostic> diagnostics;
        std::string seen =
            std::to_string(DecodeFrame("0000000042", Frame(bytes), diagnostics).records.size());
        for (const Diagnostic& d : diagnostics) {
            EXPECT_EQ(d.file, "0000000042");
            seen += (d.severity == Diagnostic::Severity::kError ? " E " : " W ") +
                    std::to_string(d.offset) + " " + d.text;
        }
        EXPECT_EQ(seen, expected) << bytes;
    }
}

TEST(FrameDecoder, DecodesPerCoreHeaderAndRecordOffsets) {
    std::vector<Diagnostic> diagnostics;
    const rcf::Frame frame =
        DecodeFrame("0000000003", Frame("L 07 02 01 0A 05 00 02 0B 05"), diagnostics);
    EXPECT_TRUE(diagnostics.empty());
    std::string text = FrameHeaderText(frame);
    for (const Record& record : frame.records) text += "\n" + RecordText(frame, record);
    EXPECT_EQ(text,
              "0000000003 frame scheduling type=7 core=2 length=9\n"
              "0000000003 +6 switch time=10 tid=5 state=0\n"
              "0000000003 +10 thread-exit time=11 tid=5");
}

}  // namespace
}  // namespace vantric::rcf
