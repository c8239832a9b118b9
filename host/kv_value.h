// A field value as tests and the simulation program write it: an integer,
// a double or a text, converted to the field's record format on emission.
#pragma once

#include <concepts>
#include <cstdint>
#include <string>
#include <type_traits>

namespace kvhost {

class Value {
public:
    enum class Kind { Integer, Floating, Text };

    template <std::integral T>
    Value(T value)  // NOLINT(google-explicit-constructor): brace lists in Emit
        : kind_(Kind::Integer), bits_(static_cast<uint64_t>(static_cast<int64_t>(value))) {
        if constexpr (std::is_unsigned_v<T>) bits_ = static_cast<uint64_t>(value);
    }
    Value(double value) : kind_(Kind::Floating), floating_(value) {}  // NOLINT
    Value(const char* text) : kind_(Kind::Text), text_(text != nullptr ? text : "") {}  // NOLINT
    Value(const std::string& text) : kind_(Kind::Text), text_(text.c_str()) {}  // NOLINT

    Kind kind() const { return kind_; }
    uint64_t bits() const { return bits_; }
    double floating() const { return floating_; }
    const char* text() const { return text_; }

private:
    Kind kind_;
    uint64_t bits_ = 0;
    double floating_ = 0.0;
    const char* text_ = nullptr;
};

struct NamedValue {
    const char* name;
    Value value;
};

}  // namespace kvhost
