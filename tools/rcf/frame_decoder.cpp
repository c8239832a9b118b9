#include "rcf/frame_decoder.h"

#include <limits>

#include "rcf/byte_reader.h"

namespace vantric::rcf {
namespace {

constexpr uint32_t kUnclosedLength = 0xFFFFFFFFu;
constexpr int64_t kChannelBase = 25;

enum class Outcome { kRecord, kTruncated, kInvalid };

// Decodes records of one frame; knows each frame type's record layouts.
class Decoder {
public:
    Decoder(const std::string& file, ByteReader& in, std::vector<Diagnostic>& diagnostics)
        : file_(file), in_(in), diagnostics_(diagnostics) {}

    Outcome decode(uint32_t type, bool first, RecordBody& out) {
        switch (type) {
            case 1:
                return summary(out);
            case 2:
                return sample(out);
            case 3:
                return name(out);
            case 4:
                return counter(out);
            case 6:
                return annotation(out);
            case 7:
                return scheduling(out);
            case 9:
                return idle(out);
            case 10:
                return external(first, out);
            case 13:
                return link(out);
            default:
                return invalid("data after the header of a frame that holds no records");
        }
    }

    // Marks the start of the next record.
    void begin() { start_ = in_.offset(); }

    // Why and where the last record was invalid.
    const std::string& problem() const { return problem_; }
    uint64_t problemOffset() const { return problemOffset_; }

private:
    void error(uint64_t offset, std::string text) {
        diagnostics_.push_back({Diagnostic::Severity::kError, file_, offset, std::move(text)});
    }

    Outcome invalid(std::string text, uint64_t offset) {
        problem_ = std::move(text);
        problemOffset_ = offset;
        return Outcome::kInvalid;
    }
    Outcome invalid(std::string text) { return invalid(std::move(text), start_); }

    // Turns a failed read into the outcome of the record.
    Outcome failed(ByteReader& reader) {
        switch (reader.status()) {
            case ByteReader::Status::kTruncated:
                return Outcome::kTruncated;
            case ByteReader::Status::kOverlong:
                return invalid("packed integer longer than 10 bytes", reader.failureOffset());
            default:
                return invalid("negative string length", reader.failureOffset());
        }
    }

    // A 32-bit field is packed sign-extended, so it must lie in int32 range.
    bool field32(ByteReader& reader, uint32_t& out) {
        size_t at = reader.offset();
        int64_t value = 0;
        if (!reader.packed(value)) return false;
        if (value < std::numeric_limits<int32_t>::min() ||
            value > std::numeric_limits<int32_t>::max()) {
            error(at, "value " + std::to_string(value) + " does not fit its 32-bit field");
        }
        out = static_cast<uint32_t>(value);
        return true;
    }
    bool field64(ByteReader& reader, uint64_t& out) {
        int64_t value = 0;
        if (!reader.packed(value)) return false;
        out = static_cast<uint64_t>(value);
        return true;
    }
    bool tag(int64_t& out) { return in_.packed(out); }

    Outcome summary(RecordBody& out) {
        int64_t kind = 0;
        if (!tag(kind)) return failed(in_);
        if (kind == 1) {
            SummaryRecord record;
            if (!in_.string(record.text) || !in_.packed(record.times[0]) ||
                !in_.packed(record.times[1]) || !in_.packed(record.times[2]) ||
                !in_.string(record.tail)) {
                return failed(in_);
            }
            out = std::move(record);
            return Outcome::kRecord;
        }
        if (kind == 3) {
            CoreNameRecord record;
            if (!field32(in_, record.core) || !field32(in_, record.cpuId) ||
                !in_.string(record.name)) {
                return failed(in_);
            }
            out = std::move(record);
            return Outcome::kRecord;
        }
        return invalid("unknown summary record " + std::to_string(kind));
    }

