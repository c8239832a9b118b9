#include "guest_console.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace qemuhost {
namespace {

// A runaway guest must not fill this host's memory; the log keeps it all.
constexpr size_t kMaxLines = 200000;
constexpr size_t kMaxLine = 4096;

}  // namespace

GuestConsole::~GuestConsole() { Finish(); }

bool GuestConsole::Start(int fd, const std::string& logPath, std::string& error) {
    log_ = std::fopen(logPath.c_str(), "wb");
    if (log_ == nullptr) {
        error = "cannot write " + logPath + ": " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    reader_ = std::thread([this, fd] { Read(fd); });
    return true;
}

void GuestConsole::Finish() {
    if (reader_.joinable()) reader_.join();
    if (log_ != nullptr) std::fclose(log_);
    log_ = nullptr;
}

void GuestConsole::Read(int fd) {
    char buffer[4096];
    while (true) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        std::fwrite(buffer, 1, static_cast<size_t>(n), log_);
        std::fflush(log_);
        std::lock_guard<std::mutex> lock(mutex_);
        for (ssize_t i = 0; i < n; ++i) {
            const char c = buffer[i];
            if (c == '\n') {
                if (!partial_.empty() && partial_.back() == '\r') partial_.pop_back();
                if (lines_.size() < kMaxLines) lines_.push_back(partial_);
                partial_.clear();
            } else if (partial_.size() < kMaxLine) {
                partial_ += c;
            }
        }
    }
    ::close(fd);
    std::lock_guard<std::mutex> lock(mutex_);
    if (!partial_.empty()) lines_.push_back(partial_);
    partial_.clear();
    ended_ = true;
}

std::vector<std::string> GuestConsole::Lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
}

bool GuestConsole::HasLine(const std::string& line) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::find(lines_.rbegin(), lines_.rend(), line) != lines_.rend();
}

std::string GuestConsole::Tail(size_t count) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string text;
    const size_t from = lines_.size() > count ? lines_.size() - count : 0;
    for (size_t i = from; i < lines_.size(); ++i) text += "    | " + lines_[i] + "\n";
    if (!partial_.empty()) text += "    | " + partial_ + "\n";
    return text.empty() ? "    (no console output)\n" : text;
}

bool GuestConsole::ended() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return ended_;
}

}  // namespace qemuhost
