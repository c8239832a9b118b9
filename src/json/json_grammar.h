// Grammar steps shared by the reader's files; not for use outside json/.
#pragma once

#include <string>

#include "json/json_reader.h"

namespace vq::grammar {

inline constexpr int kNone = -1;

// The next character as 0..255, or kNone at the end of input: every test
// "next is X" fails at the end.
inline int next(JSONReader& reader) {
    if (reader.eof()) return kNone;
    return static_cast<unsigned char>(reader.peek());
}

inline bool nextIs(JSONReader& reader, char c) { return next(reader) == static_cast<unsigned char>(c); }

inline bool isWhitespace(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
inline bool isDigit(int c) { return c >= '0' && c <= '9'; }
inline bool isHexDigit(int c) {
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
inline int hexDigitValue(int c) {
    if (isDigit(c)) return c - '0';
    return (c | 0x20) - 'a' + 10;
}

inline void skipWhitespace(JSONReader& reader) {
    while (isWhitespace(next(reader))) reader.skip();
}

// One number: optional '-', then 0xHEX, or an integral part, optional
// fraction and exponent. Fails with a message on a malformed number, keeping
// what it consumed.
bool parseNumber(JSONReader& reader, JSONValue& value);

// The start of an object member: the key string, ':' and the whitespace after
// it. Fails when the key is not a string (with the string's message) or no
// ':' follows (without a message).
bool readPairHead(JSONReader& reader, std::string& key);

// One value of any kind at the current position (no leading whitespace).
bool parseValue(JSONReader& reader, JSONValue& value);

}  // namespace vq::grammar
