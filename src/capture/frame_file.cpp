#include "capture/frame_file.h"

#include <unistd.h>

#include <cerrno>
#include <utility>

namespace vantric::capture {
namespace {

constexpr size_t kBufferSize = 32 * 1024;

}  // namespace

FrameFile::~FrameFile() {
    discard();
}

FrameFile::FrameFile(FrameFile&& other) noexcept
    : file_(std::exchange(other.file_, nullptr)),
      buffer_(std::move(other.buffer_)),
      capacity_(std::exchange(other.capacity_, 0)),
      used_(std::exchange(other.used_, 0)),
      written_(std::exchange(other.written_, 0)),
      failed_(std::exchange(other.failed_, false)),
      lost_(std::exchange(other.lost_, 0)),
      error_(std::exchange(other.error_, 0)),
      path_(std::move(other.path_)) {}

FrameFile& FrameFile::operator=(FrameFile&& other) noexcept {
    if (this != &other) {
        discard();
        file_ = std::exchange(other.file_, nullptr);
        buffer_ = std::move(other.buffer_);
        capacity_ = std::exchange(other.capacity_, 0);
        used_ = std::exchange(other.used_, 0);
        written_ = std::exchange(other.written_, 0);
        failed_ = std::exchange(other.failed_, false);
        lost_ = std::exchange(other.lost_, 0);
        error_ = std::exchange(other.error_, 0);
        path_ = std::move(other.path_);
    }
    return *this;
}

bool FrameFile::open(const std::string& path) {
    discard();
    failed_ = false;
    written_ = 0;
    lost_ = 0;
    error_ = 0;
    path_ = path;
    file_ = std::fopen(path.c_str(), "wb");
    if (file_ == nullptr) return false;
    // Our buffer already batches the writes; a second one in stdio would only copy.
    std::setvbuf(file_, nullptr, _IONBF, 0);
    if (!buffer_) buffer_ = std::make_unique<uint8_t[]>(kBufferSize);
    capacity_ = kBufferSize;
    used_ = 0;
    return true;
}

void FrameFile::store(const uint8_t* data, size_t size) {
    if (failed_) {
        lost_ += size;
        return;
    }
    const size_t done = std::fwrite(data, 1, size, file_);
    if (done == size) {
        written_ += size;
        return;
    }
    error_ = errno;
    failed_ = true;
    lost_ += size;
    // A part of a record would make the rest of the file unreadable.
    if (done != 0 && ::ftruncate(::fileno(file_), static_cast<off_t>(written_)) != 0) {
        error_ = errno;
    }
}

void FrameFile::flush() {
    if (file_ == nullptr || used_ == 0) return;
    store(buffer_.get(), used_);
    used_ = 0;
}

void FrameFile::writeSlow(const uint8_t* data, size_t size) {
    if (file_ == nullptr) return;
    flush();
    if (size >= capacity_) {
        store(data, size);
        return;
    }
    std::memcpy(buffer_.get(), data, size);
    used_ = size;
}

void FrameFile::finish() {
    if (file_ == nullptr) return;
    flush();
    uint32_t length = static_cast<uint32_t>(written_ - 4);
    uint8_t bytes[4] = {static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8),
                        static_cast<uint8_t>(length >> 16), static_cast<uint8_t>(length >> 24)};
    std::clearerr(file_);
    // Without its frame start the file has no length to patch.
    if (written_ >= 4 && (std::fseek(file_, 0, SEEK_SET) != 0 || std::fwrite(bytes, 1, 4, file_) != 4)) {
        if (!failed_) error_ = errno;
        failed_ = true;
    }
    if (std::fclose(file_) != 0) {
        if (!failed_) error_ = errno;
        failed_ = true;
    }
    file_ = nullptr;
    capacity_ = 0;
    used_ = 0;
}

void FrameFile::discard() {
    if (file_ == nullptr) return;
    flush();
    if (std::fclose(file_) != 0) {
        if (!failed_) error_ = errno;
        failed_ = true;
    }
    file_ = nullptr;
    capacity_ = 0;
    used_ = 0;
}

}  // namespace vantric::capture
