#include "rcf/profile/text_format.h"

#include <gtest/gtest.h>

namespace vantric::rcf {
namespace {

TEST(TextFormat, MicrosecondsHaveExactlyThreeDecimals) {
    const std::pair<uint64_t, const char*> cases[] = {
        {0, "0.000"},
        {999, "0.999"},
        {1000, "1.000"},
        {1001, "1.001"},
        {uint64_t{1} << 53, "9007199254740.992"},
        {~uint64_t{0}, "18446744073709551.615"},
    };
    for (auto [ns, text] : cases) EXPECT_EQ(MicrosText(ns), text) << ns;
}

TEST(TextFormat, JsonStringsEscapeAndRepairUtf8) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain", "\"plain\""},
        {"a\"b\\c", "\"a\\\"b\\\\c\""},
        {"\n\r\t\x01\x1f\x7f", "\"\\n\\r\\t\\u0001\\u001f\\u007f\""},
        {"caf\xC3\xA9", "\"caf\xC3\xA9\""},                      // valid two-byte
        {"\xFF", "\"\xEF\xBF\xBD\""},                            // invalid lead
        {"\xC3", "\"\xEF\xBF\xBD\""},                            // cut short
        {"\xC0\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},            // overlong
        {"\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},  // surrogate
        {"\xF0\x9F\x98\x80", "\"\xF0\x9F\x98\x80\""},            // four-byte
        {std::string("a\0b", 3), "\"a\\u0000b\""},
    };
    for (const auto& [in, out] : cases) {
        std::string json;
        AppendJsonString(json, in);
        EXPECT_EQ(json, out) << in;
    }
}

TEST(TextFormat, FoldedNamesHoldNoSeparatorOrLineEnd) {
    EXPECT_EQ(FoldedName("a;b\nc\rd"), "a:b c d");
    EXPECT_EQ(FoldedName("x\xFF"), "x\xEF\xBF\xBD");
}

TEST(TextFormat, UnresolvedLocationsShowModuleAndAddress) {
    Location l;
    l.module = "/usr/lib/libc.so.6";
    l.address = 0xaf37c;
    EXPECT_EQ(LocationName(l), "libc.so.6+0xaf37c");
    l.function = "memcpy";
    EXPECT_EQ(LocationName(l), "memcpy");
}

}  // namespace
}  // namespace vantric::rcf
