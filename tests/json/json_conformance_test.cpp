// The reader over a public collection of JSON parsing test files: nothing may
// crash, even on a small stack, and every file reads as standard JSON would
// except where this reader's own rules say otherwise.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "json_test_support.h"

namespace vq {
namespace {

namespace fs = std::filesystem;

const fs::path kCorpus = fs::path(VT_SOURCE_DIR) / ".." / "shared" / "conformance" / "json" / "test_parsing";

// Strings hold bytes 0x20..0x7E and escapes of one byte only.
bool hasCharacterBeyondOneByte(const std::string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (static_cast<unsigned char>(text[i]) >= 0x7F) return true;
        if (text.compare(i, 2, "\\u") == 0 && text.compare(i + 2, 2, "00") != 0) return true;
    }
    return false;
}

struct Pinned {
    const char* why;  // becomes the test name
    const char* file;
    bool ok;
    const char* value;
};

class JSONConformance : public ::testing::TestWithParam<Pinned> {
protected:
    void SetUp() override {
        if (!fs::is_directory(kCorpus)) GTEST_SKIP() << "no JSON test corpus at " << kCorpus << " (no ../shared)";
    }
};

// y_ files must read unless they hold wider characters; n_ files must fail
// unless only trailing text was logged, or they use one of our extensions
// (trailing comma before ']', hexadecimal integers).
TEST_F(JSONConformance, EveryFileReadsOnASmallStackAsStandardJSONOrByOurRules) {
    const std::set<std::string> extensions = {"n_array_extra_comma.json", "n_array_number_and_comma.json",
                                              "n_number_hex_1_digit.json", "n_number_hex_2_digits.json"};
    std::size_t files = 0;
    testing::runOnSmallStack([&] {
        for (const fs::directory_entry& entry : fs::directory_iterator(kCorpus)) {
            const std::string name = entry.path().filename().string();
            std::ifstream file(entry.path(), std::ios::binary);
            const std::string text(std::istreambuf_iterator<char>(file), {});
            const testing::Parsed parsed = testing::parseText(text);
            files += entry.path().extension() == ".json";
            EXPECT_TRUE(parsed.ok || parsed.value.type() == JSONValue::TypeNull) << name;
            EXPECT_TRUE(name[0] != 'y' || parsed.ok == !hasCharacterBeyondOneByte(text)) << name;
            EXPECT_TRUE(name[0] != 'n' || !parsed.ok || extensions.contains(name) ||
                        parsed.log.find("Non-whitespace characters found after object") != std::string::npos)
                << name;
        }
    });
    EXPECT_GT(files, 300u);
}

TEST_P(JSONConformance, KeepsItsOutcome) {
    const fs::path path = kCorpus / (std::string(GetParam().file) + ".json");
    ASSERT_TRUE(fs::exists(path)) << path;
    std::ifstream file(path, std::ios::binary);
    const testing::Parsed parsed = testing::parseText(std::string(std::istreambuf_iterator<char>(file), {}));
    EXPECT_EQ(parsed.ok, GetParam().ok);
    EXPECT_EQ(testing::dump(parsed.value), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    DiffersFromStandardJSON, JSONConformance,
    ::testing::Values(
        Pinned{"TrailingCommaInArrayAccepted", "n_array_extra_comma", true, R"([""])"},
        Pinned{"TrailingCommaAfterNumberAccepted", "n_array_number_and_comma", true, "[1]"},
        Pinned{"HexadecimalIntegerAccepted", "n_number_hex_2_digits", true, "[66]"},
        Pinned{"TextAfterValueOnlyLogged", "n_structure_array_trailing_garbage", true, "[1]"},
        Pinned{"SecondDocumentOnlyLogged", "n_structure_double_array", true, "[]"},
        Pinned{"NulByteAfterNumberOnlyLogged", "n_multidigit_number_then_00", true, "123"},
        Pinned{"CommentAfterObjectOnlyLogged", "n_object_trailing_comment", true, R"({"a":"b"})"},
        Pinned{"EscapeAbove00FFRefused", "y_string_two-byte-utf-8", false, "null"},
        Pinned{"SurrogateEscapesRefused", "y_string_accepted_surrogate_pair", false, "null"},
        Pinned{"RawUtf8InStringRefused", "y_string_utf8", false, "null"},
        Pinned{"RawDeleteInStringRefused", "y_string_with_del_character", false, "null"},
        Pinned{"EscapedNbspIsOneByte", "y_string_nbsp_uescaped", true, R"(["new\xA0line"])"},
        Pinned{"IntegralDoubleStoredAsInteger", "y_number_int_with_exp", true, "[200]"},
        Pinned{"UnsignedOverflowClampsToMax", "i_number_too_big_pos_int", true, "[18446744073709551615]"},
        Pinned{"NegativeOverflowClampsToMin", "i_number_very_big_negative_int", true, "[-9223372036854775808]"},
        Pinned{"HugeExponentIsDblMax", "i_number_huge_exp", true, "[d1.7976931348623157e+308]"},
        Pinned{"UnderflowIsUnsignedZero", "i_number_real_underflow", true, "[0]"},
        Pinned{"HundredThousandOpenBracketsFailCleanly", "n_structure_100000_opening_arrays", false, "null"}),
    [](const ::testing::TestParamInfo<Pinned>& info) { return std::string(info.param.why); });

}  // namespace
}  // namespace vq
