// Small helpers for tests that drive code through the substitute host:
// capturing console output, a scratch directory, and a callback that records
// what the host delivered.
#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "host_abi.h"

namespace kvhost {

// Redirects std::cout and std::cerr into strings for its lifetime (C++ streams
// only; output written through C stdio is not captured).
class StreamCapture {
public:
    StreamCapture();
    StreamCapture(const StreamCapture&) = delete;
    StreamCapture& operator=(const StreamCapture&) = delete;
    ~StreamCapture();

    std::string out() const { return out_.str(); }
    std::string err() const { return err_.str(); }
    void Clear();

private:
    std::ostringstream out_;
    std::ostringstream err_;
    std::streambuf* savedOut_;
    std::streambuf* savedErr_;
};

// A fresh directory under the system's temporary directory, removed with its
// contents on destruction.
class TempDirectory {
public:
    TempDirectory();
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;
    ~TempDirectory();

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// A trace callback that counts its calls and keeps the 8 bytes of every value
// slot of the last event. Register with
//   eventClass->RegisterCallback(CallbackProbe::Callback, &probe);
class CallbackProbe {
public:
    static void Callback(void* userData, ZVT::EventClass* eventClass, const uint8_t* record);

    uint64_t calls() const { return calls_; }
    ZVT::EventClass* lastClass() const { return lastClass_; }
    // Slot bytes of value `valueIndex` of the last event, as a little-endian u64.
    uint64_t value(uint32_t valueIndex) const { return values_.at(valueIndex); }
    size_t valueCount() const { return values_.size(); }

private:
    uint64_t calls_ = 0;
    ZVT::EventClass* lastClass_ = nullptr;
    std::vector<uint64_t> values_;
};

}  // namespace kvhost
