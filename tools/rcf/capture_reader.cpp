#include "rcf/capture_reader.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <utility>

#include "rcf/frame_decoder.h"

namespace vantric::rcf {
namespace {

bool IsDataFileName(const std::string& name) {
    return name.size() == 10 &&
           std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Nothing when the file cannot be read: a directory opens like a file and
// then throws from its first read, so it is refused first.
std::optional<std::string> ReadText(const std::filesystem::path& path) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    try {
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } catch (const std::ios_base::failure&) {
        return std::nullopt;
    }
}

// The value of attribute `name='...'` within `line`, if present.
std::optional<std::string> Attribute(const std::string& line, const std::string& name) {
    std::string marker = " " + name + "='";
    size_t at = line.find(marker);
    if (at == std::string::npos) return std::nullopt;
    at += marker.size();
    size_t end = line.find('\'', at);
    if (end == std::string::npos) return std::nullopt;
    return line.substr(at, end - at);
}

std::optional<uint32_t> Number(const std::optional<std::string>& text) {
    if (!text || text->empty() || text->size() > 10) return std::nullopt;
    uint64_t value = 0;
    for (char c : *text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    if (value > 0xFFFFFFFFu) return std::nullopt;
    return static_cast<uint32_t>(value);
}

// The counter elements and the cores attribute of a captured.xml text.
void ParseCapturedXml(const std::string& text, Capture& capture) {
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.find("<target ") != std::string::npos) {
            capture.cores = Number(Attribute(line, "cores"));
        } else if (line.find("<counter ") != std::string::npos) {
            std::optional<uint32_t> key = Number(Attribute(line, "key"));
            if (!key) {
                capture.diagnostics.push_back({Diagnostic::Severity::kError, "captured.xml", 0,
                                               "counter element without a numeric key: " + line});
                continue;
            }
            capture.counters.push_back({*key, Attribute(line, "name").value_or(""),
                                        Attribute(line, "title").value_or("")});
        }
    }
}

// "kelvane.rcf" for "runs/kelvane.rcf/": what progress lines call the capture.
std::string CaptureName(const std::string& directory) {
    std::filesystem::path path(directory);
    if (!path.has_filename()) path = path.parent_path();
    std::string name = path.filename().string();
    return name.empty() ? directory : name;
}

}  // namespace

bool ReadCapture(const std::string& directory, Capture& capture) {
    return ReadCapture(directory, capture, nullptr);
}

bool ReadCapture(const std::string& directory, Capture& capture, ReadProgress* progress) {
    std::vector<Frame> frames;
    bool listed = VisitCapture(
        directory, capture, [&](const Frame& frame) { frames.push_back(frame); }, progress);
    capture.frames = std::move(frames);
    return listed;
}

bool VisitCapture(const std::string& directory, Capture& capture, const FrameVisitor& visit) {
    return VisitCapture(directory, capture, visit, nullptr);
}

bool VisitCapture(const std::string& directory, Capture& capture, const FrameVisitor& visit,
                  ReadProgress* progress) {
    namespace fs = std::filesystem;
    capture = Capture{};
    capture.directory = directory;
    std::error_code error;
    // Name and size as listed; a size that cannot be had counts 0 (its read then fails).
    std::vector<std::pair<std::string, uint64_t>> files;
    uint64_t totalBytes = 0;
    for (fs::directory_iterator it(directory, error), end; !error && it != end;
         it.increment(error)) {
        std::string name = it->path().filename().string();
        if (!IsDataFileName(name)) continue;
        std::error_code sizeError;
        const uintmax_t size = it->file_size(sizeError);
        files.emplace_back(std::move(name), sizeError ? 0 : size);
        totalBytes += files.back().second;
    }
    if (error) {
        capture.diagnostics.push_back({Diagnostic::Severity::kError, directory, 0,
                                       "cannot read the capture directory: " + error.message()});
        return false;
    }
    std::sort(files.begin(), files.end());
    if (progress) progress->start(CaptureName(directory), files.size(), totalBytes);

    fs::path root(directory);
    uint64_t filesDone = 0;
    uint64_t bytesDone = 0;
    for (const auto& [name, size] : files) {
        std::optional<std::string> text = ReadText(root / name);
        if (text) {
            std::vector<uint8_t> bytes(text->begin(), text->end());
            Frame frame = DecodeFrame(name, bytes, capture.diagnostics);
            visit(frame);
            frame.records.clear();
            capture.frames.push_back(std::move(frame));
        } else {
            capture.diagnostics.push_back(
                {Diagnostic::Severity::kError, name, 0, "cannot read the file"});
        }
        bytesDone += size;
        if (progress) progress->advance(++filesDone, bytesDone);
    }
    capture.sessionXml = ReadText(root / "session.xml");
    capture.capturedXml = ReadText(root / "captured.xml");
    if (capture.capturedXml) ParseCapturedXml(*capture.capturedXml, capture);
    if (progress) progress->finish();
    return true;
}

std::string FormatDiagnostic(const Diagnostic& diagnostic) {
    std::string text =
        diagnostic.severity == Diagnostic::Severity::kWarning ? "warning: " : "error: ";
    return text + diagnostic.file + " offset " + std::to_string(diagnostic.offset) + ": " +
           diagnostic.text;
}

}  // namespace vantric::rcf
