#include "kernel_layout/decompress.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstring>

namespace vantric::layout {

std::string_view CompressionOf(std::span<const uint8_t> bytes) {
    using namespace std::literals;
    struct Magic {
        std::string_view bytes;
        std::string_view name;
    };
    static constexpr Magic kMagics[] = {
        {"\x1f\x8b"sv, "gzip"},
        {"\x28\xb5\x2f\xfd"sv, "zstd"},
        {"\xfd"
         "7zXZ\0"sv,
         "xz"},
        {"\x02\x21\x4c\x18"sv, "lz4"},
        {"\x04\x22\x4d\x18"sv, "lz4"},
        {"BZh"sv, "bzip2"},
        {"\x5d\0\0"sv, "lzma"},
        {"\x89LZO"sv, "lzo"},
    };
    for (const Magic& magic : kMagics) {
        if (bytes.size() >= magic.bytes.size() &&
            std::memcmp(bytes.data(), magic.bytes.data(), magic.bytes.size()) == 0)
            return magic.name;
    }
    return {};
}

bool Gunzip(std::span<const uint8_t> in, size_t limit, std::vector<uint8_t>& out, std::string& error) {
    z_stream stream{};
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) {
        error = "cannot start the gzip decoder";
        return false;
    }
    out.clear();
    size_t consumed = 0, produced = 0;
    int status = Z_OK;
    // Every round consumes input or produces output; a round that does
    // neither ends the loop, so the loop is bounded by in.size() + limit.
    while (status != Z_STREAM_END) {
        if (produced == out.size()) {
            if (produced > limit) break;
            out.resize(std::min(std::max<size_t>(produced * 2, 1 << 20), limit + 1));
        }
        const size_t inChunk = std::min<size_t>(in.size() - consumed, UINT_MAX);
        const size_t outChunk = std::min<size_t>(out.size() - produced, UINT_MAX);
        stream.next_in = const_cast<Bytef*>(in.data() + consumed);
        stream.avail_in = static_cast<uInt>(inChunk);
        stream.next_out = out.data() + produced;
        stream.avail_out = static_cast<uInt>(outChunk);
        status = inflate(&stream, Z_NO_FLUSH);
        const size_t used = inChunk - stream.avail_in, made = outChunk - stream.avail_out;
        consumed += used;
        produced += made;
        if (status == Z_STREAM_END) break;
        if (status != Z_OK && status != Z_BUF_ERROR) {
            error =
                std::string("damaged gzip data (") + (stream.msg != nullptr ? stream.msg : "no detail") + ")";
            break;
        }
        if (used == 0 && made == 0) {
            error = "the gzip data ends early (after " + std::to_string(consumed) + " bytes)";
            break;
        }
    }
    inflateEnd(&stream);
    if (status == Z_STREAM_END) {
        out.resize(produced);
        return true;
    }
    if (error.empty()) error = "the gzip data expands to more than " + std::to_string(limit >> 20) + " MiB";
    out.clear();
    return false;
}

}  // namespace vantric::layout
