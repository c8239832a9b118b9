// The two counter files, the counters file and the counter defaults file,
// are JSON arrays of counter objects with the same keys and the same refusal
// messages. The reader opens and parses one of them and turns its elements
// into entries, one at a time, so that each refusal is reported in file
// order among whatever the caller reports about the entries it takes.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "counters/counter_file_entry.h"
#include "json/json_value.h"

namespace vantric {

class CounterFileReader {
public:
    enum class Kind {
        kCounters,  // the counters file: every key
        kDefaults,  // the defaults file: no "Path", "Component", "CounterName", "Type";
                    // "MessageInterval" is 32-bit
    };

    // Messages go to `errors`, which must outlive the reader.
    CounterFileReader(Kind kind, std::ostream& errors) : kind_(kind), errors_(errors) {}

    // Parses the file at `path`. An unopenable or malformed file gives false
    // and one "Counters setup failed" line, as does a document that is not
    // an array (its elements could not be indexed).
    bool Open(const std::string& path);

    // Elements of the opened file; 0 until a file opened.
    uint64_t size() const;

    // The entry of element `index` (from 0), or none with one "Counter setup
    // error" line naming the element by its number from 1. An element that
    // is not an object has no members, so it is refused for its first
    // required key.
    std::optional<CounterFileEntry> Entry(uint64_t index) const;

private:
    const Kind kind_;
    std::ostream& errors_;
    vq::JSONValue document_;
};

}  // namespace vantric
