// Writes decoded records back as the bytes of a closed frame, the shortest
// encoding of every value, so that the fuzz target can check that decoding
// what it decoded gives the same records. Written from the frame layouts,
// not from the capture writer, so the two sides do not share a mistake.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "rcf/capture_records.h"

namespace vantric::fuzzing {

class FrameBytes {
public:
    // Signed LEB128, at most 10 bytes; C++20 makes >> of a negative value
    // an arithmetic shift.
    void Packed(int64_t value) {
        for (int i = 0; i < 10; ++i) {
            const uint8_t low = static_cast<uint8_t>(value & 0x7F);
            value >>= 7;
            const bool last =
                (value == 0 && (low & 0x40) == 0) || (value == -1 && (low & 0x40) != 0);
            bytes_.push_back(last ? low : static_cast<uint8_t>(low | 0x80));
            if (last) return;
        }
    }
    // 32-bit fields are sign-extended, 64-bit ones taken as their bits.
    void Field32(uint32_t value) { Packed(static_cast<int32_t>(value)); }
    void Field64(uint64_t value) { Packed(static_cast<int64_t>(value)); }
    void Byte(uint8_t value) { bytes_.push_back(value); }
    void U16(uint16_t value) {
        for (int i = 0; i < 2; ++i) Byte(static_cast<uint8_t>(value >> (8 * i)));
    }
    void U32(uint32_t value) {
        for (int i = 0; i < 4; ++i) Byte(static_cast<uint8_t>(value >> (8 * i)));
    }
    void Raw(const std::string& text) { bytes_.insert(bytes_.end(), text.begin(), text.end()); }
    void String(const std::string& text) {
        Packed(static_cast<int64_t>(text.size()));
        Raw(text);
    }
    void Append(const FrameBytes& other) {
        bytes_.insert(bytes_.end(), other.bytes_.begin(), other.bytes_.end());
    }
    size_t size() const { return bytes_.size(); }
    std::vector<uint8_t>& bytes() { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

// Channels are written as index + 25.
inline constexpr uint32_t kChannelBase = 25;

inline void EncodeExternal(uint8_t kind, const FrameBytes& body, FrameBytes& out) {
    out.Byte(kind);
    out.U32(static_cast<uint32_t>(body.size()));
    out.Append(body);
}

inline void EncodeRecord(const rcf::RecordBody& record, FrameBytes& out) {
    std::visit(
        [&out](const auto& r) {
            using R = std::decay_t<decltype(r)>;
            if constexpr (std::is_same_v<R, rcf::SummaryRecord>) {
                out.Packed(1);
                out.String(r.text);
                for (int64_t time : r.times) out.Packed(time);
                out.String(r.tail);
            } else if constexpr (std::is_same_v<R, rcf::CoreNameRecord>) {
                out.Packed(3);
                out.Field32(r.core);
                out.Field32(r.cpuId);
                out.String(r.name);
            } else if constexpr (std::is_same_v<R, rcf::SampleRecord>) {
                out.Field64(r.time);
                out.Field32(r.cookie);
                out.Field32(r.pid);
                out.Field32(r.tid);
                for (const rcf::StackFrame& frame : r.frames) {
                    out.Field32(frame.cookie);
                    out.Field64(frame.address);
                }
                out.Packed(1);
            } else if constexpr (std::is_same_v<R, rcf::CookieNameRecord>) {
                out.Packed(1);
                out.Field32(r.cookie);
                out.String(r.name);
            } else if constexpr (std::is_same_v<R, rcf::ThreadNameRecord>) {
                out.Packed(2);
                out.Field64(r.time);
                out.Field32(r.tid);
                out.String(r.name);
            } else if constexpr (std::is_same_v<R, rcf::CounterValueRecord>) {
                out.Field64(r.time);
                out.Field32(r.core);
                out.Field32(r.key);
                out.Field64(r.value);
            } else if constexpr (std::is_same_v<R, rcf::AnnotationRecord>) {
                out.Field32(r.pid);
                out.Field32(r.tid);
                out.Field64(r.time);
                out.Packed(static_cast<int64_t>(r.text.size()) + 4);
                out.Byte(0x1C);
                out.Byte(0x05);
                out.U16(static_cast<uint16_t>(r.text.size()));
                out.Raw(r.text);
            } else if constexpr (std::is_same_v<R, rcf::SwitchRecord>) {
                out.Packed(1);
                out.Field64(r.time);
                out.Field32(r.tid);
                out.Field32(r.state);
            } else if constexpr (std::is_same_v<R, rcf::ThreadExitRecord>) {
                out.Packed(2);
                out.Field64(r.time);
                out.Field32(r.tid);
            } else if constexpr (std::is_same_v<R, rcf::IdleRecord>) {
                out.Field32(static_cast<uint32_t>(r.state));
                out.Field64(r.time);
                out.Field32(r.core);
            } else if constexpr (std::is_same_v<R, rcf::StreamHeaderRecord>) {
                out.String("ANNOTATE 2\n");
                out.U32(0);
                out.U32(0);
            } else if constexpr (std::is_same_v<R, rcf::ChannelNameRecord>) {
                FrameBytes body;
                body.Field32(r.channel + kChannelBase);
                body.Raw(r.name);
                EncodeExternal(0x0D, body, out);
            } else if constexpr (std::is_same_v<R, rcf::ChannelTextRecord>) {
                FrameBytes body;
                body.Field32(r.channel + kChannelBase);
                body.Field32(r.sequence);
                body.Field32(r.value);
                body.Raw(r.text);
                EncodeExternal(0x0B, body, out);
            } else if constexpr (std::is_same_v<R, rcf::ActivityRecord>) {
                FrameBytes body;
                body.Field32(r.channel + kChannelBase);
                body.Field32(r.sequence);
                body.Field32(r.relatedId);
                body.Field64(r.startTime);
                body.Field64(r.duration);
                body.U32(r.colour);
                body.Field32(r.value);
                body.Packed(static_cast<int64_t>(r.linkedIds.size()));
                for (uint32_t id : r.linkedIds) body.Field32(id);
                body.Raw(r.text);
                EncodeExternal(0x0C, body, out);
            } else if constexpr (std::is_same_v<R, rcf::LinkRecord>) {
                out.Packed(1);
                out.Field64(r.time);
                out.Field32(r.cookie);
                out.Field32(r.pid);
                out.Field32(r.tid);
            } else {
                static_assert(std::is_same_v<R, rcf::LinkExitRecord>,
                              "every record kind is written");
                out.Packed(3);
                out.Field64(r.time);
                out.Field32(r.tid);
            }
        },
        record);
}

// A closed frame: its length, type, core (per-core types) and records.
inline std::vector<uint8_t> EncodeFrame(const rcf::Frame& frame) {
    FrameBytes body;
    body.Packed(frame.type);
    if (frame.core) body.Packed(*frame.core);
    for (const rcf::Record& record : frame.records) EncodeRecord(record.body, body);
    FrameBytes out;
    out.U32(static_cast<uint32_t>(body.size()));
    out.Append(body);
    return std::move(out.bytes());
}

}  // namespace vantric::fuzzing
