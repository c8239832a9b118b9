#include "stop_reply.h"

#include <vector>

#include "remote_packet.h"

namespace qemuhost {
namespace {

bool ParseSignal(std::string_view digits, int& value) {
    std::vector<uint8_t> byte;
    if (digits.size() != 2 || !ParseHexBytes(digits, byte)) return false;
    value = byte[0];
    return true;
}

// "2", "02" or "p1.2": the thread part, which for QEMU is the vCPU index + 1.
bool ParseThread(std::string_view text, uint32_t& thread) {
    if (!text.empty() && text.front() == 'p') {
        const size_t dot = text.find('.');
        if (dot == std::string_view::npos) return false;
        text.remove_prefix(dot + 1);
    }
    uint64_t value = 0;
    if (!ParseHexNumber(text, value) || value == 0 || value > UINT32_MAX) return false;
    thread = static_cast<uint32_t>(value);
    return true;
}

}  // namespace

std::optional<StopReply> StopReply::Parse(std::string_view text) {
    if (text.size() < 3) return std::nullopt;
    StopReply reply;
    const char kind = text[0];
    if (kind == 'W' || kind == 'X') {
        reply.kind = kind == 'W' ? Kind::kExited : Kind::kTerminated;
        const size_t end = text.find(';');
        if (!ParseSignal(text.substr(1, end == std::string_view::npos ? std::string_view::npos : end - 1),
                         reply.signal)) {
            return std::nullopt;
        }
        return reply;
    }
    if (kind != 'T' && kind != 'S') return std::nullopt;
    if (!ParseSignal(text.substr(1, 2), reply.signal)) return std::nullopt;
    std::string_view rest = text.substr(3);
    // "name:value;" pairs, at most one per byte of the reply.
    while (!rest.empty()) {
        const size_t end = rest.find(';');
        const std::string_view pair = rest.substr(0, end);
        const size_t colon = pair.find(':');
        if (colon != std::string_view::npos && pair.substr(0, colon) == "thread" &&
            !ParseThread(pair.substr(colon + 1), reply.thread)) {
            return std::nullopt;
        }
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    return reply;
}

}  // namespace qemuhost
