// Fuzz target of the capture frame decoder. The input is one data file.
//
// Checked: the records never depend on the length word (the file as given,
// with its length made to match, and left open, decode to the same
// records); record offsets rise inside the file; each frame type holds only
// its own record kinds; a closed frame gets no warning and an open one a
// single warning unless its header was refused; an open frame cut short
// decodes to a prefix of its records, holding at least those that end before
// the cut; records read without an error, written back out, decode to
// themselves without a diagnostic; and the text, check and summary of the
// frame never fail.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "frame_encoding.h"
#include "rcf/capture_check.h"
#include "rcf/capture_reader.h"
#include "rcf/frame_decoder.h"
#include "rcf/record_text.h"

namespace {

using vantric::rcf::Diagnostic;
using vantric::rcf::Frame;
using vantric::rcf::Record;

const std::string kFileName = "0000000007";

void Check(bool holds) {
    if (!holds) std::abort();
}

struct Decoded {
    Frame frame;
    std::vector<Diagnostic> diagnostics;
};

Decoded Decode(const std::vector<uint8_t>& bytes) {
    Decoded decoded;
    decoded.frame = vantric::rcf::DecodeFrame(kFileName, bytes, decoded.diagnostics);
    return decoded;
}

std::vector<uint8_t> WithLength(std::vector<uint8_t> bytes, uint32_t length) {
    for (size_t i = 0; i < 4 && i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(length >> (8 * i));
    return bytes;
}

// The record with its offset, or without it, as one comparable text.
std::string Text(const Frame& frame, const Record& record, bool withOffset) {
    if (withOffset) return vantric::rcf::RecordText(frame, record);
    return vantric::rcf::RecordText(frame, Record{0, record.body});
}

bool SameRecords(const Frame& a, const Frame& b, size_t count, bool withOffsets) {
    if (a.records.size() < count || b.records.size() < count) return false;
    for (size_t i = 0; i < count; ++i) {
        if (Text(a, a.records[i], withOffsets) != Text(b, b.records[i], withOffsets)) return false;
    }
    return true;
}

size_t Errors(const std::vector<Diagnostic>& diagnostics) {
    size_t errors = 0;
    for (const Diagnostic& d : diagnostics)
        errors += d.severity == Diagnostic::Severity::kError ? 1 : 0;
    return errors;
}

// Which record kinds a frame type holds.
bool BelongsTo(uint32_t type, const vantric::rcf::RecordBody& body) {
    namespace rcf = vantric::rcf;
    return std::visit(
        [type](const auto& r) {
            using R = std::decay_t<decltype(r)>;
            if constexpr (std::is_same_v<R, rcf::SummaryRecord> ||
                          std::is_same_v<R, rcf::CoreNameRecord>) {
                return type == 1;
            } else if constexpr (std::is_same_v<R, rcf::SampleRecord>) {
                return type == 2;
            } else if constexpr (std::is_same_v<R, rcf::CookieNameRecord> ||
                                 std::is_same_v<R, rcf::ThreadNameRecord>) {
                return type == 3;
            } else if constexpr (std::is_same_v<R, rcf::CounterValueRecord>) {
                return type == 4;
            } else if constexpr (std::is_same_v<R, rcf::AnnotationRecord>) {
                return type == 6;
            } else if constexpr (std::is_same_v<R, rcf::SwitchRecord> ||
                                 std::is_same_v<R, rcf::ThreadExitRecord>) {
                return type == 7;
            } else if constexpr (std::is_same_v<R, rcf::IdleRecord>) {
                return type == 9;
            } else if constexpr (std::is_same_v<R, rcf::LinkRecord> ||
                                 std::is_same_v<R, rcf::LinkExitRecord>) {
                return type == 13;
            } else {
                return type == 10;
            }
        },
        body);
}

void CheckShape(const Decoded& decoded, size_t size) {
    const Frame& frame = decoded.frame;
    Check(frame.fileName == kFileName && frame.fileSize == size);
    Check(frame.records.empty() || frame.type != 0);
    Check(!frame.core || vantric::rcf::IsPerCoreFrame(frame.type));
    uint64_t previous = 0;
    for (size_t i = 0; i < frame.records.size(); ++i) {
        const Record& record = frame.records[i];
        Check(record.offset > previous && record.offset < size);
        previous = record.offset;
        Check(BelongsTo(frame.type, record.body));
        Check(frame.type != 10 ||
              (i == 0) == std::holds_alternative<vantric::rcf::StreamHeaderRecord>(record.body));
        Check(!vantric::rcf::RecordText(frame, record).empty());
    }
    size_t warnings = 0;
    for (const Diagnostic& d : decoded.diagnostics) {
        Check(d.file == kFileName && d.offset <= size && !d.text.empty());
        warnings += d.severity == Diagnostic::Severity::kWarning ? 1 : 0;
    }
    // An open frame's warning can only be missing where its header was refused.
    Check(warnings <= 1 && (warnings == 0 || !frame.closed));
    Check(size < 4 || frame.closed || warnings == 1 || Errors(decoded.diagnostics) != 0);
    Check(!vantric::rcf::FrameHeaderText(frame).empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> bytes(data, data + size);
    const Decoded given = Decode(bytes);
    CheckShape(given, size);
    if (size < 4) {
        Check(given.frame.records.empty() && Errors(given.diagnostics) == 1);
        return 0;
    }

    const std::vector<uint8_t> openBytes = WithLength(bytes, 0xFFFFFFFFu);
    const Decoded open = Decode(openBytes);
    const Decoded closed = Decode(WithLength(bytes, static_cast<uint32_t>(size - 4)));
    CheckShape(open, size);
    CheckShape(closed, size);
    Check(open.frame.records.size() == given.frame.records.size() &&
          closed.frame.records.size() == given.frame.records.size());
    Check(SameRecords(given.frame, open.frame, given.frame.records.size(), true));
    Check(SameRecords(given.frame, closed.frame, given.frame.records.size(), true));
    Check(!open.frame.closed && closed.frame.closed);

    // Cuts of the open frame: the last byte, the middle, and one the input picks.
    const size_t cuts[] = {size - 1, 4 + (size - 4) / 2, 4 + data[size - 1] % (size - 3)};
    for (size_t cut : cuts) {
        const Decoded prefix =
            Decode(std::vector<uint8_t>(openBytes.begin(), openBytes.begin() + cut));
        CheckShape(prefix, cut);
        const size_t count = prefix.frame.records.size();
        Check(SameRecords(prefix.frame, open.frame, count, true));
        size_t complete = 0;  // records that end, where the next one starts, before the cut
        while (complete + 1 < open.frame.records.size() &&
               open.frame.records[complete + 1].offset <= cut) {
            ++complete;
        }
        Check(count >= complete);
    }

    // Written back out, a frame read without errors reads the same.
    if (Errors(closed.diagnostics) == 0 && closed.frame.type != 0) {
        const Decoded again = Decode(vantric::fuzzing::EncodeFrame(closed.frame));
        Check(again.diagnostics.empty());
        Check(again.frame.type == closed.frame.type && again.frame.core == closed.frame.core);
        Check(again.frame.records.size() == closed.frame.records.size());
        Check(SameRecords(again.frame, closed.frame, closed.frame.records.size(), false));
    }

    vantric::rcf::Capture capture;
    capture.sessionXml = "<session/>";
    capture.capturedXml = "<captured/>";
    capture.frames.push_back(given.frame);
    capture.diagnostics = given.diagnostics;
    const std::vector<std::string> reasons = vantric::rcf::CheckCapture(capture);
    Check(reasons.size() >= capture.diagnostics.size());
    for (size_t i = 0; i < capture.diagnostics.size(); ++i) {
        Check(reasons[i] == vantric::rcf::FormatDiagnostic(capture.diagnostics[i]));
    }
    const vantric::rcf::CaptureSummary summary = vantric::rcf::Summarize(capture);
    Check(summary.samples == vantric::rcf::RecordsOf<vantric::rcf::SampleRecord>(capture).size());
    Check(summary.switches == vantric::rcf::RecordsOf<vantric::rcf::SwitchRecord>(capture).size());
    Check(summary.counters ==
          vantric::rcf::RecordsOf<vantric::rcf::CounterValueRecord>(capture).size());
    return 0;
}
