// Shared by the OS driver tests: the standard error stream captured for the
// console lines a driver writes, and frame records placed in target memory.
#pragma once

#include <iostream>
#include <sstream>
#include <string>
#include <string_view>

#include "kvhost.h"

namespace vantric::testing {

// Redirects std::cerr for its lifetime.
class StderrCapture {
public:
    StderrCapture() : old_(std::cerr.rdbuf(text_.rdbuf())) {}
    ~StderrCapture() { std::cerr.rdbuf(old_); }
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;
    std::string text() const { return text_.str(); }

private:
    std::ostringstream text_;
    std::streambuf* old_;
};

// A frame record at `frame`: the caller's frame address, then the return
// address one word above it.
inline void WriteFrameRecord(kvhost::Processor& core, std::string_view space, uint64_t frame,
                             uint64_t next, uint64_t ret) {
    if (core.is64()) {
        core.Write64(space, frame, next);
        core.Write64(space, frame + 8, ret);
    } else {
        core.Write32(space, frame, static_cast<uint32_t>(next));
        core.Write32(space, frame + 4, static_cast<uint32_t>(ret));
    }
}

}  // namespace vantric::testing
