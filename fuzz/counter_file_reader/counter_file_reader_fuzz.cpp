// Fuzz target of the counter files. The input is the file, read as a
// counters file, as a counter defaults file, and through ReadCounterDefaults.
//
// Checked: a file opens exactly when it is a JSON array; its size is the
// array's; each element is accepted or refused, with one message naming its
// number, as a reference reading of the keys says, and an accepted entry
// holds the element's values with the defaults applied (start <= end, an
// interval of at least 1, 32 bits in a defaults file); ReadCounterDefaults
// keeps the last accepted entry of each source and succeeds only when every
// element was accepted.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

#include "counters/counter_defaults.h"
#include "counters/counter_file_reader.h"
#include "json/json_test_support.h"
#include "scratch_files.h"

namespace {

using vantric::CounterFileEntry;
using vantric::CounterFileReader;
using vq::JSONValue;

void Check(bool holds) {
    if (!holds) std::abort();
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

size_t Lines(std::string_view text) {
    size_t lines = 0;
    for (char c : text) lines += c == '\n' ? 1 : 0;
    return lines;
}

const JSONValue* Member(const JSONValue& element, const char* key, JSONValue::Type type) {
    if (element.type() != JSONValue::TypeObject) return nullptr;
    const auto found = element.members().find(key);
    if (found == element.members().end() || found->second.type() != type) return nullptr;
    return &found->second;
}

// The entry the element should give, or why it should be refused. Keys are
// checked in the order of the file format's table.
struct Expected {
    std::optional<CounterFileEntry> entry;
    std::string refusal;
};

Expected Reference(const JSONValue& element, bool counters) {
    CounterFileEntry entry;
    const auto text = [&](const char* key, std::string& out) {
        const JSONValue* value = Member(element, key, JSONValue::TypeString);
        if (value != nullptr) out = value->asString();
        return value != nullptr;
    };
    const auto number = [&](const char* key, uint64_t& out) {
        const JSONValue* value = Member(element, key, JSONValue::TypeUInt);
        if (value != nullptr) out = value->asUInt64();
    };
    const auto flag = [&](const char* key, bool& out) {
        if (Member(element, key, JSONValue::TypeTrue) != nullptr) out = true;
        if (Member(element, key, JSONValue::TypeFalse) != nullptr) out = false;
    };
    const auto refused = [](const char* why) { return Expected{std::nullopt, why}; };

    number("StartTime", entry.startTime);
    number("EndTime", entry.endTime);
    if (entry.startTime > entry.endTime) return refused("Start and end time specified");
    std::string ignored;
    if (counters && text("Path", ignored)) {
        return refused("The key \"Path\" should be renamed as \"Component\"");
    }
    if (counters && !text("Component", entry.component)) return refused("ZVT Component");
    if (!text("ZVTSrcName", entry.sourceName)) return refused("ZVTSrcName");
    text("Condition", entry.condition);
    if (!text("Title", entry.title)) return refused("Title");
    if (counters) {
        if (!text("CounterName", entry.name)) return refused("CounterName");
        if (!text("Type", entry.type)) entry.type = entry.title + entry.name;
    }
    if (!text("Display", entry.display)) return refused("Display value");
    text("Units", entry.units);
    flag("AverageSelection", entry.averageSelection);
    flag("PerCpu", entry.perCpu);
    uint64_t interval = entry.messageInterval;
    number("MessageInterval", interval);
    if (counters || interval <= UINT32_MAX) entry.messageInterval = interval;
    if (entry.messageInterval == 0) return refused("MessageInterval");
    return {entry, {}};
}

bool Same(const CounterFileEntry& a, const CounterFileEntry& b) {
    return a.startTime == b.startTime && a.endTime == b.endTime && a.component == b.component &&
           a.sourceName == b.sourceName && a.condition == b.condition && a.title == b.title &&
           a.name == b.name && a.type == b.type && a.display == b.display && a.units == b.units &&
           a.averageSelection == b.averageSelection && a.perCpu == b.perCpu &&
           a.messageInterval == b.messageInterval;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const vq::testing::Parsed parsed = vq::testing::parseText(text);
    const bool isArray = parsed.ok && parsed.value.type() == JSONValue::TypeArray;

    const std::string path = (vantric::fuzzing::ScratchDirectory() / "counters.json").string();
    vantric::fuzzing::WriteFile(path, text);

    vantric::CounterDefaultsMap expectedDefaults;
    bool everyDefaultAccepted = true;
    for (bool counters : {true, false}) {
        std::ostringstream errors;
        CounterFileReader reader(
            counters ? CounterFileReader::Kind::kCounters : CounterFileReader::Kind::kDefaults,
            errors);
        const bool opened = reader.Open(path);
        Check(opened == isArray);
        if (!opened) {
            Check(reader.size() == 0);
            Check(StartsWith(errors.str(), "Counters setup failed : ") && Lines(errors.str()) == 1);
            continue;
        }
        Check(errors.str().empty());
        Check(reader.size() == parsed.value.size());
        for (uint64_t i = 0; i < reader.size(); ++i) {
            errors.str({});
            const std::optional<CounterFileEntry> entry = reader.Entry(i);
            const Expected expected = Reference(parsed.value.at(i), counters);
            Check(entry.has_value() == expected.entry.has_value());
            if (!entry) {
                Check(errors.str() == "Counter setup error : " + expected.refusal +
                                          " for the counter # " + std::to_string(i + 1) +
                                          " is invalid\n");
                everyDefaultAccepted = everyDefaultAccepted && counters;
                continue;
            }
            Check(errors.str().empty());
            Check(Same(*entry, *expected.entry));
            Check(entry->startTime <= entry->endTime && entry->messageInterval >= 1);
            Check(counters || entry->messageInterval <= UINT32_MAX);
            if (!counters) {
                vantric::CounterDefaults& slot = expectedDefaults[entry->sourceName];
                slot.startTime = entry->startTime;
                slot.endTime = entry->endTime;
                slot.sourceName = entry->sourceName;
                slot.condition = entry->condition;
                slot.title = entry->title;
                slot.display = entry->display;
                slot.units = entry->units;
                slot.averageSelection = entry->averageSelection;
                slot.perCpu = entry->perCpu;
                slot.messageInterval = static_cast<uint32_t>(entry->messageInterval);
            }
        }
    }

    std::ostringstream errors;
    vantric::CounterDefaultsMap defaults;
    Check(vantric::ReadCounterDefaults(path, defaults, errors) ==
          (isArray && everyDefaultAccepted));
    Check(defaults.size() == expectedDefaults.size());
    for (const auto& [source, expected] : expectedDefaults) {
        const auto found = defaults.find(source);
        Check(found != defaults.end());
        const vantric::CounterDefaults& got = found->second;
        Check(got.startTime == expected.startTime && got.endTime == expected.endTime &&
              got.sourceName == expected.sourceName && got.condition == expected.condition &&
              got.title == expected.title && got.display == expected.display &&
              got.units == expected.units && got.averageSelection == expected.averageSelection &&
              got.perCpu == expected.perCpu && got.messageInterval == expected.messageInterval);
    }
    return 0;
}
