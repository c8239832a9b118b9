#include "rcf/report/report_writer.h"

#include <cstdio>
#include <map>
#include <string_view>

#include "rcf/profile/text_format.h"

namespace vantric::rcf {

extern const char* const kReportPage;  // report_page.html, embedded by the build

namespace {

constexpr std::string_view kDataMarker = "/*REPORT-DATA*/";

class JsonOut {
public:
    explicit JsonOut(std::string& out) : out_(out) {}
    JsonOut& raw(std::string_view text) {
        out_ += text;
        return *this;
    }
    JsonOut& number(uint64_t value) {
        out_ += std::to_string(value);
        return *this;
    }
    JsonOut& signedNumber(int64_t value) {
        out_ += std::to_string(value);
        return *this;
    }
    JsonOut& percent(double value) {
        char text[32];
        std::snprintf(text, sizeof text, "%.4f", value);
        out_ += text;
        return *this;
    }
    // '<' occurs only inside strings: escaped there, it cannot close the script.
    JsonOut& text(std::string_view value) {
        literal_.clear();
        AppendJsonString(literal_, value);
        for (char c : literal_) {
            if (c == '<') {
                out_ += "\\u003c";
            } else {
                out_ += c;
            }
        }
        return *this;
    }
    // A separator before every element but the first.
    JsonOut& next(bool& first) {
        if (!first) out_ += ',';
        first = false;
        return *this;
    }

private:
    std::string& out_;
    std::string literal_;
};

// Frames in anonymous memory (JIT code, say) have no file that could name
// them: they are counted apart from the frames a symbol source left unnamed.
void WriteSymbols(JsonOut& json, const SymbolReport& report) {
    const uint64_t anonymous = report.framesBy[static_cast<size_t>(Unresolved::kAnonymous)];
    json.raw("\"symbols\":{\"frames\":").number(report.frames);
    json.raw(",\"unresolved\":").number(report.unresolved() - anonymous);
    json.raw(",\"anonymous\":").number(anonymous).raw(",\"reasons\":[");
    bool first = true;
    for (size_t kind = 1; kind < kUnresolvedKinds; ++kind) {
        if (report.framesBy[kind] == 0 || kind == static_cast<size_t>(Unresolved::kAnonymous)) continue;
        json.next(first).raw("[").text(UnresolvedText(static_cast<Unresolved>(kind)));
        json.raw(",").number(report.framesBy[kind]).raw("]");
    }
    json.raw("],\"missingFiles\":[");
    first = true;
    for (const auto& [path, frames] : report.missingFiles) {
        json.next(first).raw("[").text(path).raw(",").number(frames).raw("]");
    }
    json.raw("]}");
}

void WriteBaseline(JsonOut& json, const ReportBaseline& baseline) {
    json.raw("{\"capture\":").text(baseline.capture);
    json.raw(",\"samples\":").number(baseline.samplesBaseline);
    json.raw(",\"thisSamples\":").number(baseline.samplesThis);
    json.raw(",\"functions\":[");
    bool first = true;
    for (const auto& row : baseline.functions) {
        json.next(first).raw("\n[").text(row.name).raw(",").percent(row.selfThis).raw(",");
        json.percent(row.selfBaseline).raw(",").percent(row.totalThis).raw(",").percent(row.totalBaseline).raw("]");
    }
    json.raw("],\"threads\":[");
    first = true;
    for (const auto& row : baseline.threads) {
        json.next(first).raw("\n[").text(row.name).raw(",").percent(row.shareThis).raw(",");
        json.percent(row.shareBaseline).raw("]");
    }
    json.raw("]}");
}

}  // namespace

std::string ReportData(const Profile& profile, const ReportOptions& options) {
    const uint64_t start = profile.startTime;
    auto at = [start](uint64_t time) { return time > start ? time - start : 0; };
    std::string out;
    JsonOut json(out);
    uint64_t samples = 0;
    for (const auto& [tid, thread] : profile.threads) samples += thread.samples;

    json.raw("{\"capture\":").text(options.capture);
    json.raw(",\"start\":\"").number(start).raw("\",\"duration\":").number(profile.endTime - start);
    json.raw(",\"cores\":").number(profile.cores).raw(",\"samplePeriod\":").number(profile.samplePeriod);
    json.raw(",\"samples\":").number(samples).raw(",\n");
    WriteSymbols(json, profile.symbols);

    json.raw(",\n\"processes\":[");
    bool first = true;
    for (const auto& [pid, process] : profile.processes) {
        json.next(first).raw("{\"pid\":").number(pid).raw(",\"name\":").text(process.name).raw("}");
    }
    json.raw("],\n\"threads\":[");
    first = true;
    for (const auto& [tid, thread] : profile.threads) {
        json.next(first).raw("{\"tid\":").number(tid).raw(",\"pid\":").number(thread.pid);
        json.raw(",\"name\":").text(thread.name).raw("}");
    }
    json.raw("],\n\"modules\":[");
    first = true;
    for (const Module& module : profile.modules) json.next(first).text(module.name);
    json.raw("],\n\"frames\":[");
    first = true;
    for (size_t i = 0; i < profile.locations.size(); ++i) {
        const Location& location = profile.locations[i];
        json.next(first).raw("\n{\"name\":").text(LocationName(location));
        json.raw(",\"module\":").number(i < profile.locationModule.size() ? profile.locationModule[i] : 0);
        json.raw(",\"file\":").text(location.sourceFile).raw(",\"line\":").number(location.line);
        json.raw(",\"kernel\":").raw(location.module == "[kernel]" ? "true}" : "false}");
    }
    json.raw("],\n\"stacks\":[");
    first = true;
    for (const Stack& stack : profile.stacks) {
        json.next(first).raw("[");
        bool inner = true;
        for (uint32_t location : stack.locations) json.next(inner).number(location);
        json.raw("]");
    }
    // Slots: the samples' (thread, core, stack) triples, then the frameless
    // (thread, core) pairs with stack -1, as the timeline numbers them.
    json.raw("],\n\"slots\":[");
    first = true;
    for (const SampleCount& sample : profile.samples) {
        json.next(first).raw("[").number(sample.tid).raw(",").number(sample.core).raw(",").number(sample.stack).raw("]");
    }
    for (const SampleCount& sample : profile.framelessSamples) {
        json.next(first).raw("[").number(sample.tid).raw(",").number(sample.core).raw(",-1]");
    }

    // The timeline's buckets, each moved to the bucket of the page's grid
    // (aligned to the start) that holds its middle.
    const SampleTimeline& timeline = profile.timeline;
    const uint64_t width = timeline.width() == 0 ? 1 : timeline.width();
    std::vector<std::map<uint32_t, uint64_t>> grid;
    for (size_t i = 0; i < timeline.buckets().size(); ++i) {
        const uint64_t index = at(timeline.origin() + i * width + width / 2) / width;
        if (timeline.buckets()[i].empty()) continue;
        if (grid.size() <= index) grid.resize(index + 1);
        for (const auto& [slot, count] : timeline.buckets()[i]) {
            const uint64_t flat = (slot & kFramelessSlot) != 0
                                      ? profile.samples.size() + (slot & ~kFramelessSlot)
                                      : slot;
            grid[index][static_cast<uint32_t>(flat)] += count;
        }
    }
    json.raw("],\n\"bucketWidth\":").number(width).raw(",\"buckets\":[");
    first = true;
    for (const auto& bucket : grid) {
        json.next(first).raw("\n[");
        bool inner = true;
        for (const auto& [slot, count] : bucket) json.next(inner).number(slot).raw(",").number(count);
        json.raw("]");
    }
    json.raw("],\n\"cpu\":[");
    first = true;
    for (const CoreSlice& slice : profile.coreSlices) {
        json.next(first).raw("\n[").number(slice.core).raw(",").number(at(slice.start)).raw(",");
        json.number(at(slice.end)).raw(",");
        if (slice.idle) {
            json.raw("-1]");
        } else {
            json.number(slice.tid).raw("]");
        }
    }
    json.raw("],\n\"counters\":[");
    first = true;
    for (const CounterSeries& series : profile.counters) {
        json.next(first).raw("\n{\"name\":").text(series.name).raw(",\"title\":").text(series.title);
        json.raw(",\"core\":").number(series.core).raw(",\"points\":[");
        bool inner = true;
        for (const auto& [time, value] : series.points) {
            json.next(inner).raw("[").number(at(time)).raw(",").number(value).raw("]");
        }
        json.raw("]}");
    }
    json.raw("],\n\"annotations\":[");
    first = true;
    for (const Annotation& a : profile.annotations) {
        json.next(first).raw("\n[").number(at(a.time)).raw(",").number(a.core).raw(",").number(a.tid);
        json.raw(",").text(a.text).raw("]");
    }
    json.raw("],\n\"functions\":[");
    first = true;
    for (const FunctionSlice& f : profile.functions) {
        json.next(first).raw("\n[").number(f.core).raw(",").number(f.tid).raw(",").number(at(f.start));
        json.raw(",").number(at(f.end)).raw(",").number(f.depth).raw(",").text(f.name).raw("]");
    }
    json.raw("],\n\"baseline\":");
    if (options.baseline != nullptr) {
        WriteBaseline(json, *options.baseline);
    } else {
        json.raw("null");
    }
    json.raw("}");

    return out;
}

void WriteReport(const Profile& profile, const ReportOptions& options, OutputStream& out) {
    const std::string_view page(kReportPage);
    const size_t marker = page.find(kDataMarker);
    if (marker == std::string_view::npos) {  // the build checks this; a page without data is useless
        out.write(page);
        return;
    }
    out.write(page.substr(0, marker));
    out.write(ReportData(profile, options));
    out.write(page.substr(marker + kDataMarker.size()));
}

}  // namespace vantric::rcf
