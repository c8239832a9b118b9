// The reader's grammar steps below the value level, for use inside json/ and
// its tests only.
//
// Every step is a template over the character source R: instantiated for the
// abstract JSONReader it honours any source's overrides, and instantiated for
// the final JSONStreamReader its per-character calls inline to a few loads,
// which is where reading time goes.
#pragma once

#include <cstdint>
#include <string>

#include "json/json_number.h"
#include "json/json_reader.h"

namespace vq::grammar {

inline constexpr int kNone = -1;

// The next character as 0..255, or kNone at the end of input: every test
// "next is X" fails at the end.
template <typename R>
int next(R& reader) {
    if (reader.eof()) return kNone;
    return static_cast<unsigned char>(reader.peek());
}

template <typename R>
bool nextIs(R& reader, char c) {
    return next(reader) == static_cast<unsigned char>(c);
}

inline bool isWhitespace(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
inline bool isDigit(int c) { return c >= '0' && c <= '9'; }
inline bool isHexDigit(int c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
inline int hexDigitValue(int c) { return isDigit(c) ? c - '0' : (c | 0x20) - 'a' + 10; }

template <typename R>
void skipWhitespace(R& reader) {
    while (isWhitespace(next(reader))) reader.skip();
}

// One character of a string's body, or kNone where the body ends or cannot go
// on: a closing quote, an unknown or malformed escape, or a raw character
// outside 0x20..0x7E (control characters, bytes of UTF-8 text, the end).
template <typename R>
int readStringChar(R& reader) {
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
            if (!isHexDigit(digit)) {
                reader.error("\\u must be followed by 4 hex digits in the range 0000-00FF");
                return kNone;
            }
            reader.skip();
            code = code * 16 + static_cast<unsigned>(hexDigitValue(digit));
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

// A quoted string, appended to out.
template <typename R>
bool readString(R& reader, std::string& out) {
    if (!nextIs(reader, '"')) {
        reader.error("Invalid string");
        return false;
    }
    reader.skip();
    if (nextIs(reader, '"')) {
        reader.skip();
        return true;
    }
    bool readAny = false;
    for (int c = readStringChar(reader); c != kNone; c = readStringChar(reader)) {
        out.push_back(static_cast<char>(c));
        readAny = true;
    }
    // A bad escape after some text ends the body early; the string still
    // succeeds when a quote happens to follow.
    if (!readAny || !nextIs(reader, '"')) {
        reader.error("Invalid string");
        return false;
    }
    reader.skip();
    return true;
}

// One number: optional '-', then 0xHEX, or an integral part, optional
// fraction and exponent. Fails with a message on a malformed number, keeping
// what it consumed.
template <typename R>
bool parseNumber(R& reader, JSONValue& value) {
    std::string text;  // '-', digits, fraction and exponent as written
    auto appendDigits = [&reader, &text] {
        const std::size_t before = text.size();
        while (isDigit(next(reader))) text.push_back(reader.get());
        return text.size() > before;
    };

    const bool negative = nextIs(reader, '-');
    if (negative) {
        reader.skip();
        text.push_back('-');
    }
    if (nextIs(reader, '0')) {
        reader.skip();
        const int marker = next(reader);
        if (marker == 'x' || marker == 'X') {
            reader.skip();
            if (negative) {
                reader.error("Negative hexadecimal number");
                return false;
            }
            if (isHexDigit(next(reader))) {
                // No overflow check: more than 16 digits wrap modulo 2^64.
                uint64_t hex = 0;
                for (int digit = next(reader); isHexDigit(digit); digit = next(reader)) {
                    reader.skip();
                    hex = hex * 16 + static_cast<uint64_t>(hexDigitValue(digit));
                }
                value = JSONValue(hex);
                return true;
            }
            // "0x" without a hex digit reads on as a plain 0, the x consumed.
        }
        const int after = next(reader);
        if (after >= '1' && after <= '9') {
            reader.skip();
            reader.error("Invalid non-zero number with leading zero");
            return false;
        }
        text.push_back('0');
    } else if (!appendDigits()) {
        reader.error("Number has no integral part");
        return false;
    }

    bool integral = true;
    if (nextIs(reader, '.')) {
        text.push_back(reader.get());
        if (!appendDigits()) {
            reader.error("Number has a decimal point but no fractional digits");
            return false;
        }
        integral = false;
    }
    const int e = next(reader);
    if (e == 'e' || e == 'E') {
        text.push_back(reader.get());
        const int sign = next(reader);
        if (sign == '+' || sign == '-') text.push_back(reader.get());
        if (!appendDigits()) {
            reader.error("Number has exponent with no digits");
            return false;
        }
        integral = false;
    }
    value = convertNumber(text, integral);
    return true;
}

// The start of an object member: the key string, ':' and the whitespace after
// it. Fails when the key is not a string (with the string's message) or no
// ':' follows (without a message).
template <typename R>
bool readPairHead(R& reader, std::string& key) {
    if (!readString(reader, key)) return false;
    skipWhitespace(reader);
    if (!nextIs(reader, ':')) return false;
    reader.skip();
    skipWhitespace(reader);
    return true;
}

}  // namespace vq::grammar
