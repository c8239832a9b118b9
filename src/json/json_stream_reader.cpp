#include "json/json_stream_reader.h"

#include <ios>
#include <locale>
#include <string>

namespace vq {

namespace {

constexpr int kEnd = std::char_traits<char>::eof();

}  // namespace

JSONStreamReader::JSONStreamReader(std::istream& input)
    : input_(input), buffer_(input.good() ? input.rdbuf() : nullptr) {
    // Line and column numbers print the same whatever the process locale.
    log_.imbue(std::locale::classic());
}

char JSONStreamReader::peek() {
    // Like std::istream::peek: looking past the end sets the end-of-file state.
    const int next = buffer_ != nullptr ? buffer_->sgetc() : kEnd;
    if (next == kEnd) {
        input_.setstate(std::ios_base::eofbit);
    }
    return static_cast<char>(next);
}

char JSONStreamReader::get() {
    const char next = peek();
    if (next == '\n') {
        ++line_;
        column_ = 0;
    } else {
        ++column_;
    }
    if (buffer_ != nullptr) buffer_->sbumpc();
    return next;
}

void JSONStreamReader::skip() { get(); }

bool JSONStreamReader::eof() { return input_.eof(); }

void JSONStreamReader::error(const char* message) {
    log_ << "Error: " << message << "\nat line " << line_ << " column " << column_ << '\n';
}

}  // namespace vq
