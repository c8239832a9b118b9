// The reader over a public collection of JSON parsing test files: nothing may
// crash or hang, shallow files read exactly as the directly recursive grammar
// reads them, and files where this reader's rules differ from standard JSON
// keep their outcome.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "json_test_support.h"
#include "reference_reader.h"
#include "small_stack.h"

namespace vq {
namespace {

namespace fs = std::filesystem;

const fs::path kCorpus = fs::path(VT_SOURCE_DIR) / ".." / "shared" / "conformance" / "json" / "test_parsing";

std::string readFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::size_t bracketDepth(const std::string& text) {
    std::size_t depth = 0;
    std::size_t deepest = 0;
    for (char c : text) {
        if (c == '[' || c == '{') deepest = std::max(deepest, ++depth);
        if ((c == ']' || c == '}') && depth > 0) --depth;
    }
    return deepest;
}

#define SKIP_WITHOUT_CORPUS()                                                                   \
    if (!fs::is_directory(kCorpus)) GTEST_SKIP() << "no JSON test corpus at " << kCorpus.string() \
                                                 << " (checkout without ../shared)"

TEST(JSONConformance, EveryFileReadsWithoutCrashAndAsTheRecursiveGrammar) {
    SKIP_WITHOUT_CORPUS();
    std::vector<fs::path> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(kCorpus)) {
        if (entry.path().extension() == ".json") files.push_back(entry.path());
    }
    ASSERT_GT(files.size(), 300u);
    std::size_t compared = 0;
    // The deepest files would overflow a small stack if the reader recursed.
    testing::runOnSmallStack([&] {
        for (const fs::path& path : files) {
            const std::string text = readFile(path);
            const testing::Parsed parsed = testing::parseText(text);
            if (!parsed.ok) {
                EXPECT_EQ(parsed.value.type(), JSONValue::TypeNull) << path.filename();
            }
            if (bracketDepth(text) > 600) continue;
            const testing::Parsed reference = testing::parseTextWith(
                text, false,
                [](JSONReader& reader, JSONValue& value, bool trailing) {
                    return testing::ReferenceReader(reader).parse(value, trailing);
                });
            EXPECT_EQ(parsed.ok, reference.ok) << path.filename();
            EXPECT_EQ(testing::dump(parsed.value), testing::dump(reference.value)) << path.filename();
            EXPECT_EQ(parsed.log, reference.log) << path.filename();
            ++compared;
        }
    }, 8 * 1024 * 1024);  // the recursive reference needs a normal stack for the 500-deep file
    EXPECT_GT(compared, 300u);
}

struct Pinned {
    const char* why;  // becomes the test name
    const char* file;
    bool ok;
    const char* value;
};

class JSONConformancePinned : public ::testing::TestWithParam<Pinned> {};

TEST_P(JSONConformancePinned, KeepsItsOutcome) {
    SKIP_WITHOUT_CORPUS();
    const fs::path path = kCorpus / (std::string(GetParam().file) + ".json");
    ASSERT_TRUE(fs::exists(path)) << path;
    const testing::Parsed parsed = testing::parseText(readFile(path));
    EXPECT_EQ(parsed.ok, GetParam().ok);
    EXPECT_EQ(testing::dump(parsed.value), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    DiffersFromStandardJSON, JSONConformancePinned,
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
