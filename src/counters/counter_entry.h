// Reading of the two counter files, shared by the counters file and the
// counter defaults file: opening and parsing the file, and turning one array
// element into the values of a counter, with the refusal messages of both.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "json/json_value.h"

namespace vantric {

// One element of a counter file, with every default applied.
struct CounterEntry {
    uint64_t startTime = 0;
    uint64_t endTime = UINT64_MAX;
    std::string component;  // as given; empty means every component
    std::string sourceName;
    std::string condition;
    std::string title;
    std::string name;
    std::string type;
    std::string display;
    std::string units = "units";
    bool averageSelection = true;
    bool perCpu = false;
    uint64_t messageInterval = 1;
};

enum class CounterFileKind {
    kCounters,  // the counters file: every key
    kDefaults,  // the defaults file: no "Path", "Component", "CounterName", "Type";
                // "MessageInterval" is 32-bit
};

// Parses the file at `path` into `document`. An unopenable or malformed file
// gives false and one "Counters setup failed" line on `errors`, as does a
// document that is not an array (so callers can index it without throwing).
bool ReadCounterFile(const std::string& path, vq::JSONValue& document, std::ostream& errors);

// The entry of element `number` (counted from 1), or none with one
// "Counter setup error" line on `errors`. An element that is not an object
// has no members, so it is refused for its first required key.
std::optional<CounterEntry> ReadCounterEntry(const vq::JSONValue& element, uint64_t number,
                                             CounterFileKind kind, std::ostream& errors);

}  // namespace vantric
