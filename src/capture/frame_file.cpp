#include "capture/frame_file.h"

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
      failed_(std::exchange(other.failed_, false)) {}

FrameFile& FrameFile::operator=(FrameFile&& other) noexcept {
    if (this != &other) {
        discard();
        file_ = std::exchange(other.file_, nullptr);
        buffer_ = std::move(other.buffer_);
        capacity_ = std::exchange(other.capacity_, 0);
        used_ = std::exchange(other.used_, 0);
        written_ = std::exchange(other.written_, 0);
        failed_ = std::exchange(other.failed_, false);
    }
    return *this;
}

bool FrameFile::open(const std::string& path) {
    discard();
    failed_ = false;
    written_ = 0;
    file_ = std::fopen(path.c_str(), "wb");
    if (file_ == nullptr) return false;
    // Our buffer already batches the writes; a second one in stdio would only copy.
    std::setvbuf(file_, nullptr, _IONBF, 0);
    if (!buffer_) buffer_ = std::make_unique<uint8_t[]>(kBufferSize);
    capacity_ = kBufferSize;
    used_ = 0;
    return true;
}

void FrameFile::flush() {
    if (file_ == nullptr || used_ == 0) return;
    size_t done = std::fwrite(buffer_.get(), 1, used_, file_);
    if (done != used_) failed_ = true;
    written_ += done;
    used_ = 0;
}

void FrameFile::writeSlow(const uint8_t* data, size_t size) {
    if (file_ == nullptr) return;
    flush();
    if (size >= capacity_) {
        size_t done = std::fwrite(data, 1, size, file_);
        if (done != size) failed_ = true;
        written_ += done;
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
    if (std::fseek(file_, 0, SEEK_SET) != 0 || std::fwrite(bytes, 1, 4, file_) != 4) {
        failed_ = true;
    }
    if (std::fclose(file_) != 0) failed_ = true;
    file_ = nullptr;
    capacity_ = 0;
    used_ = 0;
}

void FrameFile::discard() {
    if (file_ == nullptr) return;
    flush();
    if (std::fclose(file_) != 0) failed_ = true;
    file_ = nullptr;
    capacity_ = 0;
    used_ = 0;
}

}  // namespace vantric::capture
