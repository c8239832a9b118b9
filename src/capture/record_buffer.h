// Encodes one record on the stack and hands it to its file in one write.
// A record longer than the buffer (a long name, a very deep stack) is handed
// over in pieces; the bytes in the file are the same either way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "capture/frame_file.h"
#include "capture/packed_encoding.h"

namespace vantric::capture {

class RecordBuffer {
public:
    // Large enough for every fixed record and a 16-frame sample at its widest.
    static constexpr size_t kCapacity = 512;

    explicit RecordBuffer(FrameFile& file) : file_(file) {}
    RecordBuffer(const RecordBuffer&) = delete;
    RecordBuffer& operator=(const RecordBuffer&) = delete;
    ~RecordBuffer() { commit(); }

    void packed(int64_t value) {
        if (kCapacity - size_ < kMaxPackedSize) spill();
        size_ += EncodePacked(value, bytes_ + size_);
    }
    void packed32(uint32_t value) { packed(Widen32(value)); }
    void packed64(uint64_t value) { packed(Widen64(value)); }

    void byte(uint8_t value) {
        if (size_ == kCapacity) spill();
        bytes_[size_++] = value;
    }

    void u32le(uint32_t value) {
        if (kCapacity - size_ < 4) spill();
        bytes_[size_++] = static_cast<uint8_t>(value);
        bytes_[size_++] = static_cast<uint8_t>(value >> 8);
        bytes_[size_++] = static_cast<uint8_t>(value >> 16);
        bytes_[size_++] = static_cast<uint8_t>(value >> 24);
    }

    // The bytes alone, without a length.
    void raw(std::string_view text) {
        const auto* data = reinterpret_cast<const uint8_t*>(text.data());
        size_t left = text.size();
        while (left > 0) {
            if (size_ == kCapacity) spill();
            size_t part = kCapacity - size_ < left ? kCapacity - size_ : left;
            std::memcpy(bytes_ + size_, data, part);
            size_ += part;
            data += part;
            left -= part;
        }
    }

    // Packed length, then the bytes.
    void string(std::string_view text) {
        packed(static_cast<int64_t>(text.size()));
        raw(text);
    }

    // Hands what is encoded so far to the file; called by the destructor.
    void commit() {
        if (size_ > 0) file_.write(bytes_, size_);
        size_ = 0;
    }

private:
    void spill() { commit(); }

    FrameFile& file_;
    size_t size_ = 0;
    uint8_t bytes_[kCapacity];
};

}  // namespace vantric::capture
