// The packed integer of the capture data files: signed LEB128 of a signed
// 64-bit value. Every 32-bit field is sign-extended before packing, so
// 0xFFFFFFFF packs as the single byte 0x7F; 64-bit fields are packed as the
// two's-complement value they hold.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantric::capture {

// A packed 64-bit value never takes more than 10 bytes.
inline constexpr size_t kMaxPackedSize = 10;

constexpr int64_t Widen32(uint32_t value) {
    return static_cast<int32_t>(value);
}
constexpr int64_t Widen64(uint64_t value) {
    return static_cast<int64_t>(value);
}

// Writes `value` at `out` and returns the number of bytes written.
// Relies on >> of a negative number being arithmetic, as C++20 guarantees.
inline size_t EncodePacked(int64_t value, uint8_t* out) {
    size_t size = 0;
    while (value < -64 || value > 63) {
        out[size++] = static_cast<uint8_t>((value & 0x7F) | 0x80);
        value >>= 7;
    }
    out[size++] = static_cast<uint8_t>(value & 0x7F);
    return size;
}

constexpr size_t PackedSize(int64_t value) {
    size_t size = 1;
    while (value < -64 || value > 63) {
        value >>= 7;
        ++size;
    }
    return size;
}

}  // namespace vantric::capture
