// Kernel packages ship the kernel image compressed or not. Gzip, the usual
// compression, is undone here; any other is recognised by its magic and
// named, so the user can undo it with the right program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vantric::layout {

// A kernel image is tens of MiB; anything past this is not one.
inline constexpr size_t kMaxExpandedSize = size_t{512} << 20;

// The compression whose magic `bytes` starts with ("gzip", "zstd", "xz",
// "lz4", "bzip2", "lzma", "lzo"), or empty.
std::string_view CompressionOf(std::span<const uint8_t> bytes);

// The first gzip member of `in`, expanded into `out` (at most `limit` bytes).
bool Gunzip(std::span<const uint8_t> in, size_t limit, std::vector<uint8_t>& out, std::string& error);

}  // namespace vantric::layout
