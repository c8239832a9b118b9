// A loopback TCP connection to a gdbstub. Small writes go out at once
// (TCP_NODELAY): every packet waits for its acknowledgement, so Nagle's
// delay would be paid on each exchange.
#pragma once

#include <cstdint>
#include <string>

#include "byte_channel.h"

namespace qemuhost {

class TcpChannel final : public ByteChannel {
public:
    TcpChannel() = default;
    ~TcpChannel() override;
    TcpChannel(const TcpChannel&) = delete;
    TcpChannel& operator=(const TcpChannel&) = delete;

    // One attempt; false with error() set when nothing listens.
    bool Connect(uint16_t port);
    bool Write(std::string_view bytes) override;
    ReadResult Read(std::string& into, int timeoutMs) override;
    std::string error() const override { return error_; }
    void Close();

    // A port on 127.0.0.1 that nothing listens on right now (0 when none).
    static uint16_t FreePort();

private:
    int fd_ = -1;
    std::string error_;
};

}  // namespace qemuhost
