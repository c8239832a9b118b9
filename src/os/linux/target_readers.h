// Incremental readers of system-call arguments in target memory: a
// NUL-terminated string and a NULL-terminated array of 8-byte pointers. Each
// Read resumes where the previous one stopped, so a string that is not (yet)
// readable can be retried; at most `maxLength` elements are read per call.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "boundary/host_abi.h"

namespace vantric {

class TargetStringReader {
public:
    TargetStringReader(plexa::SQOVI2* debug, uint32_t memorySpace, uint64_t address,
                       uint32_t maxLength)
        : debug_(debug), memorySpace_(memorySpace), address_(address), maxLength_(maxLength) {}

    // True once the terminating NUL was read (or more than maxLength bytes
    // are held); a failed read leaves the string incomplete.
    bool Read();
    bool complete() const { return complete_; }
    const std::string& bytes() const { return bytes_; }
    uint64_t address() const { return address_; }

private:
    plexa::SQOVI2* debug_;
    uint32_t memorySpace_;
    uint64_t address_;
    uint32_t maxLength_;
    std::string bytes_;
    bool complete_ = false;
};

class TargetPointerArrayReader {
public:
    TargetPointerArrayReader(plexa::SQOVI2* debug, uint32_t memorySpace, uint64_t address,
                             uint32_t maxLength)
        : debug_(debug), memorySpace_(memorySpace), address_(address), maxLength_(maxLength) {}

    // Elements are 8 bytes little-endian on every core; the element 0 ends the array.
    bool Read();
    bool complete() const { return complete_; }
    const std::vector<uint64_t>& values() const { return values_; }

private:
    plexa::SQOVI2* debug_;
    uint32_t memorySpace_;
    uint64_t address_;
    uint32_t maxLength_;
    std::vector<uint64_t> values_;
    bool complete_ = false;
};

}  // namespace vantric
