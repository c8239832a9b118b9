// Fuzz target of the capture reader: a whole capture directory.
//
// Input: entries of one selector byte, a 16-bit little-endian length and
// that many bytes (fewer at the end of the input). The selector modulo 20
// names the file: 0 session.xml, 1 captured.xml, 2 to 17 the data files
// 0000000000 to 0000000015, 18 a directory named like data file 99, 19 a
// file the reader ignores. A later entry for the same name replaces the
// earlier one.
//
// Checked: reading succeeds; the frames are the data files in name order,
// each exactly as DecodeFrame reads its bytes, with its diagnostics in file
// order and one for the unreadable directory; the XML texts are the files'
// contents; captured.xml gives no more counters than it has counter lines;
// reading twice gives the same; CheckCapture lists every diagnostic first
// and is empty only for a capture without one and with both XML files; the
// summary counts what the frames hold.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "rcf/capture_check.h"
#include "rcf/capture_reader.h"
#include "rcf/frame_decoder.h"
#include "rcf/record_text.h"
#include "scratch_files.h"

namespace {

namespace fs = std::filesystem;
namespace rcf = vantric::rcf;

void Check(bool holds) {
    if (!holds) std::abort();
}

constexpr size_t kMaxEntries = 32;

struct Files {
    std::optional<std::string> session;
    std::optional<std::string> captured;
    std::map<std::string, std::string> data;  // by file name
    bool directory = false;
    std::optional<std::string> ignored;
};

std::string DataName(unsigned number) {
    char name[16];
    std::snprintf(name, sizeof name, "%010u", number);
    return name;
}

Files Unpack(std::string_view input) {
    Files files;
    for (size_t entry = 0; entry < kMaxEntries && input.size() >= 3; ++entry) {
        const unsigned selector = static_cast<unsigned char>(input[0]) % 20;
        const size_t length =
            static_cast<unsigned char>(input[1]) | static_cast<unsigned char>(input[2]) << 8;
        input.remove_prefix(3);
        const std::string content(input.substr(0, length));
        input.remove_prefix(std::min(length, input.size()));
        if (selector == 0) {
            files.session = content;
        } else if (selector == 1) {
            files.captured = content;
        } else if (selector < 18) {
            files.data[DataName(selector - 2)] = content;
        } else if (selector == 18) {
            files.directory = true;
        } else {
            files.ignored = content;
        }
    }
    return files;
}

void Write(const fs::path& directory, const Files& files) {
    std::error_code ignored;
    fs::remove_all(directory, ignored);
    Check(fs::create_directory(directory));
    if (files.session) vantric::fuzzing::WriteFile(directory / "session.xml", *files.session);
    if (files.captured) vantric::fuzzing::WriteFile(directory / "captured.xml", *files.captured);
    for (const auto& [name, content] : files.data)
        vantric::fuzzing::WriteFile(directory / name, content);
    if (files.directory) Check(fs::create_directory(directory / DataName(99)));
    if (files.ignored) vantric::fuzzing::WriteFile(directory / "notes.txt", *files.ignored);
}

// Everything read, as one text to compare.
std::string Render(const rcf::Capture& capture) {
    std::string text;
    for (const rcf::Frame& frame : capture.frames) {
        text += rcf::FrameHeaderText(frame) + "\n";
        for (const rcf::Record& record : frame.records)
            text += rcf::RecordText(frame, record) + "\n";
    }
    for (const rcf::Diagnostic& diagnostic : capture.diagnostics) {
        text += rcf::FormatDiagnostic(diagnostic) + "\n";
    }
    for (const rcf::CounterElement& counter : capture.counters) {
        text += std::to_string(counter.key) + " " + counter.name + " " + counter.title + "\n";
    }
    text += capture.cores ? std::to_string(*capture.cores) : "-";
    return text;
}

size_t CounterLines(const std::string& xml) {
    size_t lines = 0;
    size_t start = 0;
    while (start < xml.size()) {
        const size_t end = std::min(xml.find('\n', start), xml.size());
        if (std::string_view(xml).substr(start, end - start).find("<counter ") !=
            std::string_view::npos)
            ++lines;
        start = end + 1;
    }
    return lines;
}

bool Blank(const std::optional<std::string>& text) {
    return !text || text->find_first_not_of(" \t\r\n") == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Files files = Unpack(std::string_view(reinterpret_cast<const char*>(data), size));
    const fs::path directory = vantric::fuzzing::ScratchDirectory() / "capture.rcf";
    Write(directory, files);

    rcf::Capture capture;
    Check(rcf::ReadCapture(directory.string(), capture));
    Check(capture.directory == directory.string());
    Check(capture.sessionXml == files.session);
    Check(capture.capturedXml == files.captured);

    // The data files in name order (the directory, numbered 99, comes last).
    std::vector<rcf::Diagnostic> expected;
    Check(capture.frames.size() == files.data.size());
    size_t index = 0;
    for (const auto& [name, content] : files.data) {
        const rcf::Frame& frame = capture.frames[index++];
        const rcf::Frame alone =
            rcf::DecodeFrame(name, std::vector<uint8_t>(content.begin(), content.end()), expected);
        Check(frame.fileName == name);
        Check(frame.records.size() == alone.records.size());
        Check(rcf::FrameHeaderText(frame) == rcf::FrameHeaderText(alone));
        for (size_t i = 0; i < frame.records.size(); ++i) {
            Check(rcf::RecordText(frame, frame.records[i]) ==
                  rcf::RecordText(alone, alone.records[i]));
        }
    }
    if (files.directory)
        expected.push_back(
            {rcf::Diagnostic::Severity::kError, DataName(99), 0, "cannot read the file"});
    Check(capture.diagnostics.size() >= expected.size());
    for (size_t i = 0; i < capture.diagnostics.size(); ++i) {
        if (i < expected.size()) {
            Check(rcf::FormatDiagnostic(capture.diagnostics[i]) ==
                  rcf::FormatDiagnostic(expected[i]));
        } else {
            Check(capture.diagnostics[i].file == "captured.xml");
        }
    }
    Check(capture.counters.size() + (capture.diagnostics.size() - expected.size()) <=
          (files.captured ? CounterLines(*files.captured) : 0));

    rcf::Capture again;
    Check(rcf::ReadCapture(directory.string(), again));
    Check(Render(again) == Render(capture));

    const std::vector<std::string> reasons = rcf::CheckCapture(capture);
    Check(reasons.size() >= capture.diagnostics.size());
    for (size_t i = 0; i < capture.diagnostics.size(); ++i) {
        Check(reasons[i] == rcf::FormatDiagnostic(capture.diagnostics[i]));
    }
    Check(!reasons.empty() ||
          (capture.diagnostics.empty() && !Blank(files.session) && !Blank(files.captured)));

    const rcf::CaptureSummary summary = rcf::Summarize(capture);
    Check(summary.samples == rcf::RecordsOf<rcf::SampleRecord>(capture).size());
    Check(summary.switches == rcf::RecordsOf<rcf::SwitchRecord>(capture).size());
    Check(summary.counters == rcf::RecordsOf<rcf::CounterValueRecord>(capture).size());
    Check(summary.annotations == rcf::RecordsOf<rcf::AnnotationRecord>(capture).size() +
                                     rcf::RecordsOf<rcf::ChannelTextRecord>(capture).size() +
                                     rcf::RecordsOf<rcf::ActivityRecord>(capture).size());
    Check(summary.processes <= summary.samples + rcf::RecordsOf<rcf::LinkRecord>(capture).size());
    return 0;
}
