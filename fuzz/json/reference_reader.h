// The value grammar written the direct way, one recursive call per nesting
// level and per member or element. The reader proper runs the same grammar
// as a state machine; the fuzz target compares the two (flag, value and every
// logged message). Only for shallow inputs: this recursion is what the reader
// avoids.
#pragma once

#include <string>
#include <utility>

#include "json/json_grammar.h"
#include "json/json_reader.h"

namespace vq::testing {

class ReferenceReader {
public:
    explicit ReferenceReader(JSONReader& reader) : r_(reader) {}

    bool parse(JSONValue& value) {
        grammar::skipWhitespace(r_);
        if (!parseValue(value)) {
            value = JSONValue();
            return false;
        }
        grammar::skipWhitespace(r_);
        if (!r_.eof()) r_.error("Non-whitespace characters found after object");
        return true;
    }

private:
    bool next(char c) { return grammar::nextIs(r_, c); }
    void ws() { grammar::skipWhitespace(r_); }

    bool literal(char first, const char* rest) {
        if (!next(first)) return false;
        r_.skip();
        for (; *rest; ++rest) {
            if (!next(*rest)) {
                r_.error("Invalid value");
                return false;
            }
            r_.skip();
        }
        return true;
    }

    bool parseValue(JSONValue& value) {
        if (literal('n', "ull")) return (value = JSONValue(), true);
        if (literal('t', "rue")) return (value = JSONValue(true), true);
        if (literal('f', "alse")) return (value = JSONValue(false), true);
        if (grammar::parseNumber(r_, value)) return true;
        std::string text;
        if (grammar::readString(r_, text)) return (value = JSONValue(std::move(text)), true);
        if (next('{')) {
            r_.skip();
            ws();
            if (next('}')) {
                r_.skip();
                return (value = JSONValue::makeObject(), true);
            }
            JSONValue object = JSONValue::makeObject();
            if (parseMembers(object)) {
                ws();
                if (next('}')) {
                    r_.skip();
                    return (value = object, true);
                }
            }
        }
        if (next('[')) {
            r_.skip();
            ws();
            if (next(']')) {
                r_.skip();
                return (value = JSONValue::makeArray(), true);
            }
            JSONValue array = JSONValue::makeArray();
            if (parseElements(array)) {
                ws();
                if (next(']')) {
                    r_.skip();
                    return (value = array, true);
                }
            }
        }
        return false;
    }

    bool readPair(std::string& key, JSONValue& value) {
        if (!grammar::readString(r_, key)) return false;
        ws();
        if (!next(':')) return false;
        r_.skip();
        ws();
        if (!parseValue(value)) {
            r_.error("Invalid pair");
            return false;
        }
        return true;
    }

    bool parseMembers(JSONValue& object) {
        std::string key;
        JSONValue value;
        if (!readPair(key, value)) return false;
        object[key] = value;
        ws();
        if (next(',')) {
            r_.skip();
            ws();
            if (!parseMembers(object)) {
                r_.error("Invalid object, expecting another member after ','");
                return false;
            }
        }
        return true;
    }

    bool parseElements(JSONValue& array) {
        JSONValue value;
        if (!parseValue(value)) return false;
        array.append(std::move(value));
        ws();
        if (next(',')) {
            r_.skip();
            ws();
            parseElements(array);
        }
        return true;
    }

    JSONReader& r_;
};

}  // namespace vq::testing
