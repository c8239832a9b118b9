// Reads the encodings of capture data files from a byte range, remembering
// why and where the first read failed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vantric::rcf {

class ByteReader {
public:
    enum class Status { kOk, kTruncated, kOverlong, kInvalid };

    // Reads bytes [begin, end) of `data`; offsets are relative to `data`.
    ByteReader(const uint8_t* data, size_t begin, size_t end)
        : data_(data), offset_(begin), end_(end) {}

    // Signed LEB128 of at most 10 bytes.
    bool packed(int64_t& value);
    bool byte(uint8_t& value);
    bool u16le(uint16_t& value);
    bool u32le(uint32_t& value);
    bool bytes(size_t count, std::string& out);
    // A packed length followed by that many bytes.
    bool string(std::string& out);

    // A reader over the next `count` bytes; this reader skips past them.
    bool sub(size_t count, ByteReader& out);

    size_t offset() const { return offset_; }
    size_t remaining() const { return end_ - offset_; }
    bool atEnd() const { return offset_ >= end_; }
    Status status() const { return status_; }
    // Where the failing read started.
    size_t failureOffset() const { return failureOffset_; }

private:
    bool fail(Status status, size_t at);

    const uint8_t* data_;
    size_t offset_;
    size_t end_;
    Status status_ = Status::kOk;
    size_t failureOffset_ = 0;
};

}  // namespace vantric::rcf
