// Fuzz target of the JSON reader. Arbitrary bytes must never crash; the
// stream reader (grammar inlined for its final class) and a plain source
// (grammar through the virtual steps) must agree on flag, value and log; a
// copy of the value must render the same; and the result must be the
// hand-unrolled reference grammar's (reference_reader.h), at any depth.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "json/json_test_support.h"
#include "reference_reader.h"

namespace {

class PlainSource : public vq::JSONReader {
public:
    explicit PlainSource(const std::string& text) : text_(text) {}
    char peek() override { return text_[position_]; }
    void skip() override {
        if (text_[position_++] == '\n') {
            ++line_;
            column_ = 0;
        } else {
            ++column_;
        }
    }
    bool eof() override { return position_ >= text_.size(); }
    void error(const char* message) override {
        log += "Error: " + std::string(message) + "\nat line " + std::to_string(line_) +
               " column " + std::to_string(column_) + "\n";
    }
    std::string log;

private:
    const std::string& text_;
    std::size_t position_ = 0;
    unsigned line_ = 0;
    unsigned column_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const vq::testing::Parsed stream = vq::testing::parseText(text);
    if (!stream.ok && stream.value.type() != vq::JSONValue::TypeNull) std::abort();

    PlainSource source(text);
    vq::JSONValue plain;
    const bool plainOk = vq::parseJSON(source, plain);
    if (plainOk != stream.ok || source.log != stream.log ||
        vq::testing::dump(plain) != vq::testing::dump(stream.value)) {
        std::abort();
    }

    const vq::JSONValue copy = stream.value;
    if (vq::testing::dump(copy) != vq::testing::dump(stream.value)) std::abort();

    const vq::testing::Parsed reference =
        vq::testing::parseText(text, [size](vq::JSONReader& reader, vq::JSONValue& value) {
            return vq::testing::ReferenceReader(reader, size).parse(value);
        });
    if (reference.ok != stream.ok || reference.log != stream.log ||
        vq::testing::dump(reference.value) != vq::testing::dump(stream.value)) {
        std::abort();
    }
    return 0;
}
