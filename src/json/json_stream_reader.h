// JSONReader over a caller's input stream, counting lines and columns for its
// message log.
#pragma once

#include <cstdint>
#include <istream>
#include <sstream>
#include <streambuf>
#include <string>

#include "json/json_reader.h"

namespace vq {

class JSONStreamReader : public JSONReader {
public:
    // The stream is borrowed and must outlive the reader.
    explicit JSONStreamReader(std::istream& input);

    char peek() override;
    void skip() override;
    char get() override;
    bool eof() override;
    // Appends "Error: <message>\nat line <l> column <c>\n" to the log.
    void error(const char* message) override;

    // Lines count line feeds consumed; columns count characters consumed
    // since the last line feed; both from 0.
    uint32_t line() const { return line_; }
    uint32_t column() const { return column_; }
    // Everything error() recorded so far.
    std::string messages() const { return log_.str(); }

private:
    std::istream& input_;
    // Read directly: a sentry per character would dominate the reading time.
    // Null when the stream was not readable at construction.
    std::streambuf* buffer_;
    uint32_t line_ = 0;
    uint32_t column_ = 0;
    std::ostringstream log_;
};

}  // namespace vq
