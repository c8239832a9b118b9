// The packet layer of a gdb remote connection: sends commands, waits for
// replies, and keeps the acknowledgement rules (each packet is acknowledged
// with '+', a '-' asks for it again) until the stub offers QStartNoAckMode.
// Every wait has a deadline, and a connection that failed stays failed with
// the reason in error().
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "byte_channel.h"
#include "remote_packet.h"

namespace qemuhost {

class GdbRemote {
public:
    static constexpr int kRetransmits = 3;
    static constexpr int kDefaultReplyMs = 20000;

    explicit GdbRemote(ByteChannel& channel, int replyTimeoutMs = kDefaultReplyMs)
        : channel_(channel), replyTimeoutMs_(replyTimeoutMs) {}

    // qSupported, then QStartNoAckMode when the stub offers it.
    bool Handshake();
    // The reply to `payload`; nullopt when the connection failed or no reply
    // came in time (error() says which).
    std::optional<std::string> Request(std::string_view payload);
    // Sends a command whose answer comes later (a resume), waiting only for
    // its acknowledgement.
    bool Send(std::string_view payload);
    // The out-of-band interrupt byte.
    bool Interrupt();

    enum class Wait { kPacket, kTimeout, kFailed };
    // The next packet the stub sends within `timeoutMs`.
    Wait WaitPacket(std::string& payload, int timeoutMs);

    bool failed() const { return failed_; }
    const std::string& error() const { return error_; }
    // True when qSupported listed "feature+" or "feature=...".
    bool Supports(std::string_view feature) const;
    // The stub's PacketSize (bytes of a packet it accepts and sends).
    size_t packetSize() const { return packetSize_; }
    bool acknowledging() const { return acknowledging_; }

private:
    bool Fail(std::string reason);
    // Reads what arrives within `timeoutMs`; false when the connection failed.
    bool Pump(int timeoutMs);
    // Takes the reader's events: acknowledges packets and queues them.
    void Drain();

    ByteChannel& channel_;
    int replyTimeoutMs_;
    PacketReader reader_;
    std::deque<std::string> packets_;
    size_t acks_ = 0;
    size_t naks_ = 0;
    bool acknowledging_ = true;
    bool failed_ = false;
    std::string error_;
    std::string supported_;
    size_t packetSize_ = 4096;
};

}  // namespace qemuhost
