// JSON text reader: turns the characters of a source into one JSONValue.
//
// The grammar is JSON with a few extensions of this system's own files:
// hexadecimal integers (0x1F), \u escapes limited to one byte (0000-00FF),
// integral floating numbers stored as integers, and a trailing comma before
// the ']' of an array. Malformed text never throws: parseJSON returns false,
// leaves the value null, and the source's error() has received messages with
// line and column.
//
// Each value tries its alternatives in a fixed order (null, true, false,
// number, string, object, array); an abandoned alternative keeps what it
// consumed and may leave a message, so the log holds diagnostics of every
// attempt, and only the result flag tells success.
//
// Nesting is unlimited: objects and arrays are read with a heap stack of open
// containers, never by recursion on the machine stack, so a million nested
// brackets are read (or refused) like any other text. Memory grows with the
// input instead: about a hundred bytes per open level, and the stream
// reader's log about ninety bytes per '{' or '[' (each logs its abandoned
// number and string alternatives).
#pragma once

#include <string>

#include "json/json_value.h"

namespace vq {

// Character source of the reader.
class JSONReader {
public:
    virtual ~JSONReader() = default;

    // The next character, not consumed. Only meaningful while !eof().
    virtual char peek() = 0;
    // Consumes the next character.
    virtual void skip() = 0;
    // Consumes the next character and returns it.
    virtual char get();
    // True once the source has reached the end of its input.
    virtual bool eof() = 0;
    // Records a diagnostic message.
    virtual void error(const char* message) = 0;

protected:
    JSONReader() = default;
    JSONReader(const JSONReader&) = default;
    JSONReader& operator=(const JSONReader&) = default;
};

// Reads one JSON value from the reader into value. Text after the value
// (other than whitespace) is reported through error() but the result stays a
// success. On failure value is null.
bool parseJSON(JSONReader& reader, JSONValue& value);

}  // namespace vq
