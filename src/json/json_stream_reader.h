// JSONReader over a caller's input stream, counting lines and columns for its
// message log.
#pragma once

#include <cstdint>
#include <ios>
#include <istream>
#include <sstream>
#include <streambuf>
#include <string>

#include "json/json_reader.h"

namespace vq {

class JSONStreamReader final : public JSONReader {
public:
    // The stream is borrowed and must outlive the reader. Reading consumes
    // exactly the characters the grammar looked past, so what follows the
    // value stays in the stream. (A stream whose exception mask includes
    // eofbit throws at the end of input, as reading it directly would.)
    explicit JSONStreamReader(std::istream& input);

    // Defined here so that the grammar, instantiated for this final class,
    // inlines them.
    char peek() override {
        // Like std::istream::peek: looking past the end sets the end-of-file state.
        const int c = buffer_ != nullptr ? buffer_->sgetc() : std::char_traits<char>::eof();
        if (c == std::char_traits<char>::eof()) input_.setstate(std::ios_base::eofbit);
        return static_cast<char>(c);
    }
    char get() override {
        const char c = peek();
        if (c == '\n') {
            ++line_;
            column_ = 0;
        } else {
            ++column_;
        }
        if (buffer_ != nullptr) buffer_->sbumpc();
        return c;
    }
    void skip() override { get(); }
    bool eof() override { return input_.eof(); }
    // Appends "Error: <message>\nat line <l> column <c>\n" to the log.
    void error(const char* message) override;

    // Everything error() recorded so far.
    std::string messages() const { return log_.str(); }

private:
    std::istream& input_;
    // Read directly: a sentry per character would dominate the reading time.
    // Null when the stream was not readable at construction.
    std::streambuf* buffer_;
    // Line feeds consumed, and characters consumed since the last one.
    uint32_t line_ = 0;
    uint32_t column_ = 0;
    std::ostringstream log_;
};

// Reads the whole file at `path` as one JSON value. False when it cannot be
// opened, read or parsed; `problem` then holds " : <why>" where the reason is
// known (a directory opens like a file and then throws from its first read).
bool ReadJSONFile(const std::string& path, JSONValue& value, std::string& problem);

}  // namespace vq
