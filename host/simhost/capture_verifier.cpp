#include "capture_verifier.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <variant>

#include "rcf/capture_check.h"

namespace simhost {
namespace {

namespace rcf = vantric::rcf;

template <typename T, typename Visit>
void ForEach(const rcf::Capture& capture, Visit visit) {
    for (const rcf::Frame& frame : capture.frames) {
        for (const rcf::Record& record : frame.records) {
            if (const T* body = std::get_if<T>(&record.body)) visit(frame, *body);
        }
    }
}

std::string Text(uint64_t value) { return std::to_string(value); }

// Compares two multisets; the detail names the first element missing from
// the capture or the first one the capture has in excess.
template <typename T, typename Describe>
CheckRow CompareSets(std::string name, std::vector<T> expected, std::vector<T> found, Describe describe) {
    std::sort(expected.begin(), expected.end());
    std::sort(found.begin(), found.end());
    std::vector<T> missing;
    std::vector<T> extra;
    std::set_difference(expected.begin(), expected.end(), found.begin(), found.end(),
                        std::back_inserter(missing));
    std::set_difference(found.begin(), found.end(), expected.begin(), expected.end(),
                        std::back_inserter(extra));
    CheckRow row{std::move(name), Text(expected.size()), Text(found.size()), missing.empty() && extra.empty(), {}};
    if (!missing.empty()) {
        row.detail = Text(missing.size()) + " missing, first " + describe(missing.front());
    } else if (!extra.empty()) {
        row.detail = Text(extra.size()) + " unexpected, first " + describe(extra.front());
    }
    return row;
}

std::string Underscored(std::string name) {
    std::replace(name.begin(), name.end(), '/', '_');
    return name;
}

CheckRow CheckConsistency(const rcf::Capture& capture) {
    const std::vector<std::string> reasons = rcf::CheckCapture(capture);
    CheckRow row{"rcf check", "0 problems", Text(reasons.size()) + " problems", reasons.empty(), {}};
    if (!reasons.empty()) row.detail = reasons.front();
    return row;
}

CheckRow CheckSwitches(const rcf::Capture& capture, const GroundTruth& truth) {
    std::vector<TruthSwitch> found;
    ForEach<rcf::SwitchRecord>(capture, [&](const rcf::Frame& frame, const rcf::SwitchRecord& r) {
        found.push_back({frame.core.value_or(UINT32_MAX), r.time, r.tid, r.state});
    });
    return CompareSets("switches", truth.switches, found, [](const TruthSwitch& s) {
        return "core " + Text(s.core) + " time " + Text(s.time) + " tid " + Text(s.tid) + " state " + Text(s.state);
    });
}

CheckRow CheckExits(const rcf::Capture& capture, const GroundTruth& truth) {
    std::vector<TruthExit> found;
    ForEach<rcf::ThreadExitRecord>(capture, [&](const rcf::Frame& frame, const rcf::ThreadExitRecord& r) {
        found.push_back({frame.core.value_or(UINT32_MAX), r.time, r.tid});
    });
    return CompareSets("thread exits", truth.exits, found, [](const TruthExit& e) {
        return "core " + Text(e.core) + " time " + Text(e.time) + " pid " + Text(e.pid);
    });
}

CheckRow CheckThreadNames(const rcf::Capture& capture, const GroundTruth& truth) {
    size_t names = 0;
    CheckRow row{"thread names", "", "", true, {}};
    ForEach<rcf::ThreadNameRecord>(capture, [&](const rcf::Frame&, const rcf::ThreadNameRecord& r) {
        ++names;
        const auto it = truth.threads.find(r.tid);
        const std::string want = it == truth.threads.end() ? "" : Underscored(it->second.name);
        // Every idle task has id 0 and its own name, swapper_<core>.
        const bool good = it != truth.threads.end() &&
                          (r.name == want || (r.tid == 0 && r.name.rfind(want, 0) == 0));
        if (!good && row.ok) {
            row.ok = false;
            row.detail = "tid " + Text(r.tid) + " named '" + r.name + "', expected '" + want + "'";
        }
    });
    std::set<uint32_t> switchedTo;
    for (const TruthSwitch& s : truth.switches) switchedTo.insert(s.tid);
    row.expected = "at least " + Text(switchedTo.size());
    row.found = Text(names);
    if (names < switchedTo.size() && row.ok) {
        row.ok = false;
        row.detail = "fewer names than threads switched to";
    }
    return row;
}

CheckRow CheckSamplesPerCore(const rcf::Capture& capture, const GroundTruth& truth) {
    std::vector<uint64_t> found(truth.cores, 0);
    ForEach<rcf::SampleRecord>(capture, [&](const rcf::Frame& frame, const rcf::SampleRecord&) {
        const uint32_t core = frame.core.value_or(UINT32_MAX);
        if (core < found.size()) ++found[core];
    });
    CheckRow row{"samples per core", "", "", true, {}};
    uint64_t expectedTotal = 0;
    uint64_t foundTotal = 0;
    for (uint32_t core = 0; core < truth.cores; ++core) {
        // PERIODIC counts are multiples of the sampling interval's divisor,
        // so every interval's worth of instructions gives one sample.
        const uint64_t want = truth.coreInstructions.at(core) / truth.samplingInterval;
        expectedTotal += want;
        foundTotal += found[core];
        if (found[core] != want && row.ok) {
            row.ok = false;
            row.detail = "core " + Text(core) + ": " + Text(found[core]) + " samples, expected " + Text(want);
        }
    }
    row.expected = Text(expectedTotal);
    row.found = Text(foundTotal);
    return row;
}

std::map<uint32_t, std::string> CookieNames(const rcf::Capture& capture) {
    std::map<uint32_t, std::string> names;
    ForEach<rcf::CookieNameRecord>(capture, [&](const rcf::Frame&, const rcf::CookieNameRecord& r) {
        names[r.cookie] = r.name;
    });
    return names;
}

CheckRow CheckShares(const rcf::Capture& capture, const GroundTruth& truth,
                     std::vector<ThreadShare>& shares) {
    std::map<uint32_t, size_t> samples;
    size_t total = 0;
    ForEach<rcf::SampleRecord>(capture, [&](const rcf::Frame&, const rcf::SampleRecord& r) {
        ++samples[r.tid];
        ++total;
    });
    uint64_t instructions = 0;
    for (const auto& [tid, thread] : truth.threads) instructions += thread.instructions;
    CheckRow row{"thread sample shares", "", "", true, {}};
    size_t threads = 0;
    for (const auto& [tid, thread] : truth.threads) {
        if (thread.instructions == 0 && samples.count(tid) == 0) continue;
        ++threads;
        ThreadShare s;
        s.tid = tid;
        s.name = thread.name;
        s.instructionShare = instructions == 0 ? 0 : static_cast<double>(thread.instructions) / instructions;
        s.samples = samples.count(tid) ? samples[tid] : 0;
        s.expected = s.instructionShare * static_cast<double>(total);
        s.bound = SampleBound(s.expected, s.instructionShare);
        if (std::fabs(static_cast<double>(s.samples) - s.expected) > s.bound && row.ok) {
            row.ok = false;
            char text[160];
            std::snprintf(text, sizeof text, "tid %u: %zu samples, expected %.1f +- %.1f", tid,
                          s.samples, s.expected, s.bound);
            row.detail = text;
        }
        shares.push_back(s);
    }
    for (const auto& [tid, count] : samples) {
        if (truth.threads.count(tid) == 0 && row.ok) {
            row.ok = false;
            row.detail = Text(count) + " samples of unknown tid " + Text(tid);
        }
    }
    row.expected = Text(threads) + " threads within bounds";
    row.found = row.ok ? row.expected : "outside";
    return row;
}

CheckRow CheckUserFrames(const rcf::Capture& capture, const GroundTruth& truth) {
    const std::map<uint32_t, std::string> names = CookieNames(capture);
    size_t frames = 0;
    size_t userSamples = 0;
    CheckRow row{"user stack frames", "", "", true, {}};
    auto fail = [&](const std::string& why) {
        if (!row.ok) return;
        row.ok = false;
        row.detail = why;
    };
    ForEach<rcf::SampleRecord>(capture, [&](const rcf::Frame&, const rcf::SampleRecord& r) {
        if (r.cookie == 0) return;  // a kernel sample: raw addresses
        ++userSamples;
        const auto thread = truth.threads.find(r.tid);
        if (thread == truth.threads.end()) return fail("user sample of unknown tid " + Text(r.tid));
        const auto name = names.find(r.cookie);
        if (name == names.end() || name->second != thread->second.exePath) {
            return fail("tid " + Text(r.tid) + " sample names process '" +
                        (name == names.end() ? std::string("?") : name->second) + "'");
        }
        if (r.frames.size() < 2) return fail("tid " + Text(r.tid) + " sample without its caller");
        for (const rcf::StackFrame& f : r.frames) {
            ++frames;
            if (f.cookie == 0) continue;  // anonymous memory
            const auto file = names.find(f.cookie);
            const auto& maps = thread->second.mappings;
            if (file == names.end() || std::find(maps.begin(), maps.end(), file->second) == maps.end()) {
                return fail("tid " + Text(r.tid) + " frame in '" +
                            (file == names.end() ? std::string("?") : file->second) +
                            "', not mapped in its process");
            }
        }
    });
    row.expected = "in mapped files";
    row.found = Text(frames) + " frames of " + Text(userSamples) + " samples";
    if (userSamples == 0) {
        row.ok = false;
        row.detail = "no user-mode samples";
    }
    return row;
}

CheckRow CheckAnnotations(const rcf::Capture& capture, const GroundTruth& truth) {
    std::vector<TruthSyscall> found;
    ForEach<rcf::AnnotationRecord>(capture, [&](const rcf::Frame&, const rcf::AnnotationRecord& r) {
        // The core travels in the pid position.
        found.push_back({r.pid, r.tid, r.time, r.text});
    });
    return CompareSets("openat/execve annotations", truth.syscalls, found, [](const TruthSyscall& s) {
        return "core " + Text(s.core) + " tid " + Text(s.tid) + " time " + Text(s.time) + " " + s.text;
    });
}

std::vector<CheckRow> CheckCounters(const rcf::Capture& capture, const GroundTruth& truth) {
    std::vector<CheckRow> rows;
    for (const TruthCounter& counter : truth.counters) {
        CheckRow row{"counter '" + counter.name + "'", Text(counter.events), "", false, {}};
        const auto element = std::find_if(capture.counters.begin(), capture.counters.end(),
                                          [&](const rcf::CounterElement& e) { return e.name == counter.name; });
        if (element == capture.counters.end()) {
            row.found = "absent";
            row.detail = "captured.xml does not describe it";
            rows.push_back(row);
            continue;
        }
        uint64_t sum = 0;
        ForEach<rcf::CounterValueRecord>(capture, [&](const rcf::Frame&, const rcf::CounterValueRecord& r) {
            if (r.key == element->key) sum += r.value;
        });
        row.found = Text(sum);
        row.ok = sum == counter.events;
        if (!row.ok) row.detail = "the counted events differ from the events emitted";
        rows.push_back(row);
    }
    return rows;
}

CheckRow CheckBareMetalSamples(const rcf::Capture& capture, const GroundTruth& truth) {
    const std::map<uint32_t, std::string> names = CookieNames(capture);
    size_t samples = 0;
    CheckRow row{"call stacks of samples", "", "", true, {}};
    auto fail = [&](const std::string& why) {
        if (!row.ok) return;
        row.ok = false;
        row.detail = why;
    };
    ForEach<rcf::SampleRecord>(capture, [&](const rcf::Frame& frame, const rcf::SampleRecord& r) {
        ++samples;
        const uint32_t core = frame.core.value_or(UINT32_MAX);
        if (r.pid != truth.appPid || r.tid != truth.appPid) return fail("sample of pid " + Text(r.pid));
        const auto name = names.find(r.cookie);
        if (name == names.end() || name->second != truth.appName) return fail("sample not named " + truth.appName);
        std::vector<uint64_t> addresses;
        for (const rcf::StackFrame& f : r.frames) {
            addresses.push_back(f.address);
            if (f.cookie != r.cookie) return fail("frame cookie differs from the sample's");
        }
        const auto stacks = truth.periodicStacks.find({core, r.time});
        if (stacks == truth.periodicStacks.end() ||
            std::find(stacks->second.begin(), stacks->second.end(), addresses) == stacks->second.end()) {
            return fail("core " + Text(core) + " time " + Text(r.time) + ": a stack of " +
                        Text(addresses.size()) + " frames that never ran");
        }
    });
    row.expected = "as executed";
    row.found = Text(samples) + " samples";
    return row;
}

CheckRow CheckActivity(const rcf::Capture& capture, const GroundTruth& truth) {
    // Channel texts form the tree core -> process -> thread -> function; an
    // activity names its function node, whose ancestors give the core.
    std::map<std::pair<uint32_t, uint32_t>, std::pair<uint32_t, std::string>> nodes;
    ForEach<rcf::ChannelTextRecord>(capture, [&](const rcf::Frame&, const rcf::ChannelTextRecord& r) {
        nodes[{r.channel, r.sequence}] = {r.value, r.text};
    });
    auto coreOf = [&](uint32_t channel, uint32_t id) -> uint32_t {
        for (int depth = 0; depth < 8; ++depth) {
            const auto it = nodes.find({channel, id});
            if (it == nodes.end()) return UINT32_MAX;
            if (it->second.first == UINT32_MAX) return static_cast<uint32_t>(std::stoul(it->second.second));
            id = it->second.first;
        }
        return UINT32_MAX;
    };
    std::vector<TruthCall> found;
    ForEach<rcf::ActivityRecord>(capture, [&](const rcf::Frame&, const rcf::ActivityRecord& r) {
        found.push_back({coreOf(r.channel, r.relatedId), r.text, r.startTime, r.duration});
    });
    return CompareSets("function activity", truth.calls, found, [](const TruthCall& c) {
        return "core " + Text(c.core) + " " + c.function + " at " + Text(c.start) + " for " + Text(c.duration);
    });
}

}  // namespace

double SampleBound(double expected, double share) {
    return 4.0 * std::sqrt(std::max(0.0, expected * (1.0 - share))) + 2.0;
}

bool VerifyReport::ok() const {
    return std::all_of(rows.begin(), rows.end(), [](const CheckRow& r) { return r.ok; });
}

std::string VerifyReport::Table() const {
    std::string out;
    char line[512];
    if (!shares.empty()) {
        std::snprintf(line, sizeof line, "%7s  %-16s %8s %8s %9s %7s\n", "tid", "thread", "instr %",
                      "samples", "expected", "bound");
        out += line;
        for (const ThreadShare& s : shares) {
            std::snprintf(line, sizeof line, "%7u  %-16s %7.2f%% %8zu %9.1f %7.1f\n", s.tid,
                          s.name.c_str(), 100.0 * s.instructionShare, s.samples, s.expected, s.bound);
            out += line;
        }
        out += "\n";
    }
    std::snprintf(line, sizeof line, "%-28s %-26s %-32s %s\n", "check", "expected", "found", "result");
    out += line;
    for (const CheckRow& r : rows) {
        std::snprintf(line, sizeof line, "%-28s %-26s %-32s %s\n", r.name.c_str(), r.expected.c_str(),
                      r.found.c_str(), r.ok ? "ok" : "MISMATCH");
        out += line;
        if (!r.ok && !r.detail.empty()) out += "    " + r.detail + "\n";
    }
    return out;
}

VerifyReport VerifyCapture(const rcf::Capture& capture, const GroundTruth& truth) {
    VerifyReport report;
    report.rows.push_back(CheckConsistency(capture));
    report.rows.push_back(CheckSwitches(capture, truth));
    report.rows.push_back(CheckSamplesPerCore(capture, truth));
    if (truth.scenario == "baremetal") {
        report.rows.push_back(CheckBareMetalSamples(capture, truth));
        report.rows.push_back(CheckActivity(capture, truth));
    } else {
        report.rows.push_back(CheckThreadNames(capture, truth));
        report.rows.push_back(CheckExits(capture, truth));
        report.rows.push_back(CheckShares(capture, truth, report.shares));
        report.rows.push_back(CheckUserFrames(capture, truth));
        report.rows.push_back(CheckAnnotations(capture, truth));
    }
    for (CheckRow& row : CheckCounters(capture, truth)) report.rows.push_back(std::move(row));
    return report;
}

}  // namespace simhost