    Outcome sample(RecordBody& out) {
        SampleRecord record;
        if (!field64(in_, record.time) || !field32(in_, record.cookie) ||
            !field32(in_, record.pid) || !field32(in_, record.tid)) {
            return failed(in_);
        }
        // Frame pairs until the terminating 1.
        for (;;) {
            StackFrame frame;
            size_t at = in_.offset();
            int64_t first = 0;
            if (!in_.packed(first)) return failed(in_);
            if (first == 1) break;
            if (first < std::numeric_limits<int32_t>::min() ||
                first > std::numeric_limits<int32_t>::max()) {
                error(at, "value " + std::to_string(first) + " does not fit its 32-bit field");
            }
            frame.cookie = static_cast<uint32_t>(first);
            if (!field64(in_, frame.address)) return failed(in_);
            record.frames.push_back(frame);
        }
        out = std::move(record);
        return Outcome::kRecord;
    }

    Outcome name(RecordBody& out) {
        int64_t kind = 0;
        if (!tag(kind)) return failed(in_);
        if (kind == 1) {
            CookieNameRecord record;
            if (!field32(in_, record.cookie) || !in_.string(record.name)) return failed(in_);
            out = std::move(record);
            return Outcome::kRecord;
        }
        if (kind == 2) {
            ThreadNameRecord record;
            if (!field64(in_, record.time) || !field32(in_, record.tid) ||
                !in_.string(record.name)) {
                return failed(in_);
            }
            out = std::move(record);
            return Outcome::kRecord;
        }
        return invalid("unknown name record " + std::to_string(kind));
    }

    Outcome counter(RecordBody& out) {
        CounterValueRecord record;
        if (!field64(in_, record.time) || !field32(in_, record.core) || !field32(in_, record.key) ||
            !field64(in_, record.value)) {
            return failed(in_);
        }
        out = record;
        return Outcome::kRecord;
    }

    Outcome annotation(RecordBody& out) {
        AnnotationRecord record;
        int64_t size = 0;
        uint8_t marker[2] = {0, 0};
        uint16_t length = 0;
        if (!field32(in_, record.pid) || !field32(in_, record.tid) || !field64(in_, record.time) ||
            !in_.packed(size) || !in_.byte(marker[0]) || !in_.byte(marker[1]) ||
            !in_.u16le(length)) {
            return failed(in_);
        }
        if (marker[0] != 0x1C || marker[1] != 0x05) {
            return invalid("annotation without its 1C 05 marker");
        }
        if (size != static_cast<int64_t>(length) + 4) {
            return invalid("annotation size " + std::to_string(size) +
                           " does not match its text length " + std::to_string(length));
        }
        if (!in_.bytes(length, record.text)) return failed(in_);
        out = std::move(record);
        return Outcome::kRecord;
    }

    Outcome scheduling(RecordBody& out) {
        int64_t kind = 0;
        if (!tag(kind)) return failed(in_);
        if (kind == 1) {
            SwitchRecord record;
            if (!field64(in_, record.time) || !field32(in_, record.tid) ||
                !field32(in_, record.state)) {
                return failed(in_);
            }
            out = record;
            return Outcome::kRecord;
        }
        if (kind == 2) {
            ThreadExitRecord record;
            if (!field64(in_, record.time) || !field32(in_, record.tid)) return failed(in_);
            out = record;
            return Outcome::kRecord;
        }
        return invalid("unknown scheduling record " + std::to_string(kind));
    }

    Outcome idle(RecordBody& out) {
        IdleRecord record;
        uint32_t state = 0;
        if (!field32(in_, state) || !field64(in_, record.time) || !field32(in_, record.core)) {
            return failed(in_);
        }
        record.state = static_cast<int32_t>(state);
        out = record;
        return Outcome::kRecord;
    }

