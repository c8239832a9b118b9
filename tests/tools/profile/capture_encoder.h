// Writes capture data files byte by byte for the profile tests, without the
// plug-in's writer: each frame is its length, its packed type (and core)
// and the records the test appends.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vantric::rcf::testing {

class CaptureEncoder {
public:
    explicit CaptureEncoder(std::filesystem::path directory);

    // Starts the next data file with a frame of `type` (and `core` for per-core types).
    CaptureEncoder& frame(uint32_t type, int64_t core = -1);
    CaptureEncoder& packed(int64_t value);
    CaptureEncoder& text(const std::string& text);  // packed length, then the bytes
    CaptureEncoder& raw(const std::string& bytes);
    CaptureEncoder& u32(uint32_t value);
    // An external-frame record: kind byte, byte count, then `body`.
    CaptureEncoder& external(uint8_t kind, const CaptureEncoder& body);

    // Writes every frame and captured.xml with `cores` and `counters` lines.
    void write(uint32_t cores, const std::string& counters) const;

    // A detached buffer to build an external record's body in.
    static CaptureEncoder body() { return CaptureEncoder({}); }

private:
    std::filesystem::path directory_;
    std::vector<std::string> frames_;
};

}  // namespace vantric::rcf::testing
