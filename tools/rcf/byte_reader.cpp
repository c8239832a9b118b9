#include "rcf/byte_reader.h"

namespace vantric::rcf {

bool ByteReader::fail(Status status, size_t at) {
    if (status_ == Status::kOk) {
        status_ = status;
        failureOffset_ = at;
    }
    return false;
}

bool ByteReader::packed(int64_t& value) {
    size_t start = offset_;
    uint64_t result = 0;
    unsigned shift = 0;
    for (size_t i = 0; i < 10; ++i) {
        if (offset_ >= end_) {
            offset_ = start;
            return fail(Status::kTruncated, start);
        }
        uint8_t b = data_[offset_++];
        if (shift < 64) result |= static_cast<uint64_t>(b & 0x7F) << shift;
        shift += 7;
        if ((b & 0x80) == 0) {
            if (shift < 64 && (b & 0x40) != 0) result |= ~uint64_t{0} << shift;
            value = static_cast<int64_t>(result);
            return true;
        }
    }
    offset_ = start;
    return fail(Status::kOverlong, start);
}

bool ByteReader::byte(uint8_t& value) {
    if (offset_ >= end_) return fail(Status::kTruncated, offset_);
    value = data_[offset_++];
    return true;
}

bool ByteReader::u16le(uint16_t& value) {
    if (remaining() < 2) return fail(Status::kTruncated, offset_);
    value = static_cast<uint16_t>(data_[offset_] | data_[offset_ + 1] << 8);
    offset_ += 2;
    return true;
}

bool ByteReader::u32le(uint32_t& value) {
    if (remaining() < 4) return fail(Status::kTruncated, offset_);
    value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | data_[offset_ + i];
    offset_ += 4;
    return true;
}

bool ByteReader::bytes(size_t count, std::string& out) {
    if (remaining() < count) return fail(Status::kTruncated, offset_);
    out.assign(reinterpret_cast<const char*>(data_ + offset_), count);
    offset_ += count;
    return true;
}

bool ByteReader::string(std::string& out) {
    size_t start = offset_;
    int64_t length = 0;
    if (!packed(length)) return false;
    if (length < 0) {
        offset_ = start;
        return fail(Status::kInvalid, start);
    }
    if (static_cast<uint64_t>(length) > remaining()) {
        offset_ = start;
        return fail(Status::kTruncated, start);
    }
    return bytes(static_cast<size_t>(length), out);
}

bool ByteReader::sub(size_t count, ByteReader& out) {
    if (remaining() < count) return fail(Status::kTruncated, offset_);
    out = ByteReader(data_, offset_, offset_ + count);
    offset_ += count;
    return true;
}

}  // namespace vantric::rcf
