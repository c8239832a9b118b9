// The helpers every test folder shares: a scratch directory per test, file
// reading, a capture read back through the rcf library, and a thread with a
// small stack. Console output is
// captured with kvhost::StreamCapture.
#pragma once

#include <gtest/gtest.h>
#include <pthread.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "rcf/capture_reader.h"

namespace vantric::testing {

// A directory under the system temporary directory named after the running
// test, emptied at the start and removed at the end.
class TempDirectory {
public:
    TempDirectory() {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = "vt_";
        name += test != nullptr ? std::string(test->test_suite_name()) + "_" + test->name()
                                : "scratch";
        for (char& c : name) c = c == '/' ? '_' : c;
        path_ = std::filesystem::temp_directory_path() / name;
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // A capture directory inside, with the trailing separator the writer wants.
    std::string capture(const std::string& name = "test.rcf") const {
        return (path_ / name).string() + "/";
    }
    // Writes `text` to `name` inside and gives the file's path.
    std::string write(const std::string& name, const std::string& text) const {
        const std::filesystem::path file = path_ / name;
        std::ofstream(file, std::ios::binary) << text;
        return file.string();
    }

private:
    std::filesystem::path path_;
};

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The capture in `directory`, read back; any diagnostic of the reader fails the test.
inline rcf::Capture ReadBack(const std::string& directory) {
    rcf::Capture capture;
    EXPECT_TRUE(rcf::ReadCapture(directory, capture)) << directory;
    for (const rcf::Diagnostic& diagnostic : capture.diagnostics) {
        ADD_FAILURE() << rcf::FormatDiagnostic(diagnostic);
    }
    return capture;
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

#ifdef VT_SANITIZE
inline constexpr size_t kSmallStack = 32 << 20;  // sanitized frames are many times larger
#else
inline constexpr size_t kSmallStack = 512 << 10;
#endif

// Runs work on a thread with a small stack, as a host's simulation thread may
// have: code that recursed per nesting level would overflow it.
inline void RunOnSmallStack(const std::function<void()>& work) {
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, kSmallStack);
    const auto run = [](void* argument) -> void* { return (*static_cast<const std::function<void()>*>(argument))(), nullptr; };
    pthread_t thread;
    const int started = pthread_create(&thread, &attributes, run, const_cast<std::function<void()>*>(&work));
    pthread_attr_destroy(&attributes);
    if (started != 0 || pthread_join(thread, nullptr) != 0) throw std::runtime_error("cannot run a thread");
}

}  // namespace vantric::testing
