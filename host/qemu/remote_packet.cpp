#include "remote_packet.h"

namespace qemuhost {
namespace {

constexpr char kHex[] = "0123456789abcdef";

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

uint8_t Checksum(std::string_view raw) {
    unsigned sum = 0;
    for (char c : raw) sum += static_cast<uint8_t>(c);
    return static_cast<uint8_t>(sum);
}

}  // namespace

std::string EncodePacket(std::string_view payload) {
    std::string body;
    body.reserve(payload.size() + 4);
    for (char c : payload) {
        if (c == '$' || c == '#' || c == '}' || c == '*') {
            body += '}';
            body += static_cast<char>(c ^ 0x20);
        } else {
            body += c;
        }
    }
    const uint8_t sum = Checksum(body);
    std::string packet = "$" + body + "#";
    packet += kHex[sum >> 4];
    packet += kHex[sum & 15];
    return packet;
}

std::string HexBytes(std::span<const uint8_t> bytes) {
    std::string text;
    text.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        text += kHex[b >> 4];
        text += kHex[b & 15];
    }
    return text;
}

bool ParseHexBytes(std::string_view text, std::vector<uint8_t>& bytes) {
    if (text.size() % 2 != 0) return false;
    bytes.clear();
    bytes.reserve(text.size() / 2);
    for (size_t i = 0; i < text.size(); i += 2) {
        const int high = HexDigit(text[i]);
        const int low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0) return false;
        bytes.push_back(static_cast<uint8_t>(high << 4 | low));
    }
    return true;
}

bool ParseHexNumber(std::string_view text, uint64_t& value) {
    if (text.empty()) return false;
    while (text.size() > 1 && text.front() == '0') text.remove_prefix(1);
    if (text.size() > 16) return false;
    value = 0;
    for (char c : text) {
        const int digit = HexDigit(c);
        if (digit < 0) return false;
        value = value << 4 | static_cast<uint64_t>(digit);
    }
    return true;
}

std::optional<uint64_t> LittleEndianHexValue(std::string_view text) {
    std::vector<uint8_t> bytes;
    if (text.empty() || !ParseHexBytes(text, bytes) || bytes.size() > 8) return std::nullopt;
    uint64_t value = 0;
    for (size_t i = bytes.size(); i-- > 0;) value = value << 8 | bytes[i];
    return value;
}

std::optional<std::string> DecodePacketBody(std::string_view raw, size_t limit) {
    std::string out;
    for (size_t i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '}') {
            if (++i == raw.size()) return std::nullopt;
            out += static_cast<char>(raw[i] ^ 0x20);
        } else if (c == '*') {
            // The count character is the run length plus 29 (printable).
            if (out.empty() || ++i == raw.size()) return std::nullopt;
            const int count = static_cast<uint8_t>(raw[i]) - 29;
            if (count < 0) return std::nullopt;
            out.append(static_cast<size_t>(count), out.back());
        } else {
            out += c;
        }
        if (out.size() > limit) return std::nullopt;
    }
    return out;
}

void PacketReader::Feed(std::string_view bytes) {
    for (char c : bytes) {
        switch (state_) {
        case State::kIdle:
            if (c == '+') {
                events_.push_back({Kind::kAck, {}});
            } else if (c == '-') {
                events_.push_back({Kind::kNak, {}});
            } else if (c == '$' || c == '%') {
                notification_ = c == '%';
                raw_.clear();
                overflow_ = false;
                state_ = State::kBody;
            }
            // Anything else between packets is line noise and dropped.
            break;
        case State::kBody:
            if (c == '#') {
                checksum_.clear();
                state_ = State::kChecksum;
            } else if (raw_.size() < kMaxPayload) {
                raw_ += c;
            } else {
                overflow_ = true;
            }
            break;
        case State::kChecksum:
            checksum_ += c;
            if (checksum_.size() == 2) {
                Finish();
                state_ = State::kIdle;
            }
            break;
        }
    }
}

void PacketReader::Finish() {
    uint64_t sent = 0;
    if (overflow_) {
        events_.push_back({Kind::kBadPacket, "packet longer than " + std::to_string(kMaxPayload) + " bytes"});
        return;
    }
    if (!ParseHexNumber(checksum_, sent) || sent != Checksum(raw_)) {
        events_.push_back({Kind::kBadPacket, "checksum mismatch"});
        return;
    }
    std::optional<std::string> body = DecodePacketBody(raw_, kMaxPayload);
    if (!body) {
        events_.push_back({Kind::kBadPacket, "malformed escape or run length"});
        return;
    }
    events_.push_back({notification_ ? Kind::kNotification : Kind::kPacket, std::move(*body)});
}

bool PacketReader::Next(Event& event) {
    if (events_.empty()) return false;
    event = std::move(events_.front());
    events_.pop_front();
    return true;
}

}  // namespace qemuhost
