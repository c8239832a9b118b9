// An output file written in large pieces, plain or gzip-compressed (zlib).
// A failed write is remembered and reported once, by close().
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace vantric::rcf {

class OutputStream {
public:
    OutputStream() = default;
    ~OutputStream();
    OutputStream(const OutputStream&) = delete;
    OutputStream& operator=(const OutputStream&) = delete;

    bool open(const std::string& path, bool gzip);
    void write(std::string_view bytes) {
        buffer_.append(bytes);
        if (buffer_.size() >= kChunk) flush();
    }
    // True when every byte reached the file; else error() says why.
    bool close();
    const std::string& error() const { return error_; }

private:
    static constexpr size_t kChunk = 1 << 16;
    void flush();

    std::string path_;
    std::string buffer_;
    std::string error_;
    std::FILE* plain_ = nullptr;
    void* gzip_ = nullptr;  // gzFile
};

}  // namespace vantric::rcf
