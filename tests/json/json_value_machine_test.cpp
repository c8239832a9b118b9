// The reader's state machine against the directly recursive grammar, on
// random texts built from the grammar's own pieces: the flag, the value, the
// whole log and what is left unread must agree.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "json_test_support.h"
#include "reference_reader.h"

namespace vq {
namespace {

testing::Parsed parseWithReference(const std::string& text, bool allowTrailing) {
    return testing::parseTextWith(text, allowTrailing, [](JSONReader& reader, JSONValue& value, bool trailing) {
        return testing::ReferenceReader(reader).parse(value, trailing);
    });
}

void expectSameAsReference(const std::string& text, bool allowTrailing = false) {
    const testing::Parsed machine = testing::parseText(text, allowTrailing);
    const testing::Parsed reference = parseWithReference(text, allowTrailing);
    EXPECT_EQ(machine.ok, reference.ok) << text;
    EXPECT_EQ(testing::dump(machine.value), testing::dump(reference.value)) << text;
    EXPECT_EQ(machine.log, reference.log) << text;
    EXPECT_EQ(machine.unread, reference.unread) << text;
}

TEST(JSONValueMachine, HandPickedFallThroughsMatchTheRecursiveGrammar) {
    for (const char* text : {
             "{[1]}", "[{[2]}]", "[{[2]]", "{\"a\":{[1]}}", "{\"a\":1,\"b\":{\"c\":}}", "[[1,],[2,,]]",
             "{\"a\":[{\"b\":1,}]}", "[{\"a\" 1}]", "[ntrue,nfalse,n1]", "{\"a\":1,\"a\":[1,{\"a\":2}]}",
             "[1,{\"x\":[,]}]", "[\"a\\u01\",2]", "{\"k\":\"v\\q\"}", "[0x,0x1,-0x1]", "[[[[[[]]]]]]",
         }) {
        expectSameAsReference(text);
        expectSameAsReference(text, /*allowTrailing=*/true);
    }
}

TEST(JSONValueMachine, RandomTextsMatchTheRecursiveGrammar) {
    const std::vector<std::string> pieces = {
        "{", "}", "[", "]", ",", ":", " ", "\n", "\"k\"", "\"v\"", "\"", "\\", "\\u00e9", "\\u01", "1", "0",
        "-", ".", "e", "0x1f", "x", "null", "nul", "true", "tru", "false", "n", "2.5", "1e400", "-0", "\t",
        "\"a\":", "\"b\":1", "[1,", "{\"c\":[", "]}", "}]", "q",
    };
    std::mt19937 random(20261205);
    std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
    std::uniform_int_distribution<int> length(1, 24);
    int successes = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        for (int n = length(random); n > 0; --n) text += pieces[pick(random)];
        expectSameAsReference(text, round % 7 == 0);
        if (HasFailure()) break;  // one counter-example is enough to read
        successes += testing::parseText(text).ok;
    }
    // Both outcomes must be well represented for the comparison to mean much.
    EXPECT_GT(successes, 2000);
    EXPECT_LT(successes, 18000);
}

}  // namespace
}  // namespace vq
