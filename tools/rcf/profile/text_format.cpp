#include "rcf/profile/text_format.h"

#include <cstdio>

namespace vantric::rcf {
namespace {

// The length of the valid UTF-8 sequence at `at`, or 0.
size_t SequenceLength(std::string_view text, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t lead = byte(at);
    if (lead < 0x80) return 1;
    size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead < 0xE0 ? 2 : 0;
    if (length == 0 || at + length > text.size()) return 0;
    for (size_t i = 1; i < length; ++i)
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
    // Overlong forms, surrogates and values above U+10FFFF.
    const uint8_t second = byte(at + 1);
    if (lead == 0xE0 && second < 0xA0) return 0;
    if (lead == 0xED && second >= 0xA0) return 0;
    if (lead == 0xF0 && second < 0x90) return 0;
    if (lead == 0xF4 && second >= 0x90) return 0;
    return length;
}

}  // namespace

std::string ValidUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        size_t length = SequenceLength(text, at);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            ++at;
        } else {
            out.append(text, at, length);
            at += length;
        }
    }
    return out;
}

void AppendJsonString(std::string& out, std::string_view text) {
    const std::string valid = ValidUtf8(text);
    out += '"';
    for (char c : valid) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<uint8_t>(c) < 0x20 || c == 0x7F) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                    out += escaped;
                } else {
                    out += c;
                }
        }
    }
    out += '"';
}

std::string MicrosText(uint64_t nanoseconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%llu.%03llu",
                  static_cast<unsigned long long>(nanoseconds / 1000),
                  static_cast<unsigned long long>(nanoseconds % 1000));
    return text;
}

std::string FoldedName(std::string_view name) {
    std::string out = ValidUtf8(name);
    for (char& c : out) {
        if (c == ';') c = ':';
        else if (c == '\n' || c == '\r') c = ' ';
    }
    return out;
}

std::string LocationName(const Location& location) {
    if (!location.function.empty()) return location.function;
    size_t slash = location.module.rfind('/');
    std::string module = slash == std::string::npos ? location.module : location.module.substr(slash + 1);
    char address[24];
    std::snprintf(address, sizeof address, "+0x%llx", static_cast<unsigned long long>(location.address));
    return module + address;
}

}  // namespace vantric::rcf

namespace vantric::rcf {

std::string SymbolReportText(const SymbolReport& report) {
    std::string text = "frames " + std::to_string(report.frames) + ", resolved " +
                       std::to_string(report.framesBy[0]) + ", unresolved " +
                       std::to_string(report.unresolved());
    const char* separator = ": ";
    for (size_t i = 1; i < kUnresolvedKinds; ++i) {
        if (report.framesBy[i] == 0) continue;
        text += separator + std::to_string(report.framesBy[i]) + " " +
                UnresolvedText(static_cast<Unresolved>(i));
        separator = ", ";
    }
    text += " (distinct addresses " + std::to_string(report.locations) + ", unresolved " +
            std::to_string(report.locations - report.locationsBy[0]) + ")";
    for (const auto& [path, frames] : report.missingFiles)
        text += "\n  missing " + path + ": " + std::to_string(frames) + " frames";
    return text;
}

}  // namespace vantric::rcf
