#include "json/json_reader.h"

#include <utility>

#include "json/json_grammar.h"

namespace vq {

using grammar::kNone;
using grammar::next;
using grammar::nextIs;

namespace {

// One character of a string's body, or kNone where the body ends or cannot go
// on: a closing quote, an unknown or malformed escape, or a raw character
// outside 0x20..0x7E (control characters, bytes of UTF-8 text, the end).
int readStringChar(JSONReader& reader) {
    int c = next(reader);
    if (c == '"') return kNone;
    if (c == '\\') {
        reader.skip();
        c = next(reader);
        switch (c) {
            case '"':
            case '\\':
            case '/': reader.skip(); return c;
            case 'b': reader.skip(); return 0x08;
            case 'f': reader.skip(); return 0x0C;
            case 'n': reader.skip(); return 0x0A;
            case 'r': reader.skip(); return 0x0D;
            case 't': reader.skip(); return 0x09;
            case 'u': break;
            default: return kNone;
        }
        reader.skip();
        // Strings hold bytes, so an escape names exactly one byte.
        unsigned code = 0;
        for (int i = 0; i < 4; ++i) {
            const int digit = next(reader);
            if (!grammar::isHexDigit(digit)) {
                reader.error("\\u must be followed by 4 hex digits in the range 0000-00FF");
                return kNone;
            }
            reader.skip();
            code = code * 16 + static_cast<unsigned>(grammar::hexDigitValue(digit));
        }
        if (code >= 0x100) {
            reader.error("\\u must be followed by 4 hex digits in the range 0000-00FF. Value out of range");
            return kNone;
        }
        return static_cast<int>(code);
    }
    if (c >= 0x20 && c <= 0x7E) {
        reader.skip();
        return c;
    }
    return kNone;
}

}  // namespace

char JSONReader::get() {
    const char c = peek();
    skip();
    return c;
}

bool JSONReader::readString(std::string& out) {
    if (!nextIs(*this, '"')) {
        error("Invalid string");
        return false;
    }
    skip();
    if (nextIs(*this, '"')) {
        skip();
        return true;
    }
    bool readAny = false;
    for (int c = readStringChar(*this); c != kNone; c = readStringChar(*this)) {
        out.push_back(static_cast<char>(c));
        readAny = true;
    }
    // A bad escape after some text ends the body early; the string still
    // succeeds when a quote happens to follow.
    if (!readAny || !nextIs(*this, '"')) {
        error("Invalid string");
        return false;
    }
    skip();
    return true;
}

bool JSONReader::readPair(std::string& key, JSONValue& value) {
    if (!grammar::readPairHead(*this, key)) return false;
    if (!grammar::parseValue(*this, value)) {
        error("Invalid pair");
        return false;
    }
    return true;
}

bool grammar::readPairHead(JSONReader& reader, std::string& key) {
    if (!reader.readString(key)) return false;
    skipWhitespace(reader);
    if (!nextIs(reader, ':')) return false;
    reader.skip();
    skipWhitespace(reader);
    return true;
}

bool parseJSON(JSONReader& reader, JSONValue& value, bool allowTrailing) {
    grammar::skipWhitespace(reader);
    JSONValue parsed;
    if (!grammar::parseValue(reader, parsed)) {
        value = JSONValue();
        return false;
    }
    value = std::move(parsed);
    if (!allowTrailing) {
        grammar::skipWhitespace(reader);
        if (!reader.eof()) reader.error("Non-whitespace characters found after object");
    }
    return true;
}

}  // namespace vq
