// The guest's console output, read on a thread of its own so that QEMU
// never blocks on a full pipe while this host waits on the gdbstub (a
// blocked QEMU would also stop answering it). Everything is copied to a
// log file; lines are kept for the marker lines and for error reports.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qemuhost {

class GuestConsole {
public:
    GuestConsole() = default;
    ~GuestConsole();
    GuestConsole(const GuestConsole&) = delete;
    GuestConsole& operator=(const GuestConsole&) = delete;

    // Reads `fd` (which it closes at the end) until end of file.
    bool Start(int fd, const std::string& logPath, std::string& error);
    // Waits for the reader to meet end of file (QEMU gone).
    void Finish();

    // Complete lines so far, without line ends.
    std::vector<std::string> Lines() const;
    bool HasLine(const std::string& line) const;
    // The last `count` lines, for error reports.
    std::string Tail(size_t count) const;
    bool ended() const;

private:
    void Read(int fd);

    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
    std::string partial_;
    bool ended_ = false;
    std::FILE* log_ = nullptr;
    std::thread reader_;
};

}  // namespace qemuhost
