// One binary data file of a capture. Records are appended to a buffer of our
// own and reach the file in large writes, so a record costs a compare and a
// copy; the frame length at offset 0 is patched when the file is finished.
// After a failed write nothing more reaches the file and what that write left
// of its records is cut off again, so the file always ends with a complete
// record; the lost bytes and the reason are kept for the owner to report.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace vantric::capture {

class FrameFile {
public:
    FrameFile() = default;
    ~FrameFile();
    FrameFile(const FrameFile&) = delete;
    FrameFile& operator=(const FrameFile&) = delete;
    FrameFile(FrameFile&& other) noexcept;
    FrameFile& operator=(FrameFile&& other) noexcept;

    // Creates or truncates `path` for binary writing.
    bool open(const std::string& path);
    bool isOpen() const { return file_ != nullptr; }
    bool failed() const { return failed_; }
    const std::string& path() const { return path_; }
    // Bytes that never reached the file, and the errno of the failure.
    uint64_t lostBytes() const { return lost_; }
    int error() const { return error_; }

    // Appends bytes; on a file that is not open they are dropped.
    void write(const uint8_t* data, size_t size) {
        if (size <= capacity_ - used_) {
            std::memcpy(buffer_.get() + used_, data, size);
            used_ += size;
            return;
        }
        writeSlow(data, size);
    }

    // Bytes written since open.
    uint64_t position() const { return written_ + used_; }

    // Hands the buffered bytes to the file now.
    void flush();
    // Writes (position - 4) as u32 LE at offset 0 and closes the file.
    void finish();
    // Closes the file as it is, without touching the frame length.
    void discard();

private:
    void writeSlow(const uint8_t* data, size_t size);
    // Hands whole records to the file.
    void store(const uint8_t* data, size_t size);

    std::FILE* file_ = nullptr;
    std::unique_ptr<uint8_t[]> buffer_;
    size_t capacity_ = 0;  // 0 while closed, so every write takes the slow path
    size_t used_ = 0;
    uint64_t written_ = 0;
    bool failed_ = false;
    uint64_t lost_ = 0;
    int error_ = 0;
    std::string path_;
};

}  // namespace vantric::capture
