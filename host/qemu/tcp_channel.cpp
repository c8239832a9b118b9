#include "tcp_channel.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qemuhost {
namespace {

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

}  // namespace

TcpChannel::~TcpChannel() { Close(); }

void TcpChannel::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool TcpChannel::Connect(uint16_t port) {
    Close();
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        error_ = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    const sockaddr_in address = Loopback(port);
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error_ = "connect to 127.0.0.1:" + std::to_string(port) + ": " + std::strerror(errno);
        Close();
        return false;
    }
    const int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return true;
}

bool TcpChannel::Write(std::string_view bytes) {
    while (!bytes.empty()) {
        if (fd_ < 0) {
            error_ = "the gdbstub connection is closed";
            return false;
        }
        const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error_ = std::string("the gdbstub dropped the connection (") + std::strerror(errno) + ")";
            Close();
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

ByteChannel::ReadResult TcpChannel::Read(std::string& into, int timeoutMs) {
    if (fd_ < 0) return ReadResult::kClosed;
    pollfd p{fd_, POLLIN, 0};
    const int ready = ::poll(&p, 1, timeoutMs);
    if (ready == 0 || (ready < 0 && errno == EINTR)) return ReadResult::kTimeout;
    char buffer[16384];
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) return ReadResult::kTimeout;
    if (n <= 0) {
        error_ = n == 0 ? "the gdbstub closed the connection"
                        : std::string("the gdbstub dropped the connection (") + std::strerror(errno) + ")";
        Close();
        return ReadResult::kClosed;
    }
    into.append(buffer, static_cast<size_t>(n));
    return ReadResult::kData;
}

uint16_t TcpChannel::FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    uint16_t port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(fd);
    return port;
}

}  // namespace qemuhost
