#include "rcf/profile/profile_builder.h"

#include <algorithm>
#include <variant>

namespace vantric::rcf {
namespace {

constexpr uint32_t kRootNode = 0xFFFFFFFFu;
constexpr int kMaxNodeDepth = 16;

std::string BaseName(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool Number(const std::string& text, uint32_t& value) {
    if (text.empty() || text.size() > 9) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    return true;
}

}  // namespace

void ProfileBuilder::seen(uint64_t time) {
    minTime_ = std::min(minTime_, time);
    maxTime_ = std::max(maxTime_, time);
}

Thread& ProfileBuilder::thread(uint32_t tid) {
    Thread& t = profile_.threads[tid];
    t.tid = tid;
    return t;
}

uint32_t ProfileBuilder::location(uint32_t cookie, uint64_t address, AddressKind kind) {
    auto [it, added] = locationIndex_.emplace(std::make_tuple(cookie, address, kind),
                                              static_cast<uint32_t>(profile_.locations.size()));
    if (added) {
        Location location;
        location.cookie = cookie;
        location.address = address;
        location.kind = kind;
        profile_.locations.push_back(std::move(location));
    }
    return it->second;
}

void ProfileBuilder::addSample(uint32_t core, const SampleRecord& sample) {
    // Every sample of the core counts for the period, even outside the window.
    auto last = lastSample_.find(core);
    if (last != lastSample_.end() && sample.time > last->second) {
        const uint64_t gap = sample.time - last->second;
        if (profile_.samplePeriod == 0 || gap < profile_.samplePeriod) profile_.samplePeriod = gap;
    }
    lastSample_[core] = sample.time;
    if (!inWindow(sample.time)) return;
    seen(sample.time);
    Thread& owner = thread(sample.tid);
    if (sample.pid != 0 || owner.pid == 0) owner.pid = sample.pid;
    ++owner.samples;
    if (sample.frames.empty()) {
        ++profile_.samplesWithoutFrames;
        auto [slot, fresh] = framelessIndex_.emplace(std::make_pair(sample.tid, core),
                                                     profile_.framelessSamples.size());
        if (fresh) profile_.framelessSamples.push_back({sample.tid, core, 0, 0});
        ++profile_.framelessSamples[slot->second].count;
        profile_.timeline.add(sample.time, kFramelessSlot | static_cast<uint32_t>(slot->second));
        return;
    }
    std::vector<uint32_t> ids;
    ids.reserve(sample.frames.size());
    for (const StackFrame& frame : sample.frames) {
        // A sample without a process image (kernel mode) holds plain addresses;
        // a user frame without a cookie lies in anonymous memory.
        AddressKind kind = frame.cookie != 0   ? AddressKind::kInFile
                           : sample.cookie == 0 ? AddressKind::kAbsolute
                                                : AddressKind::kAnonymous;
        ids.push_back(location(frame.cookie, frame.address, kind));
    }
    auto [stack, added] = stackIndex_.emplace(ids, static_cast<uint32_t>(profile_.stacks.size()));
    if (added) profile_.stacks.push_back({std::move(ids)});

    auto [slot, fresh] = sampleIndex_.emplace(std::make_tuple(sample.tid, core, stack->second),
                                              profile_.samples.size());
    if (fresh) profile_.samples.push_back({sample.tid, core, stack->second, 0});
    ++profile_.samples[slot->second].count;
    profile_.timeline.add(sample.time, static_cast<uint32_t>(slot->second));
    if (!keepRuns_) return;

    // A core's samples come in time order, so runs are kept per thread and core.
    std::vector<SampleRun>& runs = runs_[{sample.tid, core}];
    if (!runs.empty() && runs.back().stack == stack->second && sample.time >= runs.back().last) {
        runs.back().last = sample.time;
        ++runs.back().count;
    } else {
        runs.push_back({stack->second, sample.time, sample.time, 1});
    }
}

void ProfileBuilder::add(const Frame& frame) {
    const uint32_t frameCore = frame.core.value_or(0);
    for (const Record& record : frame.records) {
        const RecordBody& body = record.body;
        if (const auto* r = std::get_if<SampleRecord>(&body)) {
            addSample(frameCore, *r);
        } else if (const auto* r = std::get_if<CookieNameRecord>(&body)) {
            cookieNames_[r->cookie] = r->name;
        } else if (const auto* r = std::get_if<ThreadNameRecord>(&body)) {
            auto& name = threadNames_[r->tid];
            if (name.second.empty() || r->time >= name.first) name = {r->time, r->name};
        } else if (const auto* r = std::get_if<LinkRecord>(&body)) {
            Thread& t = thread(r->tid);
            if (r->pid != 0) t.pid = r->pid;
            if (r->cookie != 0 && r->pid != 0) processCookie_.emplace(r->pid, r->cookie);
        } else if (const auto* r = std::get_if<SwitchRecord>(&body)) {
            seen(r->time);
            coreEvents_[frameCore].push_back({r->time, CoreEvent::kSwitch, r->tid});
            thread(r->tid);
        } else if (const auto* r = std::get_if<IdleRecord>(&body)) {
            seen(r->time);
            // State 0 enters a wait for interrupt, -1 leaves it.
            coreEvents_[r->core].push_back(
                {r->time, r->state == 0 ? CoreEvent::kIdleEnter : CoreEvent::kIdleLeave, 0});
        } else if (const auto* r = std::get_if<CounterValueRecord>(&body)) {
            if (!inWindow(r->time)) continue;
            seen(r->time);
            auto& points = counters_[{r->key, r->core}];
            if (!points.empty() && points.back().first == r->time)
                points.back().second += r->value;
            else
                points.push_back({r->time, r->value});
        } else if (const auto* r = std::get_if<AnnotationRecord>(&body)) {
            if (!inWindow(r->time)) continue;
            seen(r->time);
            profile_.annotations.push_back({r->time, r->pid, r->tid, r->text});
        } else if (const auto* r = std::get_if<ChannelTextRecord>(&body)) {
            nodes_[{r->channel, r->sequence}] = {r->value, r->text};
        } else if (const auto* r = std::get_if<ActivityRecord>(&body)) {
            const uint64_t end = r->startTime + std::min(r->duration, ~r->startTime);
            seen(r->startTime);
            seen(end);
            if (end < window_.from || r->startTime >= window_.to) continue;
            activities_.push_back({r->channel, r->relatedId, r->startTime, end, r->text});
        }
    }
}

void ProfileBuilder::buildCoreSlices() {
    for (auto& entry : coreEvents_) {
        const uint32_t core = entry.first;
        std::vector<CoreEvent>& events = entry.second;
        std::stable_sort(events.begin(), events.end(),
                         [](const CoreEvent& a, const CoreEvent& b) { return a.time < b.time; });
        bool known = false;  // nothing is known before the first event
        bool waiting = false;
        uint32_t tid = 0;
        uint64_t since = 0;
        auto close = [&](uint64_t until) {
            if (!known) return;
            const uint64_t from = std::max(since, profile_.startTime);
            const uint64_t to = std::min(until, profile_.endTime);
            if (from >= to) return;
            const bool idle = waiting || tid == 0;
            std::vector<CoreSlice>& out = profile_.coreSlices;
            if (!out.empty() && out.back().core == core && out.back().end == from &&
                out.back().idle == idle && (idle || out.back().tid == tid)) {
                out.back().end = to;
            } else {
                out.push_back({core, from, to, idle, idle ? 0 : tid});
            }
        };
        for (const CoreEvent& e : events) {
            close(e.time);
            since = e.time;
            if (e.kind == CoreEvent::kSwitch) {
                tid = e.tid;
                known = true;
            } else {
                waiting = e.kind == CoreEvent::kIdleEnter;
                known = known || waiting;
            }
        }
        close(profile_.endTime);
    }
}

void ProfileBuilder::buildFunctions() {
    for (RawActivity& a : activities_) {
        // The related node is the function's; above it the thread, the
        // process and, at the root, the core.
        std::vector<const Node*> chain;
        uint32_t id = a.related;
        for (int depth = 0; depth < kMaxNodeDepth; ++depth) {
            auto it = nodes_.find({a.channel, id});
            if (it == nodes_.end()) break;
            chain.push_back(&it->second);
            if (it->second.parent == kRootNode) break;
            id = it->second.parent;
        }
        FunctionSlice slice;
        slice.start = std::max(a.start, profile_.startTime);
        slice.end = std::min(a.end, profile_.endTime);
        slice.name = a.text;
        if (!chain.empty() && chain.back()->parent == kRootNode) {
            Number(chain.back()->text, slice.core);
            if (chain.size() >= 3) Number(chain[chain.size() - 3]->text, slice.tid);
        }
        profile_.functions.push_back(std::move(slice));
    }
    activities_.clear();
    std::vector<FunctionSlice>& f = profile_.functions;
    std::sort(f.begin(), f.end(), [](const FunctionSlice& a, const FunctionSlice& b) {
        if (a.core != b.core) return a.core < b.core;
        if (a.start != b.start) return a.start < b.start;
        return a.end > b.end;
    });
    // Cut a call that outlives its caller, so each core's calls nest strictly.
    std::vector<uint64_t> open;  // ends of the calls open at the current start
    for (size_t i = 0; i < f.size(); ++i) {
        if (i == 0 || f[i].core != f[i - 1].core) open.clear();
        while (!open.empty() && open.back() <= f[i].start) open.pop_back();
        if (!open.empty() && f[i].end > open.back()) {
            f[i].end = open.back();
            ++profile_.clippedFunctions;
        }
        f[i].depth = static_cast<uint32_t>(open.size());
        open.push_back(f[i].end);
    }
}

void ProfileBuilder::buildThreads() {
    for (auto& [key, runs] : runs_) {
        std::vector<SampleRun>& all = thread(key.first).runs;
        all.insert(all.end(), runs.begin(), runs.end());
    }
    runs_.clear();
    for (auto& [tid, t] : profile_.threads) {
        std::stable_sort(t.runs.begin(), t.runs.end(),
                         [](const SampleRun& a, const SampleRun& b) { return a.first < b.first; });
        auto name = threadNames_.find(tid);
        if (name != threadNames_.end()) t.name = name->second.second;
        if (t.name.empty()) t.name = tid == 0 ? "idle" : "tid " + std::to_string(tid);
    }
    for (auto& [tid, t] : profile_.threads) {
        Process& p = profile_.processes[t.pid];
        p.pid = t.pid;
        if (!p.name.empty()) continue;
        auto cookie = processCookie_.find(t.pid);
        auto named = cookie == processCookie_.end() ? cookieNames_.end() : cookieNames_.find(cookie->second);
        if (named != cookieNames_.end() && !named->second.empty()) {
            p.name = BaseName(named->second);
        } else if (auto main = profile_.threads.find(t.pid);
                   main != profile_.threads.end() && threadNames_.count(t.pid) != 0) {
            p.name = main->second.name;
        } else {
            p.name = t.pid == 0 ? "kernel" : "pid " + std::to_string(t.pid);
        }
    }
}

Profile ProfileBuilder::finish(const Capture& capture, Symbolizer& symbolizer) {
    // The window, narrowed to what the capture holds.
    const bool anything = minTime_ <= maxTime_;
    profile_.startTime = anything ? std::max(window_.from, minTime_) : window_.from;
    profile_.endTime = std::max(profile_.startTime, anything ? std::min(window_.to, maxTime_) : 0);
    profile_.cores = capture.cores.value_or(0);
    for (const auto& [core, events] : coreEvents_) profile_.cores = std::max(profile_.cores, core + 1);

    buildCoreSlices();
    buildFunctions();
    buildThreads();
    std::stable_sort(profile_.annotations.begin(), profile_.annotations.end(),
                     [](const Annotation& a, const Annotation& b) { return a.time < b.time; });
    for (auto& [key, points] : counters_) {
        CounterSeries series;
        series.key = key.first;
        series.core = key.second;
        for (const CounterElement& element : capture.counters) {
            if (element.key == key.first) {
                series.title = element.title;
                series.name = element.name;
            }
        }
        if (series.name.empty()) series.name = "counter " + std::to_string(key.first);
        series.points = std::move(points);
        profile_.counters.push_back(std::move(series));
    }
    counters_.clear();
    symbolizer.symbolize(profile_, cookieNames_);
    return std::move(profile_);
}

}  // namespace vantric::rcf
