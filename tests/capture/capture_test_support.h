// Shared by the capture and rcf tests: a fresh directory per test, file
// reading, and a writer's output read back through the rcf library.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "rcf/capture_reader.h"

namespace vantric::testing {

// A directory under the system temporary directory, removed at the end.
class TempDirectory {
public:
    TempDirectory() {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("vt_") + test->test_suite_name() + "_" + test->name();
        for (char& c : name) c = c == '/' ? '_' : c;
        path_ = std::filesystem::temp_directory_path() / name;
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    // With a trailing separator, as the capture writer wants it.
    std::string capture(const std::string& name = "test.rcf") const {
        return (path_ / name).string() + "/";
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
    std::string text = ReadFile(path);
    return std::vector<uint8_t>(text.begin(), text.end());
}

// Bytes given as numbers, then the bytes of `text`.
inline std::vector<uint8_t> ByteList(std::initializer_list<int> values,
                                     std::string_view text = {}) {
    std::vector<uint8_t> out(values.begin(), values.end());
    out.insert(out.end(), text.begin(), text.end());
    return out;
}

// Data file `file` of the default capture in `temp`, without its first `skip` bytes.
inline std::vector<uint8_t> FileBody(const TempDirectory& temp, const char* file, size_t skip) {
    std::vector<uint8_t> bytes = ReadBytes(temp.path() / "test.rcf" / file);
    return bytes.size() < skip
               ? std::vector<uint8_t>{}
               : std::vector<uint8_t>(bytes.begin() + static_cast<long>(skip), bytes.end());
}

inline rcf::Capture ReadBack(const std::string& directory) {
    rcf::Capture capture;
    EXPECT_TRUE(rcf::ReadCapture(directory, capture));
    for (const rcf::Diagnostic& diagnostic : capture.diagnostics) {
        ADD_FAILURE() << rcf::FormatDiagnostic(diagnostic);
    }
    return capture;
}

// The frame read from file `name` (ten digits).
inline const rcf::Frame& FrameNamed(const rcf::Capture& capture, const std::string& name) {
    for (const rcf::Frame& frame : capture.frames) {
        if (frame.fileName == name) return frame;
    }
    static const rcf::Frame none;
    ADD_FAILURE() << "no data file " << name;
    return none;
}

// Every record of type T in the frames of `type` (and `core`, for per-core
// frames), in file order.
template <typename T>
std::vector<T> RecordsOf(const rcf::Capture& capture, uint32_t type, uint32_t core = 0) {
    std::vector<T> out;
    for (const rcf::Frame& frame : capture.frames) {
        if (frame.type != type || frame.core.value_or(0) != core) continue;
        for (const rcf::Record& record : frame.records) {
            if (const T* body = std::get_if<T>(&record.body)) out.push_back(*body);
        }
    }
    return out;
}

}  // namespace vantric::testing
