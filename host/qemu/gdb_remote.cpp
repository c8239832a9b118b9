#include "gdb_remote.h"

#include <chrono>

namespace qemuhost {
namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

}  // namespace

bool GdbRemote::Fail(std::string reason) {
    if (!failed_) error_ = std::move(reason);
    failed_ = true;
    return false;
}

void GdbRemote::Drain() {
    PacketReader::Event event;
    while (reader_.Next(event)) {
        switch (event.kind) {
        case PacketReader::Kind::kAck:
            ++acks_;
            break;
        case PacketReader::Kind::kNak:
            ++naks_;
            break;
        case PacketReader::Kind::kPacket:
            if (acknowledging_) channel_.Write("+");
            packets_.push_back(std::move(event.payload));
            break;
        case PacketReader::Kind::kBadPacket:
            // Ask for it again; without acknowledgements it is lost.
            if (acknowledging_) channel_.Write("-");
            break;
        case PacketReader::Kind::kNotification:
            break;  // non-stop notifications: this host runs all-stop
        }
    }
}

bool GdbRemote::Pump(int timeoutMs) {
    if (failed_) return false;
    std::string bytes;
    switch (channel_.Read(bytes, timeoutMs)) {
    case ByteChannel::ReadResult::kData:
        reader_.Feed(bytes);
        Drain();
        return true;
    case ByteChannel::ReadResult::kTimeout:
        return true;
    case ByteChannel::ReadResult::kClosed:
        return Fail(channel_.error().empty() ? "the gdbstub closed the connection" : channel_.error());
    }
    return true;
}

bool GdbRemote::Send(std::string_view payload) {
    if (failed_) return false;
    const std::string packet = EncodePacket(payload);
    for (int attempt = 0; attempt <= kRetransmits; ++attempt) {
        acks_ = 0;
        naks_ = 0;
        if (!channel_.Write(packet)) return Fail(channel_.error());
        if (!acknowledging_) return true;
        const auto deadline = Clock::now() + std::chrono::milliseconds(replyTimeoutMs_);
        while (acks_ == 0 && naks_ == 0) {
            if (!Pump(RemainingMs(deadline))) return false;
            if (acks_ == 0 && naks_ == 0 && Clock::now() >= deadline) {
                return Fail("no acknowledgement of '" + std::string(payload.substr(0, 40)) + "' from the gdbstub");
            }
        }
        if (acks_ != 0) return true;
    }
    return Fail("the gdbstub refused '" + std::string(payload.substr(0, 40)) + "' " +
                std::to_string(kRetransmits + 1) + " times (checksum errors)");
}

GdbRemote::Wait GdbRemote::WaitPacket(std::string& payload, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (packets_.empty()) {
        if (!Pump(RemainingMs(deadline))) return Wait::kFailed;
        if (packets_.empty() && Clock::now() >= deadline) return Wait::kTimeout;
    }
    payload = std::move(packets_.front());
    packets_.pop_front();
    return Wait::kPacket;
}

std::optional<std::string> GdbRemote::Request(std::string_view payload) {
    if (!Send(payload)) return std::nullopt;
    std::string reply;
    switch (WaitPacket(reply, replyTimeoutMs_)) {
    case Wait::kPacket:
        return reply;
    case Wait::kTimeout:
        Fail("no reply to '" + std::string(payload.substr(0, 40)) + "' from the gdbstub within " +
             std::to_string(replyTimeoutMs_ / 1000) + " s");
        return std::nullopt;
    case Wait::kFailed:
        return std::nullopt;
    }
    return std::nullopt;
}

bool GdbRemote::Interrupt() {
    if (failed_) return false;
    return channel_.Write(std::string_view("\x03", 1)) || Fail(channel_.error());
}

bool GdbRemote::Handshake() {
    const std::optional<std::string> reply = Request("qSupported:xmlRegisters=aarch64;vContSupported+");
    if (!reply) return false;
    supported_ = *reply;
    const size_t at = supported_.find("PacketSize=");
    if (at != std::string::npos) {
        uint64_t size = 0;
        const size_t begin = at + 11;
        const size_t end = supported_.find(';', begin);
        if (ParseHexNumber(std::string_view(supported_).substr(begin, end - begin), size) && size >= 64) {
            packetSize_ = static_cast<size_t>(size < (1u << 20) ? size : (1u << 20));
        }
    }
    if (Supports("QStartNoAckMode")) {
        const std::optional<std::string> ok = Request("QStartNoAckMode");
        if (!ok) return false;
        if (*ok == "OK") acknowledging_ = false;
    }
    return true;
}

bool GdbRemote::Supports(std::string_view feature) const {
    std::string_view rest = supported_;
    while (!rest.empty()) {
        const size_t end = rest.find(';');
        std::string_view item = rest.substr(0, end);
        if (item.size() > feature.size() && item.substr(0, feature.size()) == feature &&
            (item[feature.size()] == '+' || item[feature.size()] == '=')) {
            return true;
        }
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    return false;
}

}  // namespace qemuhost