    Outcome link(RecordBody& out) {
        int64_t kind = 0;
        if (!tag(kind)) return failed(in_);
        if (kind == 1) {
            LinkRecord record;
            if (!field64(in_, record.time) || !field32(in_, record.cookie) ||
                !field32(in_, record.pid) || !field32(in_, record.tid)) {
                return failed(in_);
            }
            out = record;
            return Outcome::kRecord;
        }
        if (kind == 3) {
            LinkExitRecord record;
            if (!field64(in_, record.time) || !field32(in_, record.tid)) return failed(in_);
            out = record;
            return Outcome::kRecord;
        }
        return invalid("unknown link record " + std::to_string(kind));
    }

    bool channel(ByteReader& reader, uint32_t& out) {
        uint32_t raw = 0;
        if (!field32(reader, raw)) return false;
        out = raw - static_cast<uint32_t>(kChannelBase);
        return true;
    }

    // The fields of an external record must fill exactly its byte count.
    Outcome externalBody(uint8_t kind, ByteReader& body, RecordBody& out) {
        if (kind == 0x0D) {
            ChannelNameRecord record;
            if (!channel(body, record.channel)) return Outcome::kInvalid;
            body.bytes(body.remaining(), record.name);
            out = std::move(record);
            return Outcome::kRecord;
        }
        if (kind == 0x0B) {
            ChannelTextRecord record;
            if (!channel(body, record.channel) || !field32(body, record.sequence) ||
                !field32(body, record.value)) {
                return Outcome::kInvalid;
            }
            body.bytes(body.remaining(), record.text);
            out = std::move(record);
            return Outcome::kRecord;
        }
        ActivityRecord record;
        int64_t links = 0;
        if (!channel(body, record.channel) || !field32(body, record.sequence) ||
            !field32(body, record.relatedId) || !field64(body, record.startTime) ||
            !field64(body, record.duration) || !body.u32le(record.colour) ||
            !field32(body, record.value) || !body.packed(links)) {
            return Outcome::kInvalid;
        }
        if (links < 0 || static_cast<uint64_t>(links) > body.remaining()) {
            return Outcome::kInvalid;
        }
        for (int64_t i = 0; i < links; ++i) {
            uint32_t id = 0;
            if (!field32(body, id)) return Outcome::kInvalid;
            record.linkedIds.push_back(id);
        }
        body.bytes(body.remaining(), record.text);
        out = std::move(record);
        return Outcome::kRecord;
    }

    Outcome external(bool first, RecordBody& out) {
        if (first) {
            // The header is the packed string "ANNOTATE 2\n" (length byte 0x0B) and two zero words.
            uint8_t lead = 0;
            if (!in_.byte(lead)) return failed(in_);
            if (lead != 0x0B) return invalid("external annotation frame without its stream header");
            std::string magic;
            uint32_t zero[2] = {0, 0};
            if (!in_.bytes(lead, magic) || !in_.u32le(zero[0]) || !in_.u32le(zero[1])) {
                return failed(in_);
            }
            if (magic != "ANNOTATE 2\n" || zero[0] != 0 || zero[1] != 0) {
                return invalid("external annotation frame without its stream header");
            }
            out = StreamHeaderRecord{};
            return Outcome::kRecord;
        }
        uint8_t kind = 0;
        uint32_t count = 0;
        if (!in_.byte(kind)) return failed(in_);
        if (kind != 0x0B && kind != 0x0C && kind != 0x0D) {
            return invalid("unknown external annotation record " + std::to_string(kind));
        }
        ByteReader body(nullptr, 0, 0);
        if (!in_.u32le(count) || !in_.sub(count, body)) return failed(in_);
        Outcome outcome = externalBody(kind, body, out);
        if (outcome == Outcome::kInvalid) {
            return invalid("byte count " + std::to_string(count) +
                           " does not hold the record's fields");
        }
        return outcome;
    }

