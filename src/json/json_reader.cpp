#include "json/json_reader.h"

#include <utility>

#include "json/json_grammar.h"
#include "json/json_stream_reader.h"
#include "json/json_value_machine.h"

namespace vq {

namespace {

template <typename R>
bool parseDocument(R& reader, JSONValue& value) {
    value = JSONValue();  // also what an out-of-memory failure leaves behind
    grammar::skipWhitespace(reader);
    JSONValue parsed;
    if (!grammar::parseValue(reader, parsed)) return false;
    value = std::move(parsed);
    grammar::skipWhitespace(reader);
    if (!reader.eof()) reader.error("Non-whitespace characters found after object");
    return true;
}

}  // namespace

char JSONReader::get() {
    const char c = peek();
    skip();
    return c;
}

bool parseJSON(JSONReader& reader, JSONValue& value) {
    // The stream reader (final) gets the grammar with its character steps
    // inlined; any other source goes through the virtual steps.
    if (auto* stream = dynamic_cast<JSONStreamReader*>(&reader)) {
        return parseDocument(*stream, value);
    }
    return parseDocument(reader, value);
}

}  // namespace vq
