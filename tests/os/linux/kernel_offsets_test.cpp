// The offsets text: 25 values with one separator character between them, and
// in the 32-bit layout a 26th value after blanks only, then one character.
#include "os/linux/kernel_offsets.h"

#include <gtest/gtest.h>

#include <string>

#include "kv_test_support.h"

namespace vantric {
namespace {

// "8<sep>16<sep>...<sep>200": value n is 8n, so value 25 is 200.
std::string Values25(const std::string& separator = ",") {
    std::string text = "8";
    for (int i = 2; i <= 25; ++i) text += separator + std::to_string(i * 8);
    return text;
}

TEST(KernelOffsetsTest, TextsGiveResultWarningsAndValues) {
    const std::string v25 = Values25(), k24 = v25.substr(0, v25.rfind(','));
    std::string fives = "5";
    for (int i = 0; i < 24; ++i) fives += " 5";
    // The text, its layout, the result, the warnings, values 25 (treeLeftOffset)
    // and 26 (threadInfoTaskOffset).
    const struct { std::string text; bool offsets64, result; int warnings; uint64_t value25, value26; } cases[] = {
        {v25, true, true, 0, 200, 0},             {v25, false, false, 1, 200, 0},  // 32-bit needs value 26
        {v25 + " 12,", false, true, 0, 200, 12},  {v25 + "\n\t12;", false, true, 0, 200, 12},
        {v25 + ",12,", false, false, 1, 200, 0},  {v25 + " 12", false, false, 1, 200, 12},
        {v25 + " 12  \r\n x", false, true, 0, 200, 12},
        {v25 + " 12,", true, true, 0, 200, 0},  // value 26 ignored in 64-bit
        {Values25(";"), true, true, 0, 200, 0},   {Values25("x"), true, true, 0, 200, 0},
        {"  " + Values25(" ,\r\n "), true, true, 0, 200, 0},
        // The separator is the next non-blank character, so with blanks only
        // the digits of the next value are taken as separators.
        {fives, true, true, 1, 0, 0},             {Values25(",,"), true, true, 1, 0, 0},
        {k24, true, true, 1, 0, 0},               {k24, false, false, 2, 0, 0},
        {"", true, true, 1, 0, 0},                {"-" + v25, true, true, 1, 0, 0},
        {"99999999999999999999," + v25, true, true, 1, 0, 0},
        {k24 + ",18446744073709551615", true, true, 0, 18446744073709551615ull, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text + (c.offsets64 ? " (64)" : " (32)"));
        KernelOffsets offsets;
        offsets.taskStateOffset = 999;  // parsing starts from a clean set
        kvhost::StreamCapture console;
        EXPECT_EQ(ParseKernelOffsets(c.text, c.offsets64, offsets), c.result);
        std::string expected;
        for (int i = 0; i < c.warnings; ++i) {
            expected += "WARN (Linux driver) Unable to parse kernel struct offsets (p)\n";
        }
        EXPECT_EQ(console.err(), expected);
        EXPECT_EQ(offsets.treeLeftOffset, c.value25);
        EXPECT_EQ(offsets.threadInfoTaskOffset, c.value26);
        EXPECT_NE(offsets.taskStateOffset, 999u);
    }
}

}  // namespace
}  // namespace vantric
