// Helpers shared by the JSON tests and fuzz target: a compact, type-revealing
// rendering of a value, a one-call parse of a text, and a small-stack thread.
#pragma once

#include <charconv>
#include <cstdio>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "json/json_reader.h"
#include "json/json_stream_reader.h"
#include "json/json_value.h"

namespace vq::testing {

// Integers print plainly, doubles with a 'd' prefix and 17 digits, strings
// quoted with bytes outside 0x20..0x7E (and '"', '\') as \xHH. Containers are
// walked with an explicit stack, so any depth the reader builds can be shown.
inline void dumpScalar(const JSONValue& value, std::string& out) {
    switch (value.type()) {
        case JSONValue::TypeUInt: out += std::to_string(value.asUInt64()); return;
        case JSONValue::TypeInt: out += std::to_string(value.asInt64()); return;
        case JSONValue::TypeDouble: {  // to_chars: never the C locale's decimal comma
            char text[40] = "d";
            out.append(text, std::to_chars(text + 1, text + sizeof text, value.asDouble(),
                                           std::chars_format::general, 17).ptr);
            return;
        }
        case JSONValue::TypeString:
            out += '"';
            for (unsigned char c : value.asString()) {
                char hex[8] = {static_cast<char>(c), '\0'};
                if (c < 0x20 || c > 0x7E || c == '"' || c == '\\') std::snprintf(hex, sizeof hex, "\\x%02X", c);
                out += hex;
            }
            out += '"';
            return;
        default: out += JSONValue::typeName(value.type()); return;
    }
}

inline std::string dump(const JSONValue& root) {
    struct Open {
        const JSONValue* value;
        std::size_t next;                          // arrays
        JSONValue::Object::const_iterator member;  // objects
    };
    std::string out;
    std::vector<Open> open;
    auto enter = [&](const JSONValue& value) {
        const bool array = value.type() == JSONValue::TypeArray;
        if (!array && value.type() != JSONValue::TypeObject) return dumpScalar(value, out);
        out += array ? '[' : '{';
        open.push_back({&value, 0, array ? JSONValue::Object::const_iterator{} : value.members().begin()});
    };
    enter(root);
    while (!open.empty()) {
        Open& top = open.back();
        const JSONValue& value = *top.value;
        const bool array = value.type() == JSONValue::TypeArray;
        if (array ? top.next == value.size() : top.member == value.members().end()) {
            out += array ? ']' : '}';
            open.pop_back();
        } else if (array) {
            out += top.next != 0 ? "," : "";
            enter(value.at(top.next++));
        } else {
            out += top.member != value.members().begin() ? "," : "";
            const auto& [key, member] = *top.member++;
            dumpScalar(JSONValue(std::string(key)), out);
            out += ':';
            enter(member);
        }
    }
    return out;
}

struct Parsed {
    bool ok = false;
    JSONValue value;
    std::string log;
};

// Parses text from a string stream with parseJSON, or with another parse
// function of the same shape.
using ParseFunction = std::function<bool(JSONReader&, JSONValue&)>;
inline Parsed parseText(const std::string& text, const ParseFunction& parse = parseJSON) {
    std::istringstream input(text);
    JSONStreamReader reader(input);
    Parsed parsed;
    parsed.value = JSONValue("sentinel");  // must be replaced either way
    parsed.ok = parse(reader, parsed.value);
    parsed.log = reader.messages();
    return parsed;
}

}  // namespace vq::testing
