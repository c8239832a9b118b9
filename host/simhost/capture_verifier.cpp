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

bool InWindow(const GroundTruth& truth, uint64_t time) {
    return time >= truth.windowStart && time < truth.windowEnd;
}

// What the Linux driver knows of the current tasks: it learns them from the
// switches inside the window, in the order they were emitted. Before the
// first of them it knows no task at all; a core it saw no switch on runs
// task 0 (thread id 0) for it, any other core the thread that really runs.
class KnownTasks {
public:
    explicit KnownTasks(const GroundTruth& truth) : truth_(truth), cores_(truth.cores, false) {}

    // The state after the first `switches` switches emitted; never backwards.
    void Advance(size_t switches) {
        for (; seen_ < std::min(switches, truth_.switches.size()); ++seen_) {
            const TruthSwitch& s = truth_.switches[seen_];
            if (!InWindow(truth_, s.time)) continue;
            any_ = true;
            if (s.core < cores_.size()) cores_[s.core] = true;
        }
    }
    bool any() const { return any_; }
    uint32_t tid(uint32_t core, uint32_t running) const {
        return core < cores_.size() && cores_[core] ? running : 0;
    }

private:
    const GroundTruth& truth_;
    std::vector<bool> cores_;
    size_t seen_ = 0;
    bool any_ = false;
};

// The PERIODIC events that give a sample, in emission order. Outside the
// window an event is ignored entirely; inside, one that reaches the core's
// last sampled count plus the interval resets it, and gives a sample unless
// the Linux driver knows no task yet.
std::vector<const TruthPeriodic*> SampledEvents(const GroundTruth& truth) {
    KnownTasks known(truth);
    std::vector<uint64_t> last(truth.cores, 0);
    std::vector<const TruthPeriodic*> sampled;
    for (const TruthPeriodic& p : truth.periodic) {
        if (!InWindow(truth, p.time) || p.core >= last.size()) continue;
        if (p.count < last[p.core] + truth.samplingInterval) continue;
        last[p.core] = p.count;
        known.Advance(p.switchesBefore);
        if (truth.scenario == "baremetal" || known.any()) sampled.push_back(&p);
    }
    return sampled;
}

std::vector<TruthSwitch> ExpectedSwitches(const GroundTruth& truth) {
    std::vector<TruthSwitch> expected;
    if (truth.scenario == "baremetal") {
        // The driver names the application once, at the first sample of any core.
        const std::vector<const TruthPeriodic*> sampled = SampledEvents(truth);
        if (!sampled.empty()) {
            expected.push_back({sampled.front()->core, sampled.front()->time, truth.appPid, 0});
        }
        return expected;
    }
    for (const TruthSwitch& s : truth.switches) {
        if (InWindow(truth, s.time)) expected.push_back(s);
    }
    return expected;
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
    return CompareSets("switches", ExpectedSwitches(truth), std::move(found), [](const TruthSwitch& s) {
        return "core " + Text(s.core) + " time " + Text(s.time) + " tid " + Text(s.tid) + " state " + Text(s.state);
    });
}

