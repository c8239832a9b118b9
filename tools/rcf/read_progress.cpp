#include "rcf/read_progress.h"

#include <algorithm>
#include <utility>

namespace vantric::rcf {

namespace {
constexpr std::chrono::seconds kInterval{1};
}  // namespace

ReadProgress::ReadProgress(std::ostream& out, Clock clock) : out_(out), clock_(std::move(clock)) {}

void ReadProgress::start(std::string name, uint64_t files, uint64_t bytes) {
    name_ = std::move(name);
    files_ = files;
    bytes_ = bytes;
    started_ = clock_();
    // The first line is due one interval after the start.
    lastLine_ = started_;
    printed_ = false;
}

void ReadProgress::advance(uint64_t filesDone, uint64_t bytesDone) {
    const auto now = clock_();
    if (now - lastLine_ < kInterval) return;
    lastLine_ = now;
    printed_ = true;
    out_ << "rcf: reading " << name_ << ": " << percent(filesDone, bytesDone) << "% (" << filesDone
         << " of " << files_ << " files)" << std::endl;
}

void ReadProgress::finish() {
    if (!printed_) return;
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(clock_() - started_);
    const long long tenths = (elapsed.count() + 50) / 100;
    out_ << "rcf: read " << name_ << " in " << tenths / 10 << '.' << tenths % 10 << " s"
         << std::endl;
}

uint64_t ReadProgress::percent(uint64_t filesDone, uint64_t bytesDone) const {
    // Sizes come from a directory listing: far below the 2^64 / 100 bytes
    // where the product would overflow.
    if (bytes_ != 0) return std::min(bytesDone, bytes_) * 100 / bytes_;
    if (files_ != 0) return std::min(filesDone, files_) * 100 / files_;
    return 100;
}

}  // namespace vantric::rcf
