// A capture directory read back as plain records: one Frame per data file,
// each with its records in file order, plus what the XML files say.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace vantric::rcf {

// Frame type 1.
struct SummaryRecord {
    std::string text;  // "1\n2\r\n3\r4\n\r5"
    int64_t times[3] = {0, 0, 0};
    std::string tail;
};
struct CoreNameRecord {
    uint32_t core = 0;
    uint32_t cpuId = 0;
    std::string name;
};
// Frame type 2.
struct StackFrame {
    uint32_t cookie = 0;
    uint64_t address = 0;
    bool operator==(const StackFrame&) const = default;
};
struct SampleRecord {
    uint64_t time = 0;
    uint32_t cookie = 0;
    uint32_t pid = 0;
    uint32_t tid = 0;
    std::vector<StackFrame> frames;
};
// Frame type 3.
struct CookieNameRecord {
    uint32_t cookie = 0;
    std::string name;
};
struct ThreadNameRecord {
    uint64_t time = 0;
    uint32_t tid = 0;
    std::string name;
};
// Frame type 4; `key` is the counter number + 3.
struct CounterValueRecord {
    uint64_t time = 0;
    uint32_t core = 0;
    uint32_t key = 0;
    uint64_t value = 0;
};
// Frame type 6.
struct AnnotationRecord {
    uint32_t pid = 0;
    uint32_t tid = 0;
    uint64_t time = 0;
    std::string text;
};
// Frame type 7.
struct SwitchRecord {
    uint64_t time = 0;
    uint32_t tid = 0;
    uint32_t state = 0;
};
struct ThreadExitRecord {
    uint64_t time = 0;
    uint32_t tid = 0;
};
// Frame type 9.
struct IdleRecord {
    int32_t state = 0;
    uint64_t time = 0;
    uint32_t core = 0;
};
// Frame type 10; channels are the writer's indexes (the file holds index + 25).
struct StreamHeaderRecord {};
struct ChannelNameRecord {
    uint32_t channel = 0;
    std::string name;
};
struct ChannelTextRecord {
    uint32_t channel = 0;
    uint32_t sequence = 0;
    uint32_t value = 0;
    std::string text;
};
struct ActivityRecord {
    uint32_t channel = 0;
    uint32_t sequence = 0;
    uint32_t relatedId = 0;
    uint64_t startTime = 0;
    uint64_t duration = 0;
    uint32_t colour = 0;
    uint32_t value = 0;
    std::vector<uint32_t> linkedIds;
    std::string text;
};
// Frame type 13.
struct LinkRecord {
    uint64_t time = 0;
    uint32_t cookie = 0;
    uint32_t pid = 0;
    uint32_t tid = 0;
};
struct LinkExitRecord {
    uint64_t time = 0;
    uint32_t tid = 0;
};

using RecordBody =
    std::variant<SummaryRecord, CoreNameRecord, SampleRecord, CookieNameRecord, ThreadNameRecord,
                 CounterValueRecord, AnnotationRecord, SwitchRecord, ThreadExitRecord, IdleRecord,
                 StreamHeaderRecord, ChannelNameRecord, ChannelTextRecord, ActivityRecord,
                 LinkRecord, LinkExitRecord>;

struct Record {
    uint64_t offset = 0;  // of the record's first byte in its file
    RecordBody body;
};

struct Frame {
    std::string fileName;  // the ten digits
    uint64_t fileSize = 0;
    uint32_t length = 0;  // as found at offset 0
    bool closed = false;  // false while the length is still 0xFFFFFFFF
    uint32_t type = 0;    // 0 when the header could not be read
    std::optional<uint32_t> core;
    std::vector<Record> records;
};

struct Diagnostic {
    enum class Severity { kWarning, kError };
    Severity severity = Severity::kError;
    std::string file;  // a name inside the capture directory, or the directory itself
    uint64_t offset = 0;
    std::string text;
};

// One counter element of captured.xml.
struct CounterElement {
    uint32_t key = 0;  // as written: the counter number + 3, like counter-value records
    std::string name;
    std::string title;
};

struct Capture {
    std::string directory;
    std::vector<Frame> frames;              // in file-name (sequence) order
    std::optional<std::string> sessionXml;  // absent when the file is missing
    std::optional<std::string> capturedXml;
    std::vector<CounterElement> counters;  // parsed from captured.xml
    std::optional<uint32_t> cores;         // cores='N' of captured.xml
    std::vector<Diagnostic> diagnostics;
};

// Every record of type T in the capture, in file order.
template <typename T>
std::vector<T> RecordsOf(const Capture& capture) {
    std::vector<T> found;
    for (const Frame& frame : capture.frames)
        for (const Record& record : frame.records)
            if (const T* body = std::get_if<T>(&record.body)) found.push_back(*body);
    return found;
}

// Short names of the frame types in use, or null for an unknown type.
const char* FrameTypeName(uint32_t type);
bool IsPerCoreFrame(uint32_t type);

}  // namespace vantric::rcf
