#include "counters/counter_file_reader.h"


#include "json/json_reader.h"
#include "json/json_stream_reader.h"

namespace vantric {
namespace {

using vq::JSONValue;

// A member that is absent, or present with another JSON type, is "not given".
const JSONValue* Member(const JSONValue& element, const char* key) {
    if (element.type() != JSONValue::TypeObject) return nullptr;
    const JSONValue::Object& members = element.members();
    auto found = members.find(key);
    return found == members.end() ? nullptr : &found->second;
}

bool ReadText(const JSONValue& element, const char* key, std::string& out) {
    const JSONValue* value = Member(element, key);
    if (value == nullptr || value->type() != JSONValue::TypeString) return false;
    out = value->asString();
    return true;
}

// Negative numbers are integers of another type (TypeInt) and so not given.
void ReadUInt64(const JSONValue& element, const char* key, uint64_t& out) {
    const JSONValue* value = Member(element, key);
    if (value != nullptr && value->type() == JSONValue::TypeUInt) out = value->asUInt64();
}

void ReadBool(const JSONValue& element, const char* key, bool& out) {
    const JSONValue* value = Member(element, key);
    if (value == nullptr) return;
    if (value->type() == JSONValue::TypeTrue) out = true;
    if (value->type() == JSONValue::TypeFalse) out = false;
}

}  // namespace

bool CounterFileReader::Open(const std::string& path) {
    document_ = JSONValue();
    std::string problem;
    const bool parsed = vq::ReadJSONFile(path, document_, problem);
    if (!parsed) {
        errors_ << "Counters setup failed : Cannot create JSON stream for " << path << problem << '\n';
        return false;
    }
    if (document_.type() != JSONValue::TypeArray) {
        // The accessors would throw here; a configuration file of the wrong
        // shape is a user's mistake like any other, so it is reported instead.
        errors_ << "Counters setup failed : " << path << " : "
                << JSONValue::WrongType(JSONValue::TypeArray, document_.type()).what() << '\n';
        return false;
    }
    return true;
}

uint64_t CounterFileReader::size() const {
    return document_.type() == JSONValue::TypeArray ? document_.size() : 0;
}

std::optional<CounterFileEntry> CounterFileReader::Entry(uint64_t index) const {
    const JSONValue& element = document_.at(index);
    const uint64_t number = index + 1;
    const auto refuse = [&](const char* what) -> std::optional<CounterFileEntry> {
        errors_ << "Counter setup error : " << what << " for the counter # " << number
                << " is invalid\n";
        return std::nullopt;
    };
    const bool counters = kind_ == Kind::kCounters;
    CounterFileEntry entry;

    ReadUInt64(element, "StartTime", entry.startTime);
    ReadUInt64(element, "EndTime", entry.endTime);
    if (entry.startTime > entry.endTime) return refuse("Start and end time specified");

    std::string ignored;
    if (counters && ReadText(element, "Path", ignored)) {
        return refuse("The key \"Path\" should be renamed as \"Component\"");
    }

    // Required keys are checked in table order, so the first missing one is
    // the one reported.
    if (counters && !ReadText(element, "Component", entry.component)) {
        return refuse("ZVT Component");
    }
    if (!ReadText(element, "ZVTSrcName", entry.sourceName)) return refuse("ZVTSrcName");
    ReadText(element, "Condition", entry.condition);
    if (!ReadText(element, "Title", entry.title)) return refuse("Title");
    if (counters) {
        if (!ReadText(element, "CounterName", entry.name)) return refuse("CounterName");
        if (!ReadText(element, "Type", entry.type)) entry.type = entry.title + entry.name;
    }
    if (!ReadText(element, "Display", entry.display)) return refuse("Display value");
    ReadText(element, "Units", entry.units);
    ReadBool(element, "AverageSelection", entry.averageSelection);
    ReadBool(element, "PerCpu", entry.perCpu);

    // "MessageInterval" is how many counted events make one written value.
    // Zero would mean "write before counting anything": refused, not guessed.
    if (const JSONValue* interval = Member(element, "MessageInterval");
        interval != nullptr && interval->type() == JSONValue::TypeUInt) {
        const uint64_t value = interval->asUInt64();
        if (counters || value <= UINT32_MAX) entry.messageInterval = value;
    }
    if (entry.messageInterval == 0) return refuse("MessageInterval");
    return entry;
}

}  // namespace vantric
