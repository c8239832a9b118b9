#include "json/json_reader.h"

#include <utility>

#include "json/json_grammar.h"
#include "json/json_stream_reader.h"
#include "json/json_value_machine.h"

namespace vq {

namespace {

template <typename R>
bool parseDocument(R& reader, JSONValue& value, bool allowTrailing) {
    value = JSONValue();  // also what an out-of-memory failure leaves behind
    grammar::skipWhitespace(reader);
    JSONValue parsed;
    if (!grammar::parseValue(reader, parsed)) return false;
    value = std::move(parsed);
    if (!allowTrailing) {
        grammar::skipWhitespace(reader);
        if (!reader.eof()) reader.error("Non-whitespace characters found after object");
    }
    return true;
}

}  // namespace

char JSONReader::get() {
    const char c = peek();
    skip();
    return c;
}

bool JSONReader::readString(std::string& out) { return grammar::readStringBody(*this, out); }

bool JSONReader::readPair(std::string& key, JSONValue& value) {
    if (!grammar::readPairHead(*this, key)) return false;
    if (!grammar::parseValue(*this, value)) {
        error("Invalid pair");
        return false;
    }
    return true;
}

bool parseJSON(JSONReader& reader, JSONValue& value, bool allowTrailing) {
    // The stream reader (final) gets the grammar with its character steps
    // inlined; any other source goes through the virtual steps.
    if (auto* stream = dynamic_cast<JSONStreamReader*>(&reader)) {
        return parseDocument(*stream, value, allowTrailing);
    }
    return parseDocument(reader, value, allowTrailing);
}

}  // namespace vq
