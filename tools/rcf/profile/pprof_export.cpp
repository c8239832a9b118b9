#include "rcf/profile/pprof_export.h"

#include <map>

#include "rcf/profile/proto_writer.h"
#include "rcf/profile/text_format.h"

namespace vantric::rcf {
namespace {

// Field numbers of proto/profile.proto.
enum ProfileField : uint32_t {
    kSampleType = 1, kSample = 2, kMapping = 3, kLocation = 4, kFunction = 5, kStringTable = 6,
    kDurationNanos = 10, kPeriodType = 11, kPeriod = 12, kComment = 13,
};
enum SampleField : uint32_t { kSampleLocation = 1, kSampleValue = 2, kSampleLabel = 3 };
enum LabelField : uint32_t { kLabelKey = 1, kLabelStr = 2, kLabelNum = 3, kLabelNumUnit = 4 };
enum MappingField : uint32_t {
    kMappingId = 1, kMemoryStart = 2, kMemoryLimit = 3, kFileOffset = 4, kFilename = 5,
    kBuildId = 6, kHasFunctions = 7, kHasFilenames = 8, kHasLineNumbers = 9,
};
enum LocationField : uint32_t { kLocationId = 1, kLocationMapping = 2, kAddress = 3, kLine = 4 };
enum LineField : uint32_t { kLineFunction = 1, kLineNumber = 2 };
enum FunctionField : uint32_t { kFunctionId = 1, kFunctionName = 2, kSystemName = 3, kFunctionFile = 4 };
enum ValueTypeField : uint32_t { kValueType = 1, kValueUnit = 2 };

// Entry 0 is the empty string, as the format requires.
class StringTable {
public:
    StringTable() { index(""); }
    uint64_t index(const std::string& text) {
        const std::string valid = ValidUtf8(text);
        auto [it, added] = ids_.emplace(valid, strings_.size());
        if (added) strings_.push_back(valid);
        return it->second;
    }
    void write(ProtoWriter& out) const {
        for (const std::string& s : strings_) out.bytes(kStringTable, s);
    }

private:
    std::map<std::string, uint64_t> ids_;
    std::vector<std::string> strings_;
};

ProtoWriter ValueType(StringTable& strings, const std::string& type, const std::string& unit) {
    ProtoWriter v;
    v.varint(kValueType, strings.index(type));
    v.varint(kValueUnit, strings.index(unit));
    return v;
}

ProtoWriter NumberLabel(StringTable& strings, const std::string& key, uint64_t value, const std::string& unit) {
    ProtoWriter label;
    label.varint(kLabelKey, strings.index(key));
    label.varint(kLabelNum, value);
    // A zero number without a unit would vanish from the encoding, and the label with it.
    label.varint(kLabelNumUnit, strings.index(unit));
    return label;
}

}  // namespace

std::string EncodePprof(const Profile& profile) {
    StringTable strings;
    ProtoWriter out;
    const uint64_t period = profile.samplePeriod == 0 ? 1 : profile.samplePeriod;
    out.message(kSampleType, ValueType(strings, "samples", "count"));
    out.message(kSampleType, ValueType(strings, "cpu", "nanoseconds"));

    for (const SampleCount& sample : profile.samples) {
        ProtoWriter s;
        std::vector<uint64_t> ids;
        for (uint32_t id : profile.stacks[sample.stack].locations) ids.push_back(id + 1);
        s.packed(kSampleLocation, ids);
        s.packed(kSampleValue, {sample.count, sample.count * period});
        auto thread = profile.threads.find(sample.tid);
        const uint32_t pid = thread == profile.threads.end() ? 0 : thread->second.pid;
        s.message(kSampleLabel, NumberLabel(strings, "pid", pid, "id"));
        s.message(kSampleLabel, NumberLabel(strings, "tid", sample.tid, "id"));
        s.message(kSampleLabel, NumberLabel(strings, "core", sample.core, "index"));
        if (thread != profile.threads.end()) {
            ProtoWriter name;
            name.varint(kLabelKey, strings.index("thread"));
            name.varint(kLabelStr, strings.index(thread->second.name));
            s.message(kSampleLabel, name);
        }
        out.message(kSample, s);
    }

    for (size_t i = 0; i < profile.modules.size(); ++i) {
        const Module& module = profile.modules[i];
        const bool isFile = !module.name.empty() && module.name[0] == '/';
        ProtoWriter m;
        m.varint(kMappingId, i + 1);
        // File frames hold offsets in the file, so a file maps from address 0.
        m.varint(kMemoryStart, isFile ? 0 : module.lowest);
        m.varint(kMemoryLimit, module.highest + 1);
        m.varint(kFileOffset, 0);
        m.varint(kFilename, strings.index(module.name));
        if (!module.buildId.empty()) m.varint(kBuildId, strings.index(module.buildId));
        if (module.hasFunctions) m.varint(kHasFunctions, 1);
        if (module.hasLines) {
            m.varint(kHasFilenames, 1);
            m.varint(kHasLineNumbers, 1);
        }
        out.message(kMapping, m);
    }

    std::map<std::pair<std::string, std::string>, uint64_t> functions;  // name, file -> id
    for (size_t i = 0; i < profile.locations.size(); ++i) {
        const Location& location = profile.locations[i];
        ProtoWriter l;
        l.varint(kLocationId, i + 1);
        l.varint(kLocationMapping, profile.locationModule.empty() ? 0 : profile.locationModule[i] + 1);
        l.varint(kAddress, location.address);
        if (!location.function.empty()) {
            auto [it, added] = functions.emplace(std::make_pair(location.function, location.sourceFile),
                                                 functions.size() + 1);
            if (added) {
                ProtoWriter f;
                f.varint(kFunctionId, it->second);
                f.varint(kFunctionName, strings.index(location.function));
                f.varint(kSystemName, strings.index(location.function));
                if (!location.sourceFile.empty()) f.varint(kFunctionFile, strings.index(location.sourceFile));
                out.message(kFunction, f);
            }
            ProtoWriter line;
            line.varint(kLineFunction, it->second);
            if (location.line != 0) line.varint(kLineNumber, location.line);
            l.message(kLine, line);
        }
        out.message(kLocation, l);
    }

    out.varint(kDurationNanos, profile.endTime - profile.startTime);
    out.message(kPeriodType, ValueType(strings, "cpu", "nanoseconds"));
    out.varint(kPeriod, period);
    out.varint(kComment, strings.index("symbols: " + SymbolReportText(profile.symbols)));
    strings.write(out);
    return out.data();
}

}  // namespace vantric::rcf
