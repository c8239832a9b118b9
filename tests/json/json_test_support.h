// Helpers shared by the JSON tests and fuzz target: a compact, type-revealing
// rendering of a value, a one-call parse of a text, and a small-stack thread.
#pragma once

#include <pthread.h>

#include <charconv>
#include <cstdio>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>

#include "json/json_reader.h"
#include "json/json_stream_reader.h"
#include "json/json_value.h"

namespace vq::testing {

// Integers print plainly, doubles with a 'd' prefix and 17 digits, strings
// quoted with bytes outside 0x20..0x7E (and '"', '\') as \xHH.
inline std::string dump(const JSONValue& value) {
    std::string out;
    switch (value.type()) {
        case JSONValue::TypeNull:
        case JSONValue::TypeTrue:
        case JSONValue::TypeFalse: return JSONValue::typeName(value.type());
        case JSONValue::TypeUInt: return std::to_string(value.asUInt64());
        case JSONValue::TypeInt: return std::to_string(value.asInt64());
        case JSONValue::TypeDouble: {  // to_chars: never the C locale's decimal comma
            char text[40] = "d";
            return {text, std::to_chars(text + 1, text + sizeof text, value.asDouble(), std::chars_format::general, 17).ptr};
        }
        case JSONValue::TypeString:
            for (unsigned char c : value.asString()) {
                char hex[8] = {static_cast<char>(c), '\0'};
                if (c < 0x20 || c > 0x7E || c == '"' || c == '\\') std::snprintf(hex, sizeof hex, "\\x%02X", c);
                out += hex;
            }
            return "\"" + out + "\"";
        case JSONValue::TypeArray:
            for (std::size_t i = 0; i < value.size(); ++i) out += (i ? "," : "") + dump(value.at(i));
            return "[" + out + "]";
        case JSONValue::TypeObject:
            for (const auto& [key, member] : value.members()) out += (out.empty() ? "" : ",") + dump(JSONValue(std::string(key))) + ":" + dump(member);
            return "{" + out + "}";
    }
    return "invalid";
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

// Runs work on a thread with a small stack, as a host's simulation thread may
// have: code that recursed per nesting level would overflow it.
inline void runOnSmallStack(const std::function<void()>& work) {
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, 512 * 1024);
    const auto run = [](void* argument) -> void* { return (*static_cast<const std::function<void()>*>(argument))(), nullptr; };
    pthread_t thread;
    const int started = pthread_create(&thread, &attributes, run, const_cast<std::function<void()>*>(&work));
    pthread_attr_destroy(&attributes);
    if (started != 0 || pthread_join(thread, nullptr) != 0) throw std::runtime_error("cannot run a thread");
}

}  // namespace vq::testing
