#include "rcf/profile/chrome_export.h"

#include <algorithm>
#include <set>

#include "rcf/profile/text_format.h"

namespace vantric::rcf {
namespace {

class EventList {
public:
    explicit EventList(OutputStream& out) : out_(out) {}

    // Starts an event object with its common fields; the caller adds the rest and closes it.
    std::string& begin(std::string_view phase, std::string_view name, uint32_t pid, uint32_t tid) {
        line_.clear();
        line_ += first_ ? "\n{" : ",\n{";
        first_ = false;
        line_ += "\"ph\":\"";
        line_ += phase;
        line_ += "\",\"name\":";
        AppendJsonString(line_, name);
        line_ += ",\"pid\":" + std::to_string(pid) + ",\"tid\":" + std::to_string(tid);
        return line_;
    }
    void end() {
        line_ += '}';
        out_.write(line_);
    }
    void metadata(std::string_view kind, uint32_t pid, uint32_t tid, std::string_view name) {
        std::string& e = begin("M", kind, pid, tid);
        e += ",\"args\":{\"name\":";
        AppendJsonString(e, name);
        e += '}';
        end();
    }

private:
    OutputStream& out_;
    std::string line_;
    bool first_ = true;
};

uint32_t ChromePid(uint32_t pid) { return pid == 0 ? kChromeKernelPid : pid; }
uint32_t ChromeTid(uint32_t tid, uint32_t core) { return tid == 0 ? kChromeIdleTid + core : tid; }

void Times(std::string& e, uint64_t start, uint64_t end) {
    e += ",\"ts\":" + MicrosText(start) + ",\"dur\":" + MicrosText(end - start);
}

}  // namespace

void WriteChromeTrace(const Profile& profile, OutputStream& out) {
    out.write("{\"displayTimeUnit\":\"ns\",\"otherData\":{\"symbols\":");
    std::string report;
    AppendJsonString(report, SymbolReportText(profile.symbols));
    out.write(report);
    out.write(",\"samples\":\"not representable here: export pprof or speedscope\"},\n\"traceEvents\":[");
    EventList events(out);

    events.metadata("process_name", kChromeCoresPid, 1, "cores");
    events.metadata("process_name", kChromeFunctionsPid, 1, "function activity");
    events.metadata("process_name", kChromeCountersPid, 1, "counters");
    for (uint32_t core = 0; core < profile.cores; ++core) {
        events.metadata("thread_name", kChromeCoresPid, core + 1, "core " + std::to_string(core));
        events.metadata("thread_name", kChromeFunctionsPid, core + 1, "core " + std::to_string(core));
    }
    // Names of the processes and threads that annotations land on.
    std::set<uint32_t> pids;
    std::set<std::pair<uint32_t, uint32_t>> threads;  // tid, core
    for (const Annotation& a : profile.annotations) threads.insert({a.tid, a.tid == 0 ? a.core : 0});
    for (const auto& [tid, core] : threads) {
        auto t = profile.threads.find(tid);
        const uint32_t pid = t == profile.threads.end() ? 0 : t->second.pid;
        if (pids.insert(pid).second) {
            auto p = profile.processes.find(pid);
            events.metadata("process_name", ChromePid(pid), 1,
                            p != profile.processes.end() ? p->second.name : "pid " + std::to_string(pid));
        }
        const std::string name = tid == 0 ? "idle " + std::to_string(core)
                                 : t != profile.threads.end() ? t->second.name
                                                              : "tid " + std::to_string(tid);
        events.metadata("thread_name", ChromePid(pid), ChromeTid(tid, core), name);
    }

    for (const CoreSlice& s : profile.coreSlices) {
        const auto t = profile.threads.find(s.tid);
        const bool named = !s.idle && t != profile.threads.end();
        std::string& e = events.begin("X", s.idle ? "idle" : named ? t->second.name : "tid " + std::to_string(s.tid),
                                      kChromeCoresPid, s.core + 1);
        e += ",\"cat\":\"";
        e += s.idle ? "idle\"" : "thread\"";
        Times(e, s.start, s.end);
        if (!s.idle) {
            e += ",\"args\":{\"tid\":" + std::to_string(s.tid);
            if (named) {
                e += ",\"pid\":" + std::to_string(t->second.pid) + ",\"process\":";
                auto p = profile.processes.find(t->second.pid);
                AppendJsonString(e, p != profile.processes.end() ? p->second.name : "");
            }
            e += '}';
        }
        events.end();
    }
    for (const FunctionSlice& f : profile.functions) {
        std::string& e = events.begin("X", f.name, kChromeFunctionsPid, f.core + 1);
        e += ",\"cat\":\"function\"";
        Times(e, f.start, f.end);
        e += ",\"args\":{\"tid\":" + std::to_string(f.tid) + "}";
        events.end();
    }
    for (const Annotation& a : profile.annotations) {
        auto t = profile.threads.find(a.tid);
        const uint32_t pid = t == profile.threads.end() ? 0 : t->second.pid;
        const std::string_view text = a.text;
        std::string& e = events.begin("i", text.substr(0, std::min(text.find('('), text.size())),
                                      ChromePid(pid), ChromeTid(a.tid, a.tid == 0 ? a.core : 0));
        e += ",\"cat\":\"annotation\",\"s\":\"t\",\"ts\":" + MicrosText(a.time) + ",\"args\":{\"text\":";
        AppendJsonString(e, a.text);
        e += ",\"core\":" + std::to_string(a.core) + "}";
        events.end();
    }
    for (const CounterSeries& c : profile.counters) {
        const std::string name = (c.title.empty() ? "" : c.title + " ") + c.name + " core " + std::to_string(c.core);
        for (const auto& [time, value] : c.points) {
            std::string& e = events.begin("C", name, kChromeCountersPid, 1);
            e += ",\"ts\":" + MicrosText(time) + ",\"args\":{\"value\":" + std::to_string(value) + "}";
            events.end();
        }
    }
    out.write("\n]}\n");
}

}  // namespace vantric::rcf
