#include "rcf/profile/output_stream.h"

#include <zlib.h>

#include <cerrno>
#include <cstring>

namespace vantric::rcf {

OutputStream::~OutputStream() { close(); }

bool OutputStream::open(const std::string& path, bool gzip) {
    path_ = path;
    if (gzip) {
        gzip_ = gzopen(path.c_str(), "wb9");
    } else {
        plain_ = std::fopen(path.c_str(), "wb");
    }
    if (gzip_ == nullptr && plain_ == nullptr) {
        error_ = path + ": cannot create the file: " + std::strerror(errno);
        return false;
    }
    return true;
}

void OutputStream::flush() {
    if (buffer_.empty()) return;
    if (error_.empty()) {
        bool ok = true;
        if (gzip_ != nullptr) {
            ok = gzwrite(static_cast<gzFile>(gzip_), buffer_.data(),
                         static_cast<unsigned>(buffer_.size())) == static_cast<int>(buffer_.size());
        } else if (plain_ != nullptr) {
            ok = std::fwrite(buffer_.data(), 1, buffer_.size(), plain_) == buffer_.size();
        }
        if (!ok) error_ = path_ + ": write failed: " + std::strerror(errno);
    }
    buffer_.clear();
}

bool OutputStream::close() {
    flush();
    if (gzip_ != nullptr) {
        if (gzclose(static_cast<gzFile>(gzip_)) != Z_OK && error_.empty())
            error_ = path_ + ": write failed while compressing";
        gzip_ = nullptr;
    }
    if (plain_ != nullptr) {
        if (std::fclose(plain_) != 0 && error_.empty())
            error_ = path_ + ": write failed: " + std::strerror(errno);
        plain_ = nullptr;
    }
    return error_.empty();
}

}  // namespace vantric::rcf
