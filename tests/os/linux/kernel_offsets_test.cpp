// The offsets text: 25 values with one separator character between them, and
// in the 32-bit layout a 26th value after blanks only, then one character.
#include "os/linux/kernel_offsets.h"

#include <gtest/gtest.h>

#include <string>

#include "kv_test_support.h"

namespace vantric {
namespace {

constexpr const char* kWarning = "WARN (Linux driver) Unable to parse kernel struct offsets (p)\n";

// "1<sep>2<sep>...<sep>25"
std::string Values25(const std::string& separator = ",") {
    std::string text;
    for (int i = 1; i <= 25; ++i) {
        if (i != 1) text += separator;
        text += std::to_string(i * 8);
    }
    return text;
}

// "5<sep>5<sep>...<sep>5", 25 values
std::string SingleDigits(const std::string& separator) {
    std::string text = "5";
    for (int i = 2; i <= 25; ++i) text += separator + "5";
    return text;
}

struct OffsetsCase {
    const char* name;
    std::string text;
    bool offsets64;
    bool result;
    int warnings;
    uint64_t value25;               // treeLeftOffset
    uint64_t threadInfoTaskOffset;  // value 26
};

class ParseKernelOffsetsTest : public ::testing::TestWithParam<OffsetsCase> {};

TEST_P(ParseKernelOffsetsTest, ResultWarningsAndValues) {
    const OffsetsCase& c = GetParam();
    KernelOffsets offsets;
    offsets.taskStateOffset = 999;  // parsing starts from a clean set
    kvhost::StreamCapture console;
    EXPECT_EQ(ParseKernelOffsets(c.text, c.offsets64, offsets), c.result);
    std::string expected;
    for (int i = 0; i < c.warnings; ++i) expected += kWarning;
    EXPECT_EQ(console.err(), expected);
    EXPECT_EQ(offsets.treeLeftOffset, c.value25);
    EXPECT_EQ(offsets.threadInfoTaskOffset, c.threadInfoTaskOffset);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ParseKernelOffsetsTest,
    ::testing::Values(
        OffsetsCase{"Commas64", Values25(), true, true, 0, 200, 0},
        OffsetsCase{"Commas32LacksValue26", Values25(), false, false, 1, 200, 0},
        OffsetsCase{"Value26AfterBlank", Values25() + " 12,", false, true, 0, 200, 12},
        OffsetsCase{"Value26AfterNewlineAndTab", Values25() + "\n\t12;", false, true, 0, 200, 12},
        OffsetsCase{"Value26AfterComma", Values25() + ",12,", false, false, 1, 200, 0},
        OffsetsCase{"Value26WithoutFinalCharacter", Values25() + " 12", false, false, 1, 200, 12},
        OffsetsCase{"Value26WithBlanksBeforeFinal", Values25() + " 12  \r\n x", false, true, 0, 200,
                    12},
        OffsetsCase{"Value26Ignored64", Values25() + " 12,", true, true, 0, 200, 0},
        OffsetsCase{"AnySeparatorCharacter", Values25(";"), true, true, 0, 200, 0},
        OffsetsCase{"LetterSeparators", Values25("x"), true, true, 0, 200, 0},
        OffsetsCase{"BlanksAroundSeparators", "  " + Values25(" ,\r\n "), true, true, 0, 200, 0},
        // The separator is the next non-blank character, so with blanks only
        // the digits of the next value are taken as separators.
        OffsetsCase{"BlankIsNoSeparator", SingleDigits(" "), true, true, 1, 0, 0},
        OffsetsCase{"DoubleSeparator", Values25(",,"), true, true, 1, 0, 0},
        OffsetsCase{"Only24Values64", Values25().substr(0, Values25().rfind(',')), true, true, 1, 0,
                    0},
        OffsetsCase{"Only24Values32WarnsTwice", Values25().substr(0, Values25().rfind(',')), false,
                    false, 2, 0, 0},
        OffsetsCase{"Empty64", "", true, true, 1, 0, 0},
        OffsetsCase{"NegativeValue", "-" + Values25(), true, true, 1, 0, 0},
        OffsetsCase{"ValueTooLarge", "99999999999999999999," + Values25(), true, true, 1, 0, 0},
        OffsetsCase{"LargestValue", Values25().substr(0, Values25().rfind(',') + 1) +
                                        "18446744073709551615",
                    true, true, 0, 18446744073709551615ull, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(KernelOffsetsTest, EveryPositionLandsInItsField) {
    KernelOffsets o;
    ASSERT_TRUE(ParseKernelOffsets(
        "24,1240,0,1128,1304,1308,1752,16,824,16,8,0,32,24,8,0,8,160,152,32,16,8,0,8,16", true, o));
    const uint64_t got[] = {o.taskStateOffset,     o.taskIoWaitOffset,   o.switchThreadInfoBias,
                            o.taskMmOffset,        o.taskThreadIdOffset, o.taskProcessIdOffset,
                            o.taskCommOffset,      o.taskCommLength,     o.mmExeFileOffset,
                            o.filePathOffset,      o.pathDentryOffset,   o.unusedOffset,
                            o.dentryNameOffset,    o.dentryParentOffset, o.nameTextOffset,
                            o.vmaStartOffset,      o.vmaEndOffset,       o.vmaFileOffset,
                            o.vmaPageOffsetOffset, o.vmaTreeNodeOffset,  o.vmaNextOffset,
                            o.mmTreeRootOffset,    o.treeRootNodeOffset, o.treeRightOffset,
                            o.treeLeftOffset,      o.threadInfoTaskOffset};
    const uint64_t expected[] = {24, 1240, 0,   1128, 1304, 1308, 1752, 16, 824, 16, 8, 0, 32,
                                 24, 8,    0,   8,    160,  152,  32,   16, 8,   0,  8, 16, 0};
    for (size_t i = 0; i < std::size(expected); ++i) EXPECT_EQ(got[i], expected[i]) << i + 1;
}

TEST(KernelOffsetsTest, ValuesBeforeAFailureAreKeptAndTheRestAreZero) {
    KernelOffsets o;
    kvhost::StreamCapture console;
    EXPECT_TRUE(ParseKernelOffsets("7,8,9,x,11", true, o));
    EXPECT_EQ(o.taskStateOffset, 7u);
    EXPECT_EQ(o.taskIoWaitOffset, 8u);
    EXPECT_EQ(o.switchThreadInfoBias, 9u);
    EXPECT_EQ(o.taskMmOffset, 0u);
    EXPECT_EQ(o.taskThreadIdOffset, 0u);
}

}  // namespace
}  // namespace vantric
