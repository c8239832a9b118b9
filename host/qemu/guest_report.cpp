#include "guest_report.h"

#include <cstdio>
#include <sstream>

#include "remote_packet.h"

namespace qemuhost {
namespace {

bool Pid(const std::string& text, uint32_t& pid) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    pid = static_cast<uint32_t>(std::stoul(text));
    return pid != 0;
}

// "start-end perms offset dev inode [path]" as /proc/PID/maps prints it.
bool Mapping(std::istringstream& in, ReportedMapping& mapping) {
    std::string range, perms, offset, device, inode;
    if (!(in >> range >> perms >> offset >> device >> inode)) return false;
    const size_t dash = range.find('-');
    if (dash == std::string::npos || !ParseHexNumber(range.substr(0, dash), mapping.start) ||
        !ParseHexNumber(range.substr(dash + 1), mapping.end) || !ParseHexNumber(offset, mapping.offset)) {
        return false;
    }
    std::getline(in >> std::ws, mapping.path);
    return mapping.start < mapping.end;
}

}  // namespace

void GuestReport::Parse(const std::vector<std::string>& lines) {
    const std::string marker = kMarker;
    for (const std::string& line : lines) {
        // The marker may follow kernel output that had no line end yet.
        const size_t at = line.find(marker);
        if (at == std::string::npos) continue;
        std::istringstream in(line.substr(at + marker.size()));
        std::string kind;
        in >> kind;
        bool good = true;
        if (kind == "ready") {
            ready_ = true;
        } else if (kind == "end") {
            ended_ = true;
        } else if (kind == "begin" || kind == "dash-done") {
        } else if (kind == "kallsyms") {
            std::string address, type, name;
            uint64_t value = 0;
            good = static_cast<bool>(in >> address >> type >> name) && ParseHexNumber(address, value);
            if (good) {
                symbols_[name] = value;
                symbolTypes_[name] = type;
            }
        } else {
            std::string pidText;
            uint32_t pid = 0;
            good = static_cast<bool>(in >> pidText) && Pid(pidText, pid);
            ReportedProcess update;
            update.pid = pid;
            std::string rest;
            if (!good) {
            } else if (kind == "maps") {
                ReportedMapping mapping;
                good = Mapping(in, mapping);
                update.maps.push_back(mapping);
            } else if (std::getline(in >> std::ws, rest) && !rest.empty()) {
                if (kind == "process") update.name = rest;
                else if (kind == "exec") update.programs.push_back(rest);
                else if (kind == "open") update.opened.push_back(rest);
                else good = false;
            } else {
                good = false;
            }
            // A line that cannot be read adds nothing, not even the pid.
            if (good) {
                ReportedProcess& process = processes_[pid];
                process.pid = pid;
                if (!update.name.empty()) process.name = update.name;
                process.programs.insert(process.programs.end(), update.programs.begin(), update.programs.end());
                process.opened.insert(process.opened.end(), update.opened.begin(), update.opened.end());
                process.maps.insert(process.maps.end(), update.maps.begin(), update.maps.end());
            }
        }
        if (!good) unreadable_.push_back(line);
    }
}

std::string GuestReport::SymbolText() const {
    std::string text;
    for (const auto& [name, address] : symbols_) {
        char line[256];
        std::snprintf(line, sizeof line, "%016llx %s %s\n", static_cast<unsigned long long>(address),
                      symbolTypes_.at(name).c_str(), name.c_str());
        text += line;
    }
    return text;
}

uint32_t GuestReport::dashPid() const {
    for (const auto& [pid, process] : processes_) {
        if (process.name == "dash") return pid;
    }
    return 0;
}

}  // namespace qemuhost
