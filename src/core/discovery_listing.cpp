#include "core/discovery_listing.h"

#include <cstring>
#include <memory>

#include "os/target_access.h"

namespace vantric {
namespace {

const char* TypeName(uint32_t typeCode) {
    static const char* const kNames[] = {"ZVT_UNSIGNED_INT", "ZVT_SIGNED_INT", "ZVT_BOOL",
                                         "ZVT_ENUM",         "ZVT_FLOAT",      "ZVT_STRING"};
    return typeCode < 6 ? kNames[typeCode] : "ZVT_UNKNOWN";
}

const char* OrEmpty(const char* text) { return text != nullptr ? text : ""; }

// One line of the listing: depth tabs, "key": "value",
void StringItem(std::ostream& out, int depth, const char* key, const std::string& value) {
    out << std::string(depth, '\t') << '"' << key << "\": \"" << value << "\",\n";
}

void NumberItem(std::ostream& out, int depth, const char* key, uint64_t value, bool closing) {
    out << std::string(depth, '\t') << '"' << key << "\": " << value << (closing ? "\n" : ",\n");
}

// The identification value: the first of CPUID, MIDR, MIDR_EL1 the core has.
uint32_t IdentificationOf(plexa::SQOVI2* debug) {
    for (const char* name : {"CPUID", "MIDR", "MIDR_EL1"}) {
        const uint32_t reg = TargetAccess::FindRegister(debug, TargetAccess::kAllGroups, name);
        if (reg != TargetAccess::kNotFound) return TargetAccess::ReadRegister32(debug, reg);
    }
    return 0;
}

}  // namespace

std::string EscapeDescription(const char* text) {
    std::string escaped;
    for (const char* p = OrEmpty(text); *p != '\0'; ++p) {
        switch (*p) {
            case '\b': escaped += "\\b"; break;
            case '\t': escaped += "\\t"; break;
            case '\n': escaped += "\\n"; break;
            case '\f': escaped += "\\f"; break;
            case '\r': escaped += "\\r"; break;
            case '"': escaped += "\\\""; break;
            case '/': escaped += "\\/"; break;
            case '\\': escaped += "\\\\"; break;
            default: escaped += *p; break;
        }
    }
    return escaped;
}

DiscoveryListing::DiscoveryListing(std::ostream& out) : out_(out) {}

bool DiscoveryListing::run(plexa::CAInterface* simulation, const std::string& counterDefaultsPath) {
    if (!ReadCounterDefaults(counterDefaultsPath, counterDefaults_, messages)) return false;
    auto* system = static_cast<ZVT::SystemTraceInterface*>(
        simulation->LookupInterface(host_names::kSystemTrace, 0, nullptr));
    if (system != nullptr) {
        for (int32_t i = 0; i < system->TraceComponentCount(); ++i) {
            plexa::CAInterface* component = system->TraceComponent(i);
            if (component == nullptr) continue;
            auto* trace = static_cast<ZVT::ComponentTraceInterface*>(component->LookupInterface(
                host_names::kComponentTrace, host_names::kComponentTraceRevision, nullptr));
            if (trace != nullptr) collect(OrEmpty(system->TraceComponentName(i)), trace);
        }
    }
    out_ << "=============================Vantric Discovery mode"
            "======================================\n";
    print();
    return true;
}

void DiscoveryListing::collect(const std::string& component, ZVT::ComponentTraceInterface* trace) {
    const uint32_t count = trace->TraceSourceCount();
    for (uint32_t i = 0; i < count; ++i) {
        ZVT::TraceSource* source = trace->TraceSourceAt(i);
        if (source == nullptr) continue;
        const std::string name = OrEmpty(source->Name());
        auto defaults = counterDefaults_.find(name);
        if (defaults != counterDefaults_.end()) {
            const CounterDefaults& d = defaults->second;
            const std::string counterName = component + "." + name;
            basicSources_.push_back({component, d.condition, d.title, counterName, counterName,
                                     d.display, d.units, d.averageSelection, d.perCpu,
                                     d.messageInterval, source});
        } else {
            otherSources_.push_back({component, source});
        }
        if (name == "BRA_DIR") instances_[component] = trace;
    }
}

void DiscoveryListing::print() {
    std::string errors;
    out_ << "{\n\t\"BasicSources\": [\n";
    for (size_t i = 0; i < basicSources_.size(); ++i) {
        const BasicSource& b = basicSources_[i];
        out_ << "\t\t{\n";
        StringItem(out_, 2, "Component", b.component);
        StringItem(out_, 2, "ZVTSrcName", OrEmpty(b.source->Name()));
        StringItem(out_, 2, "Description", EscapeDescription(b.source->Description()));
        StringItem(out_, 2, "Condition", b.condition);
        StringItem(out_, 2, "Title", b.title);
        StringItem(out_, 2, "CounterName", b.counterName);
        StringItem(out_, 2, "Type", b.type);
        StringItem(out_, 2, "Display", b.display);
        StringItem(out_, 2, "Units", b.units);
        StringItem(out_, 2, "AverageSelection", b.averageSelection ? "1" : "0");
        StringItem(out_, 2, "PerCpu", b.perCpu ? "1" : "0");
        StringItem(out_, 2, "MessageInterval", std::to_string(b.messageInterval));
        printFields(b.source);
        out_ << "\t\t}" << (i + 1 < basicSources_.size() ? "," : "") << "\n";
    }
    out_ << "\t],\n\t\"OtherSources\": [\n";
    for (size_t i = 0; i < otherSources_.size(); ++i) {
        const OtherSource& o = otherSources_[i];
        out_ << "\t\t{\n";
        StringItem(out_, 2, "Component", o.component);
        StringItem(out_, 2, "ZVTSrcName", OrEmpty(o.source->Name()));
        StringItem(out_, 2, "Description", EscapeDescription(o.source->Description()));
        printFields(o.source);
        out_ << "\t\t}" << (i + 1 < otherSources_.size() ? "," : "") << "\n";
    }
    out_ << "\t],\n\n\t\"Instances\": [\n";
    printInstances(errors);
    out_ << "\t\t]";
    if (errors.empty()) {
        out_ << "\n";
    } else {
        out_ << ",\n\n\t\"Errors\":\"" << errors << "\"\n";
    }
    out_ << "}\n";
}

void DiscoveryListing::printFields(ZVT::TraceSource* source) {
    out_ << "\t\t\"Fields\": [\n";
    const uint32_t count = source->FieldCount();
    for (uint32_t i = 0; i < count; ++i) {
        ZVT::EventFieldType* field = source->FieldAt(i);
        if (field == nullptr) continue;
        out_ << "\t\t\t{\n";
        StringItem(out_, 3, "Name", OrEmpty(field->Name()));
        StringItem(out_, 3, "Description", EscapeDescription(field->Description()));
        const uint32_t typeCode = field->TypeCode();
        StringItem(out_, 3, "Type", TypeName(typeCode));
        out_ << "\t\t\t\"Size\": " << static_cast<uint16_t>(field->Size());
        if (typeCode == ZVT::ENUM) {
            out_ << ",\n\t\t\t\"EnumString\": [\n";
            const uint32_t constants = field->EnumConstantCount();
            for (uint32_t c = 0; c < constants; ++c) {
                const ZVT::EnumConstant constant = field->EnumConstantAt(c);
                out_ << "\t\t\t\t{\n";
                NumberItem(out_, 4, "Value", constant.value, false);
                out_ << "\t\t\t\t\"String\": \"" << OrEmpty(constant.name) << "\"\n";
                out_ << "\t\t\t\t}" << (c + 1 < constants ? "," : "") << "\n";
            }
            out_ << "\t\t\t]\n";
        } else {
            out_ << "\n";
        }
        out_ << "\t\t\t}" << (i + 1 < count ? "," : "") << "\n";
    }
    out_ << "\t\t]\n";
}

void DiscoveryListing::printInstances(std::string& errors) {
    size_t position = 0;
    for (const auto& [name, trace] : instances_) {
        const bool last = ++position == instances_.size();
        auto* debug = static_cast<plexa::SQOVI2*>(
            trace->LookupInterface(host_names::kDebugInterface, 0, nullptr));
        auto info = std::make_unique<plexa::SQOVITargetInfo>();
        std::memset(static_cast<void*>(info.get()), 0, sizeof *info);
        // A core without a debug interface is reported like a failed request.
        if (debug == nullptr || debug->GetTargetInfo(info.get()) != 0) {
            errors += "ERROR: Getting target info for " + name + " failed. ";
            continue;
        }
        out_ << "\t\t{\n";
        StringItem(out_, 2, "Name", name);
        NumberItem(out_, 2, "Id", info->id, false);
        StringItem(out_, 2, "QOVIName", info->targetName);
        StringItem(out_, 2, "Description", EscapeDescription(info->description));
        out_ << "\t\t\"Details\": {\n";
        StringItem(out_, 3, "SW", info->isSoftware != 0 ? "yes" : "no");
        StringItem(out_, 3, "Component", info->targetName);
        StringItem(out_, 3, "Type", info->type);
        StringItem(out_, 3, "Version", info->version);
        NumberItem(out_, 3, "MIDR", IdentificationOf(debug), true);
        out_ << "\t\t\t}\n";
        out_ << "\t\t}" << (last ? "" : ",") << "\n";
    }
}

}  // namespace vantric