    const std::string& file_;
    ByteReader& in_;
    std::vector<Diagnostic>& diagnostics_;
    size_t start_ = 0;
    std::string problem_;
    uint64_t problemOffset_ = 0;
};

}  // namespace

const char* FrameTypeName(uint32_t type) {
    switch (type) {
        case 1:
            return "summary";
        case 2:
            return "backtrace";
        case 3:
            return "name";
        case 4:
            return "counter";
        case 5:
            return "type-5";
        case 6:
            return "annotate";
        case 7:
            return "scheduling";
        case 9:
            return "idle";
        case 10:
            return "external";
        case 11:
            return "type-11";
        case 13:
            return "link";
        default:
            return nullptr;
    }
}

bool IsPerCoreFrame(uint32_t type) {
    return type == 2 || type == 3 || type == 5 || type == 7 || type == 11;
}

Frame DecodeFrame(const std::string& fileName, const std::vector<uint8_t>& bytes,
                  std::vector<Diagnostic>& diagnostics) {
    auto report = [&](Diagnostic::Severity severity, uint64_t offset, std::string text) {
        diagnostics.push_back({severity, fileName, offset, std::move(text)});
    };
    Frame frame;
    frame.fileName = fileName;
    frame.fileSize = bytes.size();
    ByteReader in(bytes.data(), 0, bytes.size());
    if (!in.u32le(frame.length)) {
        report(Diagnostic::Severity::kError, 0, "file too short for a frame length");
        return frame;
    }
    frame.closed = frame.length != kUnclosedLength;
    if (frame.closed && frame.length != bytes.size() - 4) {
        report(Diagnostic::Severity::kError, 0,
               "frame length " + std::to_string(frame.length) + " does not match the " +
                   std::to_string(bytes.size() - 4) + " bytes after it");
    }

    // Where reading stopped early in a frame the host never closed.
    std::optional<uint64_t> cutAt;
    int64_t type = 0;
    if (!in.packed(type)) {
        if (frame.closed || in.status() != ByteReader::Status::kTruncated) {
            report(Diagnostic::Severity::kError, 4, "frame header cut short");
            return frame;
        }
        cutAt = 4;
    } else if (type < 0 || type > 0xFFFFFFFF ||
               FrameTypeName(static_cast<uint32_t>(type)) == nullptr) {
        report(Diagnostic::Severity::kError, 4, "unknown frame type " + std::to_string(type));
        return frame;
    } else {
        frame.type = static_cast<uint32_t>(type);
    }

    if (!cutAt && IsPerCoreFrame(frame.type)) {
        size_t at = in.offset();
        int64_t core = 0;
        if (!in.packed(core)) {
            if (frame.closed || in.status() != ByteReader::Status::kTruncated) {
                report(Diagnostic::Severity::kError, at, "frame header cut short");
                return frame;
            }
            cutAt = at;
        } else {
            if (core < 0 || core > std::numeric_limits<int32_t>::max()) {
                report(Diagnostic::Severity::kError, at,
                       "core number " + std::to_string(core) + " out of range");
            }
            frame.core = static_cast<uint32_t>(core);
        }
    }

    Decoder decoder(fileName, in, diagnostics);
    bool first = true;
    while (!cutAt && !in.atEnd()) {
        size_t start = in.offset();
        decoder.begin();
        Record record;
        record.offset = start;
        Outcome outcome = decoder.decode(frame.type, first, record.body);
        if (outcome == Outcome::kRecord) {
            frame.records.push_back(std::move(record));
            first = false;
            continue;
        }
        if (outcome == Outcome::kTruncated) {
            if (frame.closed) {
                report(Diagnostic::Severity::kError, start,
                       "record cut short at the end of the file");
            } else {
                cutAt = start;
            }
        } else {
            report(Diagnostic::Severity::kError, decoder.problemOffset(), decoder.problem());
        }
        break;
    }

    if (!frame.closed) {
        std::string text = "frame not closed (length still 0xFFFFFFFF); read " +
                           std::to_string(frame.records.size()) + " complete records";
        if (cutAt) text += ", the last record is cut short";
        report(Diagnostic::Severity::kWarning, cutAt ? *cutAt : bytes.size(), text);
    }
    return frame;
}

}  // namespace vantric::rcf
