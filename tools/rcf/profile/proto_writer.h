// Protocol buffer encoding for the few wire types pprof needs: varints and
// length-delimited fields, with nested messages written into their own
// writer and copied in once their length is known.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vantric::rcf {

class ProtoWriter {
public:
    void varint(uint32_t field, uint64_t value) {
        key(field, 0);
        raw(value);
    }
    void signedVarint(uint32_t field, int64_t value) { varint(field, static_cast<uint64_t>(value)); }
    void bytes(uint32_t field, std::string_view data) {
        key(field, 2);
        raw(data.size());
        out_.append(data);
    }
    void message(uint32_t field, const ProtoWriter& inner) { bytes(field, inner.out_); }
    // A repeated scalar field, packed.
    void packed(uint32_t field, const std::vector<uint64_t>& values);

    const std::string& data() const { return out_; }

private:
    void key(uint32_t field, uint32_t wireType) { raw(uint64_t{field} << 3 | wireType); }
    void raw(uint64_t value) {
        // At most 10 bytes: encode into a buffer, append once.
        char buffer[10];
        size_t n = 0;
        while (value >= 0x80) {
            buffer[n++] = static_cast<char>(value | 0x80);
            value >>= 7;
        }
        buffer[n++] = static_cast<char>(value);
        out_.append(buffer, n);
    }

    std::string out_;
};

}  // namespace vantric::rcf
