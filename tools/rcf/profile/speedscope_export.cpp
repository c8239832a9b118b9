#include "rcf/profile/speedscope_export.h"

#include <map>
#include <tuple>

#include "rcf/profile/text_format.h"

namespace vantric::rcf {
namespace {

// The shared frame list, deduplicated by what is shown.
class FrameTable {
public:
    size_t index(const std::string& name, const std::string& file, uint32_t line) {
        auto [it, added] = ids_.emplace(std::make_tuple(name, file, line), ids_.size());
        if (added) {
            if (!json_.empty()) json_ += ',';
            json_ += "\n{\"name\":";
            AppendJsonString(json_, name);
            if (!file.empty()) {
                json_ += ",\"file\":";
                AppendJsonString(json_, file);
            }
            if (line != 0) json_ += ",\"line\":" + std::to_string(line);
            json_ += '}';
        }
        return it->second;
    }
    const std::string& json() const { return json_; }

private:
    std::map<std::tuple<std::string, std::string, uint32_t>, size_t> ids_;
    std::string json_;
};


void ProfileHead(std::string& out, bool& any, const char* type, const std::string& name,
                 const char* unit, uint64_t start, uint64_t end) {
    out += any ? ",\n{" : "\n{";
    any = true;
    out += "\"type\":\"";
    out += type;
    out += "\",\"name\":";
    AppendJsonString(out, name);
    out += ",\"unit\":\"";
    out += unit;
    out += "\",\"startValue\":" + std::to_string(start) + ",\"endValue\":" + std::to_string(end);
}

}  // namespace

void WriteSpeedscope(const Profile& profile, const std::string& name, OutputStream& out) {
    FrameTable frames;
    std::string profiles;
    bool any = false;
    const uint64_t period = profile.samplePeriod == 0 ? 1 : profile.samplePeriod;
    const char* unit = profile.samplePeriod == 0 ? "none" : "nanoseconds";
    size_t idle = 0;
    bool idleMade = false;

    std::vector<size_t> locationFrame(profile.locations.size());
    for (size_t i = 0; i < profile.locations.size(); ++i) {
        const Location& l = profile.locations[i];
        locationFrame[i] = frames.index(LocationName(l), l.sourceFile, l.line);
    }

    for (const auto& [tid, thread] : profile.threads) {
        if (thread.runs.empty()) continue;
        if (!idleMade) {
            idle = frames.index("(idle)", "", 0);
            idleMade = true;
        }
        std::string samples;
        std::string weights;
        uint64_t total = 0;
        uint64_t expected = thread.runs.front().first;  // where the next sample would fall
        auto add = [&](const std::string& stack, uint64_t weight) {
            if (!samples.empty()) {
                samples += ',';
                weights += ',';
            }
            samples += '[' + stack + ']';
            weights += std::to_string(weight);
            total += weight;
        };
        for (const SampleRun& run : thread.runs) {
            // Time the thread spent off every core, where time order is kept.
            if (profile.samplePeriod != 0 && run.first > expected) add(std::to_string(idle), run.first - expected);
            const std::vector<uint32_t>& ids = profile.stacks[run.stack].locations;
            std::string stack;
            for (auto it = ids.rbegin(); it != ids.rend(); ++it) {
                if (!stack.empty()) stack += ',';
                stack += std::to_string(locationFrame[*it]);
            }
            add(stack, run.count * period);
            expected = std::max(expected, run.last + period);
        }
        const uint64_t start = profile.samplePeriod != 0 ? thread.runs.front().first : 0;
        ProfileHead(profiles, any, "sampled", thread.name + " (tid " + std::to_string(tid) + ")", unit,
                    start, start + total);
        profiles += ",\"samples\":[" + samples + "],\"weights\":[" + weights + "]}";
    }

    // Each core's calls are nested already: open in order, close what ended first.
    for (size_t i = 0; i < profile.functions.size();) {
        const uint32_t core = profile.functions[i].core;
        size_t j = i;
        while (j < profile.functions.size() && profile.functions[j].core == core) ++j;
        std::string events;
        std::vector<std::pair<uint64_t, size_t>> open;  // end, frame
        auto event = [&](char type, size_t frame, uint64_t at) {
            if (!events.empty()) events += ',';
            events += "{\"type\":\"";
            events += type;
            events += "\",\"frame\":" + std::to_string(frame) + ",\"at\":" + std::to_string(at) + "}";
        };
        const uint64_t start = profile.functions[i].start;
        uint64_t last = start;
        for (size_t k = i; k < j; ++k) {
            const FunctionSlice& f = profile.functions[k];
            while (!open.empty() && open.back().first <= f.start) {
                event('C', open.back().second, open.back().first);
                last = open.back().first;
                open.pop_back();
            }
            const size_t frame = frames.index(f.name, "", 0);
            event('O', frame, f.start);
            last = std::max(last, f.start);
            open.push_back({f.end, frame});
        }
        while (!open.empty()) {
            event('C', open.back().second, open.back().first);
            last = std::max(last, open.back().first);
            open.pop_back();
        }
        ProfileHead(profiles, any, "evented", "core " + std::to_string(core) + " function calls",
                    "nanoseconds", start, last);
        profiles += ",\"events\":[" + events + "]}";
        i = j;
    }

    out.write("{\"$schema\":\"https://www.speedscope.app/file-format-schema.json\",\"exporter\":\"rcf\",\"name\":");
    std::string title;
    AppendJsonString(title, name);
    out.write(title);
    out.write(",\"activeProfileIndex\":0,\"shared\":{\"frames\":[");
    out.write(frames.json());
    out.write("]},\"profiles\":[");
    out.write(profiles);
    out.write("]}\n");
}

}  // namespace vantric::rcf
