// A gdbstub that follows a script, for tests of the protocol client: each
// step names the command it expects and the reply it sends, framed as QEMU
// frames them ('+' first while acknowledgements are on). A step without a
// command is sent unasked on the next read (a stop reply after a resume).
// What the client sent that the script did not expect is recorded.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "byte_channel.h"
#include "remote_packet.h"

namespace qemuhost::testing {

struct StubStep {
    std::string command;  // empty: unasked
    std::string reply;    // a payload, or framed bytes when `raw`
    bool raw = false;
    bool silent = false;  // no reply at all (a resume)
    bool refuse = false;  // answer '-' (a checksum error) and nothing else
};

class FakeGdbstub final : public ByteChannel {
public:
    explicit FakeGdbstub(std::vector<StubStep> script, bool acknowledging = true)
        : script_(script.begin(), script.end()), acknowledging_(acknowledging) {}

    bool Write(std::string_view bytes) override {
        if (closed_) return false;
        written_ += bytes;
        if (bytes == "\x03") {
            interrupts_++;
            return true;
        }
        reader_.Feed(bytes);
        PacketReader::Event event;
        while (reader_.Next(event)) {
            if (event.kind == PacketReader::Kind::kAck) ++clientAcks_;
            if (event.kind != PacketReader::Kind::kPacket) continue;
            if (!script_.empty() && script_.front().refuse && script_.front().command == event.payload) {
                pending_ += "-";
                script_.pop_front();
                continue;
            }
            if (acknowledging_) pending_ += "+";
            if (script_.empty() || script_.front().command != event.payload) {
                unexpected_.push_back(event.payload);
                pending_ += EncodePacket("E99");
                continue;
            }
            const StubStep step = script_.front();
            script_.pop_front();
            if (!step.silent) pending_ += step.raw ? step.reply : EncodePacket(step.reply);
            if (step.command == "QStartNoAckMode" && step.reply == "OK") acknowledging_ = false;
        }
        return true;
    }

    ReadResult Read(std::string& into, int) override {
        if (pending_.empty() && !script_.empty() && script_.front().command.empty()) {
            const StubStep step = script_.front();
            script_.pop_front();
            pending_ += step.raw ? step.reply : EncodePacket(step.reply);
        }
        if (pending_.empty()) return closeWhenDone_ && script_.empty() ? ReadResult::kClosed : ReadResult::kTimeout;
        into += pending_;
        pending_.clear();
        return ReadResult::kData;
    }

    std::string error() const override { return "the fake gdbstub closed the connection"; }

    void CloseWhenDone() { closeWhenDone_ = true; }
    bool done() const { return script_.empty() && unexpected_.empty(); }
    const std::vector<std::string>& unexpected() const { return unexpected_; }
    const std::string& written() const { return written_; }
    size_t clientAcks() const { return clientAcks_; }
    size_t interrupts() const { return interrupts_; }

private:
    std::deque<StubStep> script_;
    bool acknowledging_;
    PacketReader reader_;
    std::string pending_;
    std::string written_;
    std::vector<std::string> unexpected_;
    size_t clientAcks_ = 0;
    size_t interrupts_ = 0;
    bool closed_ = false;
    bool closeWhenDone_ = false;
};

}  // namespace qemuhost::testing
