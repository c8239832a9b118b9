// What the guest's /init says it did, read from its "@@VTQ " marker lines
// on the console: the kernel symbols it looked up, each process it started
// (pid and name), the programs executed, the files opened, and the memory
// map of its dash process. It is the truth a capture is checked against.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace qemuhost {

struct ReportedMapping {
    uint64_t start = 0;
    uint64_t end = 0;
    uint64_t offset = 0;
    std::string path;  // empty for anonymous memory
};

struct ReportedProcess {
    uint32_t pid = 0;
    std::string name;
    std::vector<std::string> programs;  // execve paths
    std::vector<std::string> opened;
    std::vector<ReportedMapping> maps;
};

class GuestReport {
public:
    static constexpr const char* kMarker = "@@VTQ ";

    // Reads every marker line; others are ignored.
    void Parse(const std::vector<std::string>& lines);

    // "address type name" lines as System.map has them.
    const std::map<std::string, uint64_t>& symbols() const { return symbols_; }
    std::string SymbolText() const;
    const std::map<uint32_t, ReportedProcess>& processes() const { return processes_; }
    // The process named "dash"; 0 when none was reported.
    uint32_t dashPid() const;
    bool ready() const { return ready_; }
    bool ended() const { return ended_; }
    // Marker lines that could not be read.
    const std::vector<std::string>& unreadable() const { return unreadable_; }

private:
    std::map<std::string, uint64_t> symbols_;
    std::map<std::string, std::string> symbolTypes_;
    std::map<uint32_t, ReportedProcess> processes_;
    std::vector<std::string> unreadable_;
    bool ready_ = false;
    bool ended_ = false;
};

}  // namespace qemuhost
