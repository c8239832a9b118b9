// The plug-in's one exception type, thrown only while the instance is built
// and configured; the factory catches it, so it never reaches the host. Its
// message is assembled by streaming into it.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace vantric {

class VantricExceptionT : public std::exception {
public:
    VantricExceptionT() = default;
    explicit VantricExceptionT(std::string message) : message_(std::move(message)) {}

    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& message() const noexcept { return message_; }

    VantricExceptionT& operator<<(std::string_view text) {
        message_ += text;
        return *this;
    }
    VantricExceptionT& operator<<(const char* text) {
        message_ += text;
        return *this;
    }
    VantricExceptionT& operator<<(uint64_t number) {
        message_ += std::to_string(number);
        return *this;
    }

private:
    std::string message_;
};

}  // namespace vantric