CheckRow CheckExits(const rcf::Capture& capture, const GroundTruth& truth) {
    std::vector<TruthExit> found;
    ForEach<rcf::ThreadExitRecord>(capture, [&](const rcf::Frame& frame, const rcf::ThreadExitRecord& r) {
        found.push_back({frame.core.value_or(UINT32_MAX), r.time, r.tid});
    });
    std::vector<TruthExit> expected;
    for (const TruthExit& e : truth.exits) {
        if (InWindow(truth, e.time)) expected.push_back(e);
    }
    return CompareSets("thread exits", std::move(expected), std::move(found), [](const TruthExit& e) {
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
    for (const TruthSwitch& s : ExpectedSwitches(truth)) switchedTo.insert(s.tid);
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
    std::vector<uint64_t> expected(truth.cores, 0);
    for (const TruthPeriodic* p : SampledEvents(truth)) ++expected[p->core];
    CheckRow row{"samples per core", "", "", true, {}};
    uint64_t expectedTotal = 0;
    uint64_t foundTotal = 0;
    for (uint32_t core = 0; core < truth.cores; ++core) {
        const uint64_t want = expected[core];
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
    // Instructions count for the thread the driver takes as current, and only
    // where it can sample them.
    KnownTasks known(truth);
    std::map<uint32_t, uint64_t> retired;
    uint64_t instructions = 0;
    for (const TruthRun& run : truth.runs) {
        if (!InWindow(truth, run.time)) continue;
        known.Advance(run.switchesBefore);
        if (!known.any()) continue;
        retired[known.tid(run.core, run.tid)] += run.instructions;
        instructions += run.instructions;
    }
    CheckRow row{"thread sample shares", "", "", true, {}};
    size_t threads = 0;
    for (const auto& [tid, thread] : truth.threads) {
        const uint64_t own = retired.count(tid) ? retired[tid] : 0;
        if (own == 0 && samples.count(tid) == 0) continue;
        ++threads;
        ThreadShare s;
        s.tid = tid;
        s.name = thread.name;
        s.instructionShare = instructions == 0 ? 0 : static_cast<double>(own) / instructions;
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
    if (userSamples == 0 && !SampledEvents(truth).empty()) {
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
    KnownTasks known(truth);
    std::vector<TruthSyscall> expected;
    for (const TruthSyscall& s : truth.syscalls) {
        if (!InWindow(truth, s.time)) continue;
        known.Advance(s.switchesBefore);
        expected.push_back(s);
        expected.back().tid = known.tid(s.core, s.tid);
    }
    const auto describe = [](const TruthSyscall& s) {
        return "core " + Text(s.core) + " tid " + Text(s.tid) + " time " + Text(s.time) + " " + s.text;
    };
    return CompareSets("openat/execve annotations", std::move(expected), std::move(found), describe);
}

std::vector<CheckRow> CheckCounters(const rcf::Capture& capture, const GroundTruth& truth) {
    std::vector<CheckRow> rows;
    for (const TruthCounter& counter : truth.counters) {
        // The counter's own window is the whole run; the trace window cuts it.
        const auto events = static_cast<uint64_t>(std::count_if(counter.eventTimes.begin(),
                                                                counter.eventTimes.end(),
                                                                [&](uint64_t t) { return InWindow(truth, t); }));
        CheckRow row{"counter '" + counter.name + "'", Text(events), "", false, {}};
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
        row.ok = sum == events;
        if (!row.ok) row.detail = "the counted events differ from the events emitted";
        rows.push_back(row);
    }
    return rows;
}

// The call stack the bare-metal driver holds at a PERIODIC event: the calls
// made inside the window that it has not seen return. A PERIODIC event has
// the round's start as its time, so one emitted after the window's end may
// still be sampled; the calls that returned between that end and the event
// are then still held, innermost (first returned) first.
std::vector<uint64_t> DriverStack(const GroundTruth& truth, const TruthPeriodic& p) {
    std::vector<uint64_t> stack{p.pc};
    if (p.emitted >= truth.windowEnd) {
        for (const TruthCall& c : truth.calls) {
            const uint64_t returned = c.start + c.duration;
            if (c.core == p.core && InWindow(truth, c.start) && !InWindow(truth, returned) &&
                returned <= p.emitted) {
                stack.push_back(c.callSite);
            }
        }
    }
    for (const TruthFrame& f : p.frames) {
        if (InWindow(truth, f.called)) stack.push_back(f.callSite);
    }
    return stack;
}

CheckRow CheckBareMetalSamples(const rcf::Capture& capture, const GroundTruth& truth) {
    std::map<std::pair<uint32_t, uint64_t>, std::vector<std::vector<uint64_t>>> stacks;
    for (const TruthPeriodic* p : SampledEvents(truth)) {
        stacks[{p->core, p->time}].push_back(DriverStack(truth, *p));
    }
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
        const auto ran = stacks.find({core, r.time});
        if (ran == stacks.end() ||
            std::find(ran->second.begin(), ran->second.end(), addresses) == ran->second.end()) {
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
    // Calls made inside the window; a return after it is never seen, so the
    // call stays open until the plug-in is released.
    std::vector<TruthCall> expected;
    for (TruthCall c : truth.calls) {
        if (!InWindow(truth, c.start)) continue;
        if (!InWindow(truth, c.start + c.duration)) c.duration = truth.endTime - c.start;
        expected.push_back(c);
    }
    return CompareSets("function activity", std::move(expected), std::move(found), [](const TruthCall& c) {
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
