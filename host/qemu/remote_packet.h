// Framing of the gdb remote serial protocol: "$payload#xx" packets with a
// modulo-256 checksum, "}" escapes, "*" run-length encoding, "+"/"-"
// acknowledgements and "%...#xx" notifications. PacketReader turns a byte
// stream into those events, however the bytes are split across reads.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qemuhost {

// "$payload#xx" with '$', '#', '}' and '*' escaped.
std::string EncodePacket(std::string_view payload);
// Two lowercase hex digits per byte.
std::string HexBytes(std::span<const uint8_t> bytes);
// False for an odd length or a non-hex digit.
bool ParseHexBytes(std::string_view text, std::vector<uint8_t>& bytes);
// A big-endian hex number as the protocol writes addresses and thread ids;
// false when empty, not hex, or wider than 64 bits.
bool ParseHexNumber(std::string_view text, uint64_t& value);
// A register value as the target sends it: bytes in target (little-endian)
// order, at most 8 of them.
std::optional<uint64_t> LittleEndianHexValue(std::string_view text);

class PacketReader {
public:
    // Far above any reply this host asks for (QEMU sends at most 4 KiB).
    static constexpr size_t kMaxPayload = 1 << 20;

    enum class Kind { kAck, kNak, kPacket, kBadPacket, kNotification };
    struct Event {
        Kind kind = Kind::kPacket;
        std::string payload;  // decoded; for kBadPacket the reason
    };

    void Feed(std::string_view bytes);
    // The oldest event not yet taken; false when there is none.
    bool Next(Event& event);
    bool Pending() const { return !events_.empty(); }

private:
    enum class State { kIdle, kBody, kChecksum };
    void Finish();

    State state_ = State::kIdle;
    bool notification_ = false;
    std::string raw_;       // bytes between '$' (or '%') and '#'
    std::string checksum_;  // the two digits after '#'
    bool overflow_ = false;
    std::deque<Event> events_;
};

// Undoes escapes and run-length encoding of a packet body; nullopt when the
// body ends inside an escape, a run has no character to repeat, or the
// result would exceed `limit` bytes.
std::optional<std::string> DecodePacketBody(std::string_view raw, size_t limit);

}  // namespace qemuhost
