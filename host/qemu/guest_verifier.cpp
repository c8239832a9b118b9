#include "guest_verifier.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <tuple>
#include <variant>

#include "rcf/capture_check.h"

namespace qemuhost {
namespace {

namespace rcf = vantric::rcf;

constexpr uint32_t kOutsideEveryArea = 0xFFFFFFFFu;

std::string Text(uint64_t n) { return std::to_string(n); }

void Miss(VerifyRow& row, const std::string& why) {
    if (row.ok) row.detail = why;
    row.ok = false;
}

VerifyRow Consistency(const rcf::Capture& capture) {
    const std::vector<std::string> reasons = rcf::CheckCapture(capture);
    VerifyRow row{"rcf check", "0 problems", Text(reasons.size()) + " problems", reasons.empty(), {}};
    if (!reasons.empty()) row.detail = reasons.front();
    return row;
}

// A thread runs on one vCPU at a time: after all switches of one moment,
// no thread but the idle tasks (0) is the current one of two vCPUs.
VerifyRow Switches(const rcf::Capture& capture) {
    std::vector<std::tuple<uint64_t, uint32_t, uint32_t>> switches;  // time, core, incoming tid
    for (const rcf::Frame& frame : capture.frames) {
        if (!frame.core) continue;
        for (const rcf::Record& record : frame.records) {
            if (const auto* s = std::get_if<rcf::SwitchRecord>(&record.body)) switches.emplace_back(s->time, *frame.core, s->tid);
        }
    }
    std::stable_sort(switches.begin(), switches.end(),
                     [](const auto& a, const auto& b) { return std::get<0>(a) < std::get<0>(b); });
    VerifyRow row{"switches", "one vCPU per thread", Text(switches.size()) + " switches", true, {}};
    if (switches.empty()) Miss(row, "no switch");
    std::map<uint32_t, uint32_t> current;  // core -> tid
    for (size_t i = 0; i < switches.size(); ++i) {
        const auto [time, core, tid] = switches[i];
        current[core] = tid;
        if (i + 1 < switches.size() && std::get<0>(switches[i + 1]) == time) continue;
        std::map<uint32_t, uint32_t> coreOf;  // tid -> core
        for (const auto& [c, t] : current) {
            if (t == 0) continue;
            const auto [it, fresh] = coreOf.emplace(t, c);
            if (!fresh) Miss(row, "thread " + Text(t) + " current on vCPUs " + Text(it->second) + " and " + Text(c) + " at " + Text(time));
        }
    }
    return row;
}

VerifyRow Names(const rcf::Capture& capture, const GuestReport& report) {
    std::set<std::pair<uint32_t, std::string>> named;
    for (const auto& r : rcf::RecordsOf<rcf::ThreadNameRecord>(capture)) named.insert({r.tid, r.name});
    VerifyRow row{"processes named", Text(report.processes().size()), "", true, {}};
    size_t found = 0;
    for (const auto& [pid, process] : report.processes()) {
        if (named.count({pid, process.name}) != 0) {
            ++found;
        } else {
            Miss(row, "no thread " + Text(pid) + " named '" + process.name + "'");
        }
    }
    row.found = Text(found);
    if (report.processes().empty()) Miss(row, "the guest reported no process");
    return row;
}

VerifyRow Exits(const rcf::Capture& capture, const GuestReport& report) {
    std::set<uint32_t> exited;
    for (const auto& r : rcf::RecordsOf<rcf::ThreadExitRecord>(capture)) exited.insert(r.tid);
    VerifyRow row{"process exits", Text(report.processes().size()), "", true, {}};
    size_t found = 0;
    for (const auto& [pid, process] : report.processes()) {
        if (exited.count(pid) != 0) {
            ++found;
        } else {
            Miss(row, "no exit of " + Text(pid) + " (" + process.name + ")");
        }
    }
    row.found = Text(found);
    return row;
}

// Annotations of `tid` holding every piece.
bool Annotated(const std::vector<rcf::AnnotationRecord>& notes, uint32_t tid,
               std::initializer_list<std::string> pieces) {
    return std::any_of(notes.begin(), notes.end(), [&](const rcf::AnnotationRecord& note) {
        return note.tid == tid && std::all_of(pieces.begin(), pieces.end(), [&](const std::string& piece) {
                   return note.text.find(piece) != std::string::npos;
               });
    });
}

std::vector<VerifyRow> Annotations(const rcf::Capture& capture, const GuestReport& report) {
    const auto notes = rcf::RecordsOf<rcf::AnnotationRecord>(capture);
    VerifyRow opens{"openat annotations", "", "", true, {}};
    VerifyRow execs{"execve annotations", "", "", true, {}};
    size_t openWanted = 0, openFound = 0, execWanted = 0, execFound = 0;
    for (const auto& [pid, process] : report.processes()) {
        for (const std::string& path : process.opened) {
            ++openWanted;
            if (Annotated(notes, pid, {"openat(", "\"" + path + "\""})) {
                ++openFound;
            } else {
                Miss(opens, "no openat of \"" + path + "\" by thread " + Text(pid));
            }
        }
        for (const std::string& program : process.programs) {
            ++execWanted;
            if (Annotated(notes, pid, {"execve(\"" + program + "\""})) {
                ++execFound;
            } else {
                Miss(execs, "no execve of \"" + program + "\" by thread " + Text(pid));
            }
        }
    }
    opens.expected = Text(openWanted);
    opens.found = Text(openFound);
    execs.expected = Text(execWanted);
    execs.found = Text(execFound);
    return {opens, execs};
}

VerifyRow DashFrames(const rcf::Capture& capture, const GuestReport& report) {
    VerifyRow row{"dash user frames", "in its maps", "", true, {}};
    const uint32_t dash = report.dashPid();
    if (dash == 0) {
        Miss(row, "the guest reported no dash process");
        return row;
    }
    const ReportedProcess& process = report.processes().at(dash);
    const std::vector<ReportedMapping>& maps = process.maps;
    if (maps.empty()) Miss(row, "the guest reported no memory map of dash");
    std::map<uint32_t, std::string> names;
    for (const auto& r : rcf::RecordsOf<rcf::CookieNameRecord>(capture)) names[r.cookie] = r.name;
    size_t samples = 0, frames = 0;
    for (const rcf::SampleRecord& sample : rcf::RecordsOf<rcf::SampleRecord>(capture)) {
        // Kernel samples carry no process cookie; before its exec the
        // process ran busybox under the same pid.
        const auto image = names.find(sample.cookie);
        if (sample.pid != dash || image == names.end() ||
            std::find(process.programs.begin(), process.programs.end(), image->second) == process.programs.end()) {
            continue;
        }
        ++samples;
        if (sample.frames.empty()) {
            Miss(row, "a user sample of dash without frames");
            continue;
        }
        for (size_t i = 0; i < sample.frames.size(); ++i) {
            const rcf::StackFrame& frame = sample.frames[i];
            if (frame.cookie == 0 || frame.cookie == kOutsideEveryArea) {
                // The pc itself is in dash's code or a library it maps.
                if (i == 0) Miss(row, "a dash sample whose pc lies in no mapped file");
                continue;
            }
            ++frames;
            const auto name = names.find(frame.cookie);
            const std::string path = name == names.end() ? "?" : name->second;
            const bool inMap = std::any_of(maps.begin(), maps.end(), [&](const ReportedMapping& m) {
                return m.path == path && frame.address >= m.offset && frame.address - m.offset < m.end - m.start;
            });
            if (!inMap) {
                char offset[32];
                std::snprintf(offset, sizeof offset, "0x%llx", static_cast<unsigned long long>(frame.address));
                Miss(row, "frame " + Text(i) + " at " + path + " + " + offset + " is in no mapping of dash");
            }
        }
    }
    row.found = Text(frames) + " frames of " + Text(samples) + " samples";
    if (samples == 0) Miss(row, "no user-mode sample of dash (pid " + Text(dash) + ")");
    return row;
}

}  // namespace

std::vector<VerifyRow> GuestVerifier::Verify(const rcf::Capture& capture, const GuestReport& report) {
    std::vector<VerifyRow> rows{Consistency(capture), Switches(capture), Names(capture, report), Exits(capture, report)};
    for (VerifyRow& row : Annotations(capture, report)) rows.push_back(std::move(row));
    rows.push_back(DashFrames(capture, report));
    return rows;
}

bool GuestVerifier::AllOk(const std::vector<VerifyRow>& rows) {
    return std::all_of(rows.begin(), rows.end(), [](const VerifyRow& r) { return r.ok; });
}

std::string GuestVerifier::Table(const std::vector<VerifyRow>& rows) {
    std::string out;
    char line[512];
    std::snprintf(line, sizeof line, "%-22s %-14s %-28s %s\n", "check", "expected", "found", "result");
    out += line;
    for (const VerifyRow& r : rows) {
        std::snprintf(line, sizeof line, "%-22s %-14s %-28s %s\n", r.name.c_str(), r.expected.c_str(),
                      r.found.c_str(), r.ok ? "ok" : "MISMATCH");
        out += line;
        if (!r.ok && !r.detail.empty()) out += "    " + r.detail + "\n";
    }
    return out;
}

}  // namespace qemuhost
