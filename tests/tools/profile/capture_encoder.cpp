#include "capture_encoder.h"

#include <cstdio>
#include <fstream>

namespace vantric::rcf::testing {

CaptureEncoder::CaptureEncoder(std::filesystem::path directory) : directory_(std::move(directory)) {
    frames_.emplace_back();
}

CaptureEncoder& CaptureEncoder::frame(uint32_t type, int64_t core) {
    if (!frames_.back().empty()) frames_.emplace_back();
    packed(type);
    if (core >= 0) packed(core);
    return *this;
}

CaptureEncoder& CaptureEncoder::packed(int64_t value) {
    // Signed LEB128.
    for (;;) {
        const auto low = static_cast<uint8_t>(value & 0x7F);
        value >>= 7;
        const bool done = (value == 0 && (low & 0x40) == 0) || (value == -1 && (low & 0x40) != 0);
        frames_.back() += static_cast<char>(done ? low : low | 0x80);
        if (done) return *this;
    }
}

CaptureEncoder& CaptureEncoder::text(const std::string& text) {
    packed(static_cast<int64_t>(text.size()));
    return raw(text);
}

CaptureEncoder& CaptureEncoder::raw(const std::string& bytes) {
    frames_.back() += bytes;
    return *this;
}

CaptureEncoder& CaptureEncoder::u32(uint32_t value) {
    for (int i = 0; i < 4; ++i) frames_.back() += static_cast<char>(value >> (8 * i));
    return *this;
}

CaptureEncoder& CaptureEncoder::external(uint8_t kind, const CaptureEncoder& body) {
    raw(std::string(1, static_cast<char>(kind)));
    u32(static_cast<uint32_t>(body.frames_.back().size()));
    return raw(body.frames_.back());
}

void CaptureEncoder::write(uint32_t cores, const std::string& counters) const {
    std::filesystem::create_directories(directory_);
    for (size_t i = 0; i < frames_.size(); ++i) {
        char name[24];
        std::snprintf(name, sizeof name, "%010zu", i);
        std::ofstream out(directory_ / name, std::ios::binary);
        const auto length = static_cast<uint32_t>(frames_[i].size());
        for (int b = 0; b < 4; ++b) out.put(static_cast<char>(length >> (8 * b)));
        out << frames_[i];
    }
    std::ofstream(directory_ / "session.xml") << "<session/>\n";
    std::ofstream(directory_ / "captured.xml")
        << "<captured>\n  <target name='t' cores='" << cores << "' />\n" << counters << "</captured>\n";
}

}  // namespace vantric::rcf::testing
